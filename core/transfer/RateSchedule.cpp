#include "transfer/RateSchedule.h"

#include <ctime>


namespace tvx {

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// "HH:MM" (24:00 allowed as the end of the day) as minutes; -1 otherwise.
int Minutes(std::string_view text) {
    if (text.size() != 5 || text[2] != ':')
        return -1;
    for (const std::size_t i : {0u, 1u, 3u, 4u}) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
    }
    const int hours = (text[0] - '0') * 10 + (text[1] - '0');
    const int minutes = (text[3] - '0') * 10 + (text[4] - '0');
    if (minutes > 59 || hours > 24 || (hours == 24 && minutes != 0))
        return -1;
    return hours * 60 + minutes;
}

}  // namespace

std::int64_t ParseRateText(std::string_view text) {
    std::int64_t value = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > (std::int64_t(1) << 40))
            return -1;
    }
    if (i == 0)
        return -1;
    std::int64_t unit = 1;
    if (i + 1 == text.size() && (text[i] == 'k' || text[i] == 'K'))
        unit = 1024, ++i;
    else if (i + 1 == text.size() && (text[i] == 'm' || text[i] == 'M'))
        unit = 1024 * 1024, ++i;
    return i == text.size() ? value * unit : -1;
}

bool ParseRateSchedule(std::string_view text, std::vector<RateWindow>& windows,
                       std::string& error) {
    windows.clear();
    while (!Trim(text).empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view element = Trim(text.substr(0, comma));
        text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
        const std::size_t space = element.find_first_of(" \t");
        const std::string_view span = element.substr(0, space);
        RateWindow w;
        w.from = span.size() == 11 && span[5] == '-' ? Minutes(span.substr(0, 5)) : -1;
        w.to = span.size() == 11 && span[5] == '-' ? Minutes(span.substr(6)) : -1;
        w.rate = space == std::string_view::npos ? -1 : ParseRateText(Trim(element.substr(space)));
        if (w.from < 0 || w.from == 1440 || w.to < 0 || w.rate < 0) {
            error = "\"" + std::string(element) +
                    "\" is no window of the form HH:MM-HH:MM RATE (08:00-18:00 500K)";
            windows.clear();
            return false;
        }
        windows.push_back(w);
    }
    return true;
}

std::int64_t RateAt(const std::vector<RateWindow>& windows, int minute) {
    for (const RateWindow& w : windows) {
        const bool inside = w.from < w.to ? minute >= w.from && minute < w.to
                                          : minute >= w.from || minute < w.to;
        if (inside)
            return w.rate;
    }
    return -1;
}

int MinuteOfDayNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_hour * 60 + local.tm_min;
}

}  // namespace tvx
