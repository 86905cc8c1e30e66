#pragma once
// The transfer engine: moves one file from a source (an HTTP address or a
// local file) to a local destination in small steps, one per tick of its
// owner, and keeps a transfer control file CTL_<name> beside the destination
// so that a broken transfer continues where it stopped (ControlFile.h has its
// layout).
//
// What the engine promises:
// - A resume goes on only when the server still states exactly the version
//   the partial bytes came from (length, Last-Modified to the second, ETag),
//   and the range it is sent must start at the recorded byte of that version.
//   Anything else starts the file over from byte 0, with a notice.
// - The destination is not touched before the first byte of the new version
//   is in hand: a refused answer, an empty one, or one that contradicts the
//   check before it leaves a good local copy as it was.
// - A chunk reaches the destination before the record that counts it, so the
//   count on disk never exceeds what the file really holds. The control file
//   is deleted when the count equals the announced length.
//
// States: idle (nothing open), open (after Open returned 0) and ended (after
// ReadChunk returned 0 or Finish: nothing open, counters kept). Open and Check
// begin with Finish, so whatever a failed step left open is closed then.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

class CTransfer {
public:
    // Step results of Open and Check.
    static constexpr int kOk = 0;
    static constexpr int kRefused = -2;        // status not 2xx, no length, source missing
    static constexpr int kInternetError = -3;  // already reported
    static constexpr int kLocalFileError =
        -4;  // control file or destination cannot be made (reported)
    // ReadChunk: no bytes arrived in this step; the transfer goes on.
    static constexpr long kNothingYet = -1;

    static constexpr std::size_t kNetworkChunk = 1024;  // paced reads from the network
    static constexpr std::size_t kLargeChunk = 32768;   // local sources, unpaced reads
    // Far above any real file (1 PiB); a larger length is a broken answer.
    static constexpr std::int64_t kMaxLength = (std::int64_t(1) << 50) - 1;

    // Free bytes of the file system that holds a folder, or -1 when unknown.
    using FreeSpaceProbe = std::function<std::int64_t(const std::string& folder)>;

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

    // The next Open refuses an answer whose length or date differs from this
    // one (the check it follows), before the destination is touched.
    void ExpectVersion(const RemoteVersion& version) {
        m_expected = version;
        m_hasExpected = true;
    }
    // The version the last successful Check saw.
    const RemoteVersion& CheckedVersion() const { return m_checked; }

    int Open(const std::string& source, const std::string& localPath);
    // Moves one chunk: its size, kNothingYet, or 0 when the transfer has
    // ended (Finish has then been called).
    long ReadChunk();
    void Finish();
    int Check(const std::string& source);

    std::int64_t ContentLength() const { return m_contentLength; }
    double RemoteDate() const { return m_remoteDate; }
    std::int64_t Received() const { return m_received; }
    long StatusCode() const { return m_statusCode; }
    const std::string& DestinationPath() const { return m_destinationPath; }
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
    void ReportCheckError(const std::string& text);
    // Takes the response's length and date; returns why the length cannot be
    // taken, or "" when it can.
    std::string TakeResponseHeaders(const HttpResponse& response);
    // Sends a plain GET and takes its answer; kOk or the step result.
    int RequestWhole(const std::string& source);
    // Judges an answer of Open: refused (reported) when it announces no
    // usable length or contradicts the expected version.
    int JudgeOpenAnswer(bool hasExpected, const RemoteVersion& expected);
    // The byte to continue at, from the control file; restart says why a
    // record of another version was set aside ("" when there was none).
    std::int64_t ResumeOffset(std::string& restart) const;
    enum class Position { Ok, Restart, Error };
    Position PositionSource(const std::string& source, std::int64_t offset, std::string& text);
    bool WriteRecord();
    void Notice(const std::string& reason);
    bool DestinationStillOurs() const;
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
    long m_statusCode = 0;
    std::int64_t m_contentLength = 0;
    double m_remoteDate = 0;
    RemoteVersion m_version;  // the answer the transfer runs on
    RemoteVersion m_checked;
    RemoteVersion m_expected;
    bool m_hasExpected = false;
    ControlState m_stored;  // the control file found by Open
    bool m_storedValid = false;
    std::int64_t m_received = 0;
    long m_lastRead = 0;
    std::int64_t m_sinceIdentityCheck = 0;

    int m_destination = -1;             // file descriptor
    bool m_truncatePending = false;     // the old bytes go when the first new one is in hand
    bool m_destinationCreated = false;  // Open made the file
    unsigned long long m_destinationDevice = 0, m_destinationInode = 0;
    int m_localSource = -1;
    int m_control = -1;  // file descriptor
    std::size_t m_controlSize = 0;
    std::string m_controlPath;
    std::string m_destinationPath;  // native
    ControlState m_record;
    std::vector<char> m_buffer;
};

}  // namespace tvx
