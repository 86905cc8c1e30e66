// Date numbers, local file times and the stamping of finished files.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdlib>

#include "Sandbox.h"
#include "transfer/FileTime.h"
#include "transfer/HttpRequest.h"

namespace {

using tvx::GetLocalFileInfo;
using tvx::StampFileTime;

// Runs the test body under a given time zone and restores the old one.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (m_had)
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (m_had) {
            setenv("TZ", m_old.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

class FileTime : public tvxtest::Sandbox {
protected:
    std::string NewFile(const std::string& name, const std::string& contents = "x") {
        tvxtest::WriteFile(PathOf(name), contents);
        return PathOf(name);
    }
    // The file's modification time as the local clock reads it.
    std::string LocalClock(const std::string& path) {
        struct stat st {};
        EXPECT_EQ(stat(path.c_str(), &st), 0);
        struct tm tm {};
        localtime_r(&st.st_mtime, &tm);
        char text[32];
        strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
        return text;
    }
};

TEST(DateNumber, DigitsReadYearToMinute) {
    EXPECT_EQ(tvx::MakeDateNumber(1999, 3, 12, 10, 5), 199903121005.0);
    const tvx::DateFields f = tvx::SplitDateNumber(200003151234.0);
    EXPECT_EQ(f.year, 2000);
    EXPECT_EQ(f.month, 3);
    EXPECT_EQ(f.day, 15);
    EXPECT_EQ(f.hour, 12);
    EXPECT_EQ(f.minute, 34);
}

TEST(DateNumber, HttpDatesInAllThreeForms) {
    tvx::HttpDateFields f;
    ASSERT_TRUE(tvx::ParseHttpDate("Fri, 12 Mar 1999 10:05:59 GMT", f));
    EXPECT_EQ(tvx::MakeDateNumber(f.year, f.month, f.day, f.hour, f.minute), 199903121005.0);
    ASSERT_TRUE(tvx::ParseHttpDate("Friday, 12-Mar-99 10:05:59 GMT", f));
    EXPECT_EQ(tvx::MakeDateNumber(f.year, f.month, f.day, f.hour, f.minute), 199903121005.0);
    ASSERT_TRUE(tvx::ParseHttpDate("Fri Mar 12 10:05:59 1999", f));
    EXPECT_EQ(tvx::MakeDateNumber(f.year, f.month, f.day, f.hour, f.minute), 199903121005.0);
    EXPECT_FALSE(tvx::ParseHttpDate("", f));
    EXPECT_FALSE(tvx::ParseHttpDate("yesterday-ish", f));
}

TEST_F(FileTime, MissingFileReadsAsZero) {
    const tvx::LocalFileInfo info = GetLocalFileInfo(PathOf("none"));
    EXPECT_FALSE(info.exists);
    EXPECT_EQ(info.length, 0);
    EXPECT_EQ(info.date, 0);
}

TEST_F(FileTime, SecondsDoNotCountInTheComparison) {
    // A file written at 10:05:40 local time and a server's 10:05:59 GMT agree;
    // 10:06 does not.
    TimeZone zone("Europe/Berlin");
    const std::string file = NewFile("a.bin", std::string(1000, 'a'));
    struct tm tm {};
    tm.tm_year = 99;
    tm.tm_mon = 2;
    tm.tm_mday = 12;
    tm.tm_hour = 10;
    tm.tm_min = 5;
    tm.tm_sec = 40;
    tm.tm_isdst = -1;
    const struct timespec times[2] = {{mktime(&tm), 0}, {mktime(&tm), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const tvx::LocalFileInfo info = GetLocalFileInfo(file);
    EXPECT_EQ(info.length, 1000);
    EXPECT_EQ(info.date, 199903121005.0);
    tvx::HttpDateFields f;
    ASSERT_TRUE(tvx::ParseHttpDate("Fri, 12 Mar 1999 10:06:00 GMT", f));
    EXPECT_NE(info.date, tvx::MakeDateNumber(f.year, f.month, f.day, f.hour, f.minute));
}

TEST_F(FileTime, StampReadsBackTheSameMinuteAllYearRound) {
    const std::string file = NewFile("a.bin");
    for (const char* zone : {"UTC", "Europe/Berlin", "America/New_York", "Australia/Sydney"}) {
        TimeZone tz(zone);
        for (const double date : {200003151234.0,  // after the leap day of 2000
                                  200002291200.0,  // the leap day itself
                                  202402292359.0, 200101010000.0,
                                  202407151230.0,  // summer time in the north
                                  202401151230.0,  // summer time in the south
                                  202410270230.0,  // the hour that repeats in Berlin
                                  203801190314.0, 210001010000.0}) {
            ASSERT_TRUE(StampFileTime(file, date)) << zone << " " << date;
            EXPECT_EQ(GetLocalFileInfo(file).date, date) << zone << " " << std::fixed << date;
        }
    }
}

TEST_F(FileTime, StampedTimeIsTheLocalClockReading) {
    TimeZone zone("Europe/Berlin");
    const std::string file = NewFile("a.bin");
    ASSERT_TRUE(StampFileTime(file, 200101010000.0));
    EXPECT_EQ(LocalClock(file), "2001-01-01 00:00:00");
    ASSERT_TRUE(StampFileTime(file, 202407151230.0));
    EXPECT_EQ(LocalClock(file), "2024-07-15 12:30:00");
    // A reading the clock skips in spring has no moment; it lands an hour on.
    ASSERT_TRUE(StampFileTime(file, 202403310230.0));
    EXPECT_EQ(LocalClock(file), "2024-03-31 03:30:00");
}

TEST_F(FileTime, DatesBefore1970AreNotStamped) {
    const std::string file = NewFile("a.bin");
    ASSERT_TRUE(StampFileTime(file, 201001010000.0));
    const double before = GetLocalFileInfo(file).date;
    EXPECT_FALSE(StampFileTime(file, 0));
    EXPECT_FALSE(StampFileTime(file, 196912312359.0));
    EXPECT_FALSE(StampFileTime(file, 201013010000.0));  // month 13
    EXPECT_EQ(GetLocalFileInfo(file).date, before);
    EXPECT_FALSE(StampFileTime(PathOf("missing"), 201001010000.0));
}

}  // namespace
