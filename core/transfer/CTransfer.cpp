#include "transfer/CTransfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <thread>

#include "platform/ByteOrder.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "session/WorkListEntry.h"
#include "transfer/FileTime.h"
#include "transfer/ResponseHead.h"

namespace tvx {

namespace {

constexpr char kBells[] = "\a\a";
// How many bytes may be written between two checks that the destination is
// still the file the engine opened.
constexpr std::int64_t kIdentityCheckInterval = 1 << 20;

double DateNumberOf(const std::string& lastModified) {
    HttpDateFields f;
    if (!ParseHttpDate(lastModified, f))
        return 0;
    return MakeDateNumber(f.year, f.month, f.day, f.hour, f.minute);
}

// Why a length cannot be taken (2 GiB or more, or negative), or "" when it can.
std::string LengthProblem(const std::string& announced, std::int64_t length,
                          const std::string& where) {
    if (length > CTransfer::kMaxLength) {
        return Format("the file is too large: %s bytes, the limit is %lld (%s)", announced.c_str(),
                      static_cast<long long>(CTransfer::kMaxLength), where.c_str());
    }
    if (length < 0) {
        return "the server announced an impossible length: Content-Length: " + announced + " (" +
               where + ")";
    }
    return {};
}

// The version of a local source: its length, its date number and its
// modification time to the nanosecond, which tells apart two versions the
// minute-wide date cannot.
RemoteVersion LocalVersion(const std::string& source, const LocalFileInfo& info) {
    struct stat st {};
    std::string exact;
    if (::stat(ToNativePath(source).c_str(), &st) == 0) {
        exact = Format("@%lld.%09ld", static_cast<long long>(st.st_mtim.tv_sec),
                       static_cast<long>(st.st_mtim.tv_nsec));
    }
    return {info.length, info.date, exact, {}};
}

}  // namespace

bool IsLocalSource(std::string_view source) {
    return !HasAbsoluteAddress(source) && IsAbsolutePath(source);
}

CTransfer::CTransfer(const HttpSettings& settings, ReportMode mode)
    : m_settings(settings), m_mode(mode), m_buffer(kLargeChunk + 1) {}

CTransfer::~CTransfer() {
    // The owner's bars and animation may already be gone.
    m_fileProgress = nullptr;
    m_animation = nullptr;
    Finish();
}

void CTransfer::MakeDirectories(std::string_view path) {
    const std::string native = ToNativePath(path);
    for (std::size_t i = 1; i < native.size(); ++i) {
        if (native[i] == '/' && native[i - 1] != '/')
            ::mkdir(native.substr(0, i).c_str(), 0777);
    }
}

std::string StatusProblem(long status) {
    const char* what = "the server answered";
    if (status == 404 || status == 410)
        what = "not found on the server";
    else if (status == 401 || status == 403 || status == 407)
        what = "access refused by the server";
    else if (status == 429 || status == 503)
        what = "server busy";
    else if (status >= 500 && status <= 599)
        what = "server error";
    return Format("%s (HTTP %ld)", what, status);
}

void CTransfer::Report(Event event, const std::string& text) {
    if (m_mode == ReportMode::SingleFile) {
        if (m_ui == nullptr)
            return;
        m_ui->MessageBox(event == Event::Seek ? "SEEK ERROR: " + text + kBells : "Error: " + text);
        return;
    }
    if (m_log == nullptr)
        return;
    static const char* const kPrefix[] = {
        "OPEN ERROR: ", "SEEK ERROR: ", "READ ERROR: ", "WRITE ERROR: "};
    m_log->Write(kPrefix[static_cast<int>(event)] + text + kBells, true);
}

int CTransfer::Fail(Event event, const std::string& text, int result) {
    m_problem = text;
    Report(event, text);
    Finish();
    return result;
}

int CTransfer::Refuse(const std::string& problem) {
    m_problem = problem;
    return kRefused;
}

void CTransfer::ShowFileProgress() {
    if (m_fileProgress != nullptr)
        m_fileProgress->SetPos(Percent(m_received, m_contentLength));
}

void CTransfer::Notice(const std::string& reason) {
    const std::string text = reason + "; downloading from byte 0";
    if (m_mode == ReportMode::Session) {
        if (m_log != nullptr)
            m_log->Write("RESTART : " + text, true);
    } else if (m_ui != nullptr) {
        m_ui->Notice(text);
    }
}

std::string CTransfer::TakeResponseHeaders(const HttpResponse& response) {
    m_remoteDate = DateNumberOf(response.lastModified);
    m_version = {0, m_remoteDate, response.lastModified, response.etag};
    const std::string where = response.effectiveUrl;
    if (!response.conflictingLength.empty()) {
        return "the server announced two different lengths: Content-Length: " +
               response.contentLength + " and " + response.conflictingLength + " (" + where + ")";
    }
    if (response.hasContentLength && !IsContentLengthText(response.contentLength)) {
        const std::int64_t length = ParseContentLength(response.contentLength);
        if (length < 0)
            return LengthProblem(response.contentLength, length, where);
        return "the server announced a length that cannot be read: Content-Length: " +
               response.contentLength + " (" + where + ")";
    }
    const std::int64_t length = ParseContentLength(response.contentLength);
    std::string problem = LengthProblem(response.contentLength, length, where);
    if (problem.empty()) {
        m_contentLength = length;
        m_version.length = length;
    }
    return problem;
}

int CTransfer::TakeWholeAnswer(const HttpResponse& response) {
    m_statusCode = response.status;
    const std::string where = " (" + response.effectiveUrl + ")";
    if (response.status < 200 || response.status > 299)
        return Refuse(StatusProblem(response.status) + where);
    if (response.status == 206) {
        return Refuse("the server sent part of the file (HTTP 206) when all of it was asked for" +
                      where);
    }
    if (std::string problem = TakeResponseHeaders(response); !problem.empty())
        return Refuse(problem);
    if (!response.hasContentLength) {
        // Nothing would tell whether the file arrived whole, nor whether a
        // partial one is still the same.
        return Refuse("the server announced no length (" +
                      (response.transferEncoding.empty()
                           ? std::string("no Content-Length")
                           : "Transfer-Encoding: " + response.transferEncoding) +
                      ")" + where);
    }
    return kOk;
}

void CTransfer::BeginStep() {
    m_remoteDate = 0;
    m_contentLength = 0;
    Finish();
    m_statusCode = 0;
    m_received = 0;
    m_problem.clear();
    m_hostUnreachable = false;
    m_complete = false;
    m_version = {};
}

int CTransfer::Check(const std::string& source) {
    BeginStep();
    m_checked = {};
    m_emptySource = false;
    if (IsLocalSource(source)) {
        const LocalFileInfo info = GetLocalFileInfo(source);
        m_remoteDate = info.date;
        const std::string problem = LengthProblem(std::to_string(info.length), info.length, source);
        if (!problem.empty())
            return Refuse(problem);
        m_contentLength = info.length;
        m_emptySource = info.exists && info.length == 0;
        m_checked = LocalVersion(source, info);
        return kOk;
    }
    m_checkRequest = std::make_unique<HttpRequest>(m_settings);
    if (!m_checkRequest->Send(source)) {
        // An empty address is no request; there is nothing to tell about it.
        m_problem = source.empty() ? std::string() : m_checkRequest->ErrorText();
        m_hostUnreachable = m_checkRequest->HostUnreachable();
        m_checkRequest.reset();
        return kInternetError;
    }
    if (const int r = TakeWholeAnswer(m_checkRequest->Response()); r != kOk) {
        m_checkRequest.reset();
        return r;
    }
    m_emptySource = m_contentLength == 0;
    m_checked = m_version;
    m_checkSource = source;
    return kOk;
}

void CTransfer::ReleaseCheck(bool wanted) {
    if (wanted && m_checkRequest && m_settings.pool)
        m_settings.pool->Keep(m_checkSource, std::move(m_checkRequest));
    m_checkRequest.reset();
}

int CTransfer::RequestWhole(const std::string& source) {
    m_request = std::make_unique<HttpRequest>(m_requestSettings);
    if (!m_request->Send(source)) {
        m_hostUnreachable = m_request->HostUnreachable();
        return Fail(Event::Open, m_request->ErrorText(), kInternetError);
    }
    if (const int r = TakeWholeAnswer(m_request->Response()); r != kOk)
        return Fail(Event::Open, m_problem, r);
    return kOk;
}

int CTransfer::AskSource(const std::string& source) {
    if (!IsLocalSource(source)) {
        if (const int r = RequestWhole(source); r != kOk)
            return r;
        return JudgeEmpty();
    }
    const LocalFileInfo info = GetLocalFileInfo(source);
    m_remoteDate = info.date;
    const std::string problem = LengthProblem(std::to_string(info.length), info.length, source);
    if (!problem.empty())
        return Fail(Event::Open, problem, kRefused);
    m_contentLength = info.length;
    m_version = LocalVersion(source, info);
    m_localSource = ::open(ToNativePath(source).c_str(), O_RDONLY | O_CLOEXEC);
    if (m_localSource < 0) {
        return Fail(Event::Open, Format("cannot open %s: %s", source.c_str(), std::strerror(errno)),
                    kRefused);
    }
    return JudgeEmpty();
}

int CTransfer::JudgeEmpty() {
    const std::int64_t held = m_dest.ExistingSize();
    if (m_contentLength > 0 || held <= 0)
        return kOk;
    return Fail(Event::Open,
                Format("the source is empty; %s keeps its %lld bytes and nothing was written",
                       m_dest.Path().c_str(), static_cast<long long>(held)),
                kRefused);
}

std::int64_t CTransfer::ResumeOffset(std::string& restart) const {
    restart.clear();
    if (!m_storedValid || BytesOnDisk(m_stored) <= 0)
        return 0;
    const ControlState& s = m_stored;
    bool same = s.length == m_contentLength && s.date == m_remoteDate;
    if (s.extended) {
        // Exactly the version the bytes came from, and something that names
        // it (a date to the second or an ETag).
        same = same && s.lastModified == m_version.lastModified &&
               (s.etag.empty() || m_version.etag.empty() || s.etag == m_version.etag) &&
               ((m_remoteDate != 0 && !s.lastModified.empty()) || IsStrongEtag(s.etag));
    } else {
        // A record of an older program: its minute-wide date is all there
        // is, and without one nothing ties the bytes to this version.
        same = same && m_remoteDate != 0;
    }
    if (!same) {
        const std::string changed =
            m_localSource >= 0 ? "the source file changed" : "the file changed on the server";
        if (s.extended && !s.lastModified.empty() && s.lastModified != m_version.lastModified &&
            m_localSource < 0) {
            restart = changed + " (Last-Modified: " + m_version.lastModified +
                      ", the partial file has " + s.lastModified + ")";
        } else if (s.extended && !s.etag.empty() && s.etag != m_version.etag) {
            restart =
                changed + " (ETag: " + m_version.etag + ", the partial file has " + s.etag + ")";
        } else if (m_localSource >= 0) {
            restart = changed;
        } else {
            restart = "the partial file belongs to another version of the file";
        }
        return 0;
    }
    if (s.received > m_contentLength)
        return 0;
    // The count never covers more than the destination really holds.
    return std::max<std::int64_t>(0, std::min(s.received, m_dest.ExistingSize()));
}

bool CTransfer::ResumesSegments(std::int64_t offset) const {
    if (m_stored.segments.empty() || offset != m_stored.received || !MaySplit())
        return false;
    // Every counted byte must still be in the file.
    std::int64_t furthest = 0;
    for (const Segment& s : m_stored.segments)
        furthest = s.done > 0 ? s.Next() : furthest;
    return m_dest.ExistingSize() >= furthest;
}

std::int64_t CTransfer::ResumePoint() {
    m_storedValid = m_dest.ReadRecord(m_stored);
    std::string restart;
    const std::int64_t offset = ResumeOffset(restart);
    if (!restart.empty())
        Notice(restart);
    m_resumeSegments = ResumesSegments(offset);
    if (offset > 0) {
        if (m_entry != nullptr)
            m_entry->received = offset;
        if (m_mode == ReportMode::Session && m_log != nullptr) {
            m_log->Write(
                Format("SEEK ON POS:%lld and completing this file", static_cast<long long>(offset)),
                true);
        }
    }
    return offset;
}

int CTransfer::PositionSource(const std::string& source, std::int64_t& offset) {
    if (m_localSource >= 0) {
        if (::lseek(m_localSource, offset, SEEK_SET) == offset)
            return kOk;
        return Fail(Event::Seek,
                    Format("cannot go to byte %lld of %s: %s", static_cast<long long>(offset),
                           source.c_str(), std::strerror(errno)),
                    kLocalFileError);
    }
    // The version the partial bytes came from: the record's own validators
    // when it has them, otherwise the answer just compared with it.
    const RemoteVersion recorded =
        m_stored.extended
            ? RemoteVersion{m_stored.length, m_stored.date, m_stored.lastModified, m_stored.etag}
            : m_version;
    m_request = std::make_unique<HttpRequest>(m_requestSettings);
    if (!m_request->Send(source, RangeHeaders(offset, -1, recorded))) {
        m_hostUnreachable = m_request->HostUnreachable();
        return Fail(Event::Seek, m_request->ErrorText(), kInternetError);
    }
    const HttpResponse& response = m_request->Response();
    std::string restart;
    if (response.status == 206) {
        std::int64_t first = -1, total = -1;
        const bool encoded = !response.contentEncoding.empty() &&
                             CompareNoCase(response.contentEncoding, "identity") != 0;
        // Every validator the record holds must be stated, and the same.
        const bool sameVersion =
            (recorded.lastModified.empty() || response.lastModified == recorded.lastModified) &&
            (recorded.etag.empty() || response.etag == recorded.etag);
        if (ParseContentRange(response.contentRange, first, total) && first == offset &&
            total == recorded.length && sameVersion && !encoded) {
            return kOk;
        }
        restart = encoded ? "the server sent the rest encoded (Content-Encoding: " +
                                response.contentEncoding + ")"
                  : !sameVersion
                      ? "the server sent the rest without the version of the partial file"
                      : Format(
                            "the server sent another part than the rest from byte %lld "
                            "(Content-Range: %s)",
                            static_cast<long long>(offset), response.contentRange.c_str());
    } else if (response.status == 200) {
        // A server that ignores ranges sends the whole file: it is used only
        // when it is the recorded version, read up to the offset unstored.
        const bool recordedVersion =
            IsContentLengthText(response.contentLength) && response.conflictingLength.empty() &&
            ParseContentLength(response.contentLength) == recorded.length &&
            (!recorded.lastModified.empty() || IsStrongEtag(recorded.etag)) &&
            response.lastModified == recorded.lastModified &&
            (recorded.etag.empty() || response.etag == recorded.etag);
        if (!recordedVersion) {
            restart = "the server sent the whole file of another version";
        } else {
            for (std::int64_t skipped = 0; skipped < offset;) {
                const std::size_t want =
                    static_cast<std::size_t>(std::min<std::int64_t>(offset - skipped, kLargeChunk));
                const long n = m_request->Read(m_buffer.data(), want, 1000);
                if (n == HttpRequest::kNothingYet)
                    continue;
                if (n <= 0) {
                    return Fail(
                        Event::Seek,
                        n == HttpRequest::kError
                            ? m_request->ErrorText()
                            : Format("the file ended before byte %lld (%s)",
                                     static_cast<long long>(offset), response.effectiveUrl.c_str()),
                        kInternetError);
                }
                skipped += n;
            }
            return kOk;
        }
    } else {
        restart = Format("the server answered %ld to the request for the rest from byte %lld",
                         response.status, static_cast<long long>(offset));
    }
    Notice(restart);
    offset = 0;
    if (const int r = RequestWhole(source); r != kOk)
        return r;
    return JudgeEmpty();
}

std::string CTransfer::RangeHeaders(std::int64_t first, std::int64_t last,
                                    const RemoteVersion& version) {
    // A range of an encoded body would be a range of other bytes.
    std::string headers = Format("Range: bytes=%lld-", static_cast<long long>(first));
    if (last >= 0)
        headers += std::to_string(last);
    headers += "\r\nAccept-Encoding: identity\r\n";
    if (IsStrongEtag(version.etag))
        headers += "If-Range: " + version.etag + "\r\n";
    else if (!version.lastModified.empty())
        headers += "If-Range: " + version.lastModified + "\r\n";
    return headers;
}

int CTransfer::Begin(std::int64_t offset) {
    m_record = {m_contentLength, m_remoteDate, offset, m_version.lastModified,
                m_version.etag,  true,         {}};
    m_received = offset;
    m_rateStart = {};
    m_rateDelivered = 0;
    m_segmented = MaySplit();
    if (m_segmented) {
        BeginSegments(m_resumeSegments);
        m_received = m_map.Done();
    }
    if (!WriteProgressRecord()) {
        return Fail(
            Event::Open,
            Format("cannot write %s: %s", m_dest.ControlPath().c_str(), std::strerror(errno)),
            kLocalFileError);
    }
    offset = m_received;
    if (m_entry != nullptr) {
        m_entry->length = m_contentLength;
        m_entry->date = m_remoteDate;
        m_entry->received = offset;
    }
    if (offset > 0 && m_totals != nullptr)
        m_totals->running += offset;
    ShowFileProgress();
    m_open = true;
    m_lastRead = 1023;
    m_sinceIdentityCheck = 0;
    return kOk;
}

int CTransfer::Open(const std::string& source, const std::string& localPath) {
    BeginStep();
    m_source = source;
    m_storedValid = false;
    m_resumeSegments = false;
    // The transfer holds the rate limit for the file as a whole. Without an
    // owner's pool, a file that may come over several connections gets one
    // of its own, whose requests still stand alone on the wire.
    m_requestSettings = m_settings;
    m_requestSettings.maxBytesPerSecond = 0;
    if (!m_requestSettings.pool && m_settings.connectionsPerFile > 1) {
        if (!m_ownPool)
            m_ownPool = std::make_shared<HttpPool>();
        m_requestSettings.pool = m_ownPool;
        m_requestSettings.alone = true;
        m_requestSettings.connections = m_settings.connectionsPerFile;
    }

    // The destination is judged before anything is made beside it or asked
    // of the source.
    const std::string resolved =
        IsAbsolutePath(localPath) ? localPath : JoinPath(m_baseDirectory, localPath);
    if (const std::string problem = m_dest.Judge(resolved); !problem.empty())
        return Fail(Event::Open, problem, kLocalFileError);
    if (const int r = AskSource(source); r != kOk)
        return r;

    MakeDirectories(resolved);
    if (m_fileProgress != nullptr) {
        m_fileProgress->SetRange(0, 100);
        m_fileProgress->SetPos(0);
    }
    std::string problem;
    if (!m_dest.Claim(problem))
        return Fail(Event::Open, problem, kLocalFileError);
    std::int64_t offset = ResumePoint();
    // A record that counts every byte (a run ended before it could close the
    // file) needs nothing more from the source.
    if (offset > 0 && offset < m_contentLength) {
        if (const int r = PositionSource(source, offset); r != kOk)
            return r;
    }
    if (!m_dest.OpenFile(offset, m_contentLength, m_freeSpace, problem, m_resumeSegments))
        return Fail(Event::Open, problem, kLocalFileError);
    return Begin(offset);
}

void CTransfer::LoseDestination(const std::string& text) {
    // Nothing of the file can be counted on any more.
    if (m_totals != nullptr)
        m_totals->running -= m_received;
    m_received = 0;
    if (m_entry != nullptr)
        m_entry->received = 0;
    m_record.received = 0;
    m_record.segments.clear();
    m_segmented = false;
    m_dest.WriteRecord(m_record);
    Report(Event::Write, text);
}

void CTransfer::Count(std::int64_t bytes) {
    m_received += bytes;
    if (m_entry != nullptr)
        m_entry->received = m_received;
    if (m_totals != nullptr)
        m_totals->running += bytes;
    ShowFileProgress();
    if (m_sessionBar != nullptr && m_totals != nullptr)
        m_sessionBar->SetPos(Percent(m_totals->running, m_totals->expected));
}

long CTransfer::Stop() {
    m_lastRead = 0;
    Finish();
    return 0;
}

long CTransfer::End(bool failed) {
    if (!m_dest.StillOurs()) {
        LoseDestination("the file " + m_dest.Path() +
                        " was removed or replaced while it was being written");
        return Stop();
    }
    if (!failed && m_received == m_contentLength) {
        // Complete only once the bytes are on the disk: a write error the
        // file system reports late leaves the file to be fetched again.
        std::string problem;
        m_complete = m_dest.Commit(problem);
        if (!m_complete)
            LoseDestination(problem);
    }
    return Stop();
}

long CTransfer::ReadChunk() {
    if (m_lastRead == 0)
        return 0;
    if (!m_segmented && m_received == m_contentLength)
        return End(false);
    long n = 0;
    bool failed = false;
    if (m_localSource >= 0) {
        const ssize_t r = ::read(m_localSource, m_buffer.data(), kLargeChunk);
        if (r < 0) {
            Report(Event::Read, Format("%s: %s", m_source.c_str(), std::strerror(errno)));
            failed = true;
        }
        n = r < 0 ? 0 : static_cast<long>(r);
    } else if (m_segmented) {
        return ReadSegments();
    } else if (m_request) {
        const std::int64_t allowed = Allowance();
        if (allowed <= 0) {
            WaitForData(m_readWaitMs);
            return kNothingYet;
        }
        n = m_request->Read(
            m_buffer.data(),
            static_cast<std::size_t>(std::min<std::int64_t>(allowed, std::int64_t(m_networkChunk))),
            m_readWaitMs);
        if (n == HttpRequest::kNothingYet)
            return kNothingYet;
        if (n == HttpRequest::kError) {
            Report(Event::Read, m_request->ErrorText());
            n = 0;
            failed = true;
        }
        Delivered(std::max(0L, n));
    }
    m_lastRead = n;
    if (n <= 0)
        return End(failed);

    std::size_t written = 0;
    std::string problem;
    const bool ok = m_dest.Write(m_buffer.data(), static_cast<std::size_t>(n), written, problem);
    Count(static_cast<std::int64_t>(written));
    const bool recorded = WriteProgressRecord();
    if (!ok || !recorded) {
        Report(Event::Write, ok ? Format("cannot write %s: %s", m_dest.ControlPath().c_str(),
                                         std::strerror(errno))
                                : problem);
        return Stop();
    }
    if (!StillOurs(n))
        return Stop();
    return n;
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
    return false;
}

std::int64_t CTransfer::Allowance() {
    const std::int64_t rate = m_settings.maxBytesPerSecond;
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
        const double due = 1000.0 * static_cast<double>(1 - allowed) /
                           static_cast<double>(m_settings.maxBytesPerSecond);
        ms = std::min(ms, static_cast<int>(due) + 1);
    }
    if (m_requestSettings.pool)
        m_requestSettings.pool->Wait(std::max(ms, 1));
    else if (allowed <= 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool CTransfer::WriteProgressRecord() {
    m_record.received = m_segmented ? m_map.Prefix() : m_received;
    m_record.segments = m_segmented ? m_map.Segments() : std::vector<Segment>();
    return m_dest.WriteRecord(m_record);
}

int CTransfer::ConnectionCount() const {
    if (m_segmented)
        return static_cast<int>(m_connections.size());
    return m_open && m_lastRead != 0 ? 1 : 0;
}

void CTransfer::StampDestination() const {
    if (m_received > 0 || m_complete)
        m_dest.Stamp(m_remoteDate);
}

void CTransfer::Finish() {
    m_checkRequest.reset();
    m_request.reset();
    m_connections.clear();
    m_segmented = false;
    if (m_open) {
        m_open = false;
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
