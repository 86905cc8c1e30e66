// The browser view's interception rules and the texts formed for the Save
// dialog and the single-file download dialog.

#include "browser/Interception.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Paths.h"

namespace {

using tvx::DownloadProposal;
using tvx::FileNameOfAddress;
using tvx::FolderOfPath;
using tvx::IsInterceptedAddress;

TEST(Interception, CatchesTheFiveExtensionsWithoutRegardToCase) {
    for (const char* address :
         {"http://h/a.zip", "http://h/a.exe", "http://h/a.dll", "http://h/a.arj", "http://h/a.rar",
          "http://h/SETUP.EXE", "http://h/a.ZiP", "file:///tmp/local.Rar", ".zip"}) {
        EXPECT_TRUE(IsInterceptedAddress(address)) << address;
    }
}

TEST(Interception, OnlyTheLastFourCharactersCount) {
    EXPECT_TRUE(IsInterceptedAddress("http://h/get?file=a.zip"));
    for (const char* address :
         {"http://h/a.zip?x=1", "http://h/a.zip/", "http://h/a.zip ", "http://h/a.html",
          "http://h/a.tar.gz", "http://h/a.7z", "http://h/a.msi", "http://h/azip", "http://h/",
          "zip", ".zi", "", "http://h/a.zi\xD0"}) {
        EXPECT_FALSE(IsInterceptedAddress(address)) << address;
    }
}

TEST(Interception, FileNameIsTheLastPartUnchanged) {
    EXPECT_EQ(FileNameOfAddress("http://h/dir/File.ZIP"), "File.ZIP");
    EXPECT_EQ(FileNameOfAddress("http://h/get.php?name=a%20b.zip"), "get.php?name=a%20b.zip");
    EXPECT_EQ(FileNameOfAddress("http://h/get?f=dir/a.zip"), "a.zip");
    EXPECT_EQ(FileNameOfAddress("file:///C:\\dl\\x.exe"), "x.exe");
    EXPECT_EQ(FileNameOfAddress("http://h/dir/"), "");
    // Without a separator after the first character there is no name.
    EXPECT_EQ(FileNameOfAddress("setup.exe"), "");
    EXPECT_EQ(FileNameOfAddress("/setup.exe"), "");
    EXPECT_EQ(FileNameOfAddress("\\a"), "");
    EXPECT_EQ(FileNameOfAddress("x/a"), "a");
    EXPECT_EQ(FileNameOfAddress(""), "");
}

TEST(Interception, FolderOfPathDropsTheLastComponent) {
    EXPECT_EQ(FolderOfPath("/home/u/dl/a.zip"), "/home/u/dl");
    EXPECT_EQ(FolderOfPath("c:\\dl\\sub\\a.zip"), "c:\\dl\\sub");
    EXPECT_EQ(FolderOfPath("/home/u\\odd/a.zip"), "/home/u\\odd");
    EXPECT_EQ(FolderOfPath("/home/u/dl/"), "/home/u/dl");
    EXPECT_EQ(FolderOfPath("/a.zip"), "");
    EXPECT_EQ(FolderOfPath("a.zip"), ".");
    // Joined with a name again, the folder names the file beside the path.
    for (const char* path : {"/a.zip", "a.zip", "/x/y/a.zip"}) {
        const std::string sibling = DownloadProposal(FolderOfPath(path), "b.exe");
        EXPECT_EQ(std::filesystem::path(tvx::ToNativePath(sibling)).lexically_normal(),
                  std::filesystem::path(path).replace_filename("b.exe").lexically_normal())
            << path;
    }
}

// One intercepted navigation after another, as the browser view runs them:
// the second proposal lies in the folder confirmed for the first.
TEST(Interception, SuccessiveDownloadsFollowTheConfirmedFolder) {
    std::string folder = "/start/downloads";
    const std::string first = "http://Example.com/Files/Tool.ZIP";
    ASSERT_TRUE(IsInterceptedAddress(first));
    EXPECT_EQ(DownloadProposal(folder, FileNameOfAddress(first)), "/start/downloads\\Tool.ZIP");
    const std::string chosen = "/home/u/a much/deeper folder/than the address/Tool.ZIP";
    EXPECT_EQ(tvx::DownloadCommandText(first, chosen), first + "," + chosen);
    folder = FolderOfPath(chosen);

    const std::string second = "http://h/get?f=setup.exe";
    ASSERT_TRUE(IsInterceptedAddress(second));
    const std::string proposal = DownloadProposal(folder, FileNameOfAddress(second));
    EXPECT_EQ(proposal, "/home/u/a much/deeper folder/than the address\\get?f=setup.exe");
    EXPECT_EQ(tvx::ToNativePath(proposal),
              "/home/u/a much/deeper folder/than the address/get?f=setup.exe");
}

}  // namespace
