#pragma once
// Keeps the program's own dialogs at least as wide as their title needs, so
// the window manager never cuts the caption short, whatever the scale, the
// font or the language: the title in a bold window font with room for the
// frame's icon and buttons. Installed once on the application; it follows a
// title that changes while the dialog is shown.

class QApplication;
class QWidget;

void InstallTitleFit(QApplication& app);

// The width a window needs to show its title in full.
int TitleWidth(const QWidget& window);
