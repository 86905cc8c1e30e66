// The log pane's typing rules and the session dialog driven by its buttons.

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include "GuiSandbox.h"
#include "TestHttpServer.h"
#include "app/Controls.h"
#include "app/MessageBox.h"
#include "session/CSessionDlg.h"
#include "session/CStatusView.h"
#include "session/WorkList.h"

namespace {
const std::string kDate = "Sun, 06 Nov 1994 08:49:37 GMT";
}

class LogSessionTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void sessionTextsBreakLinesAndDropBells();
    void textGoesToTheInsertionPointReplacingASelection();
    void fullPaneDropsFurtherText();
    void sessionDialogRunsFromOkToItsEnd();
    void sessionDialogCancelBeforeOk();
    void sessionDialogKeysAndClosingWhileItChecks();

private:
    std::unique_ptr<GuiSandbox> m_sandbox;
    std::unique_ptr<CStatusView> m_log;
    std::vector<std::string> m_messages;
};

void LogSessionTest::init() {
    m_sandbox = std::make_unique<GuiSandbox>();
    m_log = std::make_unique<CStatusView>();
    m_log->OnInitialUpdate();
    m_messages.clear();
    SetMessageBoxHandler([this](const std::string& text, MessageButtons) {
        m_messages.push_back(text);
        return true;
    });
}

void LogSessionTest::cleanup() {
    SetMessageBoxHandler({});
    m_log.reset();
    m_sandbox.reset();
}

void LogSessionTest::sessionTextsBreakLinesAndDropBells() {
    CSessionDlg::WriteLog("\r\n\r\nSTART SESSION - CHECK AND DOWNLOAD\r\n", true);
    QCOMPARE(m_log->toPlainText(), QString("\n\n\n\nSTART SESSION - CHECK AND DOWNLOAD\n\n\n"));
    CSessionDlg::WriteLog("OPEN ERROR: host unreachable\a\a", false);
    CSessionDlg::WriteLog("OPEN_URL : *** NO CONNECTION for the first check http://h/x\a", true);
    QVERIFY(
        m_log->toPlainText().endsWith("OPEN ERROR: host unreachableOPEN_URL : *** NO CONNECTION "
                                      "for the first check http://h/x\n"));
    QVERIFY(!m_log->toPlainText().contains(QChar(7)));
    // A path from an older list is shown in its single-byte code page.
    CSessionDlg::WriteLog(
        "DOWNLOAD : CHECK is EQUAL c:\\\xdc"
        "bersicht.zip",
        true);
    QVERIFY(
        m_log->toPlainText().endsWith(QString::fromUtf8("c:\\\xc3\x9c"
                                                        "bersicht.zip\n")));
    // Typing into the log, or a session writing to it, never marks anything changed.
    QVERIFY(!m_log->document()->isModified());
    QTest::keyClicks(m_log.get(), "typed by hand");
    QVERIFY(!m_log->document()->isModified());
    QCOMPARE(m_log->font().pixelSize(), 11);
    QVERIFY(m_log->font().fixedPitch());
}

void LogSessionTest::textGoesToTheInsertionPointReplacingASelection() {
    m_log->setPlainText("first line\nsecond line");
    QTextCursor cursor = m_log->textCursor();
    cursor.setPosition(6);
    cursor.setPosition(10, QTextCursor::KeepAnchor);  // "line" of the first line selected
    m_log->setTextCursor(cursor);
    CSessionDlg::WriteLog("LOG", false);
    QCOMPARE(m_log->toPlainText(), QString("first LOG\nsecond line"));
    CSessionDlg::WriteLog("+", true);
    QCOMPARE(m_log->toPlainText(), QString("first LOG+\n\nsecond line"));
}

void LogSessionTest::fullPaneDropsFurtherText() {
    // 1,048,575 characters, a line break counting two.
    const QString line = QString(1023, QLatin1Char('x'));
    QString text;
    for (int i = 0; i < 1023; ++i)
        text += line + QLatin1Char('\n');  // 1023 * 1025 = 1,048,575
    text.chop(1);
    m_log->setPlainText(text + QLatin1Char('y'));
    QCOMPARE(m_log->TextLength(), CStatusView::kTextLimit - 1);
    m_log->moveCursor(QTextCursor::End);
    CSessionDlg::WriteLog("z and more", true);
    QCOMPARE(m_log->TextLength(), CStatusView::kTextLimit);
    QVERIFY(m_log->toPlainText().endsWith("yz"));
    CSessionDlg::WriteLog("nothing fits", true);
    QCOMPARE(m_log->TextLength(), CStatusView::kTextLimit);
}

void LogSessionTest::sessionDialogRunsFromOkToItsEnd() {
    tvxtest::TestHttpServer server([](const tvxtest::SeenRequest& r) {
        if (r.target == "/missing")
            return tvxtest::Reply().Send(tvxtest::ResponseHead(404, {}));
        return tvxtest::FileReply(r, std::string(5000, 'k'), kDate);
    });
    auto entry = [&](const std::string& path, const std::string& address) {
        tvx::WorkListEntry e;
        e.address = server.Url(address);
        e.path = path;
        e.text = path;
        return e;
    };
    QVERIFY(tvx::WriteWorkListFile("download.tmp",
                                   {entry("dl\\a.bin", "/a"), entry("dl\\b.bin", "/missing")}));
    CSessionDlg dialog;
    QCOMPARE(dialog.windowTitle(),
             QString("Load Internetfiles - Please ! First connect the Internet"));
    QCOMPARE(dialog.PhaseCaption()->text(), QString("PRESS OK FOR START"));
    QCOMPARE(dialog.CancelButton()->text(), QString("Abbrechen"));
    QString phase;
    QString lower;
    QTimer::singleShot(50, &dialog, [&] {
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        phase = dialog.PhaseCaption()->text();
        lower = dialog.LowerGroup()->title();
    });
    QCOMPARE(dialog.DoModal(), 1);
    QCOMPARE(phase, QString("DOWNLOAD"));
    QCOMPARE(lower, QString("Load Max 5000 Byte Download Data"));
    QVERIFY(!dialog.OkButton()->isEnabled());
    QCOMPARE(m_sandbox->ReadFile("dl/a.bin").size(), qsizetype(5000));
    // The session's bytes under its bar.
    const QString progress = dialog.ProgressLine()->text();
    QVERIFY2(QRegularExpression("^[0-9.]+ K?B of 4.9 KB  [0-9]+%  [0-9.]+ K?B/s")
                 .match(progress)
                 .hasMatch(),
             qPrintable(progress));
    const QString log = m_log->toPlainText();
    QVERIFY2(log.contains("OPEN_URL : *** NO CONNECTION for the first check " +
                          QString::fromStdString(server.Url("/missing"))),
             qPrintable(log));
    QVERIFY2(log.contains("CLOSE_URL : DOWLOAD OK\nSESSION CLOSE : complet 5000 of "
                          "5000\n\n\nERRORS: The session hat 1 errors\n\n\n"),
             qPrintable(log));
    QCOMPARE(m_messages,
             std::vector<std::string>{"\a\a\aThis downloading hat 1 errors - try again"});
}

void LogSessionTest::sessionDialogCancelBeforeOk() {
    QVERIFY(tvx::WriteWorkListFile("download.tmp", {}));
    CSessionDlg dialog;
    QTimer::singleShot(50, &dialog,
                       [&] { QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton); });
    QCOMPARE(dialog.DoModal(), 2);
    QCOMPARE(m_log->toPlainText(), QString());
    QVERIFY(m_messages.empty());
}

// Enter starts the session once and never breaks it off; a dialog closed
// while it checks ends there, with nothing checked or logged after it.
void LogSessionTest::sessionDialogKeysAndClosingWhileItChecks() {
    m_sandbox->WriteFile("download.ini", "[Transfer]\r\nTickBudgetMs=0\r\nConnections=1\r\n");
    tvxtest::TestHttpServer server([](const tvxtest::SeenRequest& r) {
        if (r.target == "/slow") {
            return tvxtest::Reply()
                .Send(tvxtest::ResponseHead(
                    200, {{"Content-Length", "20000"}, {"Last-Modified", kDate}}))
                .Trickle(std::string(20000, 's'), 2000, 40);
        }
        return tvxtest::Reply().Sleep(120).Send(tvxtest::ResponseHead(404, {}));
    });
    tvx::WorkListEntry slow;
    slow.address = server.Url("/slow");
    slow.path = "slow.bin";
    QVERIFY(tvx::WriteWorkListFile("download.tmp", {slow}));
    {
        CSessionDlg dialog;
        bool runningAfterEnter = false;
        QTimer::singleShot(50, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Return); });
        QTimer::singleShot(250, &dialog, [&] {
            QTest::keyClick(&dialog, Qt::Key_Return);
            QTest::keyClick(dialog.CancelButton(), Qt::Key_Return);
            runningAfterEnter = dialog.Session().GetState() == tvx::CSession::State::Downloading;
        });
        QCOMPARE(dialog.DoModal(), 1);
        QVERIFY(runningAfterEnter);
        QCOMPARE(m_sandbox->ReadFile("slow.bin").size(), qsizetype(20000));
        QVERIFY(!m_log->toPlainText().contains("discontinuance"));
    }
    std::vector<tvx::WorkListEntry> missing(6);
    for (std::size_t i = 0; i < missing.size(); ++i) {
        missing[i].address = server.Url("/m" + std::to_string(i));
        missing[i].path = "m" + std::to_string(i);
    }
    QVERIFY(tvx::WriteWorkListFile("download.tmp", missing));
    m_log->clear();
    CSessionDlg dialog;
    QTimer::singleShot(50, &dialog, [&] { QTest::mouseClick(dialog.OkButton(), Qt::LeftButton); });
    QTimer::singleShot(300, &dialog, [&] { dialog.close(); });
    QCOMPARE(dialog.DoModal(), 2);
    const QString log = m_log->toPlainText();
    QVERIFY2(log.contains("/m0") && !log.contains("/m5") && !log.contains("ERRORS"),
             qPrintable(log));
    QVERIFY(m_messages.empty());
}

QTEST_MAIN(LogSessionTest)
#include "log_session_test.moc"
