// The main window: panes, start-up placement, and what it writes at close.

#include <sys/stat.h>

#include <QDialog>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <csignal>

#include "GuiSandbox.h"
#include "app/CTerminationSignals.h"
#include "app/ColorScheme.h"
#include "app/MessageBox.h"
#include "app/Settings.h"
#include "browser/CMainFrame.h"
#include "browser/CStaticSplitter.h"
#include "browser/CSurfpaneView.h"
#include "browser/FrameLayout.h"
#include "downloadlist/CLeftView.h"
#include "downloadlist/LinkRecord.h"
#include "session/CStatusView.h"

class MainFrameTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheListWithCheckBoxesFromFiles();
    void firstStartIsMaximisedAndWritesSettingsAtClose();
    void storedPlacementAndPaneSizesComeBack();
    void brokenWindowPosOpensMaximised();
    void panesSurviveShrinkingTheWindow();
    void writeProtectedListIsLeftAloneAtClose();
    void terminationSignalClosesAndSaves();
    void everyControlSpeaksToScreenReaders();
    void theWindowFollowsTheDesktopIntoDarkAndBack();
};

namespace {
const QByteArray kList =
    "http://127.0.0.1:1/,downloads,Test list\r\n"
    "{Folder\r\n"
    "1,a.zip,A in folder\r\n"
    "}\r\n"
    "2,b.zip,B at top\r\n"
    "}\r\n"
    "//END\r\n";

void CloseAndWait(CMainFrame& frame) {
    QVERIFY(frame.close());
    QCoreApplication::processEvents();
}
}  // namespace

void MainFrameTest::showsTheListWithCheckBoxesFromFiles() {
    GuiSandbox sandbox;
    sandbox.WriteFile("tvx_downctrl.htm", kList);
    QDir(sandbox.PathOf(".")).mkpath("downloads");
    sandbox.WriteFile("downloads/b.zip", "present");
    CMainFrame frame;
    CLeftView* tree = frame.LeftView();
    QCOMPARE(tree->topLevelItemCount(), 2);
    QTreeWidgetItem* folder = tree->topLevelItem(0);
    QCOMPARE(folder->text(0), QStringLiteral("Folder"));
    QCOMPARE(folder->childCount(), 1);
    QCOMPARE(folder->child(0)->text(0), QStringLiteral("A in folder"));
    QCOMPARE(folder->child(0)->checkState(0), Qt::Unchecked);
    QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("B at top"));
    QCOMPARE(tree->topLevelItem(1)->checkState(0), Qt::Checked);
    QCOMPARE(g_pLeftView, tree);
}

void MainFrameTest::firstStartIsMaximisedAndWritesSettingsAtClose() {
    GuiSandbox sandbox;
    sandbox.WriteFile("tvx_downctrl.htm", kList);
    {
        CMainFrame frame;
        frame.ShowWithPlacement(nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QVERIFY(frame.isMaximized());
        CloseAndWait(frame);
    }
    const QString ini = sandbox.ReadFile("download.ini");
    QVERIFY2(ini.startsWith("[Settings]\nWindowPos=2,3,"), qPrintable(ini));
    QVERIFY(ini.contains("\n[SPLITTER]\nleft="));
    QVERIFY(ini.contains("\nbottom="));
    // The list is written back whether or not it changed.
    QCOMPARE(sandbox.ReadFile("tvx_downctrl.htm"), QString::fromLatin1(kList));
}

void MainFrameTest::storedPlacementAndPaneSizesComeBack() {
    GuiSandbox sandbox;
    sandbox.WriteFile("download.ini",
                      "[Settings]\nWindowPos=0,1,-1,-1,-7,-9,40,50,840,650\n"
                      "[SPLITTER]\nleft=180\nbottom=350\n");
    {
        CMainFrame frame;
        tvx::WindowPlacement placement;
        QVERIFY(tvx::LoadWindowPlacement(placement, tvx::SettingsFilePath()));
        frame.ShowWithPlacement(&placement);
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QVERIFY(!frame.isMaximized());
        QCOMPARE(frame.geometry().size(), QSize(800, 600));
        QTRY_COMPARE(frame.ColumnSplitter()->sizes().value(0), 180);
        QTRY_COMPARE(frame.RowSplitter()->sizes().value(0), 350);
        CloseAndWait(frame);
    }
    const QString ini = sandbox.ReadFile("download.ini");
    // Untouched positions of the placement are written back as they were read.
    QVERIFY2(ini.contains("WindowPos=0,1,-1,-1,-7,-9,"), qPrintable(ini));
    QVERIFY2(ini.contains("left=180\nbottom=350\n"), qPrintable(ini));
    // No list file existed: the empty list is left behind.
    QCOMPARE(sandbox.ReadFile("tvx_downctrl.htm"), QStringLiteral(",\r\n}\r\n//END\r\n"));
}

void MainFrameTest::brokenWindowPosOpensMaximised() {
    GuiSandbox sandbox;
    sandbox.WriteFile("download.ini", "[Settings]\nWindowPos=0,1,-1,-1,-1,-1,40,50,840\n");
    tvx::WindowPlacement placement;
    QVERIFY(!tvx::LoadWindowPlacement(placement, tvx::SettingsFilePath()));
}

namespace {
// The sizes of the three panes; fails the test when one is hidden or empty.
QList<QSize> VisiblePanes(CMainFrame& frame) {
    QList<QSize> sizes;
    for (QWidget* pane :
         {static_cast<QWidget*>(frame.LeftView()), static_cast<QWidget*>(frame.SurfpaneView()),
          static_cast<QWidget*>(frame.StatusView())}) {
        if (pane->isVisible() && !pane->size().isEmpty())
            sizes << pane->size();
    }
    return sizes;
}
}  // namespace

void MainFrameTest::panesSurviveShrinkingTheWindow() {
    const struct {
        const char* what;
        QByteArray ini;  // empty: first start, which opens maximised
    } cases[] = {
        {"stored sizes",
         "[Settings]\nWindowPos=0,1,-1,-1,-1,-1,40,50,1040,850\n"
         "[SPLITTER]\nleft=250\nbottom=500\n"},
        {"first start", ""},
    };
    for (const auto& c : cases) {
        GuiSandbox sandbox;
        if (!c.ini.isEmpty())
            sandbox.WriteFile("download.ini", c.ini);
        CMainFrame frame;
        tvx::WindowPlacement placement;
        const bool stored = tvx::LoadWindowPlacement(placement, tvx::SettingsFilePath());
        frame.ShowWithPlacement(stored ? &placement : nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        if (!stored) {
            // Restored from maximised to the size it had at creation, where
            // the upper row takes the whole height by the first-start rule.
            QTRY_VERIFY(frame.isMaximized());
            frame.showNormal();
            QTRY_VERIFY(!frame.isMaximized());
        }
        QTest::qWait(50);
        const QSize normal = frame.size();
        const QList<int> rows = frame.RowSplitter()->sizes();
        const QList<int> columns = frame.ColumnSplitter()->sizes();
        QVERIFY2(VisiblePanes(frame).size() == 3, c.what);

        frame.resize(480, 360);
        QTRY_COMPARE(frame.size(), QSize(480, 360));
        QTRY_VERIFY2(VisiblePanes(frame).size() == 3, c.what);
        QVERIFY2(frame.RowSplitter()->sizes().value(1) >= tvx::kPaneFloor, c.what);

        frame.resize(normal);
        QTRY_COMPARE(frame.size(), normal);
        QTRY_VERIFY2(VisiblePanes(frame).size() == 3, c.what);
        // Back at the old size, the panes have their old sizes.
        QCOMPARE(frame.RowSplitter()->sizes(), rows);
        QCOMPARE(frame.ColumnSplitter()->sizes(), columns);
        CloseAndWait(frame);
    }
}

void MainFrameTest::writeProtectedListIsLeftAloneAtClose() {
    GuiSandbox sandbox;
    sandbox.WriteFile("tvx_downctrl.htm", kList);
    const QByteArray path = QFile::encodeName(sandbox.PathOf("tvx_downctrl.htm"));
    QCOMPARE(chmod(path.constData(), 0444), 0);
    std::vector<std::string> boxes;
    SetMessageBoxHandler([&](const std::string& text, MessageButtons) {
        boxes.push_back(text);
        return true;
    });
    {
        CMainFrame frame;
        tvx::g_linkTable.records[2].SetText("Changed");
        tvx::g_linkTable.modified = true;
        CloseAndWait(frame);
    }
    SetMessageBoxHandler({});
    QCOMPARE(boxes.size(), std::size_t(1));
    QVERIFY2(boxes[0].find("write-protected") != std::string::npos, boxes[0].c_str());
    QVERIFY2(boxes[0].find("not saved") != std::string::npos, boxes[0].c_str());
    QFile file(sandbox.PathOf("tvx_downctrl.htm"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), kList);
}

void MainFrameTest::terminationSignalClosesAndSaves() {
    // SIGTERM at logout, with a download dialog open: the dialog breaks off,
    // the window closes as by the user, and the changed list is written.
    GuiSandbox sandbox;
    sandbox.WriteFile("tvx_downctrl.htm", kList);
    CTerminationSignals termination;
    CMainFrame frame;
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    tvx::g_linkTable.records[2].SetText("Renamed before logout");
    tvx::g_linkTable.modified = true;
    QDialog dialog(&frame);
    bool dialogEnded = false;
    QTimer::singleShot(50, [] { ::raise(SIGTERM); });
    QTimer::singleShot(0, [&] {
        dialog.exec();
        dialogEnded = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(!frame.isVisible(), 5000);
    QVERIFY(dialogEnded);
    QVERIFY(sandbox.ReadFile("tvx_downctrl.htm").contains("Renamed before logout"));
}

// A screen reader finds a name and a description on every control of the
// window.
void MainFrameTest::everyControlSpeaksToScreenReaders() {
    GuiSandbox sandbox;
    sandbox.WriteFile("tvx_downctrl.htm", kList);
    CMainFrame frame;
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    const QStringList missing = ControlsWithoutAccessibleText(&frame);
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join("\n")));
    CloseAndWait(frame);
}

// A desktop that turns dark while the window is open darkens it, the list's
// tint with it (readable text on a dark base), and turning light again
// brings back the colours it started with, the ivory list included.
void MainFrameTest::theWindowFollowsTheDesktopIntoDarkAndBack() {
    GuiSandbox sandbox;
    sandbox.WriteFile("tvx_downctrl.htm", kList);
    CMainFrame frame;
    const QPalette started = QApplication::palette();
    auto list = [&frame](QPalette::ColorRole role) {
        return frame.LeftView()->palette().color(role);
    };
    QCOMPARE(list(QPalette::Base), QColor(255, 255, 240));
    FollowDesktopColorScheme(*qApp, 1);
    QVERIFY(IsDarkPalette());
    QVERIFY(list(QPalette::Base).lightness() < 80);
    QVERIFY(list(QPalette::Text).lightness() > 180);
    FollowDesktopColorScheme(*qApp, 0);
    QCOMPARE(QApplication::palette().color(QPalette::Window), started.color(QPalette::Window));
    QCOMPARE(list(QPalette::Base), QColor(255, 255, 240));
    QCOMPARE(list(QPalette::Text), QColor(Qt::black));
}

QTEST_MAIN(MainFrameTest)
#include "main_frame_test.moc"
