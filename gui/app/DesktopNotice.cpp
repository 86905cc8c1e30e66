#include "app/DesktopNotice.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

std::chrono::milliseconds g_desktopNoticeAfter{10000};

namespace {
DesktopNoticeSink& Sink() {
    static DesktopNoticeSink sink;
    return sink;
}

void SendOverDBus(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    call << QStringLiteral("Tarvex Download Service") << 0u << QStringLiteral("tvx") << summary
         << body << QStringList() << QVariantMap() << -1;
    bus.call(call, QDBus::NoBlock);
}
}  // namespace

void SetDesktopNoticeSink(DesktopNoticeSink sink) {
    Sink() = std::move(sink);
}

void NoticeWorkEnded(std::chrono::steady_clock::duration took, const QString& summary,
                     const QString& body) {
    if (took < g_desktopNoticeAfter || QApplication::activeWindow() != nullptr)
        return;
    if (Sink())
        Sink()(summary, body);
    else
        SendOverDBus(summary, body);
}
