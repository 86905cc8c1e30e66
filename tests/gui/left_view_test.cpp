// The download list pane on a real QTreeWidget: menus, commands, label
// editing, drops, saving and loading, tooltips.

#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include "GuiSandbox.h"
#include "app/MessageBox.h"
#include "downloadlist/CLeftView.h"
#include "downloadlist/LinkRecord.h"
#include "downloadlist/TreeFile.h"
#include "session/WorkList.h"
#include "transfer/CTransfer.h"
#include "transfer/FileTime.h"

namespace {

const QByteArray kList =
    "http://h/pub/,downloads,List\r\n"
    "{Tools\r\n"
    "1,tools/b.zip,B tool\r\n"
    "1,tools/d.zip,D tool\r\n"
    "{Sub\r\n"
    "}\r\n"
    "}\r\n"
    "{Empty\r\n"
    "}\r\n"
    "2,top.zip,Top link\r\n"
    "}\r\n//END\r\n";

class RecordingHost : public tvx::ListCommandHost {
public:
    bool EditLink(tvx::LinkRecord& record) override {
        edited.push_back(record);
        if (!next.has_value())
            return false;
        record = *next;
        return true;
    }
    void Beep() override { ++beeps; }
    void MessageBox(const std::string& text) override { messages.push_back(text); }
    bool AskOkCancel(const std::string& text) override {
        messages.push_back(text);
        return true;
    }
    void DownloadFile(const std::string& text) override {
        downloads.push_back(text);
        if (onDownload)
            onDownload();
    }
    void WriteLog(const std::string& line) override { log.push_back(line); }
    std::optional<tvx::LinkRecord> next;
    std::vector<tvx::LinkRecord> edited;  // the records the editor opened with
    int beeps = 0;
    std::vector<std::string> messages, downloads, log;
    std::function<void()> onDownload;
};

tvx::LinkRecord Link(const char* text) {
    tvx::LinkRecord r{};
    r.kind = tvx::LinkRecord::kLink;
    r.picture = 3;
    r.SetText(text);
    r.SetAddress("new.zip");
    r.SetPath("new.zip");
    return r;
}

QString Dump(QTreeWidgetItem* item, int depth) {
    QString out = QString(depth * 2, QLatin1Char(' ')) + item->text(0);
    if (item->checkState(0) == Qt::Checked)
        out += " *";
    out += "\n";
    for (int i = 0; i < item->childCount(); ++i)
        out += Dump(item->child(i), depth + 1);
    return out;
}

QString Dump(QTreeWidget& tree) {
    QString out;
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        out += Dump(tree.topLevelItem(i), 0);
    return out;
}

QTreeWidgetItem* Find(QTreeWidget& tree, const QString& text) {
    const auto found = tree.findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
}

}  // namespace

class LeftViewTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void menusShowEveryEntryWithItsState();
    void commandsEditTheRealTree();
    void fullTableBeepsOnAddOnly();
    void labelEditsReachTheRecord();
    void labelEditsKeepStoredBytesAndTakeNoLineBreaks();
    void linksLeftOutAreSaidOnce();
    void dropsMoveOrBeep();
    void linksDroppedFromElsewhereAreAdded();
    void mouseDragMovesTheItemOnce();
    void downloadNowSetsTheBox();
    void savedListReloadsInShownOrder();
    void toolTipsTellTheFileState();
    void folderBoxesStandForTheirLinks();
    void keyboardOpensTheMenuOfTheCurrentItem();

private:
    // Right-clicks the item (or empty space for "") and runs the command.
    void Run(const QString& item, int command);

    std::unique_ptr<GuiSandbox> m_sandbox;
    std::unique_ptr<CLeftView> m_view;
    RecordingHost m_host;
};

void LeftViewTest::init() {
    m_sandbox = std::make_unique<GuiSandbox>();
    m_sandbox->WriteFile("tvx_downctrl.htm", kList);
    m_view = std::make_unique<CLeftView>();
    m_view->resize(400, 600);
    m_view->OnInitialUpdate();
    m_view->SetCommandHost(&m_host);
    m_view->expandAll();
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    m_host = RecordingHost{};
}

void LeftViewTest::cleanup() {
    m_view.reset();
    m_sandbox.reset();
}

void LeftViewTest::Run(const QString& item, int command) {
    QPoint point(5, m_view->viewport()->height() - 5);  // empty space below the items
    if (!item.isEmpty()) {
        QTreeWidgetItem* q = Find(*m_view, item);
        QVERIFY2(q != nullptr, qPrintable(item));
        m_view->scrollToItem(q);
        point = m_view->visualItemRect(q).center();
    }
    m_view->ContextMenuAt(point);
    m_view->OnCommand(command);
}

void LeftViewTest::menusShowEveryEntryWithItsState() {
    struct Expect {
        QString item;
        QStringList texts;
    } cases[] = {
        {"B tool",
         {"Edit this Item", "Add and Edit a new Item", "Copy this Item",
          "Paste copyed or killed Item", "Kill and copy this Item", "", "Add and Edit a new DIR",
          "", "Kill the downloaded File from the HardDrive", "Download this File now",
          "Save this TreeControl"}},
        {"Tools",
         {"Add and Edit a new Item for this DIR", "Paste copyed Item in this DIR", "",
          "Edit this DIR", "Add and Edit a new DIR", "Copy this DIR", "Paste copyed or killed DIR",
          "Kill and copy this DIR", "Kill  this DIR incl. all items (no copy)", ""}},
        {"",
         {"Save this TreeControl", "Save The TreeControl as ....", "", "Check the TreeControl",
          "Check and Download", ""}},
    };
    for (const Expect& c : cases) {
        QTreeWidgetItem* item = c.item.isEmpty() ? nullptr : Find(*m_view, c.item);
        const QPoint point = item != nullptr ? m_view->visualItemRect(item).center()
                                             : QPoint(5, m_view->viewport()->height() - 5);
        const std::unique_ptr<QMenu> menu = m_view->ContextMenuAt(point);
        QStringList texts;
        for (QAction* action : menu->actions()) {
            texts << (action->isSeparator() ? QString() : action->text());
            const bool disabledEntry = action->text() == "Save The TreeControl as ...." ||
                                       action->text() == "Check the TreeControl" ||
                                       action->text() == "Check and Download";
            if (!action->isSeparator())
                QCOMPARE(action->isEnabled(), !disabledEntry);
        }
        QCOMPARE(texts, c.texts);
        if (item != nullptr)
            QCOMPARE(m_view->currentItem(), item);
    }
}

void LeftViewTest::commandsEditTheRealTree() {
    m_host.next = Link("C tool");
    Run("Tools", tvx::kCmdAddItemInDir);
    QCOMPARE(Dump(*m_view),
             QString("Tools\n  B tool\n  C tool\n  D tool\n  Sub\nEmpty\nTop link\n"));
    QCOMPARE(Find(*m_view, "C tool")->checkState(0), Qt::Unchecked);

    Run("C tool", tvx::kCmdKillAndCopyItem);
    Run("Top link", tvx::kCmdPasteItem);
    Run("Top link", tvx::kCmdPasteItem);
    QCOMPARE(Dump(*m_view),
             QString("C tool\nC tool\nTools\n  B tool\n  D tool\n  Sub\nEmpty\nTop link\n"));

    Run("Tools", tvx::kCmdCopyDir);
    Run("Empty", tvx::kCmdPasteDir);
    QCOMPARE(Find(*m_view, "Empty")->childCount(), 1);
    QCOMPARE(Find(*m_view, "Empty")->child(0)->childCount(), 0);  // copied without its contents

    Run("Tools", tvx::kCmdKillAndCopyDir);
    QCOMPARE(m_host.messages, std::vector<std::string>{"Directory not empty"});
    Run("Tools", tvx::kCmdKillDirAll);
    QCOMPARE(Dump(*m_view), QString("C tool\nC tool\nEmpty\n  Tools\nTop link\n"));

    m_host.next = Link("Renamed");
    Run("Top link", tvx::kCmdEditItem);
    QTreeWidgetItem* renamed = Find(*m_view, "Renamed");
    QVERIFY(renamed != nullptr);
    QCOMPARE(tvx::g_linkTable.records[renamed->data(0, Qt::UserRole).toInt()].Text(),
             std::string_view("Renamed"));
    QVERIFY(tvx::g_linkTable.modified);
}

void LeftViewTest::fullTableBeepsOnAddOnly() {
    tvx::g_linkTable.count = tvx::kLinkTableFull;
    m_host.next = Link("Never");
    Run("B tool", tvx::kCmdAddItem);
    QCOMPARE(m_host.beeps, 1);
    Run("B tool", tvx::kCmdCopyItem);
    Run("B tool", tvx::kCmdPasteItem);
    QCOMPARE(m_host.beeps, 1);
    QCOMPARE(Find(*m_view, "Never"), static_cast<QTreeWidgetItem*>(nullptr));
    QCOMPARE(m_view->findItems("B tool", Qt::MatchExactly | Qt::MatchRecursive).size(), 1);
}

void LeftViewTest::labelEditsReachTheRecord() {
    QTreeWidgetItem* item = Find(*m_view, "D tool");
    m_view->setCurrentItem(item);
    m_view->editItem(item);
    auto* editor = m_view->findChild<QLineEdit*>();
    QVERIFY(editor != nullptr);
    QCOMPARE(editor->maxLength(), tvx::kLinkTextMax);
    editor->setText("Diff tool");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(item->text(0), QString("Diff tool"));
    QCOMPARE(tvx::g_linkTable.records[item->data(0, Qt::UserRole).toInt()].Text(),
             std::string_view("Diff tool"));
    QVERIFY(tvx::g_linkTable.modified);

    // Esc cancels: nothing changes.
    tvx::g_linkTable.modified = false;
    m_view->editItem(item);
    editor = m_view->findChild<QLineEdit*>();
    QVERIFY(editor != nullptr);
    editor->setText("Thrown away");
    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_VERIFY(m_view->findChild<QLineEdit*>() == nullptr);
    QCOMPARE(item->text(0), QString("Diff tool"));
    QVERIFY(!tvx::g_linkTable.modified);
}

void LeftViewTest::labelEditsKeepStoredBytesAndTakeNoLineBreaks() {
    // A list from an older system: an 8-bit text, shown as Windows-1252.
    m_sandbox->WriteFile("tvx_downctrl.htm",
                         "h,T\r\n1,a.zip,\xdc"
                         "bersicht\r\n1,b.zip,B\r\n}\r\n//END\r\n");
    m_view->OnInitialUpdate();
    QTreeWidgetItem* item = Find(*m_view, QString::fromUtf8("\xc3\x9c"
                                                            "bersicht"));
    QVERIFY(item != nullptr);
    const tvx::LinkRecord& record = tvx::g_linkTable.records[item->data(0, Qt::UserRole).toInt()];
    const auto commit = [&](const QString* text) {
        m_view->setCurrentItem(item);
        m_view->editItem(item);
        auto* editor = m_view->findChild<QLineEdit*>();
        QVERIFY(editor != nullptr);
        if (text != nullptr)
            editor->setText(*text);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(m_view->findChild<QLineEdit*>() == nullptr);
    };
    QCOMPARE(m_view->GetItemText(CLeftView::ToItem(item)), std::string("\xdc"
                                                                       "bersicht"));
    commit(nullptr);  // committed as shown: the bytes stay
    QCOMPARE(record.Text(), std::string_view("\xdc"
                                             "bersicht"));
    const QString pasted = QString::fromUtf8("Neu\nZeile \xc3\x9c");
    commit(&pasted);
    QCOMPARE(record.Text(), std::string_view("Neu Zeile \xc3\x9c"));
    QCOMPARE(item->text(0), QString::fromUtf8("Neu Zeile \xc3\x9c"));
    QVERIFY(m_view->SaveTreeControl());
    QFile saved(m_sandbox->PathOf("tvx_downctrl.htm"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(),
             QByteArray("h,T\r\n1,a.zip,Neu Zeile \xc3\x9c\r\n1,b.zip,B\r\n}\r\n//END\r\n"));
}

void LeftViewTest::linksLeftOutAreSaidOnce() {
    QByteArray list = "h,T\r\n";
    for (int i = 0; i < 1025; ++i)
        list += "1,f.zip,F\r\n";
    m_sandbox->WriteFile("tvx_downctrl.htm", list);
    std::vector<std::string> boxes;
    SetMessageBoxHandler([&](const std::string& text, MessageButtons) {
        boxes.push_back(text);
        return true;
    });
    CLeftView view;
    view.OnInitialUpdate();
    view.OnInitialUpdate();
    QTRY_COMPARE(boxes.size(), std::size_t(1));
    QTest::qWait(50);
    SetMessageBoxHandler({});
    QCOMPARE(boxes.size(), std::size_t(1));
    QVERIFY2(boxes[0].find("2 links of the download list were left out") != std::string::npos,
             boxes[0].c_str());
    QCOMPARE(view.topLevelItemCount(), tvx::kLinkTableFull);
}

void LeftViewTest::dropsMoveOrBeep() {
    Find(*m_view, "B tool")->setCheckState(0, Qt::Checked);
    m_view->DropItem(Find(*m_view, "Tools"), Find(*m_view, "Sub"));     // into itself
    m_view->DropItem(Find(*m_view, "Tools"), Find(*m_view, "Tools"));   // onto itself
    m_view->DropItem(Find(*m_view, "B tool"), Find(*m_view, "Tools"));  // onto its parent
    QCOMPARE(m_host.beeps, 3);
    QVERIFY(!tvx::g_linkTable.modified);

    m_view->DropItem(Find(*m_view, "Tools"), Find(*m_view, "Empty"));
    QCOMPARE(Dump(*m_view),
             QString("Empty\n  Tools\n    B tool *\n    D tool\n    Sub\nTop link\n"));
    QVERIFY(Find(*m_view, "Empty")->isExpanded());
    // Released over empty space: dropped onto the first top-level item.
    m_view->DropItem(Find(*m_view, "Top link"), nullptr);
    QCOMPARE(Dump(*m_view),
             QString("Empty\n  Tools\n    B tool *\n    D tool\n    Sub\n  Top link\n"));
    QVERIFY(tvx::g_linkTable.modified);
}

void LeftViewTest::mouseDragMovesTheItemOnce() {
    // A whole drag with the mouse: the item ends up in the folder it was
    // dropped on, once, and nowhere else.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        QSKIP("the offscreen platform has no drag and drop; this case runs under Xvfb");
    }
    QWidget* viewport = m_view->viewport();
    const QPoint from = m_view->visualItemRect(Find(*m_view, "B tool")).center();
    const QPoint to = m_view->visualItemRect(Find(*m_view, "Empty")).center();
    bool released = false;
    QTimer::singleShot(100, viewport, [&] {
        QTest::mouseMove(viewport, to);
        QTimer::singleShot(100, viewport, [&] {
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
            released = true;
        });
    });
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    for (int step = 1; step <= 4 && !released; ++step) {
        QTest::mouseMove(viewport, from + QPoint(0, 6 * step));  // past the drag distance
    }
    QTRY_VERIFY(released);
    QTRY_COMPARE(Dump(*m_view), QString("Tools\n  D tool\n  Sub\nEmpty\n  B tool\nTop link\n"));
    QVERIFY(tvx::g_linkTable.modified);
}

void LeftViewTest::linksDroppedFromElsewhereAreAdded() {
    // A drag from a page or another program, dropped at the point.
    auto drop = [this](QMimeData& data, const QPoint& point) {
        QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &enter);
        if (!enter.isAccepted())
            return false;
        QDragMoveEvent move(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &move);
        QDropEvent done(QPointF(point), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &done);
        return done.isAccepted();
    };
    m_host.next = Link("Dropped link");
    const QPoint onB = m_view->visualItemRect(Find(*m_view, "B tool")).center();

    // Only web links are taken.
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(m_sandbox->PathOf("a.zip"))});
    QVERIFY(!drop(file, onB));

    QMimeData link;
    link.setUrls({QUrl("http://example.test/pub/X-1.zip")});
    link.setHtml("<a href='http://example.test/pub/X-1.zip'>X <b>tool</b></a>");
    QVERIFY(drop(link, onB));
    QTRY_COMPARE(m_host.edited.size(), std::size_t(1));
    const tvx::LinkRecord& proposed = m_host.edited[0];
    QVERIFY(proposed.IsLink());
    QCOMPARE(proposed.Address(), std::string_view("http://example.test/pub/X-1.zip"));
    QCOMPARE(proposed.Path(), std::string_view("X-1.zip"));  // below the disk directory
    QCOMPARE(proposed.Text(), std::string_view("X tool"));
    // Dropped onto a link, it goes into that link's folder.
    QTreeWidgetItem* added = Find(*m_view, "Dropped link");
    QVERIFY(added != nullptr);
    QCOMPARE(added->parent(), Find(*m_view, "Tools"));
    QCOMPARE(added->checkState(0), Qt::Unchecked);
    QVERIFY(tvx::g_linkTable.modified);
}

void LeftViewTest::downloadNowSetsTheBox() {
    m_host.onDownload = [&] {
        QDir(m_sandbox->PathOf(".")).mkpath("tools");
        m_sandbox->WriteFile("tools/b.zip", "x");
    };
    Run("B tool", tvx::kCmdDownloadNow);
    QCOMPARE(m_host.downloads.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(m_host.downloads[0]),
             "http://h/pub/tools/b.zip," + QDir::currentPath() + "\\tools\\b.zip");
    QCOMPARE(Find(*m_view, "B tool")->checkState(0), Qt::Checked);
    Run("B tool", tvx::kCmdKillLocalFile);
    QVERIFY(!QFile::exists(m_sandbox->PathOf("tools/b.zip")));
    QCOMPARE(Find(*m_view, "B tool")->checkState(0), Qt::Checked);
}

void LeftViewTest::savedListReloadsInShownOrder() {
    m_host.next = Link("A first");
    Run("Tools", tvx::kCmdAddItemInDir);
    m_view->DropItem(Find(*m_view, "Top link"), Find(*m_view, "Sub"));
    const QString shown = Dump(*m_view);
    Run("", tvx::kCmdSaveTree);
    QVERIFY(!tvx::g_linkTable.modified);
    CLeftView again;
    again.OnInitialUpdate();
    again.expandAll();
    QCOMPARE(Dump(again), shown);
}

void LeftViewTest::toolTipsTellTheFileState() {
    QDir(m_sandbox->PathOf(".")).mkpath("tools");
    m_sandbox->WriteFile("tools/b.zip", QByteArray(1234567, 'x'));
    QVERIFY(tvx::StampFileTime(m_sandbox->PathOf("tools/b.zip").toStdString(),
                               tvx::MakeDateNumber(2026, 12, 8, 11, 30)));
    m_sandbox->WriteFile("tools/d.zip", QByteArray(534528, 'x'));
    unsigned char record[tvx::kControlRecordSize];
    tvx::EncodeControlRecord({2500000, 202612081130.0, 534528}, record);
    m_sandbox->WriteFile("tools/CTL_d.zip", QByteArray(reinterpret_cast<char*>(record), 16));
    const QString dir = QDir::currentPath();
    const struct {
        QString item, tip;
    } cases[] = {
        {"B tool", "http://h/pub/tools/b.zip\n" + dir +
                       "/tools/b.zip\ncomplete (1,234,567 bytes, 2026-12-08 11:30)"},
        {"D tool", "http://h/pub/tools/d.zip\n" + dir +
                       "/tools/d.zip\nincomplete (534,528 of 2,500,000 bytes)"},
        {"Top link", "http://h/pub/top.zip\n" + dir + "/top.zip\nnot on disk"},
        {"Tools", "Tools"},
    };
    for (const auto& c : cases) {
        QTreeWidgetItem* item = Find(*m_view, c.item);
        const QPoint point = m_view->visualItemRect(item).center();
        QHelpEvent help(QEvent::ToolTip, point, m_view->viewport()->mapToGlobal(point));
        QCoreApplication::sendEvent(m_view->viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), c.tip);
    }

    // A text longer than the pane is wide can be scrolled into view.
    const QString longText = QString(120, QLatin1Char('w')) + QStringLiteral(" end");
    Find(*m_view, "Top link")->setText(0, longText);
    m_view->resize(150, 300);
    QTRY_VERIFY(m_view->horizontalScrollBar()->maximum() > 0);
    QVERIFY(m_view->columnWidth(0) >= m_view->fontMetrics().horizontalAdvance(longText));
}


// A folder's box stands for the links below it (an empty folder among them
// counts for nothing) and follows them as they change; the session takes
// exactly the checked links.
void LeftViewTest::folderBoxesStandForTheirLinks() {
    auto taken = [this] {
        QStringList names;
        for (const tvx::WorkListEntry& e : tvx::CollectCheckedLinks(tvx::g_linkTable, *m_view))
            names << QString::fromStdString(e.text);
        names.sort();
        return names;
    };
    struct Step {
        const char* toggle;  // the item whose box Space flips
        Qt::CheckState tools;
        QStringList taken;
    } steps[] = {
        {"Tools", Qt::Checked, {"B tool", "D tool"}},
        {"D tool", Qt::PartiallyChecked, {"B tool"}},
        {"Tools", Qt::Checked, {"B tool", "D tool"}},
        {"Tools", Qt::Unchecked, {}},
        {"B tool", Qt::PartiallyChecked, {"B tool"}},
        {"D tool", Qt::Checked, {"B tool", "D tool"}},
        {"Top link", Qt::Checked, {"B tool", "D tool", "Top link"}},
    };
    for (const Step& step : steps) {
        m_view->setCurrentItem(Find(*m_view, step.toggle));
        QTest::keyClick(m_view.get(), Qt::Key_Space);
        QCOMPARE(Find(*m_view, "Tools")->checkState(0), step.tools);
        QCOMPARE(taken(), step.taken);
    }
    // A clear link moved into the checked folder makes it partly checked.
    m_view->setCurrentItem(Find(*m_view, "Top link"));
    QTest::keyClick(m_view.get(), Qt::Key_Space);
    m_view->DropItem(Find(*m_view, "Top link"), Find(*m_view, "Tools"));
    QCOMPARE(Find(*m_view, "Tools")->checkState(0), Qt::PartiallyChecked);
    QCOMPARE(taken(), QStringList({"B tool", "D tool"}));
}

// The menu key (the window system makes a context menu event of it) and
// Shift+F10 open the menu of the current item.
void LeftViewTest::keyboardOpensTheMenuOfTheCurrentItem() {
    const std::function<void()> presses[] = {
        [this] {
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(), QPoint());
            QApplication::sendEvent(m_view.get(), &event);
        },
        [this] { QTest::keyClick(m_view.get(), Qt::Key_F10, Qt::ShiftModifier); },
    };
    for (const auto& press : presses) {
        m_view->setCurrentItem(Find(*m_view, "D tool"));
        QStringList shown;
        QTimer::singleShot(100, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu != nullptr);
            for (QAction* action : menu->actions())
                shown << action->text();
            menu->close();
        });
        press();
        QVERIFY2(shown.contains("Edit this Item"), qPrintable(shown.join('|')));
    }
}

QTEST_MAIN(LeftViewTest)
#include "left_view_test.moc"
