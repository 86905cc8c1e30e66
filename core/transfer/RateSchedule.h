#pragma once
// Rate limits by the clock: "08:00-18:00 500K, 18:00-08:00 0" gives every
// transfer at most 500 KiB a second in office hours and no limit at night.
// A window runs from its first minute up to (not including) its last; one
// whose end is not after its start runs past midnight. The first window
// that covers the moment holds; where none does, the fixed limit holds.
// Rates are bytes a second with K or M for 1024 or 1048576; 0 is no limit.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvx {

struct RateWindow {
    int from = 0, to = 0;   // minutes of the day, 0 to 1440
    std::int64_t rate = 0;  // bytes a second; 0: no limit
};

// A rate text: digits, then optionally K or M; -1 for anything else.
std::int64_t ParseRateText(std::string_view text);

// Reads a schedule; false with the reason (naming the element) for any
// element that is not "HH:MM-HH:MM RATE". An empty text is no schedule.
bool ParseRateSchedule(std::string_view text, std::vector<RateWindow>& windows, std::string& error);

// The rate of the first window that covers the minute of the day, or -1
// when none does.
std::int64_t RateAt(const std::vector<RateWindow>& windows, int minute);

// The minute of the day now, local time.
int MinuteOfDayNow();

}  // namespace tvx
