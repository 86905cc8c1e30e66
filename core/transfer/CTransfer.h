#pragma once
// The transfer engine: moves one file from a source (an HTTP address or a
// local file) to a local destination in small steps, one per tick of its
// owner, and keeps a transfer control file CTL_<name> beside the destination
// so that a broken transfer continues where it stopped.
//
// The control file is 16 bytes, little-endian: the source's length (int32)
// and date number (double, at offset 4) when the transfer began, and the
// number of bytes the destination holds (int32, offset 12). A chunk always
// reaches the destination before the record that counts it is written, so
// the count on disk never exceeds what the file really holds. The control
// file is deleted when a transfer ends with exactly the announced length.
//
// States: idle (nothing open), open (after Open returned 0) and ended (after
// ReadChunk returned 0 or Finish: nothing open, counters kept). Open and Check
// begin with Finish, so whatever a failed step left open is closed then.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

struct ControlRecord {
    std::int32_t length = 0;
    double date = 0;
    std::int32_t received = 0;
};
constexpr std::size_t kControlRecordSize = 16;
void EncodeControlRecord(const ControlRecord& record, unsigned char (&out)[kControlRecordSize]);
ControlRecord DecodeControlRecord(const unsigned char (&in)[kControlRecordSize]);

// "<folder>/CTL_<name>" for a destination, split at its last separator (never
// at the first character); empty when there is none.
std::string ControlFilePath(std::string_view destination);

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
    static constexpr std::int64_t kMaxLength = 0x7FFFFFFF;

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
    std::int64_t ResumeOffset(const std::string& controlPath) const;
    bool PositionSource(const std::string& source, std::int64_t offset, std::string& error);
    bool WriteRecord();
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
    int m_readWaitMs = 50;

    std::string m_source;
    std::unique_ptr<HttpRequest> m_request;
    long m_statusCode = 0;
    std::int64_t m_contentLength = 0;
    double m_remoteDate = 0;
    std::int64_t m_received = 0;
    long m_lastRead = 0;
    std::int64_t m_sinceIdentityCheck = 0;

    int m_destination = -1;  // file descriptor
    unsigned long long m_destinationDevice = 0, m_destinationInode = 0;
    int m_localSource = -1;
    std::FILE* m_control = nullptr;
    std::string m_controlPath;
    std::string m_destinationPath;  // native
    ControlRecord m_record;
    std::vector<char> m_buffer;
};

}  // namespace tvx
