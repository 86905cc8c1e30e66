// The tree control file: reading, building the tree, writing back.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <random>

#include "Sandbox.h"
#include "app/Settings.h"
#include "downloadlist/LinkRecord.h"
#include "downloadlist/MemoryTreeControl.h"
#include "downloadlist/TreeFile.h"
#include "platform/Paths.h"

namespace {

using tvx::LinkRecord;
using tvx::LinkTable;
using tvx::MemoryTreeControl;
using tvx::TreeItem;
using tvxtest::ReadFile;
using tvxtest::WriteFile;

// The tree as indented lines: "text" for folders, "text [slot] *" for links
// with a set check box.
std::string Dump(const tvx::TreeControl& tree, const LinkTable& table) {
    std::string out;
    std::function<void(TreeItem, int)> walk = [&](TreeItem first, int depth) {
        for (TreeItem item = first; item != nullptr; item = tree.GetNextSiblingItem(item)) {
            const LinkRecord& r = table.records[tree.GetItemSlot(item)];
            out += std::string(depth * 2, ' ') + tree.GetItemText(item);
            if (r.IsLink())
                out += std::string(" [") + std::to_string(r.picture) + "]";
            if (tree.GetCheck(item))
                out += " *";
            out += "\n";
            walk(tree.GetChildItem(item), depth + 1);
        }
    };
    walk(tree.GetRootItem(), 0);
    return out;
}

class TreeFile : public tvxtest::Sandbox {
protected:
    // Parses a text into a fresh table.
    const LinkTable& Parse(const std::string& text) {
        m_table = std::make_unique<LinkTable>();
        tvx::ParseTreeControlText(*m_table, text);
        return *m_table;
    }
    // Writes the text as the tree control file and loads it into table and tree.
    bool Load(const std::string& text) {
        WriteFile(tvx::ToNativePath(tvx::TreeControlFilePath()), text);
        m_table = std::make_unique<LinkTable>();
        return tvx::LoadTree(*m_table, m_tree, tvx::TreeControlFilePath());
    }
    // Saves the loaded tree unconditionally and returns the file text.
    std::string Save() {
        m_table->modified = true;
        EXPECT_TRUE(tvx::SaveTree(*m_table, m_tree, tvx::TreeControlFilePath()));
        EXPECT_FALSE(m_table->modified);
        return ReadFile(PathOf(tvx::kTreeControlFileName));
    }

    std::unique_ptr<LinkTable> m_table = std::make_unique<LinkTable>();
    MemoryTreeControl m_tree;
};

const char kSample[] =
    "http://example.com/pub/,downloads,My downloads\r\n"
    "{Tools\r\n"
    "4,software/tool.zip,Tool archive\r\n"
    "1,http://other.example/setup.exe,c:/dl/setup.exe,Setup\r\n"
    "}\r\n"
    "//END\r\n";

TEST_F(TreeFile, ReadsHeaderFoldersAndBothLinkShapes) {
    const LinkTable& t = Parse(kSample);
    ASSERT_EQ(t.count, 5);
    EXPECT_EQ(t.records[0].kind, 'R');
    EXPECT_EQ(t.records[0].Address(), "http://example.com/pub/");
    EXPECT_EQ(t.records[0].Path(), "downloads");
    EXPECT_EQ(t.records[0].Text(), "My downloads");
    EXPECT_EQ(t.records[1].kind, '{');
    EXPECT_EQ(t.records[1].Text(), "Tools");
    EXPECT_EQ(t.records[1].picture, 0);
    EXPECT_EQ(t.records[2].kind, 'F');
    EXPECT_EQ(t.records[2].picture, 4);
    EXPECT_EQ(t.records[2].Address(), "software/tool.zip");
    EXPECT_EQ(t.records[2].Path(), "software\\tool.zip");
    EXPECT_EQ(t.records[2].Text(), "Tool archive");
    EXPECT_EQ(t.records[3].picture, 1);
    EXPECT_EQ(t.records[3].Address(), "http://other.example/setup.exe");
    EXPECT_EQ(t.records[3].Path(), "c:\\dl\\setup.exe");
    EXPECT_EQ(t.records[3].Text(), "Setup");
    EXPECT_EQ(t.records[4].kind, '}');
}

TEST_F(TreeFile, HeaderShapes) {
    // Two fields: the disk directory is the web reference itself.
    const LinkTable& two = Parse(",Window text, with comma\r\n//END\r\n");
    EXPECT_EQ(two.records[0].Address(), "");
    EXPECT_EQ(two.records[0].Path(), "");
    EXPECT_EQ(two.records[0].Text(), "Window text, with comma");
    const LinkTable& rel = Parse("base/dir,Title\r\n//END\r\n");
    EXPECT_EQ(rel.records[0].Address(), "base/dir");
    EXPECT_EQ(rel.records[0].Path(), "base\\dir");
    EXPECT_EQ(rel.records[0].Text(), "Title");
    // An https web reference takes the three-field shape too.
    const LinkTable& https = Parse("HTTPS://Host/Pub/,D:/Files,T\r\n//END\r\n");
    EXPECT_EQ(https.records[0].Address(), "https://host/Pub/");
    EXPECT_EQ(https.records[0].Path(), "D:\\Files");
}

TEST_F(TreeFile, HeaderRoundTripsInBothShapes) {
    for (const std::string header :
         {",Window text", "http://h/,dir,Text, more", "https://h/,,", ",", "plain,Title"}) {
        const std::string text = header + "\r\n}\r\n//END\r\n";
        ASSERT_TRUE(Load(text));
        EXPECT_EQ(Save(), text) << header;
    }
}

TEST_F(TreeFile, CommasAndBracesBelongToTexts) {
    const LinkTable& t = Parse(
        "h,T\r\n"
        "{Folder {with} brace, and comma\r\n"
        "2,a/b.zip,Text, with {braces} and, commas\r\n"
        "}\r\n"
        "//END\r\n");
    EXPECT_EQ(t.records[1].Text(), "Folder {with} brace, and comma");
    EXPECT_EQ(t.records[2].Text(), "Text, with {braces} and, commas");
    ASSERT_TRUE(Load(
        "h,T\r\n{Folder {with} brace, and comma\r\n2,a/b.zip,Text, with {braces} and, commas\r\n"
        "}\r\n}\r\n//END\r\n"));
    EXPECT_EQ(Dump(m_tree, *m_table),
              "Folder {with} brace, and comma\n  Text, with {braces} and, commas [2]\n");
}

TEST_F(TreeFile, LetterCaseOfPathsAndAddressesIsKept) {
    const LinkTable& t = Parse(
        "h,T\r\n"
        "3,HTTP://Host.EXAMPLE/Dir/File.ZIP,C:/Down/File.ZIP,Mixed Text\r\n"
        "3,Sub/Page.HTML,Rel\r\n");
    EXPECT_EQ(t.records[1].Address(), "http://host.example/Dir/File.ZIP");
    EXPECT_EQ(t.records[1].Path(), "C:\\Down\\File.ZIP");
    EXPECT_EQ(t.records[1].Text(), "Mixed Text");
    EXPECT_EQ(t.records[2].Address(), "Sub/Page.HTML");
    EXPECT_EQ(t.records[2].Path(), "Sub\\Page.HTML");
}

TEST_F(TreeFile, EndOfListAndLastLineWithoutLineEnd) {
    // Lines after a line beginning with "/" are ignored.
    EXPECT_EQ(Parse("h,T\r\n1,a,A\r\n/stop\r\n1,b,B\r\n").count, 2);
    // A last line without a line end is ignored, "//END" or not.
    EXPECT_EQ(Parse("h,T\r\n1,a,A\r\n1,b,B").count, 2);
    EXPECT_EQ(Parse("h,T\r\n1,a,A\r\n//END").count, 2);
    // Without "//END" the list ends at the end of the file.
    EXPECT_EQ(Parse("h,T\r\n1,a,A\r\n1,b,B\r\n").count, 3);
    // A header alone without a line end gives an empty table.
    EXPECT_EQ(Parse("h,T").count, 0);
    // LF alone ends lines as well.
    EXPECT_EQ(Parse("h,T\n1,a,A\n//END\n").count, 2);
}

TEST_F(TreeFile, LinesOnlyUpTo1024Slots) {
    std::string text = "h,T\r\n";
    for (int i = 1; i <= 1100; ++i)
        text += "1,f" + std::to_string(i) + ",L" + std::to_string(i) + "\r\n";
    text += "{Folder\r\n}\r\n1,f,L1101\r\n//END\r\n1,f,Beyond the end\r\n";
    const LinkTable& t = Parse(text);
    EXPECT_EQ(t.count, 1024);
    EXPECT_EQ(t.records[1023].Text(), "L1023");
    // Every link without a slot is counted, up to the end of the list.
    EXPECT_EQ(t.linksLeftOut, 78);
    EXPECT_NE(tvx::LinksLeftOutText(t).find("78 links"), std::string::npos);
    EXPECT_EQ(Parse("h,T\r\n1,a,A\r\n").linksLeftOut, 0);
    EXPECT_EQ(tvx::LinksLeftOutText(*m_table), "");
}

TEST_F(TreeFile, ExactlyFullFileLoadsCompletely) {
    std::string text = "h,T\r\n";
    for (int i = 1; i < 1024; ++i)
        text += "1,f,L" + std::to_string(i) + "\r\n";
    text += "1,f,Beyond\r\n//END\r\n";
    ASSERT_TRUE(Load(text));
    EXPECT_EQ(m_table->count, 1024);
    EXPECT_EQ(m_table->linksLeftOut, 1);
    int items = 0;
    for (TreeItem i = m_tree.GetRootItem(); i != nullptr; i = m_tree.GetNextSiblingItem(i))
        ++items;
    EXPECT_EQ(items, 1023);
}

TEST_F(TreeFile, FoldersNestToAnyDepth) {
    std::string text = "h,T\r\n";
    for (int i = 1; i <= 260; ++i)
        text += "{D" + std::to_string(i) + "\r\n";
    text += "1,f,Leaf\r\n}\r\n1,g,In D259\r\n";
    for (int i = 1; i <= 259; ++i)
        text += "}\r\n";
    text += "1,h,Top\r\n}\r\n//END\r\n";
    ASSERT_TRUE(Load(text));
    int depth = 0;
    TreeItem item = m_tree.GetRootItem();
    TreeItem deepest = nullptr;
    while (item != nullptr) {
        ++depth;
        deepest = item;
        item = m_tree.GetChildItem(item);
    }
    EXPECT_EQ(m_tree.GetItemText(deepest), "Leaf");
    EXPECT_EQ(m_tree.GetItemText(m_tree.GetParentItem(deepest)), "D260");
    EXPECT_EQ(depth, 261);
    // Each "}" closes exactly one folder, however deep.
    const TreeItem d260 = m_tree.GetParentItem(deepest);
    const TreeItem after = m_tree.GetNextSiblingItem(d260);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(m_tree.GetItemText(after), "In D259");
    TreeItem top = m_tree.GetNextSiblingItem(m_tree.GetRootItem());
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(m_tree.GetItemText(top), "Top");
    // The writer's nesting reads back as it was.
    EXPECT_EQ(Save(), text);
}

TEST_F(TreeFile, ExtraClosingLinesArePassedOver) {
    ASSERT_TRUE(Load("h,T\r\n}\r\n}\r\n{A\r\n1,x,In A\r\n}\r\n}\r\n}\r\n1,y,Top\r\n//END\r\n"));
    EXPECT_EQ(Dump(m_tree, *m_table), "A\n  In A [1]\nTop [1]\n");
}

TEST_F(TreeFile, LongFieldsAndLinesAreKeptWhole) {
    // A signed address far beyond 127 characters, whose tail once became the
    // local path; a line whose 500th character starts "//"; long texts.
    const std::string address = "http://h/get?sig=" + std::string(3000, 'a') + "/etc/passwd";
    const std::string text = std::string(2500, 't') + ", and more";
    const std::string slashes = "1,x," + std::string(495, 'y') + "//not an end";
    const LinkTable& t = Parse("h,T\r\n1," + address + ",dl/a.zip," + text + "\r\n{" +
                               std::string(3000, 'n') + "\r\n" + slashes + "\r\n1,z,After\r\n");
    ASSERT_EQ(t.count, 5);
    EXPECT_EQ(t.records[1].Address(), address);
    EXPECT_EQ(t.records[1].Path(), "dl\\a.zip");
    EXPECT_EQ(t.records[1].Text(), text);
    EXPECT_EQ(t.records[2].Text(), std::string(3000, 'n'));
    EXPECT_EQ(t.records[3].Text(), std::string(495, 'y') + "//not an end");
    EXPECT_EQ(t.records[4].Text(), "After");
    ASSERT_TRUE(Load("h,T\r\n1," + address + ",dl/a.zip," + text + "\r\n}\r\n//END\r\n"));
    EXPECT_EQ(Save(), "h,T\r\n1," + address + ",dl\\a.zip," + text + "\r\n}\r\n//END\r\n");
}

TEST_F(TreeFile, HandWrittenOddLinesReadSafely) {
    const LinkTable& t = Parse(
        "h,T\r\n"
        "7,a-long-address-that-fills-the-buffer,and a long text as well\r\n"
        "5\r\n"
        "\r\n"
        "   \r\n"
        "x,short,Letter picture\r\n"
        "6,only-address\r\n"
        "2,tab\there,text\twith tab\r\n"
        "3,cr\rignored rest\r\n");
    ASSERT_EQ(t.count, 7);
    // A line shorter than its fields takes nothing from the line before.
    EXPECT_EQ(t.records[2].picture, 5);
    EXPECT_EQ(t.records[2].Address(), "");
    EXPECT_EQ(t.records[2].Path(), "");
    EXPECT_EQ(t.records[2].Text(), "");
    // Empty and blank lines are skipped; a letter gives picture 0.
    EXPECT_EQ(t.records[3].picture, 0);
    EXPECT_EQ(t.records[3].Address(), "short");
    EXPECT_EQ(t.records[3].Text(), "Letter picture");
    EXPECT_EQ(t.records[4].Address(), "only-address");
    EXPECT_EQ(t.records[4].Text(), "");
    // Tabs become spaces; a CR ends the line.
    EXPECT_EQ(t.records[5].Address(), "tab here");
    EXPECT_EQ(t.records[5].Text(), "text with tab");
    EXPECT_EQ(t.records[6].Address(), "cr");
    EXPECT_EQ(t.records[6].Text(), "");
}

TEST_F(TreeFile, WriterRoundTripsTheTreeInShownOrder) {
    const std::string text =
        "http://example.com/pub/,downloads,My downloads\r\n"
        "{Tools\r\n"
        "4,software/tool.zip,Tool archive\r\n"
        "{Empty\r\n"
        "}\r\n"
        "{Nested\r\n"
        "{Deeper\r\n"
        "0,http://h/x.zip,c:\\x\\x.zip,X, with comma\r\n"
        "}\r\n"
        "}\r\n"
        "1,http://other.example/setup.exe,\\abs\\setup.exe,Setup\r\n"
        "}\r\n"
        "8,top.zip,Top link\r\n"
        "{Last empty\r\n"
        "}\r\n"
        "}\r\n"
        "//END\r\n";
    ASSERT_TRUE(Load(text));
    EXPECT_EQ(Save(), text);
    EXPECT_EQ(Dump(m_tree, *m_table),
              "Tools\n"
              "  Tool archive [4]\n"
              "  Empty\n"
              "  Nested\n"
              "    Deeper\n"
              "      X, with comma [0]\n"
              "  Setup [1]\n"
              "Top link [8]\n"
              "Last empty\n");
}

TEST_F(TreeFile, OriginalFilesReadBackTheSame) {
    // Written by the old program: CR LF, lower case, no "//END" problems.
    const std::string text =
        "http://www.host.de/,c:\\tarvex_service\\downloads,TVX\r\n"
        "1,prog/a.zip,A\r\n}\r\n//END\r\n";
    ASSERT_TRUE(Load(text));
    EXPECT_EQ(Save(), text);
}

TEST_F(TreeFile, RelativeLinkLosesAnEditedPath) {
    ASSERT_TRUE(Load("h,T\r\n1,sub/a.zip,A\r\n}\r\n//END\r\n"));
    m_table->records[1].SetPath("somewhere\\else.zip");
    Save();
    ASSERT_TRUE(Load(ReadFile(PathOf(tvx::kTreeControlFileName))));
    EXPECT_EQ(m_table->records[1].Path(), "sub\\a.zip");
}

TEST_F(TreeFile, WriterSkipsRemovedRecordsAndFlattensItemsBelowALink) {
    ASSERT_TRUE(Load("h,T\r\n{F\r\n1,a,A\r\n1,b,B\r\n}\r\n}\r\n//END\r\n"));
    TreeItem folder = m_tree.GetRootItem();
    TreeItem a = m_tree.GetChildItem(folder);
    TreeItem b = m_tree.GetNextSiblingItem(a);
    // A removed record with an item left over writes nothing.
    m_table->records[2].kind = LinkRecord::kRemoved;
    // An item below a link (which the file cannot express) follows the link.
    m_table->records[5] = m_table->records[3];
    m_table->records[5].SetText("Child");
    m_table->count = 6;
    m_tree.InsertItem(b, tvx::InsertPosition::Last, {"Child", 1, 5, false});
    EXPECT_EQ(Save(), "h,T\r\n{F\r\n1,b,B\r\n1,b,Child\r\n}\r\n}\r\n//END\r\n");
}

TEST_F(TreeFile, CheckBoxesShowWhichLocalFilesExist) {
    ASSERT_EQ(mkdir(PathOf("downloads").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(PathOf("downloads/sub").c_str(), 0755), 0);
    WriteFile(PathOf("downloads/sub/there.zip"), "x");
    WriteFile(PathOf("abs.zip"), "x");
    ASSERT_TRUE(
        Load("http://h/,downloads,T\r\n"
             "1,sub/there.zip,There\r\n"
             "1,sub/missing.zip,Missing\r\n"
             "1,http://h/a,sub/there.zip,Same file\r\n"
             "1,http://h/a," +
             Dir() +
             "/abs.zip,Absolute\r\n"
             "}\r\n//END\r\n"));
    EXPECT_EQ(Dump(m_tree, *m_table),
              "There [1] *\nMissing [1]\nSame file [1] *\nAbsolute [1] *\n");
}

TEST_F(TreeFile, LoadingAgainReplacesTheTree) {
    ASSERT_TRUE(Load("h,T\r\n1,a,A\r\n1,b,B\r\n//END\r\n"));
    ASSERT_TRUE(Load("h,T\r\n1,c,C\r\n//END\r\n"));
    EXPECT_EQ(Dump(m_tree, *m_table), "C [1]\n");
    EXPECT_EQ(m_table->count, 2);
}

TEST_F(TreeFile, MissingFileLeavesTableAndTreeAlone) {
    ASSERT_TRUE(Load("h,T\r\n1,a,A\r\n//END\r\n"));
    ASSERT_EQ(std::remove(PathOf(tvx::kTreeControlFileName).c_str()), 0);
    EXPECT_FALSE(tvx::LoadTree(*m_table, m_tree, tvx::TreeControlFilePath()));
    EXPECT_EQ(m_table->count, 2);
    EXPECT_EQ(Dump(m_tree, *m_table), "A [1]\n");
}

TEST_F(TreeFile, SaveWritesOnlyWhenModified) {
    tvx::LinkTable table;
    MemoryTreeControl tree;
    EXPECT_TRUE(tvx::SaveTree(table, tree, tvx::TreeControlFilePath()));
    EXPECT_FALSE(tvxtest::Exists(PathOf(tvx::kTreeControlFileName)));
    // A program that started without a file leaves the empty list behind.
    table.modified = true;
    EXPECT_TRUE(tvx::SaveTree(table, tree, tvx::TreeControlFilePath()));
    EXPECT_EQ(ReadFile(PathOf(tvx::kTreeControlFileName)), ",\r\n}\r\n//END\r\n");
    EXPECT_FALSE(table.modified);
}

TEST_F(TreeFile, FailedSaveKeepsOldFileAndFlag) {
    tvxtest::ScopedTmpfs disk(PathOf("disk"), 64 * 1024);
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a small file system here";
    tvx::g_startDirectory = PathOf("disk");
    const std::string old = std::string(kSample);
    ASSERT_TRUE(Load(old));
    m_table->records[2].SetText("Changed");

    // A full disk: the new file cannot be written completely.
    disk.Fill();
    m_table->modified = true;
    std::string error;
    EXPECT_FALSE(tvx::SaveTree(*m_table, m_tree, tvx::TreeControlFilePath(), &error));
    EXPECT_TRUE(m_table->modified);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(PathOf("disk/tvx_downctrl.htm")), old);

    // A disk that refuses every write.
    ASSERT_TRUE(disk.MakeReadOnly());
    EXPECT_FALSE(tvx::SaveTree(*m_table, m_tree, tvx::TreeControlFilePath()));
    EXPECT_TRUE(m_table->modified);
    EXPECT_EQ(ReadFile(PathOf("disk/tvx_downctrl.htm")), old);
}

}  // namespace

namespace {

// A write limit (as a full disk does) needs no privileges: the save runs in a
// child process whose file size limit is below the list's size.
TEST_F(TreeFile, SaveBeyondTheFileSizeLimitKeepsOldFile) {
    const std::string old = std::string(kSample);
    ASSERT_TRUE(Load(old));
    m_table->records[2].SetText(std::string(100, 'L'));
    m_table->modified = true;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead of killing
        const struct rlimit limit = {64, 64};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool saved = tvx::SaveTree(*m_table, m_tree, tvx::TreeControlFilePath());
        _exit(!saved && m_table->modified ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save did not fail as it should";
    EXPECT_EQ(ReadFile(PathOf(tvx::kTreeControlFileName)), old);
    // No temporary file is left behind.
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(Dir()))
        entries += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(entries, 1);
}

}  // namespace

namespace {

// Every field of the header and of every item's record, in tree order: what
// "the same list" means for a list that is saved and loaded again.
std::string Fields(const tvx::TreeControl& tree, const LinkTable& table) {
    std::string out = std::string(table.Header().Address()) + "|" +
                      std::string(table.Header().Path()) + "|" +
                      std::string(table.Header().Text()) + "\n";
    std::function<void(TreeItem, int)> walk = [&](TreeItem first, int depth) {
        for (TreeItem item = first; item != nullptr; item = tree.GetNextSiblingItem(item)) {
            const LinkRecord& r = table.records[tree.GetItemSlot(item)];
            out += std::to_string(depth) + r.kind + std::to_string(r.picture) + "|" +
                   std::string(r.Address()) + "|" + std::string(r.Path()) + "|" +
                   std::string(r.Text()) + "\n";
            walk(tree.GetChildItem(item), depth + 1);
        }
    };
    walk(tree.GetRootItem(), 0);
    return out;
}

TEST_F(TreeFile, AnyListSavedAndLoadedIsTheSameList) {
    // Lists made of random lines: control characters, 8-bit and UTF-8 bytes,
    // commas, braces, slashes, long fields, deep and unbalanced folders.
    const std::vector<std::string> pieces = {"{",
                                             "}",
                                             "/",
                                             ",",
                                             "http://",
                                             "HTTPS://H/",
                                             "a",
                                             "\t",
                                             "\r",
                                             "\x01",
                                             "\x7f",
                                             "\xdc",
                                             "\xc3\x9c",
                                             "\xe2\x82",
                                             "c:/",
                                             "\\",
                                             " ",
                                             "0",
                                             "9",
                                             "x",
                                             "//END",
                                             std::string(300, 'L'),
                                             std::string(1, '\0')};
    std::mt19937 random(20261208);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int lines = static_cast<int>(random() % 40);
        for (int i = 0; i < lines; ++i) {
            const int parts = static_cast<int>(random() % 6);
            for (int k = 0; k < parts; ++k)
                text += pieces[random() % pieces.size()];
            text += random() % 4 == 0 ? "\n" : "\r\n";
        }
        const LinkTable& first = Parse(text);
        MemoryTreeControl firstTree;
        tvx::BuildTree(first, firstTree);
        const std::string saved = tvx::FormatTreeControlText(first, firstTree);
        const std::string before = Fields(firstTree, first);
        const LinkTable& second = Parse(saved);
        MemoryTreeControl secondTree;
        tvx::BuildTree(second, secondTree);
        ASSERT_EQ(Fields(secondTree, second), before) << "list text:\n" << text;
        ASSERT_EQ(tvx::FormatTreeControlText(second, secondTree), saved);
    }
}

TEST_F(TreeFile, LineBreaksNeverReachARecord) {
    ASSERT_TRUE(Load("h,T\r\n{F\r\n1,a,A\r\n}\r\n1,b,B\r\n1,c,C\r\n}\r\n//END\r\n"));
    // Pasted line breaks and other controls in a label or an editor field.
    m_table->records[1].SetText("Folder\r\n}");
    m_table->records[2].SetText("Label\n/");
    m_table->records[5].SetAddress("c\r\n/x");
    EXPECT_EQ(m_table->records[2].Text(), "Label /");
    // A record changed past its setters is still written as one line.
    m_table->records[4].text = "B\x01\r\n//END";
    const std::string saved = Save();
    EXPECT_EQ(
        saved,
        "h,T\r\n{Folder  }\r\n1,a,Label /\r\n}\r\n1,b,B   //END\r\n1,c  /x,C\r\n}\r\n//END\r\n");
    ASSERT_TRUE(Load(saved));
    EXPECT_EQ(Dump(m_tree, *m_table), "Folder  }\n  Label / [1]\nB   //END [1]\nC [1]\n");
}

TEST_F(TreeFile, ListThatCannotBeReplacedIsLeftAlone) {
    const std::string file = PathOf(tvx::kTreeControlFileName);
    const std::string old = kSample;
    // A file that nobody may write.
    ASSERT_TRUE(Load(old));
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    std::string error;
    m_table->modified = true;
    EXPECT_FALSE(tvx::SaveTree(*m_table, m_tree, tvx::TreeControlFilePath(), &error));
    EXPECT_NE(error.find("write-protected"), std::string::npos) << error;
    EXPECT_TRUE(m_table->modified);
    EXPECT_EQ(ReadFile(file), old);
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);

    // A list with more links than slots: saving would drop them.
    std::string full = "h,T\r\n";
    for (int i = 0; i < 1030; ++i)
        full += "1,f,L\r\n";
    ASSERT_TRUE(Load(full));
    m_table->modified = true;
    EXPECT_FALSE(tvx::SaveTree(*m_table, m_tree, tvx::TreeControlFilePath(), &error));
    EXPECT_NE(error.find("7 more links"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(file), full);

    // A file that exists but cannot be read, loaded by a user without
    // privileges: the table stays as it was and the file is never replaced.
    WriteFile(file, old);
    ASSERT_EQ(chmod(file.c_str(), 0), 0);
    ASSERT_EQ(chmod(Dir().c_str(), 0777), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        tvx::LinkTable table;
        MemoryTreeControl tree;
        const bool loaded = tvx::LoadTree(table, tree, tvx::TreeControlFilePath());
        table.modified = true;
        const bool saved = tvx::SaveTree(table, tree, tvx::TreeControlFilePath());
        _exit(!loaded && table.fileUnread && !saved ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    EXPECT_EQ(ReadFile(file), old);
    // A missing file is no unread file: the first save creates it.
    ASSERT_EQ(std::remove(file.c_str()), 0);
    EXPECT_FALSE(tvx::LoadTree(*m_table, m_tree, tvx::TreeControlFilePath()));
    EXPECT_FALSE(m_table->fileUnread);
}

}  // namespace
