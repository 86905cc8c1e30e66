#pragma once
// The program's own pictures. Each is an SVG file in the resources (gui/res/pictures) and is
// rendered for the device pixel ratio of the screen it is shown on, so it stays sharp at 100%,
// 150% or 200%. All of them need a QGuiApplication to exist.

#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QSize>

// One picture of the download-list tree, 18 x 18, on a transparent background:
// 0 folder, 1 floppy disk, 2 information sign, 3 closed book, 4 page of text, 5 parcel (archive),
// 6 program window with a command prompt, 7 globe (web item); 8 is the same as 7. Any other
// index gives a null icon, which shows nothing.
inline constexpr QSize kListIconSize(18, 18);
QIcon ListIcon(int index);

// The product banner at the top of dialogs, 266 x 42: the download motif on the left, "Tarvex"
// in bold and "Download Service" beside it, on a light gradient. Rendered for a screen of the
// given device pixel ratio, which the pixmap carries.
QPixmap ProductBanner(qreal devicePixelRatio);

// The application icon (an arrow coming down from a globe into a tray), scalable.
QIcon AppIcon();

// The seven 40 x 40 frames of the download dialogs' running animation (meant for 3.75 frames per
// second, repeating): a page sinking step by step into a tray. Frame 0 is the resting picture.
// Rendered for a screen of the given device pixel ratio.
QList<QPixmap> AnimationFrames(qreal devicePixelRatio);

// A 22 x 20 browser toolbar image: 0 Back, 1 Forward, 2 Stop, 3 Refresh, 4 Home, 5 Search,
// 6 Favorites, 7 Print, 8 Font, 9 Download. QIcon::Normal is a muted, greyish picture and
// QIcon::Active the full-colour one shown under the pointer. An index out of range gives a null
// icon.
inline constexpr QSize kToolbarIconSize(22, 20);
QIcon ToolbarIcon(int index);
