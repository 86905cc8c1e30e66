#pragma once
// Light or dark colours for the whole program. The desktop's own palette (the
// Qt platform theme, or -style and a palette given to Qt) is kept as it is.
// Two cases change it, before the first window is made:
// - TVX_COLOR_SCHEME=dark or =light in the environment asks for that scheme
//   with the Fusion style;
// - otherwise, when the desktop says it prefers dark (the freedesktop settings
//   portal's "color-scheme") but Qt was given a light palette, as happens on
//   desktops whose theme Qt does not read, the dark Fusion palette is used,
//   also when the desktop switches while the program runs.

class QApplication;

void ApplyColorScheme(QApplication& app);

// The desktop's preference, as the portal gives it (1 prefers dark, 0 or 2
// not): a light program turns dark, and one that turned dark for that reason
// goes back to the style and palette it started with. The portal's change
// signal calls it while the program runs; TVX_COLOR_SCHEME stops that.
void FollowDesktopColorScheme(QApplication& app, unsigned scheme);

// True when the palette's window background is dark.
bool IsDarkPalette();
