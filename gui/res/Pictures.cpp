#include "res/Pictures.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QRadialGradient>
#include <QtMath>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace {

// ---------------------------------------------------------------------------------------------
// Pixel helpers. The small pictures are drawn pixel by pixel with antialiasing off, so that
// their outlines stay one crisp pixel wide; a rectangle (x, y, w, h) covers exactly w x h pixels.

QImage NewImage(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void Px(QPainter& p, int x, int y, const QColor& c) {
    p.fillRect(x, y, 1, 1, c);
}

// Horizontal run of pixels from x1 to x2 inclusive.
void HLine(QPainter& p, int x1, int x2, int y, const QColor& c) {
    p.fillRect(std::min(x1, x2), y, std::abs(x2 - x1) + 1, 1, c);
}

// Vertical run of pixels from y1 to y2 inclusive.
void VLine(QPainter& p, int x, int y1, int y2, const QColor& c) {
    p.fillRect(x, std::min(y1, y2), 1, std::abs(y2 - y1) + 1, c);
}

// A filled rectangle with a one-pixel outline; (x, y, w, h) includes the outline.
void Box(QPainter& p, int x, int y, int w, int h, const QColor& line, const QColor& fill) {
    p.fillRect(x, y, w, h, line);
    p.fillRect(x + 1, y + 1, w - 2, h - 2, fill);
}

// A one-pixel line between two pixels (both included), stepped like a classic raster line.
void Line(QPainter& p, int x0, int y0, int x1, int y1, const QColor& c) {
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        Px(p, x0, y0, c);
        if (x0 == x1 && y0 == y1) {
            break;
        }
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

QPixmap ToPixmap(const QImage& image) {
    return QPixmap::fromImage(image);
}

// A linear gradient from top to bottom of the given span.
QLinearGradient Vertical(qreal y1, qreal y2, const QColor& top, const QColor& bottom) {
    QLinearGradient g(0, y1, 0, y2);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

// Turns the picture greyish: most of the colour is replaced by its own lightness and the result
// is lifted a little towards white. Transparency is kept.
QImage Muted(const QImage& source) {
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = row[x];
            const int a = qAlpha(c);
            if (a == 0) {
                continue;
            }
            const double grey = 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c);
            auto mix = [grey](int channel) {
                const double v = 0.3 * channel + 0.7 * grey;
                return std::clamp(static_cast<int>(std::lround(v + (255 - v) * 0.12)), 0, 255);
            };
            row[x] = qRgba(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c)), a);
        }
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// ---------------------------------------------------------------------------------------------
// Download-list pictures, 18 x 18, flat colours with dark one-pixel outlines.

constexpr int kListSize = 18;

// A closed yellow folder with its tab at the upper left.
void DrawFolder(QPainter& p) {
    const QColor line(0x6b, 0x4e, 0x00);
    const QColor fill(0xf8, 0xd8, 0x48);
    const QColor back(0xe0, 0xb0, 0x28);
    const QColor light(0xff, 0xf4, 0xb0);
    const QColor shade(0xc8, 0x98, 0x18);
    Box(p, 1, 3, 7, 4, line, back);  // tab, behind the front
    Box(p, 1, 5, 16, 11, line, fill);
    HLine(p, 2, 15, 6, light);
    VLine(p, 2, 6, 14, light);
    HLine(p, 3, 15, 14, shade);
    VLine(p, 15, 7, 14, shade);
}

// A blue floppy disk: metal shutter at the top, white label at the bottom, one corner cut off.
void DrawDisk(QPainter& p) {
    const QColor line(0x10, 0x18, 0x38);
    const QColor body(0x2f, 0x55, 0xb5);
    const QColor bodyLight(0x5a, 0x80, 0xd8);
    Box(p, 1, 1, 16, 16, line, body);
    HLine(p, 2, 14, 2, bodyLight);
    VLine(p, 2, 2, 15, bodyLight);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    Px(p, 16, 1, Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    Px(p, 15, 2, line);
    Box(p, 5, 1, 8, 6, line, QColor(0xc8, 0xcc, 0xd4));  // shutter
    VLine(p, 6, 2, 4, QColor(0xf0, 0xf0, 0xf4));
    p.fillRect(9, 2, 2, 3, QColor(0x40, 0x48, 0x58));  // opening in the shutter
    Box(p, 4, 9, 10, 8, line, Qt::white);              // label
    HLine(p, 5, 12, 11, QColor(0xc0, 0x30, 0x30));
    HLine(p, 5, 12, 13, QColor(0x90, 0x98, 0xb0));
}

// A blue round sign with a white lower-case i.
void DrawInfo(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0x10, 0x2a, 0x80), 1));
    QRadialGradient g(QPointF(6.5, 5.5), 11);
    g.setColorAt(0, QColor(0x58, 0x8c, 0xf0));
    g.setColorAt(1, QColor(0x20, 0x50, 0xc8));
    p.setBrush(g);
    p.drawEllipse(QRectF(1.5, 1.5, 15, 15));
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor white(Qt::white);
    p.fillRect(8, 4, 2, 2, white);   // dot
    Px(p, 7, 7, white);              // top serif
    p.fillRect(8, 7, 2, 6, white);   // stem
    p.fillRect(7, 13, 4, 1, white);  // foot
}

// A closed red book with a gold label, the page block showing at the right and bottom.
void DrawBook(QPainter& p) {
    const QColor line(0x48, 0x10, 0x10);
    Box(p, 4, 3, 12, 14, line, Qt::white);  // pages behind the cover
    for (int y = 4; y <= 15; y += 2) {
        Px(p, 14, y, QColor(0xb0, 0xb0, 0xb0));
    }
    for (int x = 5; x <= 13; x += 2) {
        Px(p, x, 15, QColor(0xb0, 0xb0, 0xb0));
    }
    Box(p, 2, 1, 12, 14, line, QColor(0xc8, 0x30, 0x30));  // cover
    VLine(p, 4, 2, 13, QColor(0x90, 0x18, 0x18));          // spine fold
    VLine(p, 3, 2, 13, QColor(0xe0, 0x60, 0x58));
    Box(p, 6, 4, 6, 4, QColor(0x80, 0x60, 0x00), QColor(0xf0, 0xd0, 0x50));  // label
}

// A white page of text with its upper right corner folded over.
void DrawPage(QPainter& p) {
    const QColor line(0x40, 0x40, 0x48);
    const QColor fold(0xc0, 0xc4, 0xcc);
    const QColor text(0x70, 0x80, 0xa8);
    p.fillRect(4, 2, 6, 14, Qt::white);
    p.fillRect(10, 6, 4, 10, Qt::white);
    HLine(p, 3, 10, 1, line);
    VLine(p, 3, 1, 16, line);
    HLine(p, 3, 14, 16, line);
    VLine(p, 14, 5, 16, line);
    Line(p, 10, 1, 14, 5, line);
    VLine(p, 10, 1, 5, line);
    HLine(p, 10, 14, 5, line);
    Px(p, 11, 3, fold);
    Px(p, 11, 4, fold);
    Px(p, 12, 4, fold);
    HLine(p, 5, 8, 4, text);
    HLine(p, 5, 12, 7, text);
    HLine(p, 5, 12, 9, text);
    HLine(p, 5, 10, 11, text);
    HLine(p, 5, 12, 13, text);
}

// A cardboard parcel seen from above at an angle, tied with a strap (stands for an archive).
void DrawParcel(QPainter& p) {
    const QColor line(0x5a, 0x38, 0x10);
    const QColor front(0xd8, 0xa0, 0x58);
    const QColor top(0xf0, 0xc8, 0x88);
    const QColor side(0xb0, 0x78, 0x38);
    const QColor strap(0xb8, 0x28, 0x20);
    p.fillRect(2, 6, 10, 11, front);
    for (int y = 2; y <= 6; ++y) {
        HLine(p, 8 - y, 17 - y, y, top);
    }
    for (int x = 11; x <= 15; ++x) {
        VLine(p, x, 17 - x, 27 - x, side);
    }
    // Strap across the front and over the lid.
    VLine(p, 6, 7, 15, strap);
    VLine(p, 7, 7, 15, strap);
    for (int y = 3; y <= 5; ++y) {
        Px(p, 12 - y, y, strap);
        Px(p, 13 - y, y, strap);
    }
    // Outline.
    Line(p, 2, 6, 6, 2, line);
    HLine(p, 6, 15, 2, line);
    VLine(p, 15, 2, 12, line);
    Line(p, 15, 12, 11, 16, line);
    HLine(p, 2, 11, 16, line);
    VLine(p, 2, 6, 16, line);
    HLine(p, 2, 11, 6, line);
    Line(p, 11, 6, 15, 2, line);
    VLine(p, 11, 6, 16, line);
}

// A program window: dark blue title bar over a black console with a green prompt.
void DrawProgram(QPainter& p) {
    const QColor line(0x20, 0x20, 0x28);
    const QColor prompt(0x40, 0xe0, 0x40);
    Box(p, 1, 2, 16, 14, line, Qt::black);
    p.fillRect(2, 3, 14, 2, QColor(0x20, 0x40, 0xa0));
    HLine(p, 2, 15, 5, QColor(0xc0, 0xc4, 0xcc));
    p.fillRect(13, 3, 2, 2, QColor(0xe0, 0xe0, 0xe0));  // window button
    // ">_"
    Line(p, 4, 8, 6, 10, prompt);
    Line(p, 5, 8, 7, 10, prompt);
    Line(p, 6, 11, 4, 13, prompt);
    Px(p, 5, 13, prompt);
    Px(p, 6, 12, prompt);
    HLine(p, 9, 12, 13, prompt);
}

// A globe: blue seas with green land.
void DrawGlobe(QPainter& p) {
    const QRectF disc(1.5, 1.5, 15, 15);
    p.setRenderHint(QPainter::Antialiasing, true);
    QRadialGradient sea(QPointF(6.5, 5.5), 12);
    sea.setColorAt(0, QColor(0x70, 0xb0, 0xf8));
    sea.setColorAt(1, QColor(0x20, 0x58, 0xc0));
    p.setPen(Qt::NoPen);
    p.setBrush(sea);
    p.drawEllipse(disc);
    QPainterPath clip;
    clip.addEllipse(disc);
    p.setClipPath(clip);
    p.setBrush(QColor(0x38, 0xa8, 0x40));
    const QPolygonF west({{3, 4},
                          {7, 2.5},
                          {9, 4},
                          {8, 6},
                          {6, 7},
                          {7.5, 9},
                          {8, 11},
                          {7, 14},
                          {6, 16},
                          {5, 13},
                          {4.5, 10},
                          {2.5, 8}});
    const QPolygonF east({{11, 3},
                          {14, 4},
                          {15.5, 7},
                          {13, 8},
                          {14, 10},
                          {13.5, 13},
                          {12, 14},
                          {11, 11},
                          {10.5, 8},
                          {12, 6}});
    p.drawPolygon(west);
    p.drawPolygon(east);
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x10, 0x30, 0x70), 1));
    p.drawEllipse(disc);
}

QPixmap MakeListPicture(int index) {
    QImage image = NewImage(kListSize, kListSize);
    {
        QPainter p(&image);
        switch (index) {
            case 0:
                DrawFolder(p);
                break;
            case 1:
                DrawDisk(p);
                break;
            case 2:
                DrawInfo(p);
                break;
            case 3:
                DrawBook(p);
                break;
            case 4:
                DrawPage(p);
                break;
            case 5:
                DrawParcel(p);
                break;
            case 6:
                DrawProgram(p);
                break;
            case 7:
                DrawGlobe(p);
                break;
            default:
                break;
        }
    }
    return ToPixmap(image);
}

// ---------------------------------------------------------------------------------------------
// The download motif of the icon and banner: a globe, an orange arrow coming down from it, and a
// tray the arrow enters. Drawn in a 128 x 128 design space scaled to `side` pixels; `line` is the
// outline width in device pixels, so that small renderings keep a full-pixel outline.

void DrawMotif(QPainter& p, QPointF origin, qreal side) {
    const qreal k = side / 128.0;
    const qreal line = std::max(1.0, 3.0 * k);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.translate(origin);
    p.scale(k, k);
    const qreal pen = line / k;  // outline width in design units

    // Globe.
    const QRectF globe(22, 6, 84, 84);
    QRadialGradient sea(QPointF(48, 30), 80);
    sea.setColorAt(0, QColor(0x8c, 0xd0, 0xff));
    sea.setColorAt(1, QColor(0x1c, 0x5c, 0xb0));
    p.setPen(Qt::NoPen);
    p.setBrush(sea);
    p.drawEllipse(globe);
    if (side >= 30) {
        QPainterPath clip;
        clip.addEllipse(globe);
        p.save();
        p.setClipPath(clip);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 255, 255, 150), std::max(1.0, 1.5 * k) / k));
        p.drawEllipse(QRectF(44, 6, 40, 84));
        p.drawLine(QPointF(64, 6), QPointF(64, 90));
        p.drawLine(QPointF(22, 48), QPointF(106, 48));
        p.drawLine(QPointF(26, 28), QPointF(102, 28));
        p.drawLine(QPointF(26, 68), QPointF(102, 68));
        p.restore();
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x12, 0x3c, 0x78), pen));
    p.drawEllipse(globe);

    // Inside of the tray, behind the arrow.
    const QPolygonF opening({{24, 86}, {104, 86}, {116, 100}, {12, 100}});
    p.setPen(QPen(QColor(0x1a, 0x22, 0x2e), pen, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.setBrush(QColor(0x2c, 0x36, 0x44));
    p.drawPolygon(opening);

    // Arrow.
    const QPolygonF arrow({{52, 18}, {76, 18}, {76, 58}, {96, 58}, {64, 98}, {32, 58}, {52, 58}});
    QLinearGradient orange(40, 0, 88, 0);
    orange.setColorAt(0, QColor(0xff, 0xc8, 0x50));
    orange.setColorAt(1, QColor(0xf0, 0x80, 0x00));
    p.setBrush(orange);
    p.setPen(QPen(QColor(0x7a, 0x3a, 0x00), pen, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPolygon(arrow);

    // Front of the tray, in front of the arrow tip.
    QPainterPath front;
    front.addRoundedRect(QRectF(8, 96, 112, 28), 8, 8);
    p.setBrush(Vertical(96, 124, QColor(0x7c, 0x8c, 0xa0), QColor(0x3a, 0x46, 0x58)));
    p.setPen(QPen(QColor(0x1a, 0x22, 0x2e), pen));
    p.drawPath(front);
    p.restore();
}

// The icon at 16 and 24 pixels, placed on whole pixels so it stays sharp.
QImage SmallAppIcon(int side) {
    QImage image = NewImage(side, side);
    QPainter p(&image);
    const QColor seaDark(0x1c, 0x5c, 0xb0);
    const QColor outline(0x12, 0x3c, 0x78);
    const QColor arrowLine(0x7a, 0x3a, 0x00);
    const QColor trayLine(0x1a, 0x22, 0x2e);
    p.setRenderHint(QPainter::Antialiasing, true);
    QRadialGradient sea(QPointF(side * 0.38, side * 0.25), side * 0.6);
    sea.setColorAt(0, QColor(0x8c, 0xd0, 0xff));
    sea.setColorAt(1, seaDark);
    p.setBrush(sea);
    p.setPen(QPen(outline, 1));
    if (side == 16) {
        p.drawEllipse(QRectF(2.5, 0.5, 11, 11));
    } else {
        p.drawEllipse(QRectF(3.5, 0.5, 17, 17));
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor orange(0xf8, 0xa0, 0x20);
    const QColor orangeLight(0xff, 0xd0, 0x70);
    if (side == 16) {
        // Tray opening, arrow, tray front.
        p.fillRect(2, 11, 12, 2, QColor(0x2c, 0x36, 0x44));
        // Arrow: shaft x 6..9, y 2..7; head y 7..12.
        Box(p, 6, 2, 4, 7, arrowLine, orange);
        for (int y = 7; y <= 12; ++y) {
            const int half = 12 - y;  // 5 .. 0
            HLine(p, 8 - half - 1, 7 + half + 1, y, arrowLine);
            if (half > 0) {
                HLine(p, 8 - half, 7 + half, y, orange);
            }
        }
        VLine(p, 7, 3, 8, orangeLight);
        Box(p, 0, 12, 16, 4, trayLine, QColor(0x5c, 0x6a, 0x7e));
        HLine(p, 1, 14, 13, QColor(0x86, 0x96, 0xaa));
    } else {
        p.fillRect(2, 16, 20, 3, QColor(0x2c, 0x36, 0x44));
        Box(p, 9, 3, 6, 10, arrowLine, orange);
        for (int y = 10; y <= 18; ++y) {
            const int half = 18 - y;  // 8 .. 0
            HLine(p, 12 - half - 1, 11 + half + 1, y, arrowLine);
            if (half > 0) {
                HLine(p, 12 - half, 11 + half, y, orange);
            }
        }
        VLine(p, 10, 4, 11, orangeLight);
        Box(p, 0, 18, 24, 6, trayLine, QColor(0x5c, 0x6a, 0x7e));
        HLine(p, 1, 22, 19, QColor(0x86, 0x96, 0xaa));
        HLine(p, 1, 22, 22, QColor(0x44, 0x50, 0x60));
    }
    return image;
}

QImage LargeAppIcon(int side) {
    QImage image = NewImage(side, side);
    QPainter p(&image);
    DrawMotif(p, QPointF(0, 0), side);
    return image;
}

// ---------------------------------------------------------------------------------------------
// Animation frames, 40 x 40: a page moving down four pixels per frame into a tray.

constexpr int kFrameSize = 40;
constexpr int kFrameCount = 7;

// A page of text with a folded corner, 14 x 17, its upper left corner at (x, y).
void DrawFramePage(QPainter& p, int x, int y) {
    const QColor line(0x40, 0x44, 0x50);
    const QColor fold(0xc8, 0xcc, 0xd4);
    const QColor text(0x70, 0x80, 0xa8);
    p.fillRect(x + 1, y + 1, 12, 15, Qt::white);
    HLine(p, x, x + 9, y, line);
    VLine(p, x, y, y + 16, line);
    HLine(p, x, x + 13, y + 16, line);
    VLine(p, x + 13, y + 4, y + 16, line);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    for (int i = 1; i <= 3; ++i) {
        HLine(p, x + 9 + i, x + 13, y + i - 1, Qt::transparent);
    }
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    Line(p, x + 9, y, x + 13, y + 4, line);
    VLine(p, x + 9, y, y + 4, line);
    HLine(p, x + 9, x + 13, y + 4, line);
    Px(p, x + 10, y + 2, fold);
    Px(p, x + 10, y + 3, fold);
    Px(p, x + 11, y + 3, fold);
    HLine(p, x + 2, x + 7, y + 3, text);
    for (int row = 6; row <= 14; row += 2) {
        HLine(p, x + 2, x + (row == 10 ? 8 : 11), y + row, text);
    }
}

QImage MakeFrame(int frame) {
    QImage image = NewImage(kFrameSize, kFrameSize);
    QPainter p(&image);
    const QColor trayLine(0x1a, 0x22, 0x2e);

    // Inside of the tray.
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(trayLine, 1));
    p.setBrush(QColor(0x2c, 0x36, 0x44));
    p.drawPolygon(QPolygonF({{7.5, 26.5}, {32.5, 26.5}, {36.5, 31.5}, {3.5, 31.5}}));
    p.setRenderHint(QPainter::Antialiasing, false);

    // The page, cut off where it sinks below the floor of the tray.
    p.setClipRect(0, 0, kFrameSize, 34);
    DrawFramePage(p, 13, 3 + 4 * frame);
    p.setClipping(false);

    // Front of the tray, with a small orange arrow on it.
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(trayLine, 1));
    p.setBrush(Vertical(30, 38, QColor(0x7c, 0x8c, 0xa0), QColor(0x3a, 0x46, 0x58)));
    p.drawRoundedRect(QRectF(2.5, 30.5, 35, 8), 2, 2);
    p.setRenderHint(QPainter::Antialiasing, false);
    HLine(p, 4, 35, 31, QColor(0x9c, 0xaa, 0xbc));
    const QColor orange(0xf8, 0xa0, 0x20);
    p.fillRect(19, 32, 2, 2, orange);
    HLine(p, 17, 22, 34, orange);
    HLine(p, 18, 21, 35, orange);
    HLine(p, 19, 20, 36, orange);
    return image;
}

// ---------------------------------------------------------------------------------------------
// Toolbar images, 22 x 20, drawn in full colour; the muted versions are derived from them.

constexpr int kToolWidth = 22;
constexpr int kToolHeight = 20;
constexpr int kToolCount = 10;

void Smooth(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
}

// A green arrow pointing left (Back) or right (Forward).
void DrawArrow(QPainter& p, bool right) {
    QPolygonF arrow({{2.5, 10},
                     {10.5, 2.5},
                     {10.5, 6.5},
                     {19.5, 6.5},
                     {19.5, 13.5},
                     {10.5, 13.5},
                     {10.5, 17.5}});
    if (right) {
        for (QPointF& point : arrow) {
            point.setX(kToolWidth - point.x());
        }
    }
    Smooth(p);
    p.setBrush(Vertical(2, 18, QColor(0x80, 0xe0, 0x70), QColor(0x20, 0x90, 0x28)));
    p.setPen(QPen(QColor(0x10, 0x50, 0x14), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPolygon(arrow);
}

// A red octagon with a white cross (Stop).
void DrawStop(QPainter& p) {
    QPolygonF octagon;
    for (int i = 0; i < 8; ++i) {
        const qreal a = qDegreesToRadians(22.5 + 45.0 * i);
        octagon << QPointF(11 + 8.7 * std::cos(a), 10 + 8.7 * std::sin(a));
    }
    Smooth(p);
    p.setBrush(Vertical(1, 19, QColor(0xf8, 0x60, 0x50), QColor(0xb0, 0x18, 0x10)));
    p.setPen(QPen(QColor(0x60, 0x08, 0x04), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPolygon(octagon);
    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(7.5, 6.5), QPointF(14.5, 13.5));
    p.drawLine(QPointF(14.5, 6.5), QPointF(7.5, 13.5));
}

// A green arrow running round a circle (Refresh).
void DrawRefresh(QPainter& p) {
    const QPointF c(10, 10.5);
    const qreal r = 6;
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    QPainterPath arc;
    arc.arcMoveTo(box, 75);
    arc.arcTo(box, 75, 285);  // counter-clockwise, ending at the right-hand side
    Smooth(p);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x10, 0x50, 0x14), 4.6, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(arc);
    p.setPen(QPen(QColor(0x40, 0xb8, 0x40), 2.6, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(arc);
    // Arrow head at the end of the arc (angle 0, moving upwards).
    const qreal ex = c.x() + r;
    const QPolygonF head({{ex - 4.5, c.y() + 1}, {ex + 4.5, c.y() + 1}, {ex, c.y() - 5}});
    p.setBrush(QColor(0x40, 0xb8, 0x40));
    p.setPen(QPen(QColor(0x10, 0x50, 0x14), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPolygon(head);
}

// A house with a red roof, a chimney and a brown door (Home).
void DrawHome(QPainter& p) {
    const QColor line(0x40, 0x28, 0x18);
    Box(p, 14, 2, 3, 6, line, QColor(0xa0, 0x50, 0x30));   // chimney
    Box(p, 4, 9, 14, 10, line, QColor(0xf4, 0xec, 0xd8));  // walls
    Box(p, 9, 12, 4, 7, line, QColor(0xa0, 0x60, 0x28));   // door
    Box(p, 14, 11, 3, 3, line, QColor(0x90, 0xc8, 0xf0));  // window
    Smooth(p);
    p.setBrush(Vertical(1, 10, QColor(0xf0, 0x50, 0x40), QColor(0xb0, 0x20, 0x18)));
    p.setPen(QPen(QColor(0x58, 0x0c, 0x08), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPolygon(QPolygonF({{11, 1.5}, {20.5, 10.5}, {1.5, 10.5}}));
}

// A magnifying glass (Search).
void DrawSearch(QPainter& p) {
    Smooth(p);
    p.setPen(QPen(QColor(0x30, 0x20, 0x10), 4.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(13.5, 13), QPointF(18.5, 18));
    p.setPen(QPen(QColor(0xa0, 0x68, 0x30), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(13.5, 13), QPointF(18.5, 18));
    QRadialGradient glass(QPointF(7.5, 6), 7);
    glass.setColorAt(0, Qt::white);
    glass.setColorAt(1, QColor(0x98, 0xcc, 0xf4));
    p.setBrush(glass);
    p.setPen(QPen(QColor(0x30, 0x38, 0x48), 1));
    p.drawEllipse(QPointF(9.5, 8.5), 6.5, 6.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xa8, 0xb0, 0xbc), 1.2));
    p.drawEllipse(QPointF(9.5, 8.5), 5.3, 5.3);
}

// A gold five-pointed star (Favorites).
void DrawStar(QPainter& p) {
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const qreal a = qDegreesToRadians(-90.0 + 36.0 * i);
        const qreal r = (i % 2 == 0) ? 9.6 : 4.0;
        star << QPointF(11 + r * std::cos(a), 10.8 + r * std::sin(a));
    }
    Smooth(p);
    p.setBrush(Vertical(1, 19, QColor(0xff, 0xec, 0x70), QColor(0xf0, 0xa0, 0x00)));
    p.setPen(QPen(QColor(0x80, 0x58, 0x00), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPolygon(star);
}

// A printer with a sheet going in at the top and a printed sheet coming out (Print).
void DrawPrint(QPainter& p) {
    const QColor line(0x38, 0x40, 0x4c);
    Box(p, 6, 1, 10, 7, line, Qt::white);  // sheet waiting at the top
    Box(p, 2, 7, 18, 8, line, QColor(0xc4, 0xc8, 0xd0));
    HLine(p, 3, 18, 8, QColor(0xe8, 0xea, 0xf0));
    HLine(p, 3, 18, 13, QColor(0x98, 0x9c, 0xa8));
    p.fillRect(16, 9, 2, 2, QColor(0x30, 0xd0, 0x30));  // lamp
    HLine(p, 5, 16, 11, QColor(0x40, 0x44, 0x50));      // paper slot
    Box(p, 5, 12, 12, 7, line, Qt::white);              // printed sheet
    HLine(p, 7, 14, 14, QColor(0x70, 0x80, 0xa8));
    HLine(p, 7, 12, 16, QColor(0x70, 0x80, 0xa8));
}

// A large capital A with a smaller a beside it (Font).
void DrawFont(QPainter& p) {
    Smooth(p);
    QFont big(QStringLiteral("DejaVu Serif"));
    big.setStyleHint(QFont::Serif);
    big.setBold(true);
    big.setPixelSize(17);
    QFont small = big;
    small.setPixelSize(11);
    QPainterPath letters;
    letters.addText(QPointF(0.5, 17), big, QStringLiteral("A"));
    letters.addText(QPointF(13, 17), small, QStringLiteral("a"));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x18, 0x28, 0x68));
    p.drawPath(letters);
}

// A green arrow coming down into a tray (Download).
void DrawDownload(QPainter& p) {
    const QColor trayLine(0x1a, 0x22, 0x2e);
    const QColor tray(0x5c, 0x6a, 0x7e);
    // Tray: two walls and a floor.
    p.fillRect(2, 11, 18, 8, trayLine);
    p.fillRect(3, 12, 16, 6, tray);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.fillRect(5, 11, 12, 4, Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    HLine(p, 4, 17, 15, trayLine);
    VLine(p, 4, 11, 15, trayLine);
    VLine(p, 17, 11, 15, trayLine);
    HLine(p, 3, 18, 16, QColor(0x86, 0x96, 0xaa));
    Smooth(p);
    p.setBrush(Vertical(1, 15, QColor(0x80, 0xe0, 0x70), QColor(0x20, 0x90, 0x28)));
    p.setPen(QPen(QColor(0x10, 0x50, 0x14), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPolygon(QPolygonF(
        {{8.5, 0.5}, {13.5, 0.5}, {13.5, 7.5}, {17.5, 7.5}, {11, 14}, {4.5, 7.5}, {8.5, 7.5}}));
}

QImage MakeToolbarImage(int index) {
    QImage image = NewImage(kToolWidth, kToolHeight);
    QPainter p(&image);
    switch (index) {
        case 0:
            DrawArrow(p, false);
            break;
        case 1:
            DrawArrow(p, true);
            break;
        case 2:
            DrawStop(p);
            break;
        case 3:
            DrawRefresh(p);
            break;
        case 4:
            DrawHome(p);
            break;
        case 5:
            DrawSearch(p);
            break;
        case 6:
            DrawStar(p);
            break;
        case 7:
            DrawPrint(p);
            break;
        case 8:
            DrawFont(p);
            break;
        case 9:
            DrawDownload(p);
            break;
        default:
            break;
    }
    return image;
}

}  // namespace

QPixmap ListPicture(int index) {
    constexpr int kCount = 8;
    if (index == 8) {
        index = 7;
    }
    if (index < 0 || index >= kCount) {
        return ToPixmap(NewImage(kListSize, kListSize));
    }
    static std::array<QPixmap, kCount> cache;
    QPixmap& picture = cache[static_cast<size_t>(index)];
    if (picture.isNull()) {
        picture = MakeListPicture(index);
    }
    return picture;
}

QPixmap ProductBanner(QSize size) {
    const int w = std::max(1, size.width());
    const int h = std::max(1, size.height());
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    QLinearGradient back(0, 0, w, h);
    back.setColorAt(0, QColor(0xff, 0xff, 0xff));
    back.setColorAt(1, QColor(0xd8, 0xe4, 0xf2));
    p.fillRect(0, 0, w, h, back);
    p.fillRect(0, h - 1, w, 1, QColor(0xa0, 0xb0, 0xc4));

    const qreal margin = std::max(2.0, h * 0.1);
    const qreal side = h - 2 * margin;
    DrawMotif(p, QPointF(margin + 1, margin - 0.5), side);

    QFont title = QGuiApplication::font();
    title.setBold(true);
    title.setPixelSize(std::max(6, static_cast<int>(std::lround(h * 0.5))));
    QFont subtitle = QGuiApplication::font();
    subtitle.setPixelSize(std::max(5, static_cast<int>(std::lround(h * 0.31))));
    const QFontMetricsF titleMetrics(title);
    const QString name = QStringLiteral("Tarvex");
    const qreal x = margin + side + h * 0.3;
    const qreal baseline = (h + titleMetrics.capHeight()) / 2.0;
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(title);
    p.setPen(QColor(0x1c, 0x3c, 0x6c));
    p.drawText(QPointF(x, baseline), name);
    p.setFont(subtitle);
    p.setPen(QColor(0x48, 0x58, 0x6c));
    p.drawText(QPointF(x + titleMetrics.horizontalAdvance(name) + h * 0.18, baseline),
               QStringLiteral("Download Service"));
    p.end();
    return ToPixmap(image);
}

QIcon AppIcon() {
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 128}) {
        icon.addPixmap(ToPixmap(side <= 24 ? SmallAppIcon(side) : LargeAppIcon(side)));
    }
    return icon;
}

QList<QPixmap> AnimationFrames() {
    QList<QPixmap> frames;
    frames.reserve(kFrameCount);
    for (int i = 0; i < kFrameCount; ++i) {
        frames.append(ToPixmap(MakeFrame(i)));
    }
    return frames;
}

QPixmap ToolbarImage(int index, bool hot) {
    if (index < 0 || index >= kToolCount) {
        return ToPixmap(NewImage(kToolWidth, kToolHeight));
    }
    const QImage image = MakeToolbarImage(index);
    return ToPixmap(hot ? image : Muted(image));
}
