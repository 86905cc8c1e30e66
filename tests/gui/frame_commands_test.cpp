// The main window's menus, bars, command routing, address box, pane sizes
// and the Download command.

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "GuiSandbox.h"
#include "TestHttpServer.h"
#include "app/CommandIds.h"
#include "app/Controls.h"
#include "app/MessageBox.h"
#include "browser/CMainFrame.h"
#include "browser/CStaticSplitter.h"
#include "browser/CSurfpaneView.h"
#include "downloadlist/CLeftView.h"
#include "session/CSessionDlg.h"
#include "session/CStatusView.h"

namespace {

// A page titled "Served".
tvxtest::Reply ServedPage(const tvxtest::SeenRequest&) {
    return tvxtest::Reply().Send(tvxtest::ResponseHead(200, {{"Content-Type", "text/html"}}) +
                                 "<html><head><title>Served</title></head><body>x</body></html>");
}

QStringList Entries(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            out << "-";
        } else {
            QString text = a->text();
            if (!a->shortcut().isEmpty())
                text += "\t" + a->shortcut().toString();
            out << text;
        }
    }
    return out;
}

QMenu* TopMenu(CMainFrame& frame, int index) {
    return frame.menuBar()->actions().at(index)->menu();
}

}  // namespace

class FrameCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void menusHoldEveryEntry();
    void toolbarHasTenButtonsAndTwoDropDowns();
    void browserCommandsFollowTheActivePane();
    void addressBoxNavigatesAndKeepsEveryEnter();
    void navigatingLeavesTheActivePaneAndHomeIsTheStartPage();
    void toolbarEntryHidesOnlyTheToolbar();
    void storedPaneSizesFollowTheMinimumRules();
    void downloadWithNothingCheckedSaysSo();
    void downloadRunsASessionWithAWiderList();

private:
    std::unique_ptr<GuiSandbox> m_sandbox;
    std::vector<std::string> m_messages;
};

void FrameCommandsTest::init() {
    m_sandbox = std::make_unique<GuiSandbox>();
    qputenv("TVX_FAVORITES", m_sandbox->PathOf("no-favorites").toLocal8Bit());
    m_messages.clear();
    SetMessageBoxHandler([this](const std::string& text, MessageButtons) {
        m_messages.push_back(text);
        return true;
    });
}

void FrameCommandsTest::cleanup() {
    SetMessageBoxHandler({});
    m_sandbox.reset();
}

void FrameCommandsTest::menusHoldEveryEntry() {
    CMainFrame frame;
    QStringList tops;
    for (QAction* a : frame.menuBar()->actions())
        tops << a->text();
    QCOMPARE(tops, (QStringList{"&File", "&View", "&Go", "F&avorites", "&Help", "Tools"}));
    QCOMPARE(Entries(TopMenu(frame, 0)),
             (QStringList{"&Open...\tCtrl+O", "-", "&Print...\tCtrl+P", "-", "&Close"}));
    QCOMPARE(Entries(TopMenu(frame, 1)),
             (QStringList{"&Toolbar", "&Status Bar", "-", "Fo&nts", "-", "Sto&p\tEsc",
                          "&Refresh\tF5", "-", "Open in your &web browser"}));
    QCOMPARE(Entries(TopMenu(frame, 1)->actions().at(3)->menu()),
             (QStringList{"Largest", "Large", "Medium", "Small", "Smallest"}));
    QCOMPARE(Entries(TopMenu(frame, 2)), (QStringList{"&Back\tAlt+Left", "&Forward\tAlt+Right", "-",
                                                      "&Start Page", "Search the &Web"}));
    QCOMPARE(TopMenu(frame, 3), frame.FavoritesMenu());
    QCOMPARE(Entries(TopMenu(frame, 4)),
             (QStringList{"Web &Tutorial", "-", "Browser Engine on the &Web", "Online &Support",
                          "-", "&Program Info"}));
    QCOMPARE(
        Entries(TopMenu(frame, 4)->actions().at(2)->menu()),
        (QStringList{"&Free Stuff", "&Get Faster Internet Access", "Frequently Asked &Questions",
                     "-", "&Internet Start Page", "Send Feedbac&k...", "&Best of the Web",
                     "Search the &Web", "-", "Browser Engine &Home Page"}));
    QCOMPARE(Entries(TopMenu(frame, 5)), (QStringList{"Download", "Go Tarvex Home Page"}));
    QCOMPARE(Entries(frame.FontMenu()),
             (QStringList{"Lar&gest", "&Larger", "&Medium", "&Smaller", "Sm&allest"}));
    QCOMPARE(frame.Action(ID_GO_BACK)->statusTip(), QString("Goes back one step."));
    QCOMPARE(frame.Action(ID_GO_BACK)->toolTip(), QString("Back"));
    QCOMPARE(frame.Action(ID_APP_ABOUT)->toolTip(), QString("About Tarvex Download Service"));
    QVERIFY(frame.windowTitle().endsWith(" - Tarvex Download Service"));
}

void FrameCommandsTest::toolbarHasTenButtonsAndTwoDropDowns() {
    CMainFrame frame;
    auto* bar = frame.findChild<QToolBar*>("Browser");
    QVERIFY(bar != nullptr);
    QStringList texts;
    QList<QToolButton*> dropDowns;
    for (QToolButton* b : bar->findChildren<QToolButton*>()) {
        if (b->text().isEmpty() || b->defaultAction() == nullptr)
            continue;
        texts << b->text();
        if (b->popupMode() == QToolButton::MenuButtonPopup)
            dropDowns << b;
    }
    QCOMPARE(texts, (QStringList{"Back", "Forward", "Stop", "Refresh", "Home", "Search",
                                 "Favorites", "Print", "Font", "Download"}));
    QCOMPARE(dropDowns.size(), 2);
    QCOMPARE(dropDowns[0]->menu(), frame.FavoritesMenu());
    QCOMPARE(dropDowns[1]->menu(), frame.FontMenu());
    // The buttons themselves are enabled and do nothing.
    QVERIFY(frame.Action(ID_FAVORITES_DROPDOWN)->isEnabled());
    QVERIFY(frame.findChild<QToolBar*>("Address") != nullptr);
    QCOMPARE(frame.statusBar()->findChildren<QLabel*>().size(), 4);  // Ready, CAP, NUM, SCRL
}

void FrameCommandsTest::browserCommandsFollowTheActivePane() {
    CMainFrame frame;
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QCOMPARE(frame.ActiveView(), CMainFrame::Pane::Browser);
    for (int id :
         {ID_GO_BACK, ID_STOP, ID_REFRESH, ID_FILE_PRINT, ID_FONT_LARGEST, ID_GO_START_PAGE}) {
        QVERIFY(frame.Action(id)->isEnabled());
    }
    frame.StatusView()->setFocus();
    QTRY_COMPARE(frame.ActiveView(), CMainFrame::Pane::Log);
    for (int id :
         {ID_GO_BACK, ID_GO_FORWARD, ID_STOP, ID_REFRESH, ID_GO_START_PAGE, ID_GO_SEARCH_THE_WEB,
          ID_FILE_PRINT, ID_FONT_LARGEST, ID_FONT_SMALLEST, ID_HELP_WEB_TUTORIAL}) {
        QVERIFY2(!frame.Action(id)->isEnabled(), qPrintable(QString::number(id)));
    }
    for (int id : {ID_DOWNLOAD, ID_FILE_OPEN, ID_APP_ABOUT, ID_APP_EXIT})
        QVERIFY(frame.Action(id)->isEnabled());
    // The address box does not change the active pane.
    frame.AddressBox()->setFocus();
    QCoreApplication::processEvents();
    QCOMPARE(frame.ActiveView(), CMainFrame::Pane::Log);
    frame.LeftView()->setFocus();
    QTRY_COMPARE(frame.ActiveView(), CMainFrame::Pane::List);
    QVERIFY(!frame.Action(ID_REFRESH)->isEnabled());
    frame.SetActiveView(CMainFrame::Pane::Browser);
    QVERIFY(frame.Action(ID_REFRESH)->isEnabled());
}

void FrameCommandsTest::addressBoxNavigatesAndKeepsEveryEnter() {
    tvxtest::TestHttpServer server(ServedPage);
    CMainFrame frame;
    frame.show();
    const QString url = QString::fromStdString(server.Url("/page.html"));
    QLineEdit* edit = frame.AddressBox()->lineEdit();
    for (int i = 0; i < 2; ++i) {
        edit->setText(url);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    QCOMPARE(frame.AddressBox()->count(), 2);
    QCOMPARE(frame.AddressBox()->itemText(1), url);
    QTRY_COMPARE_WITH_TIMEOUT(frame.windowTitle(), QString("Served - Tarvex Download Service"),
                              20000);
    QTRY_COMPARE(frame.AddressBox()->currentText(), url);
    QTRY_VERIFY_WITH_TIMEOUT(!frame.ActivityAnimation()->IsPlaying(), 20000);
}

void FrameCommandsTest::navigatingLeavesTheActivePaneAndHomeIsTheStartPage() {
    tvxtest::TestHttpServer server(ServedPage);
    CMainFrame frame;
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    const QString url = QString::fromStdString(server.Url("/page.html"));
    frame.FavoriteAddresses() << url;
    frame.AddressBox()->addItem(url);
    QLineEdit* edit = frame.AddressBox()->lineEdit();
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"Enter in the address box",
         [&] {
             edit->setFocus();
             edit->setText(url);
             QTest::keyClick(edit, Qt::Key_Return);
         }},
        {"a pick from the address list", [&] { emit frame.AddressBox()->activated(0); }},
        {"a favorite", [&] { frame.OnCommand(ID_FAVORITES_FIRST); }},
    };
    // The browser view goes to the address; the pane that was active stays
    // active, its commands as they were.
    for (const auto& [how, navigate] : ways) {
        frame.SurfpaneView()->Navigate2(CSurfpaneView::StartPage());
        QTRY_COMPARE_WITH_TIMEOUT(frame.SurfpaneView()->url().toString(),
                                  CSurfpaneView::StartPage(), 20000);
        frame.LeftView()->setFocus();
        QTRY_COMPARE(frame.ActiveView(), CMainFrame::Pane::List);
        navigate();
        QTRY_COMPARE_WITH_TIMEOUT(frame.SurfpaneView()->url().toString(), url, 20000);
        QVERIFY2(frame.ActiveView() == CMainFrame::Pane::List, how);
        QVERIFY2(!frame.Action(ID_GO_BACK)->isEnabled(), how);
    }
    // Home and the Tools entry show the built-in page.
    frame.SetActiveView(CMainFrame::Pane::Browser);
    for (int id : {ID_GO_START_PAGE, ID_GO_TARVEX_HOME}) {
        frame.SurfpaneView()->Navigate2(url);
        QTRY_COMPARE_WITH_TIMEOUT(frame.SurfpaneView()->url().toString(), url, 20000);
        frame.OnCommand(id);
        QTRY_COMPARE_WITH_TIMEOUT(frame.SurfpaneView()->url().toString(),
                                  CSurfpaneView::StartPage(), 20000);
    }
}

void FrameCommandsTest::toolbarEntryHidesOnlyTheToolbar() {
    CMainFrame frame;
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    auto* toolbar = frame.findChild<QToolBar*>("Browser");
    auto* addressBar = frame.findChild<QToolBar*>("Address");
    frame.Action(ID_VIEW_TOOLBAR)->trigger();
    QVERIFY(!toolbar->isVisible());
    QVERIFY(addressBar->isVisible());
    frame.Action(ID_VIEW_TOOLBAR)->trigger();
    QVERIFY(toolbar->isVisible());
}

void FrameCommandsTest::storedPaneSizesFollowTheMinimumRules() {
    struct Case {
        const char* ini;
        int list, upper;  // -1: not checked
    } cases[] = {
        {"[SPLITTER]\nleft=250\nbottom=99\n", 250, 0},  // below the row minimum: the log fills all
        {"[SPLITTER]\nleft=9\nbottom=300\n", 0,
         300},                               // below the column minimum: the list collapses
        {"[SPLITTER]\nleft=260\n", 260, 0},  // no height: the upper row gets nothing
    };
    for (const Case& c : cases) {
        m_sandbox->WriteFile("download.ini", c.ini);
        CMainFrame frame;
        tvx::WindowPlacement placement;
        placement.showCmd = 1;
        placement.left = 0;
        placement.top = 0;
        placement.right = 900;
        placement.bottom = 700;
        frame.ShowWithPlacement(&placement);
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QTRY_COMPARE(frame.ColumnSplitter()->sizes().value(0), c.list);
        QTRY_COMPARE(frame.RowSplitter()->sizes().value(0), c.upper);
    }
}

void FrameCommandsTest::downloadWithNothingCheckedSaysSo() {
    m_sandbox->WriteFile("tvx_downctrl.htm", "http://h/,dl,T\r\n1,a.zip,A\r\n}\r\n//END\r\n");
    m_sandbox->WriteFile("dnlctrl.tmp", "x");
    CMainFrame frame;
    frame.OnCommand(ID_DOWNLOAD);
    QCOMPARE(
        m_messages,
        std::vector<std::string>{
            "Nothing to do\nNothing became selects in the tree control\n(see on the left site)"});
    QVERIFY(QFile::exists(m_sandbox->PathOf("download.tmp")));
    QCOMPARE(QFileInfo(m_sandbox->PathOf("download.tmp")).size(), qint64(0));
    QVERIFY(!QFile::exists(m_sandbox->PathOf("dnlctrl.tmp")));
}

void FrameCommandsTest::downloadRunsASessionWithAWiderList() {
    tvxtest::TestHttpServer server([](const tvxtest::SeenRequest& r) {
        return tvxtest::FileReply(r, std::string(3000, 'q'), "Sun, 06 Nov 1994 08:49:37 GMT");
    });
    m_sandbox->WriteFile(
        "tvx_downctrl.htm",
        QByteArray::fromStdString(server.Url("/") +
                                  ",dl,T\r\n1,a.zip,A\r\n{F\r\n1,b.zip,B\r\n}\r\n}\r\n//END\r\n"));
    m_sandbox->WriteFile("download.ini", "[SPLITTER]\nleft=300\nbottom=500\n");
    CMainFrame frame;
    tvx::WindowPlacement placement;
    placement.showCmd = 1;
    placement.right = 1000;
    placement.bottom = 800;
    frame.ShowWithPlacement(&placement);
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QTRY_COMPARE(frame.ColumnSplitter()->sizes().value(0), 300);
    frame.LeftView()->topLevelItem(0)->setCheckState(0, Qt::Checked);
    frame.LeftView()->topLevelItem(1)->child(0)->setCheckState(0, Qt::Checked);

    int widthDuring = 0;
    QTimer::singleShot(100, [&] {
        widthDuring = frame.ColumnSplitter()->sizes().value(0);
        frame.SaveFrameLayout();  // a close now keeps the user's width, not the session's
        auto* dialog = qobject_cast<CSessionDlg*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    });
    frame.OnCommand(ID_DOWNLOAD);
    QCOMPARE(widthDuring, 430);
    QVERIFY(m_sandbox->ReadFile("download.ini").contains("left=300"));
    QCOMPARE(frame.ColumnSplitter()->sizes().value(0), 300);
    QCOMPARE(frame.ActiveView(), CMainFrame::Pane::List);
    QCOMPARE(QFileInfo(m_sandbox->PathOf("download.tmp")).size(), qint64(2 * 660));
    QCOMPARE(m_sandbox->ReadFile("dl/a.zip").size(), qsizetype(3000));
    QCOMPARE(m_sandbox->ReadFile("dl/b.zip").size(), qsizetype(3000));
    const QString log = frame.StatusView()->toPlainText();
    // The list holds A, then B inside the folder; the session fetches them in
    // reverse order.
    QVERIFY2(log.indexOf("OPEN_URL : " + QString::fromStdString(server.Url("/b.zip"))) <
                 log.indexOf("OPEN_URL : " + QString::fromStdString(server.Url("/a.zip"))),
             qPrintable(log));
    QVERIFY(log.contains("SESSION CLOSE : complet 6000 of 6000"));
    QVERIFY(m_messages.empty());
}

QTEST_MAIN(FrameCommandsTest)
#include "frame_commands_test.moc"
