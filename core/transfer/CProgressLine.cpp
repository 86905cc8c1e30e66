#include "transfer/CProgressLine.h"

#include "platform/Text.h"

namespace tvx {

namespace {
// The rate is taken over this much of the recent past.
constexpr std::chrono::seconds kWindow{4};
}  // namespace

void CProgressLine::Start(std::int64_t done, Clock::time_point now) {
    m_samples.clear();
    m_samples.emplace_back(now, done);
    m_lastText = {};
}

double CProgressLine::BytesPerSecond() const {
    if (m_samples.size() < 2)
        return 0;
    const double seconds =
        std::chrono::duration<double>(m_samples.back().first - m_samples.front().first).count();
    if (seconds <= 0)
        return 0;
    return static_cast<double>(m_samples.back().second - m_samples.front().second) / seconds;
}

std::string CProgressLine::Text(std::int64_t done, std::int64_t total, Clock::time_point now) {
    m_lastText = now;
    m_samples.emplace_back(now, done);
    while (m_samples.size() > 2 && now - m_samples[1].first >= kWindow)
        m_samples.pop_front();
    const double rate = BytesPerSecond();
    std::string text = FormatBytes(done) + " of " + FormatBytes(total);
    if (total > 0)
        text += Format("  %d%%", static_cast<int>(done * 100 / total));
    text += "  " + FormatBytes(static_cast<std::int64_t>(rate)) + "/s";
    if (done >= total)
        return text;
    if (rate >= 1)
        text +=
            "  " + FormatDuration(static_cast<std::int64_t>((total - done) / rate + 0.5)) + " left";
    else
        text += "  --:-- left";
    return text;
}

std::string CProgressLine::FormatBytes(std::int64_t bytes) {
    if (bytes < 1024)
        return Format("%lld B", static_cast<long long>(bytes));
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    return Format("%.1f %s", value, kUnits[unit]);
}

std::string CProgressLine::ConnectionsText(int connections) {
    return connections > 1 ? "  " + std::to_string(connections) + " connections" : std::string();
}

std::string CProgressLine::FormatDuration(std::int64_t seconds) {
    const long long h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    return h > 0 ? Format("%lld:%02lld:%02lld", h, m, s) : Format("%lld:%02lld", m, s);
}

}  // namespace tvx
