#pragma once
// Light or dark colours for the whole program. The desktop's own palette (the
// Qt platform theme, or -style and a palette given to Qt) is kept as it is.
// Two cases change it, before the first window is made:
// - TVX_COLOR_SCHEME=dark or =light in the environment asks for that scheme
//   with the Fusion style;
// - otherwise, when the desktop says it prefers dark (the freedesktop settings
//   portal's "color-scheme") but Qt was given a light palette, as happens on
//   desktops whose theme Qt does not read, the dark Fusion palette is used.

class QApplication;

void ApplyColorScheme(QApplication& app);

// True when the palette's window background is dark.
bool IsDarkPalette();
