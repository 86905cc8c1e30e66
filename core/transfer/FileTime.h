#pragma once
// Date numbers and the times of local files.
//
// A date number holds a date and time to the minute as a double whose decimal
// digits read YYYYMMDDhhmm. The remote one comes from Last-Modified (the GMT
// fields as the server states them), the local one from a file's last
// modification in local time. Two date numbers are only ever compared for
// equality.

#include <cstdint>
#include <string>
#include <string_view>

namespace tvx {

double MakeDateNumber(int year, int month, int day, int hour, int minute);

struct DateFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
};
// Splits a date number into its fields, each the integer part of a division.
DateFields SplitDateNumber(double date);

struct LocalFileInfo {
    bool exists = false;
    std::int64_t length = 0;  // 0 when the file does not exist
    double date = 0;          // 0 when the file does not exist
};

// Length and date number of the file at the path (a stored path text; a
// relative one is taken relative to the current directory).
LocalFileInfo GetLocalFileInfo(std::string_view path);

// Gives the file the date as its last-access and last-modification time, so
// that GetLocalFileInfo reads the same date back, summer time included: the
// moment is the one whose local clock reading the fields are. A date before
// 1970 (0 included) is not stamped. False when the time could not be set.
bool StampFileTime(std::string_view path, double date);

}  // namespace tvx
