// The fetch, prove and finish phases of a transfer (see CTransfer.h): the
// bytes move as one stream or in segments, records follow the data only once
// it is durable, and the file is complete only when proved so.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <thread>

#include "platform/Paths.h"
#include "platform/Text.h"
#include "session/WorkListEntry.h"
#include "transfer/CSegmentFetch.h"
#include "transfer/CTransfer.h"
#include "transfer/FileOrigin.h"

namespace tvx {

namespace {
// How many bytes may be written between two checks that the destination is
// still the file the engine opened.
constexpr std::int64_t kIdentityCheckInterval = 1 << 20;
// Records follow the data at most this often while bytes arrive.
constexpr auto kCheckpointInterval = std::chrono::seconds(1);
}  // namespace

void CTransfer::Begin(const StartPoint& start, Answer& answer) {
    m_rateStart = {};
    m_rateDelivered = 0;
    m_onDisk = start.offset;
    if (answer.localFd >= 0) {
        m_localSource = answer.localFd;
        answer.localFd = -1;
    } else if (MaySplit() && !start.rangesIgnored && answer.request) {
        CSegmentMap map;
        if (start.segments.empty() || !map.Assign(start.segments, m_contentLength))
            map.Reset(m_contentLength, start.offset);
        const CSegmentFetch::Limits limits{m_settings.connectionsPerFile, m_settings.minSplitSize,
                                           m_networkChunk, std::max(1, m_settings.lowSpeedTime)};
        const std::string url = answer.request->Response().effectiveUrl;
        m_segments =
            std::make_unique<CSegmentFetch>(m_dest, m_requestSettings, limits, m_version,
                                            std::move(map), std::move(answer.request), url);
        m_onDisk = m_segments->Map().Done();
    } else {
        m_stream = std::move(answer.request);
    }
    m_lastCheckpoint = std::chrono::steady_clock::now();
    if (m_entry != nullptr) {
        m_entry->length = m_contentLength;
        m_entry->date = m_remoteDate;
        m_entry->received = m_onDisk;
    }
    if (m_onDisk > 0 && m_totals != nullptr)
        m_totals->running += m_onDisk;
    ShowFileProgress();
    m_state = State::Open;
    m_sinceIdentityCheck = 0;
}

ControlState CTransfer::RecordNow() const {
    ControlState record{m_contentLength, m_remoteDate, m_onDisk, m_version.lastModified,
                        m_version.etag,  true,         {}};
    if (m_segments) {
        record.prefix = m_segments->Map().Prefix();
        record.segments = m_segments->Map().Segments();
    }
    return record;
}

bool CTransfer::Checkpoint(bool force) {
    // A record taken earlier is written once the sync begun after it is
    // done: the bytes it counts are on the disk then. Meanwhile the file
    // goes on arriving.
    std::string problem;
    if (m_syncing && !force) {
        bool done = false;
        if (!m_dest.SyncOf(m_syncTicket, done, problem)) {
            Report(Event::Write, problem);
            return false;
        }
        if (!done)
            return true;
        m_syncing = false;
        if (!Record(std::move(m_synced)))
            return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastCheckpoint < kCheckpointInterval)
        return true;
    m_lastCheckpoint = now;
    ControlState record = RecordNow();
    if (record.prefix == m_record.prefix && record.segments == m_record.segments)
        return true;
    if (!force) {
        m_synced = std::move(record);
        m_syncTicket = m_dest.StartSync();
        m_syncing = true;
        return true;
    }
    // A run that stops waits for its last record.
    m_syncing = false;
    if (!m_dest.SyncData(problem)) {
        Report(Event::Write, problem);
        return false;
    }
    return Record(std::move(record));
}

bool CTransfer::Record(ControlState record) {
    if (!m_dest.WriteRecord(record)) {
        Report(Event::Write,
               Format("cannot write %s: %s", m_dest.ControlPath().c_str(), std::strerror(errno)));
        return false;
    }
    m_record = std::move(record);
    return true;
}

void CTransfer::LoseDestination(const std::string& text, Event event) {
    // Nothing of the file can be counted on any more.
    if (m_totals != nullptr)
        m_totals->running -= m_onDisk;
    m_onDisk = 0;
    if (m_entry != nullptr)
        m_entry->received = 0;
    m_segments.reset();
    m_syncing = false;  // a record taken before counts bytes that no longer count
    m_record = RecordNow();
    m_dest.WriteRecord(m_record);
    Report(event, text);
}

long CTransfer::Corrupt(std::string text) {
    m_digestFailed = true;
    LoseDestination(m_dest.Path() + ": " + text + "; it will be fetched again from byte 0",
                    Event::Verify);
    m_state = State::Ended;
    Finish();
    return 0;
}

bool CTransfer::ProveDigests() {
    m_proved.clear();
    if (!m_digest.Wanted())
        return true;
    std::string problem;
    switch (m_digest.Prove(m_dest.Descriptor(), m_contentLength, problem)) {
        case FileDigest::Proof::Proved:
            break;
        case FileDigest::Proof::Mismatch:
            Corrupt(problem);
            return false;
        case FileDigest::Proof::Unreadable:
            Report(Event::Read, m_dest.Path() + ": " + problem);
            Stop();
            return false;
    }
    m_proved = m_digest.Computed();
    return true;
}

void CTransfer::SayVerified() {
    if (m_proved.empty())
        return;
    std::string algorithms, sources;
    for (const Digest& d : m_proved)
        algorithms += std::string(algorithms.empty() ? "" : ", ") + DigestName(d.algorithm);
    for (const Digest& d : m_digest.Expected()) {
        if (sources.find(d.source) == std::string::npos)
            sources += (sources.empty() ? "" : ", ") + d.source;
    }
    m_verified = algorithms + " verified (" + sources + ")";
    const std::string& text = m_verified;
    if (m_mode == ReportMode::Session) {
        if (m_log != nullptr)
            m_log->Write("DOWNLOAD : " +
                             (m_entry != nullptr ? std::string(m_entry->Path()) : m_dest.Path()) +
                             " " + text,
                         true);
    } else if (m_ui != nullptr) {
        m_ui->Notice(m_dest.Path() + ": " + text);
    }
}

void CTransfer::RememberOrigin() {
    FileOrigin origin;
    origin.url = IsLocalSource(m_source) ? "file://" + ToNativePath(m_source) : m_source;
    origin.referrer = m_settings.referer;
    origin.etag = m_version.etag;
    origin.lastModified = m_version.lastModified;
    origin.digests = m_proved;
    WriteFileOrigin(m_dest.Descriptor(), origin);
}

void CTransfer::Count(std::int64_t bytes) {
    m_onDisk += bytes;
    if (m_entry != nullptr)
        m_entry->received = m_onDisk;
    if (m_totals != nullptr)
        m_totals->running += bytes;
    ShowFileProgress();
    if (m_sessionBar != nullptr && m_totals != nullptr)
        m_sessionBar->SetPos(Percent(m_totals->running, m_totals->expected));
}

long CTransfer::Stop() {
    if (m_state == State::Open && !m_complete)
        Checkpoint(true);
    m_state = State::Ended;
    Finish();
    return 0;
}

long CTransfer::End(bool failed) {
    if (!m_dest.StillOurs()) {
        LoseDestination("the file " + m_dest.Path() +
                        " was removed or replaced while it was being written");
        m_state = State::Ended;
        Finish();
        return 0;
    }
    const bool whole = m_segments ? m_segments->Map().Complete() : m_onDisk == m_contentLength;
    if (!failed && whole) {
        if (!ProveDigests())
            return 0;  // corrupt or unreadable: said, and recorded
        // Complete only once the bytes are on the disk: a write error the
        // file system reports late leaves the file to be fetched again.
        RememberOrigin();
        std::string problem;
        m_complete = m_dest.Commit(problem);
        if (!m_complete) {
            LoseDestination(problem);
            m_state = State::Ended;
        } else {
            SayVerified();
        }
    }
    return Stop();
}

long CTransfer::ReadChunk() {
    if (m_state != State::Open)
        return 0;
    return m_segments ? ReadSegments() : ReadStream();
}

long CTransfer::ReadStream() {
    if (m_onDisk == m_contentLength) {
        // The answer is read whole: a Content-Digest it states must hold.
        char probe = 0;
        if (m_stream && m_stream->Read(&probe, 1, 0) == HttpRequest::kError &&
            m_stream->DigestMismatch())
            return Corrupt(m_stream->ErrorText());
        return End(false);
    }
    long n = 0;
    bool failed = false;
    if (m_localSource >= 0) {
        const ssize_t r = ::read(m_localSource, m_buffer.data(), kLargeChunk);
        if (r < 0) {
            Report(Event::Read, Format("%s: %s", m_source.c_str(), std::strerror(errno)));
            failed = true;
        }
        n = r < 0 ? 0 : static_cast<long>(r);
    } else if (m_stream) {
        const std::int64_t allowed = Allowance();
        if (allowed <= 0) {
            WaitForData(m_readWaitMs);
            return kNothingYet;
        }
        n = m_stream->Read(
            m_buffer.data(),
            static_cast<std::size_t>(std::min<std::int64_t>(allowed, std::int64_t(m_networkChunk))),
            m_readWaitMs);
        if (n == HttpRequest::kNothingYet)
            return kNothingYet;
        if (n == HttpRequest::kError && m_stream->DigestMismatch())
            return Corrupt(m_stream->ErrorText());
        if (n == HttpRequest::kError) {
            Report(Event::Read, m_stream->ErrorText());
            n = 0;
            failed = true;
        }
        Delivered(std::max(0L, n));
    }
    if (n <= 0)
        return End(failed);

    std::size_t written = 0;
    std::string problem;
    const bool ok = m_dest.Write(m_buffer.data(), static_cast<std::size_t>(n), written, problem);
    Count(static_cast<std::int64_t>(written));
    if (!ok) {
        Report(Event::Write, problem);
        return Stop();
    }
    if (!Checkpoint(false) || !StillOurs(n))
        return Stop();
    return n;
}

long CTransfer::ReadSegments() {
    std::int64_t moved = 0;
    const CSegmentFetch::Status status = m_segments->Step(Allowance(), m_buffer, moved);
    Count(moved);
    Delivered(moved);
    switch (status) {
        case CSegmentFetch::Status::Complete:
            return End(false);
        case CSegmentFetch::Status::Failed:
            Report(Event::Read, m_segments->Problem());
            return End(true);
        case CSegmentFetch::Status::Corrupt:
            return Corrupt(m_segments->Problem());
        case CSegmentFetch::Status::WriteFailed:
            Report(Event::Write, m_segments->Problem());
            return Stop();
        case CSegmentFetch::Status::Waiting:
            WaitForData(m_readWaitMs);
            return kNothingYet;
        case CSegmentFetch::Status::Moved:
            break;
    }
    if (!Checkpoint(false) || !StillOurs(moved))
        return Stop();
    return static_cast<long>(moved);
}

bool CTransfer::StillOurs(std::int64_t written) {
    m_sinceIdentityCheck += written;
    if (m_sinceIdentityCheck < kIdentityCheckInterval)
        return true;
    m_sinceIdentityCheck = 0;
    if (m_dest.StillOurs())
        return true;
    LoseDestination("the file " + m_dest.Path() +
                    " was removed or replaced while it was being written");
    m_state = State::Ended;
    return false;
}

std::int64_t CTransfer::RateInForce() {
    std::int64_t rate = m_settings.rateLimit ? m_settings.rateLimit() : m_settings.maxBytesPerSecond;
    if (!m_settings.rateSchedule.empty()) {
        const std::int64_t scheduled = RateAt(m_settings.rateSchedule, m_minuteClock());
        rate = scheduled >= 0 ? scheduled : rate;
    }
    if (rate != m_rate) {
        // At a window's boundary the new limit holds from this moment on.
        m_rate = rate;
        m_rateStart = {};
        m_rateDelivered = 0;
    }
    return rate;
}

std::int64_t CTransfer::Allowance() {
    const std::int64_t rate = RateInForce();
    if (rate <= 0 || m_localSource >= 0)
        return std::numeric_limits<std::int64_t>::max();
    const auto now = std::chrono::steady_clock::now();
    if (m_rateStart == std::chrono::steady_clock::time_point{})
        m_rateStart = now;
    // A tenth of a second's worth may come at once.
    const double elapsed = std::chrono::duration<double>(now - m_rateStart).count();
    return rate / 10 + static_cast<std::int64_t>(elapsed * static_cast<double>(rate)) -
           m_rateDelivered;
}

void CTransfer::WaitForData(int ms) {
    const std::int64_t allowed = Allowance();
    if (allowed <= 0) {
        // Not past the moment the next bytes are due.
        const double due =
            1000.0 * static_cast<double>(1 - allowed) / static_cast<double>(m_rate);
        ms = std::min(ms, static_cast<int>(due) + 1);
    }
    if (m_requestSettings.pool)
        m_requestSettings.pool->Wait(std::max(ms, 1));
    else if (allowed <= 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int CTransfer::ConnectionCount() const {
    if (m_state != State::Open)
        return 0;
    return m_segments ? m_segments->Connections() : 1;
}

void CTransfer::Finish() {
    // Broken off while open: what arrived is made durable and recorded, so
    // that the next run goes on from there.
    if (m_state == State::Open)
        Stop();
    m_checkRequest.reset();
    m_stream.reset();
    m_segments.reset();
    m_dest.Watch(nullptr);
    if (m_state != State::Idle) {
        m_state = State::Idle;
        if (m_fileProgress != nullptr)
            m_fileProgress->SetPos(0);
        if (m_animation != nullptr)
            m_animation->Stop();
    }
    if (m_localSource >= 0) {
        ::close(m_localSource);
        m_localSource = -1;
    }
    m_dest.Release(m_complete);
}

}  // namespace tvx
