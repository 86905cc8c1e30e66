#include "res/Images.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QtMath>
#include <iterator>

#include "res/Resources.h"

namespace {

QString Picture(const QString& name) {
    return QStringLiteral(":/tvx/pictures/%1.svg").arg(name);
}

// Renders an SVG file at `size` device-independent pixels for a screen of the given device
// pixel ratio: the pixmap has size * ratio pixels and says so, so a QLabel shows it at `size`.
QPixmap Render(const QString& file, QSize size, qreal devicePixelRatio) {
    InitResources();
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage image(qCeil(size.width() * ratio), qCeil(size.height() * ratio),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(file);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    image.setDevicePixelRatio(ratio);
    return QPixmap::fromImage(image);
}

}  // namespace

QIcon ListIcon(int index) {
    static const char* const names[] = {"folder", "disk",   "info",    "book",
                                        "page",   "parcel", "program", "globe"};
    if (index == 8) {
        index = 7;
    }
    if (index < 0 || index >= static_cast<int>(std::size(names))) {
        return QIcon();
    }
    InitResources();
    return QIcon(Picture(QStringLiteral("list-") + QLatin1String(names[index])));
}

QPixmap ProductBanner(qreal devicePixelRatio) {
    return Render(Picture(QStringLiteral("banner")), QSize(266, 42), devicePixelRatio);
}

QIcon AppIcon() {
    InitResources();
    return QIcon(QStringLiteral(":/tvx/tvx.svg"));
}

QList<QPixmap> AnimationFrames(qreal devicePixelRatio) {
    QList<QPixmap> frames;
    for (int i = 0; i < 7; ++i) {
        frames.append(
            Render(Picture(QStringLiteral("running-%1").arg(i)), QSize(40, 40), devicePixelRatio));
    }
    return frames;
}

QIcon ToolbarIcon(int index) {
    static const char* const names[] = {"back",   "forward",   "stop",  "refresh", "home",
                                        "search", "favorites", "print", "font",    "download"};
    if (index < 0 || index >= static_cast<int>(std::size(names))) {
        return QIcon();
    }
    InitResources();
    const QString name = QStringLiteral("toolbar-") + QLatin1String(names[index]);
    QIcon icon;
    icon.addFile(Picture(name + QStringLiteral("-muted")), QSize(), QIcon::Normal);
    icon.addFile(Picture(name), QSize(), QIcon::Active);
    return icon;
}
