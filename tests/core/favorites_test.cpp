// The Favorites folder scan: which files become entries, the order of entries
// and submenus, the indices and commands, the addresses, and links.

#include "browser/Favorites.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include "Sandbox.h"

namespace {

using tvx::FavoritesMenu;
using tvx::kFavoritesFirstCommand;
using tvxtest::WriteFile;

class Favorites : public tvxtest::Sandbox {
protected:
    // Writes a shortcut file (creating its folders) holding the address.
    void Shortcut(const std::string& name, const std::string& url) {
        const std::string path = PathOf(name);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteFile(path, "[InternetShortcut]\r\nURL=" + url + "\r\n");
    }
    void Folder(const std::string& name) { std::filesystem::create_directories(PathOf(name)); }

    // Scans the sandbox folder from index 0.
    int Scan() { return tvx::ScanFavoritesFolder(Dir(), 0, menu, addresses); }

    FavoritesMenu menu;
    std::vector<std::string> addresses;
};

// The menu as one line: "label:command" for an entry, "label{...}" for a submenu.
std::string Describe(const FavoritesMenu& menu) {
    std::string text;
    for (const FavoritesMenu::Item& item : menu.items) {
        if (!text.empty())
            text += ' ';
        text += item.label;
        if (item.submenu)
            text += '{' + Describe(*item.submenu) + '}';
        else
            text += ':' + std::to_string(item.command);
    }
    return text;
}

// The names of a folder as the file system lists them, without "." and "..".
std::vector<std::string> ListingOrder(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    return names;
}

// Sets or unsets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

TEST(FavoritesFolder, EnvironmentOverrideThenHome) {
    {
        ScopedEnv favorites("TVX_FAVORITES", "/srv/favs");
        ScopedEnv home("HOME", "/home/u");
        EXPECT_EQ(tvx::FavoritesFolder(), "/srv/favs");
    }
    {
        ScopedEnv favorites("TVX_FAVORITES", "");
        ScopedEnv home("HOME", "/home/u");
        EXPECT_EQ(tvx::FavoritesFolder(), "/home/u/Favorites");
    }
    {
        ScopedEnv favorites("TVX_FAVORITES", nullptr);
        ScopedEnv home("HOME", nullptr);
        EXPECT_EQ(tvx::FavoritesFolder(), "");
    }
    {
        ScopedEnv favorites("TVX_FAVORITES", nullptr);
        ScopedEnv home("HOME", "");
        EXPECT_EQ(tvx::FavoritesFolder(), "");
    }
}

TEST_F(Favorites, SubmenusComeFirstAndEntriesAreNumberedInLabelOrder) {
    Shortcut("b.url", "http://b/");
    Shortcut("a.url", "http://a/");
    Shortcut("S/c.url", "http://c/");
    EXPECT_EQ(Scan(), 3);
    EXPECT_EQ(Describe(menu), "S{c:3586} a:3584 b:3585");
    EXPECT_EQ(addresses, (std::vector<std::string>{"http://a/", "http://b/", "http://c/"}));
    EXPECT_EQ(menu.items[1].command, kFavoritesFirstCommand);
}

TEST_F(Favorites, SubFoldersTakeIndicesInListingOrderAfterTheFolderOwnEntries) {
    Shortcut("z.url", "z");
    Shortcut("B/x.url", "B");
    Shortcut("a/x.url", "a");
    Shortcut("C/x.url", "C");
    Shortcut("C/D/y.url", "D");
    Shortcut("C/w.url", "Cw");
    EXPECT_EQ(Scan(), 6);

    // Menu order is sorted by name without case, whatever the listing order.
    ASSERT_EQ(menu.items.size(), 4u);
    EXPECT_EQ(menu.items[0].label, "a");
    EXPECT_EQ(menu.items[1].label, "B");
    EXPECT_EQ(menu.items[2].label, "C");
    EXPECT_EQ(menu.items[3].label, "z");
    EXPECT_EQ(menu.items[3].command, 3584);

    // Indices: each folder's own entries, then its sub-folders with everything
    // below them, one after the other as the file system lists them.
    std::vector<std::string> expected = {"z"};
    for (const std::string& name : ListingOrder(Dir())) {
        if (name == "C")
            expected.insert(expected.end(), {"w", "x", "y"});
        else if (name == "a" || name == "B")
            expected.push_back(name);
    }
    std::map<std::string, const FavoritesMenu*> sub;
    for (const auto& item : menu.items)
        sub[item.label] = item.submenu.get();
    const auto index = [&](const std::string& key) {
        return int(std::find(expected.begin(), expected.end(), key) - expected.begin());
    };
    EXPECT_EQ(Describe(*sub["a"]), "x:" + std::to_string(3584 + index("a")));
    EXPECT_EQ(Describe(*sub["B"]), "x:" + std::to_string(3584 + index("B")));
    EXPECT_EQ(Describe(*sub["C"]), "D{y:" + std::to_string(3584 + index("y")) +
                                       "} w:" + std::to_string(3584 + index("w")) +
                                       " x:" + std::to_string(3584 + index("x")));
    EXPECT_EQ(index("x") + 1, index("y"));  // C's own entries before its sub-folder
    EXPECT_EQ(addresses[index("a")], "a");
    EXPECT_EQ(addresses[index("B")], "B");
    EXPECT_EQ(addresses[index("w")], "Cw");
    EXPECT_EQ(addresses[index("x")], "C");
    EXPECT_EQ(addresses[index("y")], "D");
}

TEST_F(Favorites, FoldersWithoutShortcutsGiveNoSubmenuAndUseNoIndex) {
    Folder("Empty");
    Folder("F/G");
    Folder("F/H/I");
    WriteFile(PathOf("F/notes.txt"), "[InternetShortcut]\nURL=http://no/\n");
    Shortcut("T/U/V/deep.url", "http://deep/");
    Shortcut("a.url", "http://a/");
    EXPECT_EQ(Scan(), 2);
    EXPECT_EQ(Describe(menu), "T{U{V{deep:3585}}} a:3584");
    EXPECT_EQ(addresses, (std::vector<std::string>{"http://a/", "http://deep/"}));
}

TEST_F(Favorites, OnlyVisibleRegularFilesEndingExactlyInDotUrlAreShortcuts) {
    Shortcut("Note.URL", "x");
    Shortcut("readme.txt", "x");
    Shortcut("a.url.txt", "x");
    Shortcut(".hidden.url", "x");
    // A name starting with '.' is hidden here, so a file named just ".url"
    // gives no entry (not one with an empty label).
    Shortcut(".url", "x");
    ASSERT_EQ(mkfifo(PathOf("pipe.url").c_str(), 0644), 0);  // must not block the scan
    ASSERT_EQ(symlink("nowhere.url", PathOf("dangling.url").c_str()), 0);
    Shortcut("target.txt", "http://linked/");
    ASSERT_EQ(symlink("target.txt", PathOf("link.url").c_str()), 0);
    Shortcut(".private/inner.url", "http://inner/");
    Shortcut("dir.url/d.url", "http://d/");
    EXPECT_EQ(Scan(), 3);
    ASSERT_EQ(menu.items.size(), 3u);
    EXPECT_EQ(menu.items[0].label, ".private");
    EXPECT_EQ(menu.items[1].label, "dir.url");
    EXPECT_EQ(menu.items[2].label, "link");
    EXPECT_EQ(menu.items[2].command, 3584);
    EXPECT_EQ(addresses[0], "http://linked/");
    EXPECT_EQ(Describe(*menu.items[0].submenu).substr(0, 6), "inner:");
    EXPECT_EQ(Describe(*menu.items[1].submenu).substr(0, 2), "d:");
}

TEST_F(Favorites, LabelsSortWithLettersFoldedAndEqualLabelsKeepListingOrder) {
    for (const char* name : {"Apple", "apple", "APPLE", "b", "Z", "[", "_x", "1", "\xC3\xA9"})
        Shortcut(std::string(name) + ".url", name);
    std::vector<std::string> apples;
    for (const std::string& name : ListingOrder(Dir())) {
        if (name.size() == 9 && (name[0] == 'a' || name[0] == 'A'))
            apples.push_back(name.substr(0, 5));
    }
    ASSERT_EQ(apples.size(), 3u);
    EXPECT_EQ(Scan(), 9);
    // Folding letters puts '[' and '_' (between 'Z' and 'a' in byte order)
    // before all letters; bytes above 127 come last, unfolded.
    const std::vector<std::string> expected = {"1",       "[", "_x", apples[0], apples[1],
                                               apples[2], "b", "Z",  "\xC3\xA9"};
    ASSERT_EQ(menu.items.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(menu.items[i].label, expected[i]) << i;
        EXPECT_EQ(menu.items[i].command, 3584 + int(i));
        EXPECT_EQ(addresses[i], expected[i]);
    }
}

TEST_F(Favorites, SubmenusSortLikeLabelsAndEqualNamesKeepListingOrder) {
    for (const char* name : {"Dir", "dir", "DIR", "abc", "Zed"})
        Shortcut(std::string(name) + "/x.url", name);
    std::vector<std::string> dirs;
    for (const std::string& name : ListingOrder(Dir())) {
        if (name.size() == 3 && (name[0] == 'd' || name[0] == 'D'))
            dirs.push_back(name);
    }
    ASSERT_EQ(dirs.size(), 3u);
    EXPECT_EQ(Scan(), 5);
    ASSERT_EQ(menu.items.size(), 5u);
    const std::vector<std::string> expected = {"abc", dirs[0], dirs[1], dirs[2], "Zed"};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(menu.items[i].label, expected[i]) << i;
}

TEST_F(Favorites, AddressesAreReadFromTheShortcutSection) {
    WriteFile(PathOf("nokey.url"), "[InternetShortcut]\nIconFile=x.ico\n");
    WriteFile(PathOf("othersection.url"), "[Other]\nURL=http://wrong/\n");
    WriteFile(PathOf("empty.url"), "");
    WriteFile(PathOf("spaced.url"), "[internetshortcut]\n  url =  http://spaced/  \n");
    WriteFile(PathOf("long.url"), "[InternetShortcut]\nURL=" + std::string(3000, 'x') + "\n");
    Shortcut("back\\slash.url", "http://backslash/");
    Shortcut("in\\folder/c.url", "http://infolder/");
    EXPECT_EQ(Scan(), 7);
    EXPECT_EQ(Describe(menu),
              "in\\folder{c:3590} back\\slash:3584 empty:3585 long:3586 nokey:3587 "
              "othersection:3588 spaced:3589");
    EXPECT_EQ(addresses, (std::vector<std::string>{"http://backslash/", "", std::string(2047, 'x'),
                                                   "", "", "http://spaced/", "http://infolder/"}));
}

TEST_F(Favorites, UnreadableFilesGiveEmptyAddressesAndUnlistableFoldersNothing) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    Shortcut("locked.url", "http://locked/");
    chmod(PathOf("locked.url").c_str(), 0);
    Shortcut("closed/c.url", "http://closed/");
    chmod(PathOf("closed").c_str(), 0);
    Shortcut("open/o.url", "http://open/");
    EXPECT_EQ(Scan(), 2);
    chmod(PathOf("closed").c_str(), 0755);
    EXPECT_EQ(Describe(menu), "open{o:3585} locked:3584");
    EXPECT_EQ(addresses, (std::vector<std::string>{"", "http://open/"}));
}

TEST_F(Favorites, MissingFolderOrEmptyPathYieldNothing) {
    addresses = {"keep"};
    EXPECT_EQ(tvx::ScanFavoritesFolder(PathOf("missing"), 1, menu, addresses), 1);
    Shortcut("file.url", "x");
    EXPECT_EQ(tvx::ScanFavoritesFolder(PathOf("file.url"), 1, menu, addresses), 1);
    EXPECT_EQ(tvx::ScanFavoritesFolder("", 1, menu, addresses), 1);
    EXPECT_TRUE(menu.items.empty());
    EXPECT_EQ(addresses, std::vector<std::string>{"keep"});
}

TEST_F(Favorites, ScanContinuesFromTheGivenIndex) {
    Shortcut("folder/a.url", "http://a/");
    Shortcut("folder/S/b.url", "http://b/");
    addresses = {"0", "1", "2"};
    // A trailing separator on the path is accepted as well.
    EXPECT_EQ(tvx::ScanFavoritesFolder(PathOf("folder/"), 3, menu, addresses), 5);
    EXPECT_EQ(Describe(menu), "S{b:3588} a:3587");
    EXPECT_EQ(addresses, (std::vector<std::string>{"0", "1", "2", "http://a/", "http://b/"}));
}

TEST_F(Favorites, EntriesPastTheCommandRangeAreKept) {
    for (int i = 0; i < 520; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "e%03d.url", i);
        Shortcut(name, std::to_string(i));
    }
    EXPECT_EQ(Scan(), 520);
    ASSERT_EQ(menu.items.size(), 520u);
    EXPECT_EQ(menu.items[511].command, tvx::kFavoritesLastCommand);
    EXPECT_EQ(menu.items[512].label, "e512");
    EXPECT_EQ(menu.items[512].command, tvx::kFavoritesLastCommand + 1);
    EXPECT_EQ(menu.items[519].command, 3584 + 519);
    EXPECT_EQ(addresses[519], "519");
}

TEST_F(Favorites, LinkedFoldersAreFollowedButLoopsAreNot) {
    Shortcut("a.url", "http://a/");
    Shortcut("sub/b.url", "http://b/");
    ASSERT_EQ(symlink("..", PathOf("sub/up").c_str()), 0);
    ASSERT_EQ(symlink(".", PathOf("sub/self").c_str()), 0);
    ASSERT_EQ(symlink(Dir().c_str(), PathOf("sub/root").c_str()), 0);
    Shortcut("other/c.url", "http://c/");
    ASSERT_EQ(symlink("other", PathOf("link").c_str()), 0);
    EXPECT_EQ(Scan(), 4);
    ASSERT_EQ(menu.items.size(), 4u);
    EXPECT_EQ(menu.items[0].label, "link");
    EXPECT_EQ(menu.items[1].label, "other");
    EXPECT_EQ(menu.items[2].label, "sub");
    EXPECT_EQ(menu.items[3].label, "a");
    EXPECT_EQ(Describe(*menu.items[2].submenu).substr(0, 2), "b:");
    EXPECT_EQ(addresses[0], "http://a/");

    // The scanned folder itself may be a link.
    FavoritesMenu linked;
    std::vector<std::string> linkedAddresses;
    EXPECT_EQ(tvx::ScanFavoritesFolder(PathOf("link"), 0, linked, linkedAddresses), 1);
    EXPECT_EQ(Describe(linked), "c:3584");
}

}  // namespace
