#pragma once
// The program's own pictures, drawn in code with QPainter: the small pictures of the download
// list, the dialog banner, the application icon, the running animation of the download dialogs
// and the browser toolbar images. All of them need a QGuiApplication to exist.

#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QSize>

// One 18 x 18 picture of the download-list tree, on a transparent background:
// 0 folder, 1 floppy disk, 2 information sign, 3 closed book, 4 page of text, 5 parcel (archive),
// 6 program window with a command prompt, 7 globe (web item); 8 is the same as 7. Any other
// index gives a fully transparent picture. The pictures are made once and then shared.
QPixmap ListPicture(int index);

// The product banner at the top of dialogs: the download motif on the left, "Tarvex" in bold
// and "Download Service" beside it, on a light gradient.
QPixmap ProductBanner(QSize size = QSize(266, 42));

// The application icon (an arrow coming down from a globe into a tray) at 16, 24, 32, 48, 64
// and 128 pixels.
QIcon AppIcon();

// The seven 40 x 40 frames of the download dialogs' running animation (meant for 3.75 frames per
// second, repeating): a page sinking step by step into a tray. Frame 0 is the resting picture.
QList<QPixmap> AnimationFrames();

// A 22 x 20 browser toolbar image on a transparent background: 0 Back, 1 Forward, 2 Stop,
// 3 Refresh, 4 Home, 5 Search, 6 Favorites, 7 Print, 8 Font, 9 Download. `hot` gives the
// full-colour picture shown under the pointer, otherwise a muted, greyish one. An index out of
// range gives a fully transparent picture.
QPixmap ToolbarImage(int index, bool hot);
