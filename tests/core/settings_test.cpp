// Window placement text and the settings file.

#include "app/Settings.h"

#include <gtest/gtest.h>

#include "Sandbox.h"
#include "platform/Profile.h"
#include "transfer/HttpRequest.h"

namespace {

using tvx::WindowPlacement;

TEST(WindowPos, FormatsTenNumbersSignedWhereSigned) {
    WindowPlacement p;
    p.flags = 2;
    p.showCmd = 3;
    p.minX = -1;
    p.minY = -1;
    p.maxX = -8;
    p.maxY = -30;
    p.left = 10;
    p.top = 20;
    p.right = 810;
    p.bottom = 620;
    EXPECT_EQ(tvx::FormatWindowPlacement(p), "2,3,-1,-1,-8,-30,10,20,810,620");
}

TEST(WindowPos, ParsesLikeSscanf) {
    WindowPlacement p;
    ASSERT_TRUE(tvx::ParseWindowPlacement("0,1,-1,-1,-1,-1,-20,-30,500,400", p));
    EXPECT_EQ(p.showCmd, 1u);
    EXPECT_EQ(p.left, -20);
    EXPECT_EQ(p.top, -30);
    EXPECT_EQ(p.right, 500);
    EXPECT_EQ(p.bottom, 400);
    // Negative values survive a round trip.
    EXPECT_EQ(tvx::FormatWindowPlacement(p), "0,1,-1,-1,-1,-1,-20,-30,500,400");

    // Blanks before numbers are accepted; an eleventh number is ignored.
    ASSERT_TRUE(tvx::ParseWindowPlacement(" 2, 3, 0, 0, 0, 0, 1, 2, 3, 4,99", p));
    EXPECT_EQ(p.flags, 2u);
    EXPECT_EQ(p.bottom, 4);
}

TEST(WindowPos, RejectsShortOrBrokenTextWithoutTouchingTheRecord) {
    WindowPlacement p;
    p.left = 77;
    EXPECT_FALSE(tvx::ParseWindowPlacement("0,1,-1,-1,-1,-1,10,20,30", p));    // nine
    EXPECT_FALSE(tvx::ParseWindowPlacement("0,1,-1,-1,x,-1,10,20,30,40", p));  // a letter
    EXPECT_FALSE(tvx::ParseWindowPlacement("", p));
    EXPECT_FALSE(tvx::ParseWindowPlacement("0;1;2;3;4;5;6;7;8;9", p));
    EXPECT_EQ(p.left, 77);
}

class SettingsFile : public tvxtest::Sandbox {};

TEST_F(SettingsFile, LivesInStartDirectory) {
    EXPECT_EQ(tvx::SettingsFilePath(), Dir() + "\\download.ini");
}

TEST_F(SettingsFile, PlacementAndSplitterRoundTrip) {
    const std::string ini = tvx::SettingsFilePath();
    WindowPlacement p;
    EXPECT_FALSE(tvx::LoadWindowPlacement(p, ini));  // no file yet
    p.flags = 2;
    p.showCmd = 3;
    p.left = 5;
    p.top = 6;
    p.right = 705;
    p.bottom = 506;
    ASSERT_TRUE(tvx::SaveWindowPlacement(p, ini));
    ASSERT_TRUE(tvx::SaveSplitterSizes({230, 540}, ini));
    EXPECT_EQ(tvxtest::ReadFile(PathOf("download.ini")),
              "[Settings]\nWindowPos=2,3,-1,-1,-1,-1,5,6,705,506\n"
              "[SPLITTER]\nleft=230\nbottom=540\n");

    WindowPlacement q;
    ASSERT_TRUE(tvx::LoadWindowPlacement(q, ini));
    EXPECT_EQ(tvx::FormatWindowPlacement(q), tvx::FormatWindowPlacement(p));
    const tvx::SplitterSizes sizes = tvx::LoadSplitterSizes(ini);
    EXPECT_EQ(sizes.left, 230);
    EXPECT_EQ(sizes.bottom, 540);
}

TEST_F(SettingsFile, MissingSplitterKeysReadAsZero) {
    const std::string ini = tvx::SettingsFilePath();
    tvx::WritePrivateProfileString("SPLITTER", "left", "300", ini);
    const tvx::SplitterSizes sizes = tvx::LoadSplitterSizes(ini);
    EXPECT_EQ(sizes.left, 300);
    EXPECT_EQ(sizes.bottom, 0);
}

TEST_F(SettingsFile, EmptyWindowPosMeansNoPlacement) {
    const std::string ini = tvx::SettingsFilePath();
    tvx::WritePrivateProfileString("Settings", "WindowPos", "", ini);
    WindowPlacement p;
    EXPECT_FALSE(tvx::LoadWindowPlacement(p, ini));
}

TEST_F(SettingsFile, ConnectionsDefaultToEightAndStayInRange) {
    const std::string ini = tvx::SettingsFilePath();
    const struct {
        const char* text;  // nullptr: no key
        int connections;
    } cases[] = {{nullptr, 8}, {"1", 1}, {"3", 3}, {"0", 1}, {"-4", 1}, {"500", 32}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text != nullptr ? c.text : "(none)");
        if (c.text != nullptr)
            tvx::WritePrivateProfileString("Transfer", "Connections", c.text, ini);
        tvx::HttpSettings settings;
        tvx::LoadTransferSettings(settings, ini);
        EXPECT_EQ(settings.connections, c.connections);
    }
}

// Every form a schedule is written in, what holds at which minute, and a
// schedule that cannot be read is said and holds nothing.
TEST_F(SettingsFile, RateScheduleWindowsAreReadAndTheFirstThatCoversTheMinuteHolds) {
    const struct {
        const char* text;
        const char* problem;  // nullptr: read
        std::vector<std::pair<int, std::int64_t>> at;  // minute, rate in force (-1: none)
    } cases[] = {
        {"08:00-18:00 500K, 18:00-08:00 0", nullptr,
         {{479, 0}, {480, 512000}, {1079, 512000}, {1080, 0}, {0, 0}}},
        {" 22:30-06:00 2M ", nullptr, {{1350, 2 << 20}, {359, 2 << 20}, {360, -1}, {1349, -1}}},
        {"00:00-24:00 100, 12:00-13:00 5K", nullptr, {{720, 100}, {1439, 100}}},
        {"", nullptr, {{600, -1}}},
        {"8:00-18:00 500K", "\"8:00-18:00 500K\" is no window", {}},
        {"08:00-18:00", "\"08:00-18:00\" is no window", {}},
        {"08:00-18:00 500K, 18:00-25:00 1M", "\"18:00-25:00 1M\" is no window", {}},
        {"08:00-18:00 fast", "is no window", {}},
        {"24:00-01:00 1K", "is no window", {}},
    };
    const std::string ini = tvx::SettingsFilePath();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        tvx::WritePrivateProfileString("Transfer", "RateSchedule", c.text, ini);
        tvx::HttpSettings settings;
        tvx::LoadTransferSettings(settings, ini);
        if (c.problem != nullptr) {
            EXPECT_NE(settings.rateScheduleProblem.find(c.problem), std::string::npos)
                << settings.rateScheduleProblem;
            EXPECT_TRUE(settings.rateSchedule.empty());
            continue;
        }
        EXPECT_EQ(settings.rateScheduleProblem, "");
        for (const auto& [minute, rate] : c.at)
            EXPECT_EQ(tvx::RateAt(settings.rateSchedule, minute), rate) << minute;
    }
}

}  // namespace
