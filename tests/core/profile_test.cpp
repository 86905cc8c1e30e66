// The private-profile (INI) module.

#include "platform/Profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Sandbox.h"

namespace {

using tvxtest::ReadFile;
using tvxtest::WriteFile;

class Profile : public tvxtest::Sandbox {};

TEST_F(Profile, ReadsMatchingSectionsAndKeysWithoutCase) {
    const std::string ini = PathOf("a.ini");
    WriteFile(ini,
              "; comment\r\n"
              "[Other]\r\nWindowPos=wrong\r\n"
              "  [ settings ]  \r\n"
              "  windowpos =  1,2,3  \r\n"
              "Quoted=\"  spaced  \"\r\n"
              "Empty=\r\n"
              "WindowPos=second\r\n");
    EXPECT_EQ(tvx::GetPrivateProfileString("Settings", "WindowPos", "d", ini), "1,2,3");
    EXPECT_EQ(tvx::GetPrivateProfileString("SETTINGS", "quoted", "d", ini), "  spaced  ");
    EXPECT_EQ(tvx::GetPrivateProfileString("Settings", "Empty", "d", ini), "");
    EXPECT_EQ(tvx::GetPrivateProfileString("Settings", "Missing", "d", ini), "d");
    EXPECT_EQ(tvx::GetPrivateProfileString("Nowhere", "WindowPos", "d", ini), "d");
    EXPECT_EQ(tvx::GetPrivateProfileString("Settings", "WindowPos", "d", PathOf("none.ini")), "d");
}

TEST_F(Profile, IntegerValuesReadLikeAtoi) {
    const std::string ini = PathOf("a.ini");
    WriteFile(ini, "[SPLITTER]\nleft=  250px\nbottom=-7\nword=abc\nempty=\n");
    EXPECT_EQ(tvx::GetPrivateProfileInt("SPLITTER", "left", 1, ini), 250);
    EXPECT_EQ(tvx::GetPrivateProfileInt("SPLITTER", "bottom", 1, ini), -7);
    EXPECT_EQ(tvx::GetPrivateProfileInt("SPLITTER", "word", 1, ini), 0);
    EXPECT_EQ(tvx::GetPrivateProfileInt("SPLITTER", "empty", 1, ini), 0);
    EXPECT_EQ(tvx::GetPrivateProfileInt("SPLITTER", "missing", 1, ini), 1);
}

TEST_F(Profile, ValuesAreCutAt4095Characters) {
    const std::string ini = PathOf("a.ini");
    WriteFile(ini, "[S]\nk=" + std::string(5000, 'v') + "\n");
    EXPECT_EQ(tvx::GetPrivateProfileString("S", "k", "", ini), std::string(4095, 'v'));
}

TEST_F(Profile, WriteCreatesMissingFile) {
    const std::string ini = PathOf("new.ini");
    ASSERT_TRUE(tvx::WritePrivateProfileString("Settings", "WindowPos", "1,2", ini));
    ASSERT_TRUE(tvx::WritePrivateProfileString("SPLITTER", "left", "200", ini));
    ASSERT_TRUE(tvx::WritePrivateProfileString("SPLITTER", "bottom", "300", ini));
    EXPECT_EQ(ReadFile(ini), "[Settings]\nWindowPos=1,2\n[SPLITTER]\nleft=200\nbottom=300\n");
}

TEST_F(Profile, WriteKeepsEverythingElse) {
    const std::string ini = PathOf("a.ini");
    WriteFile(ini,
              "; my notes\r\n"
              "[Settings]\r\n"
              "WINDOWPOS=old\r\n"
              "Other = keep me\r\n"
              "\r\n"
              "[Transfer]\r\n"
              "TickBudgetMs=15\r\n"
              "free text line\r\n");
    ASSERT_TRUE(tvx::WritePrivateProfileString("settings", "WindowPos", "new", ini));
    ASSERT_TRUE(tvx::WritePrivateProfileString("Settings", "Added", "1", ini));
    ASSERT_TRUE(tvx::WritePrivateProfileString("Transfer", "Another", "2", ini));
    EXPECT_EQ(ReadFile(ini),
              "; my notes\r\n"
              "[Settings]\r\n"
              "WindowPos=new\r\n"
              "Other = keep me\r\n"
              "Added=1\r\n"
              "\r\n"
              "[Transfer]\r\n"
              "TickBudgetMs=15\r\n"
              "free text line\r\n"
              "Another=2\r\n");
}

TEST_F(Profile, WriteAfterLastLineWithoutLineEnd) {
    const std::string ini = PathOf("a.ini");
    WriteFile(ini, "[A]\nx=1");
    ASSERT_TRUE(tvx::WritePrivateProfileString("B", "y", "2", ini));
    EXPECT_EQ(ReadFile(ini), "[A]\nx=1\n[B]\ny=2\n");
    ASSERT_TRUE(tvx::WritePrivateProfileString("A", "x", "3", ini));
    EXPECT_EQ(tvx::GetPrivateProfileString("A", "x", "", ini), "3");
    EXPECT_EQ(tvx::GetPrivateProfileString("B", "y", "", ini), "2");
}

TEST_F(Profile, WriteKeepsPermissions) {
    const std::string ini = PathOf("a.ini");
    WriteFile(ini, "[A]\nx=1\n");
    ASSERT_EQ(chmod(ini.c_str(), 0640), 0);
    ASSERT_TRUE(tvx::WritePrivateProfileString("A", "x", "2", ini));
    struct stat st {};
    ASSERT_EQ(stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(Profile, FailedWriteLeavesFileIntact) {
    tvxtest::ScopedTmpfs disk(PathOf("disk"), 64 * 1024);
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a small file system here";
    const std::string ini = PathOf("disk/a.ini");
    WriteFile(ini, "[A]\nx=1\n");
    ASSERT_TRUE(disk.MakeReadOnly());
    EXPECT_FALSE(tvx::WritePrivateProfileString("A", "x", "2", ini));
    EXPECT_EQ(ReadFile(ini), "[A]\nx=1\n");
}

}  // namespace
