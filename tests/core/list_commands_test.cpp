// The download list pane's commands on an in-memory tree.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "Sandbox.h"
#include "downloadlist/ListCommands.h"
#include "downloadlist/MemoryTreeControl.h"
#include "downloadlist/TreeFile.h"
#include "platform/Paths.h"

namespace {

using tvx::CListCommands;
using tvx::LinkRecord;
using tvx::TreeItem;

class FakeHost : public tvx::ListCommandHost {
public:
    bool EditLink(LinkRecord& record) override {
        ++edits;
        edited = record;
        if (!accept)
            return false;
        if (edit)
            edit(record);
        return true;
    }
    void Beep() override { ++beeps; }
    void MessageBox(const std::string& text) override { messages.push_back(text); }
    bool AskOkCancel(const std::string& text) override {
        messages.push_back(text);
        return answerOk;
    }
    void DownloadFile(const std::string& text) override {
        downloads.push_back(text);
        if (onDownload)
            onDownload();
    }
    void WriteLog(const std::string& line) override { log.push_back(line); }

    bool accept = true;
    bool answerOk = true;
    std::function<void(LinkRecord&)> edit;
    std::function<void()> onDownload;
    LinkRecord edited{};
    int edits = 0, beeps = 0;
    std::vector<std::string> messages, downloads, log;
};

class ListCommands : public tvxtest::Sandbox {
protected:
    void SetUp() override {
        Sandbox::SetUp();
        Load(
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
            "}\r\n//END\r\n");
    }
    void Load(const std::string& text) {
        tvxtest::WriteFile(PathOf(tvx::kTreeControlFileName), text);
        table = tvx::LinkTable{};
        ASSERT_TRUE(tvx::LoadTree(table, tree, tvx::TreeControlFilePath()));
    }
    // The tree as indented lines of texts.
    std::string Dump() const {
        std::string out;
        std::function<void(TreeItem, int)> walk = [&](TreeItem first, int depth) {
            for (TreeItem i = first; i != nullptr; i = tree.GetNextSiblingItem(i)) {
                out += std::string(depth * 2, ' ') + tree.GetItemText(i) +
                       (tree.GetCheck(i) ? " *" : "") + "\n";
                walk(tree.GetChildItem(i), depth + 1);
            }
        };
        walk(tree.GetRootItem(), 0);
        return out;
    }
    TreeItem Find(const std::string& text) const {
        std::function<TreeItem(TreeItem)> find = [&](TreeItem first) -> TreeItem {
            for (TreeItem i = first; i != nullptr; i = tree.GetNextSiblingItem(i)) {
                if (tree.GetItemText(i) == text)
                    return i;
                if (TreeItem found = find(tree.GetChildItem(i)))
                    return found;
            }
            return nullptr;
        };
        return find(tree.GetRootItem());
    }
    // A right click on the item, then the command.
    void Run(const std::string& itemText, int command) {
        commands.SetContextItem(itemText.empty() ? nullptr : Find(itemText));
        commands.OnCommand(command);
    }
    LinkRecord NewLink(const char* text, const char* address) {
        LinkRecord r{};
        r.kind = LinkRecord::kLink;
        r.picture = 4;
        r.SetText(text);
        r.SetAddress(address);
        r.SetPath("p");
        return r;
    }

    tvx::LinkTable table;
    tvx::MemoryTreeControl tree;
    FakeHost host;
    CListCommands commands{table, tree, host};
};

TEST_F(ListCommands, MenusFollowTheItemUnderThePointer) {
    EXPECT_EQ(commands.SetContextItem(Find("Tools")), tvx::ListMenu::Folder);
    EXPECT_EQ(commands.SetContextItem(Find("B tool")), tvx::ListMenu::Link);
    EXPECT_EQ(commands.SetContextItem(nullptr), tvx::ListMenu::List);
    EXPECT_FALSE(commands.GuardHolds());
    const auto& list = tvx::ListMenuEntries(tvx::ListMenu::List);
    ASSERT_EQ(list.size(), 6u);
    EXPECT_STREQ(list[1].text, "Save The TreeControl as ....");
    for (int id : {tvx::kCmdSaveTreeAs, tvx::kCmdCheckTree, tvx::kCmdCheckAndDownload}) {
        EXPECT_FALSE(CListCommands::IsEnabled(id));
    }
    EXPECT_TRUE(CListCommands::IsEnabled(tvx::kCmdSaveTree));
    EXPECT_STREQ(tvx::ListMenuEntries(tvx::ListMenu::Folder)[8].text,
                 "Kill  this DIR incl. all items (no copy)");
    EXPECT_EQ(tvx::ListMenuEntries(tvx::ListMenu::Link).size(), 11u);
}

TEST_F(ListCommands, AddPutsNewItemsInSortedPlace) {
    host.edit = [&](LinkRecord& r) { r = NewLink("C tool", "tools/c.zip"); };
    Run("Tools", tvx::kCmdAddItemInDir);  // a folder receives the link itself
    host.edit = [&](LinkRecord& r) { r = NewLink("A tool", "tools/a.zip"); };
    Run("D tool", tvx::kCmdAddItem);  // a link's folder receives it
    host.edit = [&](LinkRecord& r) { r = NewLink("Zebra", "z.zip"); };
    Run("Top link", tvx::kCmdAddItem);
    EXPECT_EQ(Dump(),
              "Tools\n  A tool\n  B tool\n  C tool\n  D tool\n  Sub\n"
              "Empty\nTop link\nZebra\n");
    EXPECT_TRUE(table.modified);
    EXPECT_EQ(host.edited.kind, 'F');
    // The new record is appended after the last slot in use.
    EXPECT_EQ(table.count, 11 + 3);  // the file's eleven lines, then the new ones
    EXPECT_EQ(table.records[13].Text(), "Zebra");
}

TEST_F(ListCommands, NewFolderGoesBesideTheContextFolder) {
    host.edit = [&](LinkRecord& r) {
        r.SetText("Middle");
        r.picture = 3;
    };
    Run("Sub", tvx::kCmdAddDir);
    EXPECT_EQ(host.edited.kind, '{');
    EXPECT_EQ(Dump(), "Tools\n  B tool\n  D tool\n  Middle\n  Sub\nEmpty\nTop link\n");
    EXPECT_EQ(tree.GetItemPicture(Find("Middle")), 3);
    Run("Tools", tvx::kCmdAddDir);
    EXPECT_EQ(Dump(), "Middle\nTools\n  B tool\n  D tool\n  Middle\n  Sub\nEmpty\nTop link\n");
}

TEST_F(ListCommands, CancelledEditorChangesNothing) {
    host.accept = false;
    Run("B tool", tvx::kCmdEditItem);
    Run("Tools", tvx::kCmdAddItemInDir);
    EXPECT_EQ(host.edits, 2);
    EXPECT_FALSE(table.modified);
    EXPECT_EQ(table.count, 11);
    EXPECT_EQ(Dump(), "Tools\n  B tool\n  D tool\n  Sub\nEmpty\nTop link\n");
}

TEST_F(ListCommands, EditWritesTheRecordAndTheItem) {
    host.edit = [&](LinkRecord& r) {
        r.SetText("B renamed");
        r.picture = 6;
    };
    Run("B tool", tvx::kCmdEditItem);
    EXPECT_EQ(host.edited.Text(), "B tool");
    TreeItem item = Find("B renamed");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(tree.GetItemPicture(item), 6);
    EXPECT_EQ(table.records[tree.GetItemSlot(item)].Text(), "B renamed");
    EXPECT_TRUE(table.modified);
}

TEST_F(ListCommands, KillAndPasteMovesAndPasteAgainCopies) {
    Run("B tool", tvx::kCmdKillAndCopyItem);
    const int killedSlot = 2;
    EXPECT_EQ(table.records[killedSlot].kind, LinkRecord::kRemoved);
    Run("Top link", tvx::kCmdPasteItem);
    Run("Top link", tvx::kCmdPasteItem);
    // Sorted insertion goes in front of the first sibling with a greater text;
    // items loaded from the file keep the file's order.
    EXPECT_EQ(Dump(), "B tool\nB tool\nTools\n  D tool\n  Sub\nEmpty\nTop link\n");
    // Two independent copies in two new slots.
    EXPECT_EQ(table.count, 13);
    EXPECT_EQ(table.records[11].Text(), "B tool");
    EXPECT_EQ(table.records[12].Text(), "B tool");
    EXPECT_EQ(commands.Clipboard().Text(), "B tool");
    // A link pasted into a folder's own menu goes directly below it.
    Run("Empty", tvx::kCmdPasteItemInDir);
    EXPECT_EQ(Dump(), "B tool\nB tool\nTools\n  D tool\n  Sub\nEmpty\n  B tool\nTop link\n");
    EXPECT_TRUE(tree.IsExpanded(Find("Empty")));
}

TEST_F(ListCommands, WrongKindsBeepAndFoldersAreCopiedEmpty) {
    Run("Tools", tvx::kCmdCopyDir);
    Run("Top link", tvx::kCmdPasteItem);    // a folder in the clipboard: beep
    Run("Empty", tvx::kCmdPasteItemInDir);  // beep
    EXPECT_EQ(host.beeps, 2);
    Run("Empty", tvx::kCmdPasteDir);  // an empty folder of that name
    EXPECT_EQ(Dump(), "Tools\n  B tool\n  D tool\n  Sub\nEmpty\n  Tools\nTop link\n");
    Run("B tool", tvx::kCmdCopyItem);
    Run("Sub", tvx::kCmdPasteDir);  // a link in the clipboard: beep
    EXPECT_EQ(host.beeps, 3);
}

TEST_F(ListCommands, FolderKillsAskOrRefuse) {
    Run("Tools", tvx::kCmdKillAndCopyDir);
    EXPECT_EQ(host.messages, (std::vector<std::string>{"Directory not empty"}));
    EXPECT_EQ(commands.Clipboard().kind, 0);
    Run("Empty", tvx::kCmdKillAndCopyDir);
    EXPECT_EQ(commands.Clipboard().Text(), "Empty");

    host.messages.clear();
    host.answerOk = false;
    Run("Tools", tvx::kCmdKillDirAll);
    EXPECT_EQ(host.messages,
              (std::vector<std::string>{"KILL this DIR complett ? shure ? then press OK"}));
    EXPECT_NE(Find("Tools"), nullptr);
    host.answerOk = true;
    Run("Tools", tvx::kCmdKillDirAll);
    EXPECT_EQ(Dump(), "Top link\n");
    for (int slot : {1, 2, 3, 4})
        EXPECT_EQ(table.records[slot].kind, LinkRecord::kRemoved) << slot;
    // The clipboard is not touched by a full kill.
    EXPECT_EQ(commands.Clipboard().Text(), "Empty");
    // The file written afterwards holds only what is left.
    ASSERT_TRUE(tvx::SaveTree(table, tree, tvx::TreeControlFilePath()));
    EXPECT_EQ(tvxtest::ReadFile(PathOf(tvx::kTreeControlFileName)),
              "http://h/pub/,downloads,List\r\n2,top.zip,Top link\r\n}\r\n//END\r\n");
}

TEST_F(ListCommands, GuardStopsCommandsWithoutAnItem) {
    commands.SetContextItem(nullptr);
    for (int id :
         {tvx::kCmdEditItem, tvx::kCmdCopyItem, tvx::kCmdKillAndCopyItem, tvx::kCmdPasteItem,
          tvx::kCmdAddDir, tvx::kCmdDownloadNow, tvx::kCmdKillDirAll}) {
        commands.OnCommand(id);
    }
    EXPECT_EQ(host.edits, 0);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(table.modified);
    // Adding needs no item: from empty space it adds at the top level.
    host.edit = [&](LinkRecord& r) { r = NewLink("Alpha", "a.zip"); };
    commands.OnCommand(tvx::kCmdAddItem);
    EXPECT_EQ(Dump(), "Alpha\nTools\n  B tool\n  D tool\n  Sub\nEmpty\nTop link\n");
    // A target search moves the context item, so the guard fails until the
    // next right click.
    commands.SetContextItem(Find("B tool"));
    commands.OnCommand(tvx::kCmdAddItem);
    EXPECT_FALSE(commands.GuardHolds());
}

TEST_F(ListCommands, FullTableBeepsOnAddAndIsSilentOnPaste) {
    table.count = tvx::kLinkTableFull;
    Run("B tool", tvx::kCmdAddItem);
    Run("B tool", tvx::kCmdAddDir);
    EXPECT_EQ(host.beeps, 2);
    EXPECT_EQ(host.edits, 0);
    Run("B tool", tvx::kCmdCopyItem);
    Run("B tool", tvx::kCmdPasteItem);
    Run("Tools", tvx::kCmdPasteItemInDir);
    EXPECT_EQ(host.beeps, 2);
    EXPECT_EQ(table.count, tvx::kLinkTableFull);
    EXPECT_EQ(Dump(), "Tools\n  B tool\n  D tool\n  Sub\nEmpty\nTop link\n");
}

TEST_F(ListCommands, DownloadNowUsesTheStartDirectoryAndSetsTheBox) {
    host.onDownload = [&] {
        ASSERT_EQ(mkdir(PathOf("tools").c_str(), 0755), 0);
        tvxtest::WriteFile(PathOf("tools/b.zip"), "x");
    };
    Run("B tool", tvx::kCmdDownloadNow);
    ASSERT_EQ(host.downloads.size(), 1u);
    EXPECT_EQ(host.downloads[0], "http://h/pub/tools/b.zip," + Dir() + "\\tools\\b.zip");
    EXPECT_TRUE(tree.GetCheck(Find("B tool")));
    EXPECT_FALSE(table.modified);
    // A file that is not there leaves the box as it was.
    host.onDownload = nullptr;
    Run("D tool", tvx::kCmdDownloadNow);
    EXPECT_FALSE(tree.GetCheck(Find("D tool")));
    // Deleting the local file leaves the box set and the list unchanged.
    Run("B tool", tvx::kCmdKillLocalFile);
    EXPECT_FALSE(tvxtest::Exists(PathOf("tools/b.zip")));
    EXPECT_TRUE(tree.GetCheck(Find("B tool")));
    EXPECT_FALSE(table.modified);
}

TEST_F(ListCommands, LabelEditsAreTakenWholeWithoutLineBreaks) {
    commands.EndLabelEdit(Find("D tool"), "Renamed, with comma");
    EXPECT_EQ(table.records[3].Text(), "Renamed, with comma");
    EXPECT_TRUE(table.modified);
    const std::string longText = std::string(3000, 'x') + "\xc3\x9c";
    commands.EndLabelEdit(Find("Renamed, with comma"), longText);
    EXPECT_EQ(table.records[3].Text(), longText);
    EXPECT_EQ(tree.GetItemText(Find(longText)), longText);
    // A dragged item keeps its whole text too.
    ASSERT_NE(commands.Drop(Find(longText), Find("Empty")), nullptr);
    EXPECT_NE(Find(longText), nullptr);
    commands.EndLabelEdit(Find(longText), "Two\r\nlines\tand tab");
    EXPECT_EQ(table.records[3].Text(), "Two  lines and tab");
}

TEST_F(ListCommands, KillLocalFileAsksAndDeletesOnlyARegularFile) {
    ASSERT_EQ(mkdir(PathOf("tools").c_str(), 0755), 0);
    tvxtest::WriteFile(PathOf("tools/b.zip"), "12345");
    ASSERT_EQ(mkdir(PathOf("tools/d.zip").c_str(), 0755), 0);  // a folder of that name
    const std::string b = Dir() + "\\tools\\b.zip";
    struct Case {
        const char* item;
        bool answer;
        bool bExists, dExists;
        std::string message, log;
    } cases[] = {
        {"D tool", true, true, true,
         "There is no downloaded file " + Dir() + "\\tools\\d.zip to delete.", ""},
        {"B tool", false, true, true,
         "Delete the downloaded file " + b + " (5 Byte) from the disk?", ""},
        {"B tool", true, false, true,
         "Delete the downloaded file " + b + " (5 Byte) from the disk?",
         "KILL FILE : " + b + " (5 Byte) deleted"},
        {"B tool", true, false, true, "There is no downloaded file " + b + " to delete.", ""},
    };
    for (const Case& c : cases) {
        host.messages.clear();
        host.log.clear();
        host.answerOk = c.answer;
        Run(c.item, tvx::kCmdKillLocalFile);
        EXPECT_EQ(tvxtest::Exists(PathOf("tools/b.zip")), c.bExists) << c.item;
        EXPECT_EQ(tvxtest::Exists(PathOf("tools/d.zip")), c.dExists) << c.item;
        EXPECT_EQ(host.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(host.log,
                  c.log.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.log});
    }
    EXPECT_FALSE(table.modified);
}

TEST_F(ListCommands, DropsMoveSubtreesAndRefuseLoops) {
    tree.SetCheck(Find("B tool"), true);
    // A folder onto its own descendant, onto itself, an item onto its parent.
    EXPECT_EQ(commands.Drop(Find("Tools"), Find("Sub")), nullptr);
    EXPECT_EQ(commands.Drop(Find("Tools"), Find("Tools")), nullptr);
    EXPECT_EQ(commands.Drop(Find("B tool"), Find("Tools")), nullptr);
    // Onto a link of the same folder: the link's folder is the parent.
    EXPECT_EQ(commands.Drop(Find("B tool"), Find("D tool")), nullptr);
    // A folder onto a link inside it.
    EXPECT_EQ(commands.Drop(Find("Tools"), Find("D tool")), nullptr);
    EXPECT_EQ(host.beeps, 5);
    EXPECT_FALSE(table.modified);

    const int toolsSlot = tree.GetItemSlot(Find("Tools"));
    ASSERT_NE(commands.Drop(Find("Tools"), Find("Empty")), nullptr);
    EXPECT_EQ(Dump(), "Empty\n  Tools\n    B tool *\n    D tool\n    Sub\nTop link\n");
    EXPECT_EQ(tree.GetItemSlot(Find("Tools")), toolsSlot);  // same records
    EXPECT_TRUE(table.modified);
    // Onto a top-level link: into the top level.
    ASSERT_NE(commands.Drop(Find("B tool"), Find("Top link")), nullptr);
    EXPECT_EQ(Dump(), "B tool *\nEmpty\n  Tools\n    D tool\n    Sub\nTop link\n");
    // The file can say it all.
    ASSERT_TRUE(tvx::SaveTree(table, tree, tvx::TreeControlFilePath()));
    Load(tvxtest::ReadFile(PathOf(tvx::kTreeControlFileName)));
    EXPECT_EQ(Dump(), "B tool\nEmpty\n  Tools\n    D tool\n    Sub\nTop link\n");
    // Nothing dragged: nothing happens but a beep.
    EXPECT_EQ(commands.Drop(nullptr, Find("Empty")), nullptr);
}

TEST_F(ListCommands, SavedOrderIsTheShownOrder) {
    host.edit = [&](LinkRecord& r) { r = NewLink("C tool", "tools/c.zip"); };
    Run("Tools", tvx::kCmdAddItemInDir);
    commands.OnCommand(tvx::kCmdSaveTree);
    EXPECT_FALSE(table.modified);
    const std::string before = Dump();
    Load(tvxtest::ReadFile(PathOf(tvx::kTreeControlFileName)));
    EXPECT_EQ(Dump(), before);
}

}  // namespace
