// Downloads and links from the browser pane, end to end against a local
// server: the transfer sends the browser's cookies and the page as Referer,
// what only the engine holds (a Blob, a data: address, a form's answer) the
// engine saves itself, a local archive is copied from its path, engine
// downloads propose the server's name, the Save dialog asks no replace
// question, and the page's menu adds a link to the download list.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "GuiSandbox.h"
#include "TestHttpServer.h"
#include "app/MessageBox.h"
#include "browser/CCookieStore.h"
#include "browser/CMainFrame.h"
#include "browser/CSurfpaneView.h"
#include "downloadlist/CLeftView.h"
#include "downloadlist/LinkRecord.h"
#include "transfer/CEngineDownloadDlg.h"

namespace {

using tvxtest::Reply;
using tvxtest::ResponseHead;
using tvxtest::SeenRequest;

const char kPage[] =
    "<html><head><title>Links</title></head><body>"
    "<a id='archive' href='/files/archive.zip'>The archive</a> "
    "<a id='named' href='/download.php?id=3'>named</a> "
    "<form id='form' method='post' action='/export'><input name='q' value='1'></form>"
    "</body></html>";

std::string Archive() {
    std::string bytes(5000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 % 251);
    return bytes;
}

Reply Attachment(const std::string& name, const std::string& body) {
    return Reply().Send(
        ResponseHead(200, {{"Content-Type", "application/octet-stream"},
                           {"Content-Disposition", "attachment; filename=\"" + name + "\""},
                           {"Content-Length", std::to_string(body.size())}}) +
        body);
}

// The archive is there only for the logged-in browser; anyone else gets the
// log-in page, with status 200 like the sites that do this.
Reply Serve(const SeenRequest& r) {
    if (r.target == "/files/archive.zip") {
        if (r.Header("Cookie").find("session=s3cret") != std::string::npos)
            return tvxtest::FileReply(r, Archive(), "Sun, 06 Nov 1994 08:49:37 GMT");
        return Reply().Send(ResponseHead(200, {{"Content-Type", "text/html"}}) +
                            "<html>Please log in</html>");
    }
    if (r.target == "/download.php?id=3")
        return Attachment("tool-3.zip", "tool");
    if (r.target == "/export")
        return Attachment("export.csv", r.method == "POST" ? "posted bytes" : "a repeated GET");
    tvxtest::HeaderList headers = {{"Content-Type", "text/html"}};
    if (r.target == "/login.html")
        headers.push_back({"Set-Cookie", "session=s3cret; Path=/; HttpOnly"});
    return Reply().Send(ResponseHead(200, headers) + kPage);
}

std::string ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// Records what the page's editor was opened with and keeps it.
class AcceptingHost : public tvx::ListCommandHost {
public:
    bool EditLink(tvx::LinkRecord& record) override {
        edited.push_back(record);
        return true;
    }
    void Beep() override {}
    void MessageBox(const std::string&) override {}
    bool AskOkCancel(const std::string&) override { return true; }
    void DownloadFile(const std::string&) override {}
    void WriteLog(const std::string&) override {}
    std::vector<tvx::LinkRecord> edited;
};

}  // namespace

class BrowserDownloadsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void loggedInDownloadSendsTheCookiesAndReferer();
    void whatOnlyTheEngineHoldsTheEngineSaves();
    void localArchiveIsCopiedFromItsPath();
    void engineDownloadsProposeTheServersName();
    void saveDialogAsksNoReplaceQuestion();
    void pageMenuAddsTheLinkToTheList();

private:
    // Hooks the Save dialog (unless real) and, when asked, the transfer;
    // loads the page at target and waits for it.
    void Load(CSurfpaneView& view, const char* target, bool hookTransfer);
    void Click(CSurfpaneView& view, const char* id);
    int Requests(const std::string& method, const std::string& target) const;

    std::unique_ptr<GuiSandbox> m_sandbox;
    std::unique_ptr<tvxtest::TestHttpServer> m_server;
    QStringList m_proposals;
    QString m_answer;
    std::vector<std::string> m_downloads;
    std::vector<std::string> m_messages;
};

void BrowserDownloadsTest::init() {
    m_sandbox = std::make_unique<GuiSandbox>();
    m_server = std::make_unique<tvxtest::TestHttpServer>(&Serve);
    qputenv("TVX_FAVORITES", m_sandbox->PathOf("no-favorites").toLocal8Bit());
    m_proposals.clear();
    m_downloads.clear();
    m_messages.clear();
    SetMessageBoxHandler([this](const std::string& text, MessageButtons) {
        m_messages.push_back(text);
        return true;
    });
}

void BrowserDownloadsTest::cleanup() {
    SetMessageBoxHandler({});
    m_server.reset();
    m_sandbox.reset();
}

void BrowserDownloadsTest::Load(CSurfpaneView& view, const char* target, bool hookTransfer) {
    view.SetSaveDialogHook([this](const QString& proposal, const QString&) {
        m_proposals << proposal;
        return m_answer;
    });
    if (hookTransfer)
        view.SetDownloadHook([this](const std::string& text) { m_downloads.push_back(text); });
    QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
    view.Navigate2(QString::fromStdString(m_server->Url(target)));
    QVERIFY(loaded.wait(20000));
    QTRY_COMPARE_WITH_TIMEOUT(view.title(), QString("Links"), 20000);
}

void BrowserDownloadsTest::Click(CSurfpaneView& view, const char* id) {
    view.page()->runJavaScript(
        QStringLiteral("document.getElementById('%1').click();").arg(QLatin1String(id)));
}

int BrowserDownloadsTest::Requests(const std::string& method, const std::string& target) const {
    int n = 0;
    for (const SeenRequest& r : m_server->Requests())
        n += r.method == method && r.target == target ? 1 : 0;
    return n;
}

void BrowserDownloadsTest::loggedInDownloadSendsTheCookiesAndReferer() {
    CSurfpaneView view;
    view.show();
    view.OnInitialUpdate();
    Load(view, "/login.html", false);  // the real download dialog fetches it
    QTRY_VERIFY_WITH_TIMEOUT(!view.Cookies().NetscapeLines().empty(), 10000);
    m_answer = m_sandbox->PathOf("archive.zip");
    Click(view, "archive");
    QTRY_VERIFY_WITH_TIMEOUT(ReadBytes(m_answer) == Archive(), 20000);
    QVERIFY(m_messages.empty());
    int seen = 0;
    for (const SeenRequest& r : m_server->Requests()) {
        if (r.target != "/files/archive.zip")
            continue;
        ++seen;
        QCOMPARE(r.Header("Cookie"), std::string("session=s3cret"));
        QCOMPARE(r.Header("Referer"), m_server->Url("/login.html"));
    }
    QVERIFY(seen >= 1);  // the check, whose answer the transfer goes on with
}

void BrowserDownloadsTest::whatOnlyTheEngineHoldsTheEngineSaves() {
    struct Case {
        const char* script;
        const char* name;
        std::string bytes;
    } const cases[] = {
        {"var a = document.createElement('a');"
         "a.href = URL.createObjectURL(new Blob(['blob bytes'], {type: 'application/x-tvx'}));"
         "a.download = 'made.bin'; document.body.appendChild(a); a.click();",
         "made.bin", "blob bytes"},
        {"var a = document.createElement('a');"
         "a.href = 'data:application/octet-stream;base64,ZGF0YSBieXRlcw==';"
         "a.download = 'data.bin'; document.body.appendChild(a); a.click();",
         "data.bin", "data bytes"},
        {"document.getElementById('form').submit();", "export.csv", "posted bytes"},
    };
    CSurfpaneView view;
    view.show();
    view.OnInitialUpdate();
    QDir(m_sandbox->PathOf(".")).mkpath("saved");
    m_sandbox->WriteFile("saved/export.csv", "an older copy");
    for (const Case& c : cases) {
        Load(view, "/links.html", true);
        m_answer = m_sandbox->PathOf(QStringLiteral("saved/") + c.name);
        view.page()->runJavaScript(QString::fromLatin1(c.script));
        QTRY_VERIFY2_WITH_TIMEOUT(ReadBytes(m_answer) == c.bytes, c.name, 20000);
        QVERIFY2(m_proposals.constLast().endsWith(QStringLiteral("/") + c.name),
                 qPrintable(m_proposals.constLast()));
        const auto dialogs = view.findChildren<CEngineDownloadDlg*>();
        QVERIFY(!dialogs.isEmpty());
        QTRY_VERIFY(dialogs.constLast()->Result() == CEngineDownloadDlg::Outcome::Saved);
        QVERIFY(dialogs.constLast()->StatusText()->text().startsWith("Saved:"));
        QVERIFY(!QFile::exists(m_answer + ".part"));
    }
    QVERIFY(m_downloads.empty());  // nothing went to the transfer
    QCOMPARE(Requests("POST", "/export"), 1);
    QCOMPARE(Requests("GET", "/export"), 0);
    QVERIFY(m_messages.empty());
}

void BrowserDownloadsTest::localArchiveIsCopiedFromItsPath() {
    CSurfpaneView view;
    view.show();
    view.OnInitialUpdate();
    Load(view, "/links.html", false);
    QDir(m_sandbox->PathOf(".")).mkpath("src");
    m_sandbox->WriteFile("src/local.zip", QByteArray::fromStdString(Archive()));
    m_answer = m_sandbox->PathOf("copy/local.zip");
    view.Navigate2(QUrl::fromLocalFile(m_sandbox->PathOf("src/local.zip")).toString());
    QTRY_VERIFY_WITH_TIMEOUT(ReadBytes(m_answer) == Archive(), 20000);
    QVERIFY(m_messages.empty());
}

void BrowserDownloadsTest::engineDownloadsProposeTheServersName() {
    CSurfpaneView view;
    view.show();
    view.OnInitialUpdate();
    Load(view, "/links.html", true);
    m_answer = m_sandbox->PathOf("tool-3.zip");
    Click(view, "named");
    QTRY_COMPARE_WITH_TIMEOUT(m_downloads.size(), std::size_t(1), 20000);
    QCOMPARE(m_proposals.value(0), QDir::currentPath() + "/downloads/tool-3.zip");
    QCOMPARE(QString::fromStdString(m_downloads[0]),
             QString::fromStdString(m_server->Url("/download.php?id=3")) + "," + m_answer);
}

void BrowserDownloadsTest::saveDialogAsksNoReplaceQuestion() {
    CSurfpaneView view;
    view.show();
    view.OnInitialUpdate();
    Load(view, "/links.html", true);
    view.SetSaveDialogHook({});  // the real dialog
    const QString existing = m_sandbox->PathOf("archive.zip");
    m_sandbox->WriteFile("archive.zip", "half of it");
    bool asked = false;
    bool chosen = false;
    QTimer user;
    connect(&user, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            asked = true;
            if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                yes->click();
            else
                box->reject();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && asked) {
            dialog->reject();  // the question kept it open
        } else if (dialog && !chosen) {
            chosen = true;
            dialog->selectFile(existing);
            // As the Save button does; queued, so that this timer runs on
            // while a question would be open.
            QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog*>(dialog)->accept(); });
        }
    });
    user.start(50);
    Click(view, "archive");
    QTRY_VERIFY_WITH_TIMEOUT(asked || m_downloads.size() == 1, 20000);
    QVERIFY(chosen);
    QVERIFY(!asked);
    QCOMPARE(QString::fromStdString(m_downloads[0]),
             QString::fromStdString(m_server->Url("/files/archive.zip")) + "," + existing);
}

void BrowserDownloadsTest::pageMenuAddsTheLinkToTheList() {
    m_sandbox->WriteFile("tvx_downctrl.htm",
                         "http://h/,downloads,T\r\n{Tools\r\n1,a.zip,A\r\n}\r\n}\r\n//END\r\n");
    CMainFrame frame;
    frame.resize(1000, 700);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    AcceptingHost host;
    CLeftView* list = frame.LeftView();
    list->SetCommandHost(&host);
    list->setCurrentItem(list->topLevelItem(0));  // the folder "Tools"
    CSurfpaneView* view = frame.SurfpaneView();
    Load(*view, "/links.html", true);

    QVariant center;
    view->page()->runJavaScript(
        "var r = document.getElementById('archive').getBoundingClientRect();"
        "[r.left + r.width / 2, r.top + r.height / 2]",
        [&](const QVariant& v) { center = v; });
    QTRY_VERIFY_WITH_TIMEOUT(center.isValid(), 10000);
    const QPoint point(center.toList().value(0).toInt(), center.toList().value(1).toInt());
    QWidget* surface = view->focusProxy();
    QTest::mousePress(surface, Qt::RightButton, {}, point);
    QTest::mouseRelease(surface, Qt::RightButton, {}, point);
    QMenu* menu = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())),
                             10000);
    QStringList texts;
    QAction* add = nullptr;
    for (QAction* action : menu->actions()) {
        texts << action->text();
        if (action->text() == "Add link to the download list")
            add = action;
    }
    QVERIFY2(add != nullptr, qPrintable(texts.join('|')));
    for (const QString& text : texts)
        QVERIFY2(!text.contains("new tab", Qt::CaseInsensitive) &&
                     !text.contains("new window", Qt::CaseInsensitive),
                 qPrintable(text));
    add->trigger();
    menu->close();
    QTRY_COMPARE(host.edited.size(), std::size_t(1));
    const tvx::LinkRecord& proposed = host.edited[0];
    QCOMPARE(std::string(proposed.Address()), m_server->Url("/files/archive.zip"));
    QCOMPARE(std::string(proposed.Path()), std::string("archive.zip"));
    QCOMPARE(std::string(proposed.Text()), std::string("The archive"));
    QTreeWidgetItem* folder = list->topLevelItem(0);
    QCOMPARE(folder->childCount(), 2);
    QVERIFY(
        list->findItems("The archive", Qt::MatchExactly | Qt::MatchRecursive).value(0)->parent() ==
        folder);
}

QTEST_MAIN(BrowserDownloadsTest)
#include "browser_downloads_test.moc"
