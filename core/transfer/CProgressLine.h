#pragma once
// The line a person reads under a progress bar: bytes done of the total,
// percent, rate and time left, e.g. "1.5 MB of 4.0 MB  37%  820 KB/s  0:03 left".
// The rate is measured over the last few seconds only, so a stall shows at
// once and an old burst does not flatter the estimate.

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>

namespace tvx {

class CProgressLine {
public:
    using Clock = std::chrono::steady_clock;
    // How often a caller should redraw the line (a few times a second).
    static constexpr std::chrono::milliseconds kInterval{250};

    // Begins a new measurement at done bytes (a resumed transfer starts above
    // 0; those bytes do not count toward the rate).
    void Start(std::int64_t done, Clock::time_point now);
    // True when kInterval has passed since the last Text.
    bool Due(Clock::time_point now) const { return now - m_lastText >= kInterval; }
    // Takes a sample and returns the line for done of total.
    std::string Text(std::int64_t done, std::int64_t total, Clock::time_point now);
    // Bytes a second over the measured window; 0 before two samples.
    double BytesPerSecond() const;

    // "512 B", "1.5 KB", "4.0 MB", "2.1 GB" (units of 1024).
    static std::string FormatBytes(std::int64_t bytes);
    // "0:07", "12:30", "1:02:03".
    static std::string FormatDuration(std::int64_t seconds);
    // "  4 connections" when a transfer reads from more than one; "" else.
    static std::string ConnectionsText(int connections);

private:
    std::deque<std::pair<Clock::time_point, std::int64_t>> m_samples;  // oldest first
    Clock::time_point m_lastText{};
};

}  // namespace tvx
