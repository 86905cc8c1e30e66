#include "transfer/CSegmentFetch.h"

#include <algorithm>

#include "platform/Text.h"
#include "transfer/CTransfer.h"
#include "transfer/RemoteVersion.h"

namespace tvx {

namespace {
// Connections lost one after the other without a byte in between end the
// fetch (the file stays resumable): the network is gone, not one connection.
constexpr int kMaxFailures = 3;
// A connection turned away comes back after this long without another.
constexpr auto kQuietPeriod = std::chrono::seconds(2);
// A connection is read while it has bytes, up to this much in one pass, so
// that one that is ahead fills the buffers of none of the others.
constexpr std::int64_t kPerPass = 8 * CTransfer::kLargeChunk;
// The throughput of a number of connections is measured over this long: long
// enough to take in the bursts of a server that shapes its connections by
// pausing them now and then.
constexpr auto kWindow = std::chrono::milliseconds(400);
// Connections that pay are multiplied by this: a shaping server is met at
// its full rate within two windows, and on a full line the extra ones end
// with their parts.
constexpr std::size_t kGrowth = 4;
// More connections pay when they raise the throughput by at least this
// share of their number (1: four times the rate for four times the
// connections; on a full line the rate stays where it was, and the gain is
// within the noise of a window).
constexpr double kPayingGain = 0.2;
}  // namespace

CSegmentFetch::CSegmentFetch(CDestination& destination, const HttpSettings& requestSettings,
                             Limits limits, const RemoteVersion& version, CSegmentMap map,
                             std::unique_ptr<HttpRequest> first, std::string url)
    : m_dest(destination),
      m_requestSettings(requestSettings),
      m_limits(limits),
      m_version(version),
      m_map(std::move(map)),
      m_url(std::move(url)),
      m_allowed(std::min(kFirstConnections, static_cast<std::size_t>(std::max(1, limits.connections)))),
      m_ceiling(static_cast<std::size_t>(std::max(1, limits.connections))) {
    // The answer in hand stands at the first byte missing from the start,
    // which is where the first incomplete segment goes on.
    for (const Segment& s : m_map.Segments()) {
        if (s.Left() > 0) {
            m_connections.push_back({.request = std::move(first),
                                     .segment = s.start,
                                     .end = m_version.length,
                                     .judged = true,
                                     .active = Clock::now()});
            break;
        }
    }
}

CSegmentFetch::~CSegmentFetch() = default;

std::string CSegmentFetch::RangeHeaders(const Segment& s) const {
    return tvx::RangeHeaders(s.Next(), s.end - 1, m_version);
}

bool CSegmentFetch::StartConnection(std::int64_t segment) {
    const Segment* s = m_map.At(segment);
    auto request = std::make_unique<HttpRequest>(m_requestSettings);
    if (!request->Begin(m_url, RangeHeaders(*s))) {
        m_lastFailure = request->ErrorText();
        ++m_failures;
        return false;
    }
    m_connections.push_back(
        {.request = std::move(request), .segment = segment, .end = s->end, .active = Clock::now()});
    return true;
}

void CSegmentFetch::StartConnections() {
    const auto now = Clock::now();
    // A server that turned connections away gets them back one at a time.
    if (m_splitting && m_allowed < m_ceiling &&
        m_lastBusy != Clock::time_point{} && now - m_lastBusy >= kQuietPeriod) {
        ++m_allowed;
        m_lastBusy = now;
    }
    HttpPool& pool = *m_requestSettings.pool;
    while (m_connections.size() < m_allowed && m_failures < kMaxFailures &&
           pool.HasRoom(m_url, m_requestSettings.connections)) {
        // Until the server has answered one range well, one asks at a time:
        // a server that ignores ranges sees one request too many, not three.
        if (!m_rangesWork && std::any_of(m_connections.begin(), m_connections.end(),
                                         [](const Connection& c) { return !c.judged; }))
            return;
        // A segment nobody fetches, or else a part of the one with most left.
        std::int64_t start = -1;
        for (const Segment& s : m_map.Segments()) {
            const bool taken =
                std::any_of(m_connections.begin(), m_connections.end(),
                            [&](const Connection& c) { return c.segment == s.start; });
            if (s.Left() > 0 && !taken) {
                start = s.start;
                break;
            }
        }
        // Parts of an even share each, so that the connections end together;
        // a segment under way counts whole, what it has is its head start.
        if (start < 0 && m_splitting) {
            std::int64_t open = 0;
            for (const Segment& s : m_map.Segments())
                open += s.Left() > 0 ? s.end - s.start : 0;
            const auto n = static_cast<std::int64_t>(m_allowed);
            start = m_map.SplitLargest(m_limits.minSegment, (open + n - 1) / n);
        }
        if (start < 0 || !StartConnection(start))
            return;
    }
}

void CSegmentFetch::Measure(std::int64_t moved, std::int64_t allowance) {
    const auto now = Clock::now();
    const bool answered = std::all_of(m_connections.begin(), m_connections.end(),
                                      [](const Connection& c) { return c.judged; });
    if (!answered || m_connections.size() != m_windowConnections) {
        // Another number of connections: the window begins again.
        m_windowConnections = answered ? m_connections.size() : 0;
        m_windowStart = now;
        m_windowBytes = 0;
        return;
    }
    m_windowBytes += moved;
    // A rate limit that held the pass back is what bounds the rate, not the
    // connections.
    m_windowHeld = m_windowHeld || moved >= allowance;
    const std::chrono::duration<double> elapsed = now - m_windowStart;
    if (elapsed < kWindow)
        return;
    const double rate = static_cast<double>(m_windowBytes) / elapsed.count();
    const std::size_t count = m_windowConnections;
    const bool held = m_windowHeld;
    m_windowStart = now;
    m_windowBytes = 0;
    m_windowHeld = false;
    // Judged only with every allowed connection at work (there may be
    // fewer when no segment is left to split, or the host has no room).
    if (!m_growing || !m_splitting || held || count < m_allowed)
        return;
    const std::size_t next = NextCount(m_paidConnections, m_paidRate, count, rate, m_ceiling);
    if (next >= count) {
        m_paidConnections = count;
        m_paidRate = rate;
        m_allowed = next;
        m_growing = next > count;
        return;
    }
    // The last ones added did not pay: the connections that did are kept,
    // the others end with their segments and are not replaced.
    m_growing = false;
    m_ceiling = m_allowed = next;
}

std::size_t CSegmentFetch::NextCount(std::size_t paid, double paidRate, std::size_t count,
                                     double rate, std::size_t ceiling) {
    const double more =
        paid == 0 ? 0 : static_cast<double>(count) / static_cast<double>(paid) - 1;
    if (paid == 0 || rate >= paidRate * (1 + kPayingGain * more))
        return std::min(ceiling, kGrowth * count);
    return paid;
}

void CSegmentFetch::TurnedAway(std::size_t i, std::string why) {
    // The server takes fewer connections: the file gets fewer for a while,
    // and no more are tried. Several turned away at once (more were added
    // than it takes) say nothing of the network: they are no failures.
    m_allowed = std::max<std::size_t>(1, m_connections.size() - 1);
    m_lastBusy = Clock::now();
    m_growing = false;
    m_lastFailure = std::move(why);
    Drop(i, {});
}

void CSegmentFetch::Drop(std::size_t i, std::string failure) {
    m_connections.erase(m_connections.begin() + static_cast<std::ptrdiff_t>(i));
    if (!failure.empty()) {
        m_lastFailure = std::move(failure);
        ++m_failures;
    }
}

bool CSegmentFetch::JudgeRange(std::size_t i) {
    Connection& c = m_connections[i];
    const HttpResponse& a = c.request->Response();
    if (c.request->Busy()) {
        TurnedAway(i, StatusProblem(a.status) + " (" + m_url + ")");
        return false;
    }
    const Segment* s = m_map.At(c.segment);
    std::int64_t last = -1;
    const RangeAnswer judged =
        a.status == 206 ? JudgeRangeAnswer(a, s->Next(), m_version, &last) : RangeAnswer::Elsewhere;
    if (judged == RangeAnswer::Right) {
        c.judged = true;
        c.end = last + 1;
        c.active = Clock::now();
        m_rangesWork = true;
        return true;
    }
    if ((a.status == 200 || a.status == 206) && !StatesVersion(a, m_version)) {
        // Bytes of another version must never join these: the fetch ends,
        // and the next run starts the file over.
        m_problem = "the file changed on the server while it was being fetched (" + m_url + ")";
        m_connections.clear();
        return false;
    }
    // No usable ranges of this file (the whole file again, another part, an
    // encoded one): the connections there are finish it, no new ones start.
    m_splitting = false;
    m_allowed = 1;
    const std::string failure =
        a.status == 200 ? "the server ignores requests for a part of the file (" + m_url + ")"
                        : Format("the server answered %ld to a request for a part of the file (%s)",
                                 a.status, m_url.c_str());
    // Requests still without an answer would be refused the same way.
    for (Connection& other : m_connections) {
        if (!other.judged)
            other.request.reset();  // dropped when the pass comes to it
    }
    Drop(i, failure);
    return false;
}

void CSegmentFetch::SegmentDone(std::size_t i) {
    Connection& c = m_connections[i];
    const std::int64_t end = m_map.At(c.segment)->end;
    const Segment* next = m_map.At(end);
    if (c.end == end) {
        // The answer was read whole: its Content-Digest, if it states one,
        // holds it to its bytes.
        char probe = 0;
        if (c.request->Read(&probe, 1, 0) == HttpRequest::kError && c.request->DigestMismatch()) {
            m_problem = c.request->ErrorText();
            m_corrupt = true;
        }
    }
    if (next == nullptr || c.end < next->end) {
        Drop(i, {});
        return;
    }
    // Its answer runs on into the next segment: it goes on there, unless a
    // connection already fetches that one. A request for it still without an
    // answer gives way (the server may not even do ranges). Bytes the next
    // segment already has are read past.
    const auto other = std::find_if(m_connections.begin(), m_connections.end(),
                                    [&](const Connection& o) { return o.segment == end; });
    if (other != m_connections.end() && other->judged) {
        Drop(i, {});
        return;
    }
    if (other != m_connections.end())
        other->request.reset();  // dropped when the pass comes to it
    c.segment = end;
    c.skip = next->done;
}

CSegmentFetch::Read CSegmentFetch::ReadConnection(std::size_t i, std::int64_t room,
                                                  std::vector<char>& buffer, std::int64_t& moved,
                                                  std::int64_t& taken) {
    Connection& c = m_connections[i];
    const auto now = Clock::now();
    if (room <= 0) {
        c.active = now;  // held back by the rate limit, not stalled
        return Read::Idle;
    }
    Segment& s = *m_map.At(c.segment);
    const bool skipping = c.skip > 0;
    const std::int64_t want = std::min<std::int64_t>(skipping ? c.skip : s.Left(), room);
    const long n = c.request->Read(buffer.data(), static_cast<std::size_t>(want), 0);
    if (n == HttpRequest::kNothingYet) {
        if (now - c.active < std::chrono::seconds(m_limits.stallSeconds))
            return Read::Idle;
        Drop(i, Format("no data for %d seconds from byte %lld (%s)", m_limits.stallSeconds,
                       static_cast<long long>(s.Next()), m_url.c_str()));
        return Read::Gone;
    }
    if (n == HttpRequest::kError && c.request->DigestMismatch()) {
        m_problem = c.request->ErrorText();
        m_corrupt = true;
        return Read::Corrupt;
    }
    if (n <= 0) {
        // The answer ended before its segment did; another connection takes
        // the rest of it up.
        Drop(i, n == HttpRequest::kError
                    ? c.request->ErrorText()
                    : Format("the server ended the part from byte %lld early (%s)",
                             static_cast<long long>(s.Next()), m_url.c_str()));
        return Read::Gone;
    }
    c.active = now;
    taken += n;
    if (skipping) {
        c.skip -= n;
        return Read::More;
    }
    std::size_t written = 0;
    const bool ok =
        m_dest.WriteAt(s.Next(), buffer.data(), static_cast<std::size_t>(n), written, m_problem);
    s.done += static_cast<std::int64_t>(written);
    moved += static_cast<std::int64_t>(written);
    m_failures = 0;
    if (!ok)
        return Read::WriteFailed;
    if (s.Left() > 0)
        return Read::More;
    const std::size_t before = m_connections.size();
    SegmentDone(i);
    if (m_corrupt)
        return Read::Corrupt;
    return m_connections.size() == before ? Read::More : Read::Gone;  // it went on, or ended
}

CSegmentFetch::Status CSegmentFetch::Step(std::int64_t allowance, std::vector<char>& buffer,
                                          std::int64_t& moved) {
    moved = 0;
    StartConnections();
    for (std::size_t i = 0; i < m_connections.size();) {
        Connection& c = m_connections[i];
        if (!c.request) {
            Drop(i, {});  // given up for another connection
            continue;
        }
        if (!c.judged) {
            const HttpRequest::HeadState state = c.request->Poll();
            if (state == HttpRequest::HeadState::Waiting) {
                ++i;
                continue;
            }
            if (state == HttpRequest::HeadState::Failed) {
                if (c.request->Busy())
                    TurnedAway(i, c.request->ErrorText());
                else
                    Drop(i, c.request->ErrorText());
                continue;
            }
            if (!JudgeRange(i)) {
                if (!m_problem.empty())
                    return Status::Failed;
                continue;
            }
        }
        // Read while it has bytes, up to its share of the pass.
        Read read = Read::More;
        for (std::int64_t taken = 0; read == Read::More && taken < kPerPass;) {
            const std::int64_t room = std::min<std::int64_t>(
                allowance - moved, static_cast<std::int64_t>(m_limits.chunk));
            read = ReadConnection(i, room, buffer, moved, taken);
        }
        if (read == Read::WriteFailed)
            return Status::WriteFailed;
        if (read == Read::Corrupt)
            return Status::Corrupt;
        if (read != Read::Gone)
            ++i;
    }
    if (m_map.Complete())
        return Status::Complete;
    Measure(moved, allowance);
    std::erase_if(m_connections, [](const Connection& c) { return !c.request; });
    if (m_connections.empty())
        StartConnections();
    if (m_failures >= kMaxFailures || m_connections.empty()) {
        m_problem =
            m_lastFailure.empty() ? "no connection to fetch the rest of the file" : m_lastFailure;
        return Status::Failed;
    }
    return moved > 0 ? Status::Moved : Status::Waiting;
}

}  // namespace tvx
