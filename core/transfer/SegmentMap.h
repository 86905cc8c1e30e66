#pragma once
// What of a file is on disk when it comes over several connections: the file
// is cut into segments that together cover it from byte 0 to its length, in
// order, and each segment counts how far it has come from its start. The map
// hands out work (a segment nobody fetches, or half of the largest one left)
// and says how many bytes from the start are really there, which is what the
// 16-byte record counts. It never decides whether bytes are right; the
// transfer writes a segment's bytes before the map counts them.

#include <cstdint>
#include <vector>

namespace tvx {

struct Segment {
    std::int64_t start = 0;
    std::int64_t end = 0;   // one past its last byte
    std::int64_t done = 0;  // bytes on disk from start on
    std::int64_t Next() const { return start + done; }
    std::int64_t Left() const { return end - Next(); }
    bool operator==(const Segment&) const = default;
};

class CSegmentMap {
public:
    // One segment over the whole file with `done` bytes from its start.
    void Reset(std::int64_t length, std::int64_t done);
    // Takes segments as a control record holds them; false (and the map
    // untouched) unless they cover 0 to length in order with sane counts.
    bool Assign(const std::vector<Segment>& segments, std::int64_t length);

    const std::vector<Segment>& Segments() const { return m_segments; }
    Segment& operator[](std::size_t i) { return m_segments[i]; }
    std::size_t Size() const { return m_segments.size(); }

    // Bytes from byte 0 on that are on disk without a gap.
    std::int64_t Prefix() const;
    // Bytes on disk in all segments.
    std::int64_t Done() const;
    bool Complete() const;

    // The segment that starts at start; nullptr when there is none.
    Segment* At(std::int64_t start);

    // Splits the segment with the most left into two, the new one taking the
    // end of what is left: half of it, or else maxPart as far as both parts
    // keep at least minPart bytes (and only when they can). A segment keeps its
    // start, so it is known by it. Returns the new segment's start, or -1
    // when no segment is large enough.
    std::int64_t SplitLargest(std::int64_t minPart, std::int64_t maxPart = INT64_MAX);

private:
    std::vector<Segment> m_segments;
};

}  // namespace tvx
