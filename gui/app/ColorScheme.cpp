#include "app/ColorScheme.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QPalette>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleFactory>

namespace {

QPalette DarkPalette() {
    const QColor window(53, 53, 53), base(35, 35, 35), text(230, 230, 230);
    const QColor accent(42, 130, 218), muted(127, 127, 127);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, QColor(25, 25, 25));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, muted);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Light, QColor(80, 80, 80));
    p.setColor(QPalette::Midlight, QColor(66, 66, 66));
    p.setColor(QPalette::Mid, QColor(45, 45, 45));
    p.setColor(QPalette::Dark, QColor(30, 30, 30));
    p.setColor(QPalette::Shadow, QColor(10, 10, 10));
    p.setColor(QPalette::Link, accent.lighter(130));
    p.setColor(QPalette::LinkVisited, QColor(170, 130, 220));
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, Qt::white);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText})
        p.setColor(QPalette::Disabled, role, muted);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(80, 80, 80));
    return p;
}

// The desktop's preference from the settings portal: 1 prefers dark, 2
// prefers light, 0 or no answer says nothing. Asked briefly: a missing or
// slow portal must not hold up the start.
unsigned PortalColorScheme() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return 0;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
    const QDBusMessage reply = bus.call(call, QDBus::Block, 300);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return 0;
    // The value comes wrapped in one or two variants, depending on the portal.
    QVariant value = reply.arguments().constFirst();
    while (value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value.toUInt();
}

// Fusion outlines check boxes and radio buttons in a shade darker than the
// window, which vanishes on a dark palette: there they are drawn as if on a
// lighter window, which gives them a visible rim.
class VisibleIndicators : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        if (button != nullptr &&
            (element == PE_IndicatorCheckBox || element == PE_IndicatorRadioButton) &&
            button->palette.color(QPalette::Window).lightness() < 128) {
            QStyleOptionButton lit(*button);
            lit.palette.setColor(QPalette::Window, QColor(150, 150, 150));
            QProxyStyle::drawPrimitive(element, &lit, painter, widget);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};

void UseFusion(QApplication& app, bool dark) {
    QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    if (fusion == nullptr)
        return;
    app.setPalette(dark ? DarkPalette() : fusion->standardPalette());
    QApplication::setStyle(new VisibleIndicators(fusion));
}

// What the program started with, before it changed anything, to go back to
// when the desktop turns light again.
struct Original {
    QString style;
    QPalette palette;
};
const Original& Started() {
    static const Original original{QApplication::style()->name(), QApplication::palette()};
    return original;
}
bool g_switchedToDark = false;  // dark because the desktop asked for it

// Hears the settings portal say that the desktop's preference changed.
class SchemeFollower : public QObject {
    Q_OBJECT
public:
    explicit SchemeFollower(QApplication& app) : QObject(&app), m_app(app) {}

public slots:
    void SettingChanged(const QString& group, const QString& key, const QDBusVariant& value) {
        if (group == QLatin1String("org.freedesktop.appearance") &&
            key == QLatin1String("color-scheme"))
            FollowDesktopColorScheme(m_app, value.variant().toUInt());
    }

private:
    QApplication& m_app;
};

}  // namespace

void FollowDesktopColorScheme(QApplication& app, unsigned scheme) {
    Started();
    if (scheme == 1 && !IsDarkPalette()) {
        UseFusion(app, true);
        g_switchedToDark = true;
    } else if (scheme != 1 && g_switchedToDark) {
        app.setPalette(Started().palette);
        if (QStyle* style = QStyleFactory::create(Started().style))
            QApplication::setStyle(style);
        g_switchedToDark = false;
    }
}

bool IsDarkPalette() {
    const QPalette p = QApplication::palette();
    return p.color(QPalette::Window).lightness() < 128;
}

void ApplyColorScheme(QApplication& app) {
    Started();
    const QByteArray asked = qgetenv("TVX_COLOR_SCHEME").trimmed().toLower();
    if (asked == "dark" || asked == "light") {
        UseFusion(app, asked == "dark");
        return;
    }
    if (IsDarkPalette() && QApplication::style()->name() == QLatin1String("fusion"))
        QApplication::setStyle(new VisibleIndicators(QStyleFactory::create(QStringLiteral("Fusion"))));
    else
        FollowDesktopColorScheme(app, PortalColorScheme());
    // A desktop that switches between light and dark while the program runs
    // says so through the portal.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.connect(QStringLiteral("org.freedesktop.portal.Desktop"),
                    QStringLiteral("/org/freedesktop/portal/desktop"),
                    QStringLiteral("org.freedesktop.portal.Settings"),
                    QStringLiteral("SettingChanged"), new SchemeFollower(app),
                    SLOT(SettingChanged(QString, QString, QDBusVariant)));
}

#include "ColorScheme.moc"
