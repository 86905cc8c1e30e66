#include "transfer/Owner.h"

#include <algorithm>

namespace tvx {

int Percent(std::int64_t x, std::int64_t total) {
    if (total <= 0)
        return 0;
    const std::int64_t p = x * 100 / total;  // x and total stay far below 2^56
    return static_cast<int>(std::clamp<std::int64_t>(p, 0, 100));
}

std::string WithoutBells(const std::string& text, bool* hadBell) {
    std::string out;
    out.reserve(text.size());
    bool bell = false;
    for (char c : text) {
        if (c == '\a') {
            bell = true;
        } else {
            out += c;
        }
    }
    if (hadBell != nullptr)
        *hadBell = bell;
    return out;
}

}  // namespace tvx
