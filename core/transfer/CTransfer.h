#pragma once
// The transfer engine: moves one file from a source (an HTTP address or a
// local file) to a local destination in small steps, one per tick of its
// owner, and keeps a transfer control file CTL_<name> beside the destination
// so that a broken transfer continues where it stopped (ControlFile.h has its
// layout).
//
// What the engine promises:
// - A resume goes on only when the source still states exactly the version
//   the partial bytes came from (length, Last-Modified to the second, ETag;
//   for a local source its modification time to the nanosecond), and the
//   range it is sent must start at the recorded byte of that version and
//   state every validator the record holds. Anything else starts the file
//   over from byte 0, with a notice.
// - The destination is not touched before the first byte of the new version
//   is in hand, and an empty answer never replaces a file that holds bytes.
// - A chunk reaches the destination before the record that counts it, so the
//   count on disk never exceeds what the file really holds. The file counts
//   as complete, and its control file goes, only once all announced bytes
//   are synced to the disk.
// - One writer per destination (CDestination holds the lock).
//
// Open runs in phases: the destination is judged, the source asked and its
// answer judged, the destination claimed, the resume point found, the source
// positioned, the destination opened, the record begun.
//
// A large file from a server that states its version may come over several
// connections at once (HttpSettings::connectionsPerFile): the file is cut
// into segments (SegmentMap.h), the first answer fetches the first, and
// further ones ask for ranges of the same version. Every range answer must be
// a 206 of exactly that version; a server that ignores ranges leaves the file
// to the first connection, one that turns connections away gets fewer, and
// one whose file changes ends the transfer (the next run starts over). The
// control record keeps the segments, so a broken transfer continues each one
// where it stopped. The rate limit holds for the file as a whole.
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
#include "transfer/ControlFile.h"
#include "transfer/HttpRequest.h"
#include "transfer/Owner.h"

namespace tvx {

struct WorkListEntry;

// How the engine reports: message boxes for the single-file dialog, log lines
// (and work-list bookkeeping) for the session.
enum class ReportMode { SingleFile, Session };

// The session's byte totals; the engine adds to the running total.
struct SessionTotals {
    std::int64_t running = 0;   // resume offsets plus every chunk received
    std::int64_t expected = 0;  // sum of the lengths of the chosen files
};

// One version of a source, as an answer states it.
struct RemoteVersion {
    std::int64_t length = 0;
    double date = 0;           // date number, to the minute
    std::string lastModified;  // exact text, "" when none
    std::string etag;          // exact text, "" when none
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
    // How Open learns the free space before it writes (statvfs by default).
    void SetFreeSpaceProbe(FreeSpaceProbe probe) { m_freeSpace = std::move(probe); }

    // The version the last successful Check saw.
    const RemoteVersion& CheckedVersion() const { return m_checked; }

    // Open reports its failures itself (mode table); Check reports nothing
    // and leaves the reason in Problem() for its owner to say once.
    int Open(const std::string& source, const std::string& localPath);
    // Moves one chunk: its size, kNothingYet, or 0 when the transfer has
    // ended (Finish has then been called).
    long ReadChunk();
    void Finish();
    int Check(const std::string& source);
    // After a successful Check: the answer's body is wanted (the file is to
    // be fetched), and a plain request for the same address made with the
    // same pool takes it over instead of asking again; or it is not, and the
    // answer goes. Without a pool the answer always goes.
    void ReleaseCheck(bool wanted);

    std::int64_t ContentLength() const { return m_contentLength; }
    double RemoteDate() const { return m_remoteDate; }
    std::int64_t Received() const { return m_received; }
    long StatusCode() const { return m_statusCode; }
    // Why the last Check (or Open) did not return kOk; "" when it did.
    const std::string& Problem() const { return m_problem; }
    // The last Check found a source that exists and is empty.
    bool EmptySource() const { return m_emptySource; }
    // The last failure was that the source's own host could not be reached;
    // its other files will not be reachable either.
    bool HostUnreachable() const { return m_hostUnreachable; }
    // The transfer that ended holds every byte of its source, synced to disk.
    bool Complete() const { return m_complete; }
    // Connections the open transfer reads from now (0 when it is not open).
    int ConnectionCount() const;
    const std::string& DestinationPath() const { return m_dest.Path(); }
    // Gives the destination the source's date (StampFileTime) when it holds
    // bytes of the version just transferred; a destination this transfer
    // never wrote to keeps its own date.
    void StampDestination() const;

    // Creates every folder on the way to the file the path names (the last
    // component is the file and is not created); failures are ignored.
    static void MakeDirectories(std::string_view path);

private:
    enum class Event { Open, Seek, Read, Write };
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
    // Sends a plain GET and takes its answer; kOk or the step result.
    int RequestWhole(const std::string& source);
    // The source's answer (or the local source itself), judged.
    int AskSource(const std::string& source);
    // An empty source never replaces a file that holds bytes.
    int JudgeEmpty();
    // The byte to continue at, from the control record; restart says why a
    // record of another version was set aside ("" when there was none).
    std::int64_t ResumeOffset(std::string& restart) const;
    std::int64_t ResumePoint();
    // The record's segments can be taken up again at offset.
    bool ResumesSegments(std::int64_t offset) const;
    // Positions the source at offset, or starts over (offset becomes 0).
    int PositionSource(const std::string& source, std::int64_t& offset);
    int Begin(std::int64_t offset);
    void Count(std::int64_t bytes);
    // Bytes that may reach the file now under the rate limit.
    std::int64_t Allowance();
    void Delivered(std::int64_t bytes) { m_rateDelivered += bytes; }
    // Waits at most ms for the network (or for the rate limit).
    void WaitForData(int ms);
    bool WriteProgressRecord();

    // Segments (CTransferSegments.cpp).
    bool MaySplit() const;
    void BeginSegments(bool resumed);
    long ReadSegments();
    void StartConnections();
    bool StartConnection(std::int64_t segment);
    // Judges the head of a connection's range answer; false when the
    // connection was dropped (or the transfer ended).
    bool JudgeRange(std::size_t i);
    void DropConnection(std::size_t i, bool failed);
    // The connection's segment is complete: it goes on with the next one
    // when its answer runs on into it, otherwise it ends.
    void SegmentDone(std::size_t i);
    long End(bool failed);
    // Every so many bytes: false (the loss said) when the file at the path is
    // no longer the one written.
    bool StillOurs(std::int64_t written);
    static std::string RangeHeaders(std::int64_t first, std::int64_t last,
                                    const RemoteVersion& version);
    long Stop();
    void Notice(const std::string& reason);
    void LoseDestination(const std::string& text);
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

    std::string m_source;
    std::unique_ptr<HttpRequest> m_request;
    std::unique_ptr<HttpRequest> m_checkRequest;  // the last Check's answer
    std::string m_checkSource;
    long m_statusCode = 0;
    std::int64_t m_contentLength = 0;
    double m_remoteDate = 0;
    RemoteVersion m_version;  // the answer the transfer runs on
    RemoteVersion m_checked;
    std::string m_problem;
    bool m_emptySource = false;
    bool m_hostUnreachable = false;
    ControlState m_stored;  // the control record found by Open
    bool m_storedValid = false;
    std::int64_t m_received = 0;
    long m_lastRead = 0;
    std::int64_t m_sinceIdentityCheck = 0;
    bool m_open = false;
    bool m_complete = false;

    CDestination m_dest;
    int m_localSource = -1;
    ControlState m_record;
    std::vector<char> m_buffer;

    // Requests of an open transfer: the owner's pool when it has one,
    // otherwise a pool of the transfer's own whose requests stand alone.
    HttpSettings m_requestSettings;
    std::shared_ptr<HttpPool> m_ownPool;
    std::chrono::steady_clock::time_point m_rateStart{};
    std::int64_t m_rateDelivered = 0;

    struct Connection {
        std::unique_ptr<HttpRequest> request;
        std::int64_t segment = 0;  // the start of the segment it fetches
        std::int64_t end = 0;      // one past the last byte its answer brings
        std::int64_t skip = 0;     // bytes of the answer before the segment's next one
        bool judged = false;       // its head was found to be the right range
    };
    bool m_segmented = false;
    bool m_resumeSegments = false;  // the record's segments are taken up again
    bool m_splitting = false;       // segments may still be split for new connections
    bool m_rangesWork = false;      // the server has answered a range as it should
    std::size_t m_maxConnections = 1;
    int m_failures = 0;  // connections lost in a row without a byte moved
    std::string m_lastFailure;
    std::string m_rangeUrl;  // where the first answer came from
    CSegmentMap m_map;
    std::vector<Connection> m_connections;
};

}  // namespace tvx
