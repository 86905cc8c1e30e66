// The engine's side of a file that comes over several connections: which
// connection fetches which segment, what a range answer must be, and what
// happens when a connection ends (see CTransfer.h).

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Text.h"
#include "transfer/CTransfer.h"
#include "transfer/ResponseHead.h"

namespace tvx {

namespace {
// Connections lost one after the other without a byte in between end the
// transfer (it stays resumable); the network is gone, not one connection.
constexpr int kMaxFailures = 3;
}  // namespace

bool CTransfer::MaySplit() const {
    return m_localSource < 0 && m_settings.connectionsPerFile > 1 && m_requestSettings.pool &&
           m_contentLength >= kSplitFileFactor * m_settings.minSplitSize &&
           (IsStrongEtag(m_version.etag) || !m_version.lastModified.empty());
}

void CTransfer::BeginSegments(bool resumed) {
    if (!resumed || !m_map.Assign(m_stored.segments, m_contentLength))
        m_map.Reset(m_contentLength, m_received);
    // The answer in hand is the first connection; it stands at the first byte
    // missing from the start, which is where the first incomplete segment goes on.
    std::int64_t first = 0;
    for (const Segment& s : m_map.Segments()) {
        if (s.Left() > 0) {
            first = s.start;
            break;
        }
    }
    m_rangeUrl = m_request->Response().effectiveUrl;
    m_connections.clear();
    m_connections.push_back({.request = std::move(m_request),
                             .segment = first,
                             .end = m_contentLength,
                             .judged = true});
    m_splitting = true;
    m_rangesWork = false;
    m_maxConnections = static_cast<std::size_t>(m_settings.connectionsPerFile);
    m_failures = 0;
    m_lastFailure.clear();
}

bool CTransfer::StartConnection(std::int64_t segment) {
    const Segment* s = m_map.At(segment);
    auto request = std::make_unique<HttpRequest>(m_requestSettings);
    if (!request->Begin(m_rangeUrl, RangeHeaders(s->Next(), s->end - 1, m_version))) {
        m_lastFailure = request->ErrorText();
        ++m_failures;
        return false;
    }
    m_connections.push_back({.request = std::move(request), .segment = segment, .end = s->end});
    return true;
}

void CTransfer::StartConnections() {
    HttpPool& pool = *m_requestSettings.pool;
    while (m_connections.size() < m_maxConnections && m_failures < kMaxFailures &&
           pool.HasRoom(m_rangeUrl, m_requestSettings.connections)) {
        // Until the server has answered one range well, one asks at a time:
        // a server that ignores ranges sees one request too many, not three.
        if (!m_rangesWork && std::any_of(m_connections.begin(), m_connections.end(),
                                         [](const Connection& c) { return !c.judged; }))
            return;
        // A segment nobody fetches, or else half of the one with most left.
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
            const auto n = static_cast<std::int64_t>(m_maxConnections);
            start = m_map.SplitLargest(m_settings.minSplitSize, (open + n - 1) / n);
        }
        if (start < 0 || !StartConnection(start))
            return;
    }
}

void CTransfer::DropConnection(std::size_t i, bool failed) {
    m_connections.erase(m_connections.begin() + static_cast<std::ptrdiff_t>(i));
    if (failed)
        ++m_failures;
}

bool CTransfer::JudgeRange(std::size_t i) {
    Connection& c = m_connections[i];
    const HttpResponse& a = c.request->Response();
    if (c.request->Busy()) {
        // The server takes fewer connections: the file gets fewer.
        m_lastFailure = StatusProblem(a.status) + " (" + m_rangeUrl + ")";
        m_maxConnections = std::max<std::size_t>(1, m_connections.size() - 1);
        DropConnection(i, true);
        return false;
    }
    const Segment* s = m_map.At(c.segment);
    std::int64_t first = -1, total = -1, last = -1;
    const bool sameVersion =
        (m_version.lastModified.empty() || a.lastModified == m_version.lastModified) &&
        (m_version.etag.empty() || a.etag == m_version.etag);
    const bool encoded =
        !a.contentEncoding.empty() && CompareNoCase(a.contentEncoding, "identity") != 0;
    if (a.status == 206 && sameVersion && !encoded &&
        ParseContentRange(a.contentRange, first, total, &last) && first == s->Next() &&
        total == m_contentLength) {
        c.judged = true;
        c.end = last + 1;
        m_rangesWork = true;
        return true;
    }
    if (a.status == 200 && sameVersion && !encoded && IsContentLengthText(a.contentLength) &&
        ParseContentLength(a.contentLength) == m_contentLength) {
        // The server ignores ranges and sends the whole file: it is read up
        // to the segment, and the file stays with this one connection.
        c.judged = true;
        c.skip = s->Next();
        c.end = m_contentLength;
        m_splitting = false;
        m_maxConnections = 1;
        return true;
    }
    if ((a.status == 200 || a.status == 206) && !sameVersion) {
        // Bytes of another version must never join these: the file is left
        // as it is, and the next run starts it over.
        Report(Event::Read,
               "the file changed on the server while it was being fetched (" + m_rangeUrl + ")");
        Stop();
        return false;
    }
    // No usable ranges of this file: the connections there are finish it.
    m_splitting = false;
    m_maxConnections = 1;
    m_lastFailure = Format("the server answered %ld to a request for a part of the file (%s)",
                           a.status, m_rangeUrl.c_str());
    DropConnection(i, true);
    return false;
}

void CTransfer::SegmentDone(std::size_t i) {
    Connection& c = m_connections[i];
    const std::int64_t end = m_map.At(c.segment)->end;
    const Segment* next = m_map.At(end);
    if (next == nullptr || next->done != 0 || c.end < next->end) {
        DropConnection(i, false);
        return;
    }
    // Its answer runs on into the next segment: it goes on there, unless a
    // connection already fetches that one. A request for it still without an
    // answer gives way (the server may not even do ranges).
    const auto other = std::find_if(m_connections.begin(), m_connections.end(),
                                    [&](const Connection& o) { return o.segment == end; });
    if (other != m_connections.end() && other->judged) {
        DropConnection(i, false);
        return;
    }
    c.segment = end;
    if (other != m_connections.end())
        m_connections.erase(other);
}

long CTransfer::ReadSegments() {
    StartConnections();
    const std::int64_t allowed = Allowance();
    std::int64_t moved = 0;
    // A connection is read while it has bytes, up to a share of the pass,
    // so that one that is ahead fills the buffers of none of the others.
    constexpr std::int64_t kPerPass = 8 * kLargeChunk;
    std::size_t current = m_connections.size();
    std::int64_t taken = 0;
    for (std::size_t i = 0; i < m_connections.size();) {
        if (i != current) {
            current = i;
            taken = 0;
        }
        Connection& c = m_connections[i];
        if (!c.judged) {
            const HttpRequest::HeadState state = c.request->Poll();
            if (state == HttpRequest::HeadState::Waiting) {
                ++i;
                continue;
            }
            if (state == HttpRequest::HeadState::Failed) {
                m_lastFailure = c.request->ErrorText();
                if (c.request->Busy())
                    m_maxConnections = std::max<std::size_t>(1, m_connections.size() - 1);
                DropConnection(i, true);
                continue;
            }
            if (!JudgeRange(i)) {
                if (m_lastRead == 0)
                    return 0;  // the transfer has ended
                continue;
            }
        }
        if (c.skip > 0) {
            const long n = c.request->Read(
                m_buffer.data(),
                static_cast<std::size_t>(std::min<std::int64_t>(c.skip, m_buffer.size() - 1)), 0);
            if (n > 0)
                c.skip -= n;
            if (n > 0 || n == HttpRequest::kNothingYet) {
                ++i;
                continue;
            }
        }
        Segment& s = *m_map.At(c.segment);
        const std::int64_t room =
            std::min({s.Left(), allowed - moved, static_cast<std::int64_t>(m_networkChunk)});
        const long n = room > 0
                           ? c.request->Read(m_buffer.data(), static_cast<std::size_t>(room), 0)
                           : HttpRequest::kNothingYet;
        if (n == HttpRequest::kNothingYet) {
            ++i;
            continue;
        }
        if (n <= 0) {
            // The answer ended before its segment did; another connection
            // takes the rest of it up.
            m_lastFailure = n == HttpRequest::kError
                                ? c.request->ErrorText()
                                : Format("the server ended the part from byte %lld early (%s)",
                                         static_cast<long long>(s.Next()), m_rangeUrl.c_str());
            DropConnection(i, true);
            current = m_connections.size();
            continue;
        }
        std::size_t written = 0;
        std::string problem;
        const bool ok = m_dest.WriteAt(s.Next(), m_buffer.data(), static_cast<std::size_t>(n),
                                       written, problem);
        s.done += static_cast<std::int64_t>(written);
        moved += static_cast<std::int64_t>(written);
        Count(static_cast<std::int64_t>(written));
        Delivered(static_cast<std::int64_t>(written));
        m_failures = 0;
        if (!ok) {
            WriteProgressRecord();
            Report(Event::Write, problem);
            return Stop();
        }
        taken += static_cast<std::int64_t>(written);
        if (s.Left() == 0)
            SegmentDone(i);
        else if (taken >= kPerPass)
            ++i;
    }
    if (moved > 0 && !WriteProgressRecord()) {
        Report(Event::Write,
               Format("cannot write %s: %s", m_dest.ControlPath().c_str(), std::strerror(errno)));
        return Stop();
    }
    if (moved > 0 && !StillOurs(moved))
        return Stop();
    if (m_map.Complete())
        return End(false);
    if (m_connections.empty())
        StartConnections();
    if (m_failures >= kMaxFailures || m_connections.empty()) {
        Report(Event::Read, m_lastFailure.empty() ? "no connection to fetch the rest of the file"
                                                  : m_lastFailure);
        return End(true);
    }
    if (moved == 0) {
        WaitForData(m_readWaitMs);
        return kNothingYet;
    }
    return static_cast<long>(moved);
}

}  // namespace tvx
