#include "transfer/SegmentMap.h"

#include <algorithm>

namespace tvx {

void CSegmentMap::Reset(std::int64_t length, std::int64_t done) {
    m_segments.assign(1, Segment{0, length, std::clamp<std::int64_t>(done, 0, length)});
}

bool CSegmentMap::Assign(const std::vector<Segment>& segments, std::int64_t length) {
    std::int64_t at = 0;
    for (const Segment& s : segments) {
        if (s.start != at || s.end <= s.start || s.done < 0 || s.done > s.end - s.start)
            return false;
        at = s.end;
    }
    if (at != length || segments.empty())
        return false;
    m_segments = segments;
    return true;
}

std::int64_t CSegmentMap::Prefix() const {
    std::int64_t prefix = 0;
    for (const Segment& s : m_segments) {
        prefix = s.Next();
        if (s.Left() > 0)
            break;
    }
    return prefix;
}

std::int64_t CSegmentMap::Done() const {
    std::int64_t done = 0;
    for (const Segment& s : m_segments)
        done += s.done;
    return done;
}

bool CSegmentMap::Complete() const {
    return std::all_of(m_segments.begin(), m_segments.end(),
                       [](const Segment& s) { return s.Left() == 0; });
}

Segment* CSegmentMap::At(std::int64_t start) {
    for (Segment& s : m_segments) {
        if (s.start == start)
            return &s;
    }
    return nullptr;
}

std::int64_t CSegmentMap::SplitLargest(std::int64_t minPart, std::int64_t maxPart) {
    auto largest =
        std::max_element(m_segments.begin(), m_segments.end(),
                         [](const Segment& a, const Segment& b) { return a.Left() < b.Left(); });
    if (largest == m_segments.end() || largest->Left() < 2 * minPart)
        return -1;
    const std::int64_t part = maxPart == INT64_MAX
                                  ? largest->Left() / 2
                                  : std::clamp(maxPart, minPart, largest->Left() - minPart);
    const std::int64_t middle = largest->end - part;
    const Segment second{middle, largest->end, 0};
    largest->end = middle;
    m_segments.insert(largest + 1, second);
    return middle;
}

}  // namespace tvx
