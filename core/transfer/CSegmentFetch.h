#pragma once
// The fetch of one file over several connections at once: the phase of a
// transfer that runs between positioning and proving, and owns everything it
// needs (the segment map, the connections, what it has learnt of the
// server's ranges). It ends with the map complete or with a failure; nothing
// of it outlives it but the map, which the transfer records.
//
// The first connection is the answer the transfer already has, standing at
// the first byte missing from the start. Further connections ask for ranges
// of exactly the same version; every range answer must be a 206 of that
// version, unencoded, starting at the byte asked for. Then:
// - a server that answers a range with the whole file (it ignores ranges)
//   leaves the file to the first connection, which runs on through every
//   segment; the others stop at once;
// - the number of connections is found, not guessed: the fetch begins with
//   kFirstConnections and multiplies them while that raises the throughput
//   (a server that shapes each connection), up to the limit; once a step
//   does not pay (the line is full, or the rate falls) it goes back to the
//   number that did (see NextCount);
// - a server that turns a connection away (503, 429, refused) gets one
//   fewer and no more are added; after a quiet while they come back one at
//   a time, up to the number found;
// - a connection that brings nothing for the low-speed time is closed and
//   its segment given to another;
// - another version in any answer ends the fetch: bytes of two versions are
//   never joined;
// - an answer read whole that does not match its Content-Digest ends the
//   fetch as corrupt: none of the file's bytes can be trusted then.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "transfer/CDestination.h"
#include "transfer/HttpRequest.h"
#include "transfer/SegmentMap.h"

namespace tvx {

struct RemoteVersion;

class CSegmentFetch {
public:
    enum class Status {
        Moved,        // bytes reached the file
        Waiting,      // nothing arrived yet
        Complete,     // every segment is on disk
        Failed,       // no connection can fetch the rest (Problem says why)
        WriteFailed,  // the file took no more bytes (Problem says why)
        Corrupt,      // an answer's bytes did not match its Content-Digest (Problem says so)
    };

    // Connections a fetch begins with (the answer in hand and one more).
    static constexpr std::size_t kFirstConnections = 2;

    struct Limits {
        int connections = 1;          // at most this many at once
        std::int64_t minSegment = 0;  // a segment is split only into parts this large
        std::size_t chunk = 0;        // the largest single read
        int stallSeconds = 60;        // a connection that brings nothing this long goes
    };

    // first: the answer in hand, positioned at the map's first missing byte
    // from the start. url: where it came from (ranges are asked of it).
    CSegmentFetch(CDestination& destination, const HttpSettings& requestSettings, Limits limits,
                  const RemoteVersion& version, CSegmentMap map, std::unique_ptr<HttpRequest> first,
                  std::string url);
    ~CSegmentFetch();
    CSegmentFetch(const CSegmentFetch&) = delete;
    CSegmentFetch& operator=(const CSegmentFetch&) = delete;

    // Moves what the connections have into the file, at most allowance bytes
    // in all; moved receives how many reached it.
    Status Step(std::int64_t allowance, std::vector<char>& buffer, std::int64_t& moved);

    // The connections to allow after a window in which count connections
    // moved rate bytes a second, when paid connections last moved paidRate
    // (paid 0: none measured yet): four times as many (at most ceiling) when
    // the window's rate rose by at least a fifth of the rise in their
    // number, otherwise paid.
    static std::size_t NextCount(std::size_t paid, double paidRate, std::size_t count,
                                 double rate, std::size_t ceiling);

    const CSegmentMap& Map() const { return m_map; }
    int Connections() const { return static_cast<int>(m_connections.size()); }
    const std::string& Problem() const { return m_problem; }

private:
    using Clock = std::chrono::steady_clock;
    struct Connection {
        std::unique_ptr<HttpRequest> request;
        std::int64_t segment = 0;  // the start of the segment it fetches
        std::int64_t end = 0;      // one past the last byte its answer brings
        std::int64_t skip = 0;     // bytes of the answer before the segment's next one
        bool judged = false;       // its head was found to be the right range
        Clock::time_point active;  // when it last brought bytes (or was held back)
    };

    void StartConnections();
    bool StartConnection(std::int64_t segment);
    // Judges the head of a connection's range answer; false when the
    // connection was dropped or the fetch has failed.
    bool JudgeRange(std::size_t i);
    // The server turned connection i away for the number of connections.
    void TurnedAway(std::size_t i, std::string why);
    // failure is taken by value: it may be the dropped request's own text.
    void Drop(std::size_t i, std::string failure);
    // The connection's segment is complete: it goes on with the next one
    // when its answer runs on into it, otherwise it ends.
    void SegmentDone(std::size_t i);
    // Reads once from a connection, at most room bytes: More (it may have
    // more), Idle (nothing now), Gone (it was dropped or has ended), or
    // WriteFailed. taken counts what it gave, skipped bytes included.
    enum class Read { More, Idle, Gone, WriteFailed, Corrupt };
    Read ReadConnection(std::size_t i, std::int64_t room, std::vector<char>& buffer,
                        std::int64_t& moved, std::int64_t& taken);
    std::string RangeHeaders(const Segment& s) const;
    // Counts a pass's bytes towards the throughput of the connections there
    // are, and adds connections (or goes back) when a window has passed.
    void Measure(std::int64_t moved, std::int64_t allowance);

    CDestination& m_dest;
    const HttpSettings& m_requestSettings;
    Limits m_limits;
    const RemoteVersion& m_version;
    CSegmentMap m_map;
    std::string m_url;
    std::vector<Connection> m_connections;
    std::size_t m_allowed;      // connections allowed now
    std::size_t m_ceiling;      // the most connections found to pay
    bool m_growing = true;      // further connections are still tried
    // The window the throughput is measured over: the connections it began
    // with (every one answered), its start and its bytes; the rate of the
    // last number of connections that paid.
    std::size_t m_windowConnections = 0;
    Clock::time_point m_windowStart{};
    std::int64_t m_windowBytes = 0;
    bool m_windowHeld = false;  // the rate limit held a pass of it back
    std::size_t m_paidConnections = 0;
    double m_paidRate = 0;
    bool m_splitting = true;    // segments may still be split for new connections
    bool m_rangesWork = false;  // the server has answered a range as it should
    bool m_corrupt = false;     // an answer failed its Content-Digest
    int m_failures = 0;         // connections lost in a row without a byte moved
    Clock::time_point m_lastBusy{};
    std::string m_lastFailure;
    std::string m_problem;
};

}  // namespace tvx
