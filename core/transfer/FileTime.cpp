#include "transfer/FileTime.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <cmath>

#include "platform/Paths.h"

namespace tvx {

double MakeDateNumber(int year, int month, int day, int hour, int minute) {
    return year * 100000000.0 + month * 1000000.0 + day * 10000.0 + hour * 100.0 + minute;
}

DateFields SplitDateNumber(double date) {
    const auto x = static_cast<std::int64_t>(std::floor(date));
    DateFields f;
    f.year = static_cast<int>(x / 100000000);
    f.month = static_cast<int>(x % 100000000 / 1000000);
    f.day = static_cast<int>(x % 1000000 / 10000);
    f.hour = static_cast<int>(x % 10000 / 100);
    f.minute = static_cast<int>(x % 100);
    return f;
}

LocalFileInfo GetLocalFileInfo(std::string_view path) {
    LocalFileInfo info;
    const std::string native = ToNativePath(path);
    struct stat st {};
    if (native.empty() || stat(native.c_str(), &st) != 0)
        return info;
    info.exists = true;
    info.length = static_cast<std::int64_t>(st.st_size);
    struct tm local {};
    const time_t mtime = st.st_mtime;
    if (localtime_r(&mtime, &local) != nullptr) {
        info.date = MakeDateNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                   local.tm_hour, local.tm_min);
    }
    return info;
}

namespace {

// The moment whose local clock reading is the given fields. mktime is asked
// once with the summer-time flag left to it and, when its answer does not
// read back to the same fields (the hour around a change of clocks), with
// each flag explicitly. Only a reading that no moment has (the hour skipped
// in spring) stays inexact; it then lands an hour later.
bool LocalMoment(const DateFields& f, time_t& moment) {
    bool any = false;
    for (const int dst : {-1, 0, 1}) {
        struct tm tm {};
        tm.tm_year = f.year - 1900;
        tm.tm_mon = f.month - 1;
        tm.tm_mday = f.day;
        tm.tm_hour = f.hour;
        tm.tm_min = f.minute;
        tm.tm_isdst = dst;
        const time_t t = mktime(&tm);
        if (t == static_cast<time_t>(-1))
            continue;
        struct tm back {};
        if (localtime_r(&t, &back) == nullptr)
            continue;
        if (!any)
            moment = t;
        any = true;
        if (back.tm_year == f.year - 1900 && back.tm_mon == f.month - 1 && back.tm_mday == f.day &&
            back.tm_hour == f.hour && back.tm_min == f.minute) {
            moment = t;
            return true;
        }
    }
    return any;
}

}  // namespace

bool StampFileTime(std::string_view path, double date) {
    const DateFields f = SplitDateNumber(date);
    if (f.year < 1970 || f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31 || f.hour > 23 ||
        f.minute > 59) {
        return false;
    }
    time_t moment = 0;
    if (!LocalMoment(f, moment))
        return false;
    const std::string native = ToNativePath(path);
    const struct timespec times[2] = {{moment, 0}, {moment, 0}};
    return utimensat(AT_FDCWD, native.c_str(), times, 0) == 0;
}

}  // namespace tvx
