#pragma once
// Option values shared by the headless commands.

#include <cstdint>
#include <cstdlib>

namespace tvxcli {

// A rate in bytes a second: digits, then optionally K (1024) or M (1024 *
// 1024), as curl and wget take it. 0 when the text is no such rate.
inline std::int64_t ParseRate(const char* text) {
    if (text == nullptr || *text < '0' || *text > '9')
        return 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    std::int64_t unit = 1;
    if (*end == 'k' || *end == 'K')
        unit = 1024, ++end;
    else if (*end == 'm' || *end == 'M')
        unit = 1024 * 1024, ++end;
    if (*end != '\0' || value == 0 || value > (1ULL << 40) / static_cast<unsigned long long>(unit))
        return 0;
    return static_cast<std::int64_t>(value) * unit;
}

}  // namespace tvxcli
