#pragma once
// The transfer engine: moves one file from a source (an HTTP address or a
// local file) to a local destination in small steps, one per tick of its
// owner, and keeps a transfer control file CTL_<name> beside the destination
// so that a broken transfer continues where it stopped (ControlFile.h has its
// layout).
//
// What the engine promises:
// - A file is complete only when the run that wrote it proved it: every byte
//   written by answers of one version, the total length matched, the data
//   synced, and only then the control file removed. A file with a control
//   file is never complete, never stamped with the source's date and never up
//   to date.
// - A resume goes on only when the source still states exactly the version
//   the partial bytes came from (length, Last-Modified to the second, ETag;
//   for a local source its modification time to the nanosecond), and the
//   range it is sent must start at the recorded byte of that version and
//   state every validator the record holds. Anything else starts the file
//   over from byte 0, with a notice, and nothing of the old partial's
//   segments is kept.
// - The destination is not touched before the first byte of the new version
//   is in hand, and an empty answer never replaces a file that holds bytes.
// - A record counts only bytes already synced to the disk: the data is made
//   durable first, then the record (at least once a second, and whenever the
//   transfer stops), so after a crash or a power loss a resume never trusts
//   a byte that is not there.
// - Every wait is bounded: a connection that brings nothing for the
//   low-speed time is given up.
// - One writer per destination (CDestination holds the lock).
//
// Words with one meaning each: the prefix is the run of bytes from byte 0 on
// that is on disk without a gap (what the 16-byte record counts); on disk is
// every byte of the version written so far, in all segments.
//
// Open runs in phases, each handing the next a value: the destination is
// judged, the source asked (an Answer), the destination claimed, the record
// judged against the answer (a StartPoint), the source positioned there (or
// the file started over), the destination opened. ReadChunk then fetches
// either as one stream or in segments (CSegmentFetch, for a large file from a
// server that names its version, HttpSettings::connectionsPerFile); the last
// step proves the file and finishes it. The rate limit holds for the file as
// a whole.
//
// States: idle (nothing open), open (after Open returned 0) and ended (after
// ReadChunk returned 0 or Finish: nothing open, counters kept). Open and Check
// begin with Finish, so whatever a failed step left open is closed then.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/CDestination.h"
#include "transfer/ChecksumFiles.h"
#include "transfer/ControlFile.h"
#include "transfer/Digest.h"
#include "transfer/HttpRequest.h"
#include "transfer/Owner.h"
#include "transfer/RemoteVersion.h"

namespace tvx {

struct WorkListEntry;
class CSegmentFetch;

// How the engine reports: message boxes for the single-file dialog, log lines
// (and work-list bookkeeping) for the session.
enum class ReportMode { SingleFile, Session };

// The session's byte totals; the engine adds to the running total.
struct SessionTotals {
    std::int64_t running = 0;   // resume offsets plus every chunk received
    std::int64_t expected = 0;  // sum of the lengths of the chosen files
};

// A source is a local file when its text is an absolute local path (a drive
// prefix, or a leading '\' or '/').
bool IsLocalSource(std::string_view source);

// Why a status refuses an answer, in words: "not found on the server (HTTP
// 404)", "server busy (HTTP 503)" and so on.
std::string StatusProblem(long status);

class CTransfer {
public:
    // Step results of Open and Check.
    static constexpr int kOk = 0;
    static constexpr int kRefused = -2;        // the answer or the source cannot be used
    static constexpr int kInternetError = -3;  // the network failed
    static constexpr int kLocalFileError =
        -4;  // the destination or its control file cannot be used (reported)
    // ReadChunk: no bytes arrived in this step; the transfer goes on.
    static constexpr long kNothingYet = -1;

    static constexpr std::size_t kNetworkChunk = 1024;  // paced reads from the network
    static constexpr std::size_t kLargeChunk = 32768;   // local sources, unpaced reads
    // Far above any real file (1 PiB); a larger length is a broken answer.
    static constexpr std::int64_t kMaxLength = (std::int64_t(1) << 50) - 1;
    // A file is cut into segments from this many times the smallest
    // segment (HttpSettings::minSplitSize) on.
    static constexpr std::int64_t kSplitFileFactor = 16;

    using FreeSpaceProbe = CDestination::FreeSpaceProbe;

    CTransfer(const HttpSettings& settings, ReportMode mode);
    ~CTransfer();
    CTransfer(const CTransfer&) = delete;
    CTransfer& operator=(const CTransfer&) = delete;

    // The folder against which a relative destination is resolved.
    void SetBaseDirectory(std::string directory) { m_baseDirectory = std::move(directory); }
    void SetFileProgress(Progress* progress) { m_fileProgress = progress; }
    void SetAnimation(Animation* animation) { m_animation = animation; }
    void SetUi(Ui* ui) { m_ui = ui; }
    void SetLog(Log* log) { m_log = log; }
    // Session mode: the entry in progress, the totals and the session bar.
    void SetSessionEntry(WorkListEntry* entry) { m_entry = entry; }
    void SetSessionTotals(SessionTotals* totals, Progress* sessionBar) {
        m_totals = totals;
        m_sessionBar = sessionBar;
    }
    // Network reads take at most kNetworkChunk bytes when paced (one read per
    // 20 ms tick), kLargeChunk otherwise. Local sources always kLargeChunk.
    void SetPaced(bool paced) { m_networkChunk = paced ? kNetworkChunk : kLargeChunk; }
    // How long one ReadChunk waits for network data before it gives the
    // owner its tick back.
    void SetReadWait(int milliseconds) { m_readWaitMs = milliseconds; }
    // The minute of the day the rate schedule is read at (the local clock by
    // default; tests set their own).
    void SetMinuteClock(std::function<int()> clock) { m_minuteClock = std::move(clock); }
    // How Open learns the free space before it writes (statvfs by default).
    void SetFreeSpaceProbe(FreeSpaceProbe probe) { m_freeSpace = std::move(probe); }

    // Digests the file must match besides those its server states (a
    // checksum the user gave).
    void SetExpectedDigests(std::vector<Digest> digests) { m_givenDigests = std::move(digests); }
    // The checksum files of the owner's run (shared by its transfers);
    // without one, the transfer keeps its own when settings ask for them.
    void SetChecksumFiles(std::shared_ptr<ChecksumFiles> files) { m_sums = std::move(files); }

    // The version the last successful Check saw.
    const RemoteVersion& CheckedVersion() const { return m_checked; }

    // Open reports its failures itself (mode table); Check reports nothing
    // and leaves the reason in Problem() for its owner to say once.
    int Open(const std::string& source, const std::string& localPath);
    // Moves one chunk: its size, kNothingYet, or 0 when the transfer has
    // ended (Finish has then been called).
    long ReadChunk();
    void Finish();
    // With localPath, a complete local copy that remembers its version (see
    // FileOrigin.h) is asked about conditionally (If-None-Match, else
    // If-Modified-Since): an unchanged file costs an answer 304 without a
    // body, and the check then holds the local copy's length and date.
    int Check(const std::string& source, const std::string& localPath = {});
    // The condition lines a check of the local copy at the path sends ("" for
    // none): the same for a request started ahead of the check.
    static std::string CheckConditions(const std::string& baseDirectory,
                                       const std::string& localPath);
    // After a successful Check: the answer's body is wanted (the file is to
    // be fetched), and a plain request for the same address made with the
    // same pool takes it over instead of asking again; or it is not, and the
    // answer goes. Without a pool the answer always goes.
    void ReleaseCheck(bool wanted);

    std::int64_t ContentLength() const { return m_contentLength; }
    double RemoteDate() const { return m_remoteDate; }
    // Bytes of the version on disk (all segments; after a resume, the bytes
    // it found count too).
    std::int64_t OnDisk() const { return m_onDisk; }
    long StatusCode() const { return m_statusCode; }
    // Why the last Check (or Open) did not return kOk; "" when it did.
    const std::string& Problem() const { return m_problem; }
    // The last Check found a source that exists and is empty.
    bool EmptySource() const { return m_emptySource; }
    // The last failure was that the source's own host could not be reached;
    // its other files will not be reachable either.
    bool HostUnreachable() const { return m_hostUnreachable; }
    // The transfer that ended holds every byte of its source, synced to disk
    // (and matched every digest stated for it).
    bool Complete() const { return m_complete; }
    // The transfer that ended had every byte, but they did not match a digest
    // stated for them: the file is marked to be fetched again from byte 0.
    bool DigestFailed() const { return m_digestFailed; }
    // What proved the complete file: "sha-256 verified (Repr-Digest)", or ""
    // when no digest was stated for it.
    const std::string& Verified() const { return m_verified; }
    // After a successful Check: the local copy at the path (resolved as Open
    // resolves it) is the checked version already: same length and date, no
    // control file marks it as a partial, and the ETag it remembers (if any)
    // is the server's.
    bool LocalCopyCurrent(const std::string& localPath) const;
    // Connections the open transfer reads from now (0 when it is not open).
    int ConnectionCount() const;
    const std::string& DestinationPath() const { return m_dest.Path(); }
    // Gives a complete destination the source's date (StampFileTime). A
    // partial one keeps the time its bytes were written: it must not look
    // like the source.
    void StampDestination() const;

    // Creates every folder on the way to the file the path names (the last
    // component is the file and is not created); failures are ignored.
    static void MakeDirectories(std::string_view path);

private:
    enum class Event { Open, Seek, Read, Write, Verify };
    enum class State { Idle, Open, Ended };

    // The source's answer: a request whose body runs from the position the
    // transfer asked for, or the local source's open file.
    struct Answer {
        std::unique_ptr<HttpRequest> request;
        int localFd = -1;
        ~Answer();
    };
    // Where the fetch begins: the prefix kept, the segments taken up again
    // (none: one stream from the prefix), and whether the source answered a
    // range with the whole file.
    struct StartPoint {
        std::int64_t offset = 0;
        std::vector<Segment> segments;
        bool rangesIgnored = false;
    };

    void Report(Event event, const std::string& text);
    // Reports, finishes, and returns the step result.
    int Fail(Event event, const std::string& text, int result);
    int Refuse(const std::string& problem);
    void BeginStep();
    // Takes the response's length and date; returns why the length cannot be
    // taken, or "" when it can.
    std::string TakeResponseHeaders(const HttpResponse& response);
    // Judges the answer to a request for the whole file.
    int TakeWholeAnswer(const HttpResponse& response);
    // The settings of the fetch's requests (m_requestSettings), and its own
    // pool when it may come over several connections and has no owner's.
    void PrepareRequests();
    // Sends a plain GET and judges its answer (or takes the answer of the
    // check just made); kOk or the step result.
    int RequestWhole(const std::string& source, Answer& answer);
    // Phase "ask": the source's answer (or the local source itself), judged.
    int Ask(const std::string& source, Answer& answer);
    // An empty source never replaces a file that holds bytes.
    int JudgeEmpty();
    // Phase "judge the record": where the stored record lets the transfer go
    // on, given the version just asked. Says why a partial is set aside.
    StartPoint ResumePoint(const ControlState* stored);
    // Phase "position": the source at start.offset, or the file started over
    // (start then is byte 0 and answer a new whole answer).
    int Position(const std::string& source, const ControlState& stored, StartPoint& start,
                 Answer& answer);
    // Phase "fetch" begins: one stream or segments.
    void Begin(const StartPoint& start, Answer& answer);
    bool MaySplit() const;

    void Count(std::int64_t bytes);
    long ReadStream();
    long ReadSegments();
    // Bytes that may reach the file now under the rate limit.
    std::int64_t Allowance();
    // The limit in force now (bytes a second, 0: none): the schedule's
    // window, else the fixed limit. A change starts the count afresh.
    std::int64_t RateInForce();
    void Delivered(std::int64_t bytes) { m_rateDelivered += bytes; }
    // Waits at most ms for the network (or for the rate limit).
    void WaitForData(int ms);
    // Makes the bytes written durable and then records them, at most once a
    // second unless forced. The sync runs off this thread and the record is
    // written at a later call, once the sync is done; a forced one waits for
    // both. False (reported) when either fails.
    bool Checkpoint(bool force);
    // Writes a record whose bytes are durable.
    bool Record(ControlState record);
    // The record as the fetch stands now.
    ControlState RecordNow() const;
    // Phase "prove" and "finish": the file is complete only when every byte
    // is there and synced; then the control file goes.
    long End(bool failed);
    // Every so many bytes: false (the loss said) when the file at the path is
    // no longer the one written.
    bool StillOurs(std::int64_t written);
    long Stop();
    void Notice(const std::string& reason);
    void LoseDestination(const std::string& text, Event event = Event::Write);
    // The digests the file must match, besides those of the answer.
    std::vector<Digest> ListedDigests(const std::string& source);
    // Phase "prove": every digest stated for the file holds. False when the
    // file is corrupt (reported, and marked to start over) or cannot be read.
    bool ProveDigests();
    // The bytes of an answer did not match a digest: nothing of the file can
    // be trusted.
    long Corrupt(std::string text);
    // Says which digests proved the file, and where they were stated.
    void SayVerified();
    // Writes the file's origin and version into its attributes.
    void RememberOrigin();
    void ShowFileProgress();

    HttpSettings m_settings;
    ReportMode m_mode;
    std::string m_baseDirectory;
    Progress* m_fileProgress = nullptr;
    Animation* m_animation = nullptr;
    Ui* m_ui = nullptr;
    Log* m_log = nullptr;
    WorkListEntry* m_entry = nullptr;
    SessionTotals* m_totals = nullptr;
    Progress* m_sessionBar = nullptr;
    std::size_t m_networkChunk = kNetworkChunk;
    FreeSpaceProbe m_freeSpace;
    int m_readWaitMs = 50;

    // What the last step learnt.
    long m_statusCode = 0;
    std::int64_t m_contentLength = 0;
    double m_remoteDate = 0;
    RemoteVersion m_version;  // the answer the transfer runs on
    RemoteVersion m_checked;
    std::string m_problem;
    bool m_emptySource = false;
    bool m_hostUnreachable = false;
    bool m_complete = false;
    bool m_digestFailed = false;
    std::string m_verified;
    std::unique_ptr<HttpRequest> m_checkRequest;  // the last Check's answer
    std::string m_checkSource;

    // The open transfer. While it is open exactly one fetch runs: a stream
    // (m_stream or m_localSource) or segments (m_segments).
    State m_state = State::Idle;
    std::string m_source;
    CDestination m_dest;
    std::unique_ptr<HttpRequest> m_stream;
    int m_localSource = -1;
    std::unique_ptr<CSegmentFetch> m_segments;
    ControlState m_record;  // the record last made durable
    ControlState m_synced;  // a record waiting for its sync (m_syncing)
    bool m_syncing = false;
    std::uint64_t m_syncTicket = 0;
    std::int64_t m_onDisk = 0;
    std::int64_t m_sinceIdentityCheck = 0;
    std::chrono::steady_clock::time_point m_lastCheckpoint{};
    std::vector<char> m_buffer;
    std::vector<Digest> m_givenDigests;
    std::shared_ptr<ChecksumFiles> m_sums;
    FileDigest m_digest;  // the proof of the open transfer's file
    std::vector<Digest> m_proved;

    // Requests of an open transfer: the owner's pool when it has one,
    // otherwise a pool of the transfer's own whose requests stand alone.
    HttpSettings m_requestSettings;
    std::shared_ptr<HttpPool> m_ownPool;
    std::chrono::steady_clock::time_point m_rateStart{};
    std::int64_t m_rateDelivered = 0;
    std::int64_t m_rate = 0;  // the limit the count runs under
    std::function<int()> m_minuteClock = MinuteOfDayNow;
};

}  // namespace tvx
