#include "browser/EngineHardening.h"

#include <QtWebEngineCore/qtwebenginecoreglobal.h>

#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <cstdlib>

#include "app/ColorScheme.h"
#include "app/Settings.h"
#include "platform/Profile.h"

namespace {

bool ReadHardened() {
    return tvx::GetPrivateProfileInt("Browser", "Hardened", 1, tvx::SettingsFilePath()) != 0;
}

}  // namespace

bool PrepareBrowserEngine() {
    static const bool hardened = [] {
        const bool on = ReadHardened();
        // The engine reads its flags from this variable when it starts.
        QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        if (on)
            flags += " --js-flags=--jitless --disable-gpu --disable-webgl --disable-3d-apis";
        // Pages that offer dark colours (prefers-color-scheme) show them in a
        // dark window.
        if (IsDarkPalette())
            flags += " --force-dark-mode";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
        return on;
    }();
    return hardened;
}

void HardenProfile(QWebEngineProfile* profile) {
    if (!PrepareBrowserEngine())
        return;
    QWebEngineSettings* settings = profile->settings();
    settings->setAttribute(QWebEngineSettings::WebGLEnabled, false);
    settings->setAttribute(QWebEngineSettings::Accelerated2dCanvasEnabled, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
    profile->cookieStore()->setCookieFilter(
        [](const QWebEngineCookieStore::FilterRequest& request) { return !request.thirdParty; });
}

QString EngineVersion() {
    return QStringLiteral("Qt WebEngine %1 (Chromium %2)")
        .arg(QString::fromLatin1(qWebEngineVersion()),
             QString::fromLatin1(qWebEngineChromiumVersion()));
}
