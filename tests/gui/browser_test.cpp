// The browser pane on a real QWebEngineView: download links are caught
// before the browser goes there, downloads the engine would start go the same
// way, and the favorites menu opens its addresses.

#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "GuiSandbox.h"
#include "TestHttpServer.h"
#include "app/CommandIds.h"
#include "app/Controls.h"
#include "browser/CMainFrame.h"
#include "browser/CSurfpaneView.h"

namespace {

const char kPage[] =
    "<html><head><title>Links</title></head><body>"
    "<a id='zip' href='/files/Setup.ZIP'>zip</a> "
    "<a id='query' href='/get?name=tool.zip'>query</a> "
    "<a id='html' href='/other.html'>other</a> "
    "<a id='attachment' href='/report.bin'>report</a>"
    "</body></html>";

tvxtest::Reply Serve(const tvxtest::SeenRequest& r) {
    using tvxtest::ResponseHead;
    if (r.target == "/report.bin") {
        return tvxtest::Reply().Send(
            ResponseHead(200, {{"Content-Type", "application/octet-stream"},
                               {"Content-Disposition", "attachment; filename=report.bin"},
                               {"Content-Length", "4"}}) +
            "data");
    }
    if (r.target == "/other.html") {
        return tvxtest::Reply().Send(
            ResponseHead(200, {{"Content-Type", "text/html"}}) +
            "<html><head><title>Other</title></head><body>o</body></html>");
    }
    return tvxtest::Reply().Send(ResponseHead(200, {{"Content-Type", "text/html"}}) + kPage);
}

int Requests(const tvxtest::TestHttpServer& server, const std::string& target) {
    int n = 0;
    for (const auto& r : server.Requests())
        n += r.target == target ? 1 : 0;
    return n;
}

}  // namespace

class BrowserTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void downloadLinksAreCaughtAndNeverShown();
    void cancelledSaveLeavesThePage();
    void engineDownloadsTakeTheSameWay();
    void favoritesMenuOpensItsAddresses();
    void theEngineRunsHardenedAndPagesCanGoToTheOwnBrowser();

private:
    // Loads the page of links into the view and waits for it.
    void LoadLinks(CSurfpaneView& view);
    void Click(CSurfpaneView& view, const char* id);

    std::unique_ptr<GuiSandbox> m_sandbox;
    std::unique_ptr<tvxtest::TestHttpServer> m_server;
    QStringList m_proposals;
    QString m_answer;
    std::vector<std::string> m_downloads;
};

void BrowserTest::init() {
    m_sandbox = std::make_unique<GuiSandbox>();
    m_server = std::make_unique<tvxtest::TestHttpServer>(&Serve);
    qputenv("TVX_FAVORITES", m_sandbox->PathOf("Favorites").toLocal8Bit());
    m_proposals.clear();
    m_downloads.clear();
}

void BrowserTest::cleanup() {
    m_server.reset();
    m_sandbox.reset();
}

void BrowserTest::LoadLinks(CSurfpaneView& view) {
    view.SetSaveDialogHook([this](const QString& proposal, const QString&) {
        m_proposals << proposal;
        return m_answer;
    });
    view.SetDownloadHook([this](const std::string& text) { m_downloads.push_back(text); });
    QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
    view.Navigate2(QString::fromStdString(m_server->Url("/links.html")));
    QVERIFY(loaded.wait(20000));
    QTRY_COMPARE_WITH_TIMEOUT(view.title(), QString("Links"), 10000);
}

// By default the open web meets no JIT (so no WebAssembly), no WebGL, no
// plugins or PDF viewer; a page or a link can go to the desktop's browser.
void BrowserTest::theEngineRunsHardenedAndPagesCanGoToTheOwnBrowser() {
    CSurfpaneView view;
    view.resize(600, 400);
    view.show();
    LoadLinks(view);
    QVariant seen;
    view.page()->runJavaScript(
        QStringLiteral("typeof WebAssembly + ' ' + "
                       "!!document.createElement('canvas').getContext('webgl')"),
        [&](const QVariant& result) { seen = result; });
    QTRY_COMPARE_WITH_TIMEOUT(seen.toString(), QString("undefined false"), 10000);
    const QWebEngineSettings* settings = view.page()->profile()->settings();
    QVERIFY(!settings->testAttribute(QWebEngineSettings::PluginsEnabled));
    QVERIFY(!settings->testAttribute(QWebEngineSettings::PdfViewerEnabled));
    QVERIFY(settings->testAttribute(QWebEngineSettings::PlaybackRequiresUserGesture));

    QStringList opened;
    view.SetOpenExternallyHook([&](const QString& address) { opened << address; });
    view.OnCommand(ID_VIEW_IN_WEB_BROWSER);
    QCOMPARE(opened, QStringList{QString::fromStdString(m_server->Url("/links.html"))});
}

void BrowserTest::Click(CSurfpaneView& view, const char* id) {
    view.page()->runJavaScript(
        QStringLiteral("document.getElementById('%1').click();").arg(QLatin1String(id)));
}

void BrowserTest::downloadLinksAreCaughtAndNeverShown() {
    CSurfpaneView view;
    view.resize(600, 400);
    view.show();
    view.OnInitialUpdate();
    LoadLinks(view);
    const QString page = view.url().toString();
    QCOMPARE(QString::fromStdString(view.DownloadFolder()), QDir::currentPath() + "\\downloads");

    m_answer = m_sandbox->PathOf("deep/er/Setup.ZIP");
    Click(view, "zip");
    QTRY_COMPARE_WITH_TIMEOUT(m_downloads.size(), std::size_t(1), 10000);
    // Proposed: the download folder and the name as the address spells it.
    QCOMPARE(m_proposals.value(0), QDir::currentPath() + "/downloads/Setup.ZIP");
    QCOMPARE(QString::fromStdString(m_downloads[0]),
             QString::fromStdString(m_server->Url("/files/Setup.ZIP")) + "," + m_answer);
    // The next proposal is in the folder confirmed last; a query counts as the name.
    m_answer = m_sandbox->PathOf("deep/er/tool.zip");
    Click(view, "query");
    QTRY_COMPARE_WITH_TIMEOUT(m_downloads.size(), std::size_t(2), 10000);
    QCOMPARE(m_proposals.value(1), m_sandbox->PathOf("deep/er") + "/get?name=tool.zip");
    // Neither address was ever fetched by the browser, and the page stayed.
    QTest::qWait(200);
    QCOMPARE(Requests(*m_server, "/files/Setup.ZIP"), 0);
    QCOMPARE(Requests(*m_server, "/get?name=tool.zip"), 0);
    QCOMPARE(view.url().toString(), page);

    // Other links are shown as usual.
    Click(view, "html");
    QTRY_COMPARE_WITH_TIMEOUT(view.title(), QString("Other"), 10000);
    QCOMPARE(m_downloads.size(), std::size_t(2));
}

void BrowserTest::cancelledSaveLeavesThePage() {
    CSurfpaneView view;
    view.show();
    view.OnInitialUpdate();
    LoadLinks(view);
    const std::string folder = view.DownloadFolder();
    m_answer.clear();  // the user cancels the Save dialog
    Click(view, "zip");
    QTRY_COMPARE_WITH_TIMEOUT(m_proposals.size(), qsizetype(1), 10000);
    QTest::qWait(200);
    QVERIFY(m_downloads.empty());
    QCOMPARE(view.title(), QString("Links"));
    QCOMPARE(view.DownloadFolder(), folder);
}

void BrowserTest::engineDownloadsTakeTheSameWay() {
    CSurfpaneView view;
    view.show();
    view.OnInitialUpdate();
    LoadLinks(view);
    m_answer = m_sandbox->PathOf("report.bin");
    Click(view, "attachment");
    QTRY_COMPARE_WITH_TIMEOUT(m_downloads.size(), std::size_t(1), 10000);
    QVERIFY(m_proposals.value(0).endsWith("/report.bin"));
    QCOMPARE(QString::fromStdString(m_downloads[0]),
             QString::fromStdString(m_server->Url("/report.bin")) + "," + m_answer);
    QCOMPARE(view.title(), QString("Links"));
}

void BrowserTest::favoritesMenuOpensItsAddresses() {
    QDir root(m_sandbox->PathOf("."));
    root.mkpath("Favorites/S");
    root.mkpath("Favorites/Empty/Deeper");
    m_sandbox->WriteFile("Favorites/b.url",
                         "[InternetShortcut]\nURL=" +
                             QByteArray::fromStdString(m_server->Url("/other.html")) + "\n");
    m_sandbox->WriteFile("Favorites/a.url",
                         "[InternetShortcut]\nURL=" +
                             QByteArray::fromStdString(m_server->Url("/links.html")) + "\n");
    m_sandbox->WriteFile("Favorites/S/c.url", "[InternetShortcut]\nURL=http://127.0.0.1:1/c\n");
    m_sandbox->WriteFile("Favorites/readme.txt", "not a shortcut");
    CMainFrame frame;
    frame.show();
    QMenu* menu = frame.FavoritesMenu();
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << a->text();
    QCOMPARE(texts, (QStringList{"S", "a", "b"}));
    QCOMPARE(menu->actions().at(0)->menu()->actions().at(0)->data().toInt(), 3586);
    QCOMPARE(menu->actions().at(1)->data().toInt(), 3584);
    QCOMPARE(frame.FavoriteAddresses().size(), 3);
    menu->actions().at(2)->trigger();  // "b"
    QTRY_COMPARE_WITH_TIMEOUT(frame.windowTitle(), QString("Other - Tarvex Download Service"),
                              20000);
}

QTEST_MAIN(BrowserTest)
#include "browser_test.moc"
