#include "transfer/CTransfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

// A byte count as people read it: "4.2 GB", "512.0 KB", "900 bytes".
std::string HumanBytes(std::int64_t n) {
    const double v = static_cast<double>(n);
    if (n >= 1000LL * 1000 * 1000)
        return Format("%.1f GB", v / 1e9);
    if (n >= 1000LL * 1000)
        return Format("%.1f MB", v / 1e6);
    if (n >= 1000)
        return Format("%.1f KB", v / 1e3);
    return Format("%lld bytes", static_cast<long long>(n));
}

std::int64_t FreeBytes(const std::string& folder) {
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0)
        return -1;
    return static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize);
}

bool WriteAll(int fd, const char* data, std::size_t n, std::size_t& written) {
    written = 0;
    while (written < n) {
        const ssize_t w = ::write(fd, data + written, n - written);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        written += static_cast<std::size_t>(w);
    }
    return true;
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
    m_log->Write(kPrefix[static_cast<int>(event)] + text + kBells, false);
}

void CTransfer::ReportCheckError(const std::string& text) {
    if (m_mode == ReportMode::SingleFile) {
        if (m_ui != nullptr)
            m_ui->MessageBox("Error: " + text);
        return;
    }
    if (m_log != nullptr)
        m_log->Write("OPEN ERROR: " + text, false);
    if (m_ui != nullptr)
        m_ui->MessageBox("OPEN ERROR: " + text);
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

int CTransfer::Check(const std::string& source) {
    m_remoteDate = 0;
    m_contentLength = 0;
    Finish();
    m_statusCode = 0;
    m_checked = {};
    if (IsLocalSource(source)) {
        m_received = 0;
        const LocalFileInfo info = GetLocalFileInfo(source);
        m_remoteDate = info.date;
        const std::string problem = LengthProblem(std::to_string(info.length), info.length, source);
        if (!problem.empty()) {
            ReportCheckError(problem);
            return kRefused;
        }
        m_contentLength = info.length;
        m_checked = {info.length, info.date, {}, {}};
        return kOk;
    }
    HttpRequest request(m_settings);
    if (!request.Send(source)) {
        if (!source.empty())
            ReportCheckError(request.ErrorText());
        return kInternetError;
    }
    const HttpResponse& response = request.Response();
    m_statusCode = response.status;
    if (m_statusCode < 200 || m_statusCode > 299)
        return kRefused;
    const std::string problem = TakeResponseHeaders(response);
    if (!problem.empty()) {
        ReportCheckError(problem);
        return kRefused;
    }
    if (!response.hasContentLength && m_mode == ReportMode::SingleFile) {
        // Nothing tells how long the file is, so nothing could tell whether
        // it arrived whole.
        ReportCheckError("the server announced no length (no Content-Length) (" +
                         response.effectiveUrl + ")");
    }
    if (m_contentLength == 0)
        return kRefused;
    m_checked = m_version;
    return kOk;
}

int CTransfer::RequestWhole(const std::string& source) {
    m_request = std::make_unique<HttpRequest>(m_settings);
    if (!m_request->Send(source)) {
        Report(Event::Open, m_request->ErrorText());
        Finish();
        return kInternetError;
    }
    const HttpResponse& response = m_request->Response();
    m_statusCode = response.status;
    if (m_statusCode < 200 || m_statusCode > 299) {
        Finish();
        return kRefused;
    }
    const std::string problem = TakeResponseHeaders(response);
    if (!problem.empty()) {
        Report(Event::Open, problem);
        Finish();
        return kRefused;
    }
    return kOk;
}

int CTransfer::JudgeOpenAnswer(bool hasExpected, const RemoteVersion& expected) {
    std::string problem;
    const std::string where =
        m_request ? " (" + m_request->Response().effectiveUrl + ")" : " (" + m_source + ")";
    if (hasExpected && (m_contentLength != expected.length || m_remoteDate != expected.date)) {
        problem = Format(
            "the file changed on the server after it was checked: %lld bytes of %.0f, the check "
            "saw %lld bytes of %.0f; nothing was written, try again",
            static_cast<long long>(m_contentLength), m_remoteDate,
            static_cast<long long>(expected.length), expected.date);
    } else if (m_contentLength <= 0 && m_localSource < 0) {
        problem = "the server announced an empty file; nothing was written";
    }
    if (problem.empty())
        return kOk;
    Report(Event::Open, problem + where);
    Finish();
    return kRefused;
}

std::int64_t CTransfer::ResumeOffset(std::string& restart) const {
    restart.clear();
    if (!m_storedValid || m_stored.received <= 0)
        return 0;
    const ControlState& s = m_stored;
    bool same = s.length == m_contentLength && s.date == m_remoteDate;
    if (m_localSource < 0) {
        if (s.extended) {
            // Exactly the version the bytes came from, and something that
            // names it (a date to the second or an ETag).
            const bool strongEtag = !s.etag.empty() && s.etag.rfind("W/", 0) != 0;
            same = same && s.lastModified == m_version.lastModified &&
                   (s.etag.empty() || m_version.etag.empty() || s.etag == m_version.etag) &&
                   ((m_remoteDate != 0 && !s.lastModified.empty()) || strongEtag);
        } else {
            // A record of an older program: its minute-wide date is all there
            // is, and without one nothing ties the bytes to this version.
            same = same && m_remoteDate != 0;
        }
    }
    if (!same) {
        if (s.extended && !s.lastModified.empty() && s.lastModified != m_version.lastModified) {
            restart = "the file changed on the server (Last-Modified: " + m_version.lastModified +
                      ", the partial file has " + s.lastModified + ")";
        } else if (s.extended && !s.etag.empty() && s.etag != m_version.etag) {
            restart = "the file changed on the server (ETag: " + m_version.etag +
                      ", the partial file has " + s.etag + ")";
        } else {
            restart = "the partial file belongs to another version of the file";
        }
        return 0;
    }
    if (s.received > m_contentLength)
        return 0;
    // The count never covers more than the destination really holds.
    struct stat st {};
    if (::stat(m_destinationPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return std::min<std::int64_t>(s.received, st.st_size);
}

CTransfer::Position CTransfer::PositionSource(const std::string& source, std::int64_t offset,
                                              std::string& text) {
    if (m_localSource >= 0) {
        if (::lseek(m_localSource, offset, SEEK_SET) == offset)
            return Position::Ok;
        text = Format("cannot go to byte %lld of %s: %s", static_cast<long long>(offset),
                      source.c_str(), std::strerror(errno));
        return Position::Error;
    }
    // The version the partial bytes came from: the record's own validators
    // when it has them, otherwise the answer just compared with it.
    const RemoteVersion recorded =
        m_stored.extended
            ? RemoteVersion{m_stored.length, m_stored.date, m_stored.lastModified, m_stored.etag}
            : m_version;
    const bool strongEtag = !recorded.etag.empty() && recorded.etag.rfind("W/", 0) != 0;
    m_request = std::make_unique<HttpRequest>(m_settings);
    std::string headers = Format("Range: bytes=%lld-\r\n", static_cast<long long>(offset));
    if (strongEtag)
        headers += "If-Range: " + recorded.etag + "\r\n";
    else if (!recorded.lastModified.empty())
        headers += "If-Range: " + recorded.lastModified + "\r\n";
    if (!m_request->Send(source, headers)) {
        text = m_request->ErrorText();
        return Position::Error;
    }
    const HttpResponse& response = m_request->Response();
    const auto sameValidators = [&] {
        return (response.lastModified.empty() || response.lastModified == recorded.lastModified) &&
               (response.etag.empty() || recorded.etag.empty() || response.etag == recorded.etag);
    };
    if (response.status == 206) {
        std::int64_t first = -1, total = -1;
        if (ParseContentRange(response.contentRange, first, total) && first == offset &&
            total == recorded.length && sameValidators()) {
            return Position::Ok;
        }
        text = Format(
            "the server sent another part than the rest from byte %lld (Content-Range: "
            "%s)",
            static_cast<long long>(offset), response.contentRange.c_str());
        return Position::Restart;
    }
    if (response.status == 200) {
        // A server that ignores ranges sends the whole file: it is used only
        // when it is the recorded version, read up to the offset unstored.
        const bool recordedVersion =
            IsContentLengthText(response.contentLength) && response.conflictingLength.empty() &&
            ParseContentLength(response.contentLength) == recorded.length &&
            (!recorded.lastModified.empty() || strongEtag) &&
            response.lastModified == recorded.lastModified &&
            (recorded.etag.empty() || response.etag == recorded.etag);
        if (!recordedVersion) {
            text = "the server sent the whole file of another version";
            return Position::Restart;
        }
        for (std::int64_t skipped = 0; skipped < offset;) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::int64_t>(offset - skipped, kLargeChunk));
            const long n = m_request->Read(m_buffer.data(), want, 1000);
            if (n == HttpRequest::kNothingYet)
                continue;
            if (n <= 0) {
                text = n == HttpRequest::kError
                           ? m_request->ErrorText()
                           : Format("the file ended before byte %lld (%s)",
                                    static_cast<long long>(offset), response.effectiveUrl.c_str());
                return Position::Error;
            }
            skipped += n;
        }
        return Position::Ok;
    }
    text = Format("the server answered %ld to the request for the rest from byte %lld",
                  response.status, static_cast<long long>(offset));
    return Position::Restart;
}

bool CTransfer::WriteRecord() {
    if (m_control < 0)
        return false;
    const std::vector<unsigned char> bytes = EncodeControlFile(m_record);
    // Written after the chunk it counts, in one call that reaches the file at
    // once, so the count on disk is current and never ahead of the destination.
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(m_control, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    if (bytes.size() != m_controlSize) {
        if (::ftruncate(m_control, static_cast<off_t>(bytes.size())) != 0)
            return false;
        m_controlSize = bytes.size();
    }
    return true;
}

int CTransfer::Open(const std::string& source, const std::string& localPath) {
    const bool hasExpected = m_hasExpected;
    const RemoteVersion expected = m_expected;
    m_hasExpected = false;
    m_remoteDate = 0;
    m_contentLength = 0;
    Finish();
    m_statusCode = 0;
    m_received = 0;
    m_source = source;
    m_version = {};
    m_storedValid = false;
    m_truncatePending = false;
    m_destinationCreated = false;

    // The destination is judged before anything is made beside it: a path
    // that names a folder gets no control file and no request.
    const std::string resolved =
        IsAbsolutePath(localPath) ? localPath : JoinPath(m_baseDirectory, localPath);
    m_destinationPath = ToNativePath(resolved);
    m_controlPath = ControlFilePath(resolved);
    struct stat st {};
    const bool namesFolder = m_destinationPath.empty() || m_destinationPath.back() == '/' ||
                             (::stat(m_destinationPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
    if (namesFolder || m_controlPath.empty()) {
        Report(Event::Open,
               "the local path " + m_destinationPath +
                   (namesFolder ? " names a folder, not a file" : " names no file in a folder"));
        return kLocalFileError;
    }

    if (IsLocalSource(source)) {
        const LocalFileInfo info = GetLocalFileInfo(source);
        m_remoteDate = info.date;
        const std::string problem = LengthProblem(std::to_string(info.length), info.length, source);
        if (!problem.empty()) {
            Report(Event::Open, problem);
            return kRefused;
        }
        m_contentLength = info.length;
        m_version = {info.length, info.date, {}, {}};
        m_localSource = ::open(ToNativePath(source).c_str(), O_RDONLY | O_CLOEXEC);
        if (m_localSource < 0)
            return kRefused;
    } else if (const int r = RequestWhole(source); r != kOk) {
        return r;
    }
    if (const int r = JudgeOpenAnswer(hasExpected, expected); r != kOk)
        return r;

    MakeDirectories(resolved);
    if (m_fileProgress != nullptr) {
        m_fileProgress->SetRange(0, 100);
        m_fileProgress->SetPos(0);
    }

    m_storedValid = ReadControlFile(m_controlPath, m_stored);
    std::string restart;
    std::int64_t offset = ResumeOffset(restart);
    if (!restart.empty())
        Notice(restart);
    if (offset > 0) {
        if (m_entry != nullptr)
            m_entry->received = offset;
        if (m_mode == ReportMode::Session && m_log != nullptr) {
            m_log->Write(
                Format("SEEK ON POS:%lld and completing this file", static_cast<long long>(offset)),
                true);
        }
    }

    // Opened without following a link: a control file that is a symbolic
    // link would otherwise write the record over whatever it points to.
    m_control = ::open(m_controlPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (m_control < 0) {
        const int error = errno;
        Report(Event::Open,
               error == ELOOP
                   ? "the control file " + m_controlPath + " is a symbolic link; it is left alone"
                   : Format("cannot create %s: %s", m_controlPath.c_str(), std::strerror(error)));
        Finish();
        return kLocalFileError;
    }
    m_controlSize = ::fstat(m_control, &st) == 0 ? static_cast<std::size_t>(st.st_size) : 0;

    if (offset > 0) {
        std::string text;
        const Position position = PositionSource(source, offset, text);
        if (position == Position::Error) {
            Report(Event::Seek, text);
            Finish();
            return kInternetError;
        }
        if (position == Position::Restart) {
            Notice(text);
            offset = 0;
            if (const int r = RequestWhole(source); r != kOk)
                return r;
            // The fresh answer must still be the version the check saw.
            if (const int r = JudgeOpenAnswer(
                    true,
                    hasExpected ? expected : RemoteVersion{m_stored.length, m_stored.date, {}, {}});
                r != kOk) {
                return r;
            }
        }
    }

    // The bytes still to come must fit: the free space, and what cutting the
    // destination back to the offset gives back.
    {
        const std::size_t slash = m_destinationPath.rfind('/');
        const std::string folder = slash == 0 ? "/" : m_destinationPath.substr(0, slash);
        const std::int64_t free = m_freeSpace ? m_freeSpace(folder) : FreeBytes(folder);
        std::int64_t reusable = 0;
        if (::stat(m_destinationPath.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            reusable = std::max<std::int64_t>(0, st.st_size - offset);
        const std::int64_t needed = m_contentLength - offset;
        if (free >= 0 && needed > free + reusable) {
            Report(Event::Open,
                   Format("not enough space for %s: needs %s, %s free", m_destinationPath.c_str(),
                          HumanBytes(needed).c_str(), HumanBytes(free).c_str()));
            Finish();
            return kLocalFileError;
        }
    }

    m_destination =
        ::open(m_destinationPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (m_destination >= 0)
        m_destinationCreated = true;
    else if (errno == EEXIST)
        m_destination = ::open(m_destinationPath.c_str(), O_WRONLY | O_CLOEXEC);
    if (m_destination < 0) {
        Report(Event::Open,
               Format("cannot open %s: %s", m_destinationPath.c_str(), std::strerror(errno)));
        Finish();
        return kLocalFileError;
    }
    if (::fstat(m_destination, &st) == 0) {
        m_destinationDevice = st.st_dev;
        m_destinationInode = st.st_ino;
    }
    if (offset > 0) {
        // Bytes beyond the count were never confirmed; they are dropped so the
        // file holds exactly what the record says.
        if (::ftruncate(m_destination, offset) != 0 ||
            ::lseek(m_destination, offset, SEEK_SET) != offset) {
            Report(Event::Seek,
                   Format("cannot go to byte %lld of %s: %s", static_cast<long long>(offset),
                          m_destinationPath.c_str(), std::strerror(errno)));
            Finish();
            return kInternetError;
        }
    } else {
        m_truncatePending = true;
    }

    m_record = {m_contentLength,        m_remoteDate,   offset,
                m_version.lastModified, m_version.etag, true};
    WriteRecord();
    m_received = offset;
    if (m_entry != nullptr) {
        m_entry->length = m_contentLength;
        m_entry->date = m_remoteDate;
        m_entry->received = offset;
    }
    if (offset > 0 && m_totals != nullptr)
        m_totals->running += offset;
    ShowFileProgress();
    m_lastRead = 1023;
    m_sinceIdentityCheck = 0;
    return kOk;
}

bool CTransfer::DestinationStillOurs() const {
    struct stat st {};
    return ::stat(m_destinationPath.c_str(), &st) == 0 && st.st_dev == m_destinationDevice &&
           st.st_ino == m_destinationInode;
}

void CTransfer::LoseDestination(const std::string& text) {
    // Nothing of the file is where it belongs any more.
    if (m_totals != nullptr)
        m_totals->running -= m_received;
    m_received = 0;
    if (m_entry != nullptr)
        m_entry->received = 0;
    m_record.received = 0;
    WriteRecord();
    Report(Event::Write, text);
}

long CTransfer::ReadChunk() {
    if (m_lastRead == 0)
        return 0;
    long n = 0;
    if (m_localSource >= 0) {
        const ssize_t r = ::read(m_localSource, m_buffer.data(), kLargeChunk);
        if (r < 0)
            Report(Event::Read, Format("%s: %s", m_source.c_str(), std::strerror(errno)));
        n = r < 0 ? 0 : static_cast<long>(r);
    } else if (m_request) {
        n = m_request->Read(m_buffer.data(), m_networkChunk, m_readWaitMs);
        if (n == HttpRequest::kNothingYet)
            return kNothingYet;
        if (n == HttpRequest::kError) {
            Report(Event::Read, m_request->ErrorText());
            n = 0;
        }
    }
    if (m_destination >= 0 && n <= 0 && !DestinationStillOurs()) {
        LoseDestination("the file " + m_destinationPath +
                        " was removed or replaced while it was being written");
    }
    m_lastRead = n;
    if (n <= 0) {
        m_lastRead = 0;
        Finish();
        return 0;
    }

    bool ok = m_destination >= 0;
    if (ok && m_truncatePending) {
        // The first byte of the new version is in hand: only now do the old
        // bytes go. An empty file is left as it is: cutting it would make the
        // file system write the whole new file back at close (its guard for
        // files replaced by truncation), which costs a large transfer seconds.
        struct stat st {};
        const bool empty = ::fstat(m_destination, &st) == 0 && st.st_size == 0;
        ok = (empty || ::ftruncate(m_destination, 0) == 0) &&
             ::lseek(m_destination, 0, SEEK_SET) == 0;
        m_truncatePending = !ok;
    }
    std::size_t written = 0;
    ok = ok && WriteAll(m_destination, m_buffer.data(), n, written);
    const int writeErrno = errno;
    m_received += static_cast<std::int64_t>(written);
    if (m_entry != nullptr)
        m_entry->received = m_received;
    if (m_totals != nullptr)
        m_totals->running += static_cast<std::int64_t>(written);
    ShowFileProgress();
    if (m_sessionBar != nullptr && m_totals != nullptr) {
        m_sessionBar->SetPos(Percent(m_totals->running, m_totals->expected));
    }
    m_record.received = m_received;
    WriteRecord();
    if (!ok) {
        Report(Event::Write,
               Format("cannot write %s: %s", m_destinationPath.c_str(), std::strerror(writeErrno)));
        m_lastRead = 0;
        Finish();
        return 0;
    }
    m_sinceIdentityCheck += n;
    if (m_sinceIdentityCheck >= kIdentityCheckInterval) {
        m_sinceIdentityCheck = 0;
        if (!DestinationStillOurs()) {
            LoseDestination("the file " + m_destinationPath +
                            " was removed or replaced while it was being written");
            m_lastRead = 0;
            Finish();
            return 0;
        }
    }
    return n;
}

void CTransfer::StampDestination() const {
    if (m_received > 0 && !m_destinationPath.empty())
        StampFileTime(m_destinationPath, m_remoteDate);
}

void CTransfer::Finish() {
    m_request.reset();
    const bool hadDestination = m_destination >= 0;
    if (hadDestination) {
        ::close(m_destination);
        m_destination = -1;
        if (m_fileProgress != nullptr)
            m_fileProgress->SetPos(0);
        if (m_animation != nullptr)
            m_animation->Stop();
    }
    if (m_localSource >= 0) {
        ::close(m_localSource);
        m_localSource = -1;
    }
    if (m_control >= 0) {
        ::close(m_control);
        m_control = -1;
        // The record as it reached the disk decides: only a file whose count
        // equals the announced length of the same version is complete. A
        // transfer that stored nothing leaves no record behind either.
        ControlState stored;
        const bool readable = ReadControlFile(m_controlPath, stored);
        const bool complete = readable && stored.length == m_contentLength &&
                              stored.date == m_remoteDate && stored.received == m_contentLength;
        struct stat st {};
        const bool empty = !readable && ::lstat(m_controlPath.c_str(), &st) == 0 &&
                           S_ISREG(st.st_mode) && st.st_size == 0;
        if (complete || empty || (readable && stored.received == 0 && m_received == 0))
            std::remove(m_controlPath.c_str());
        if (m_received == 0 && m_destinationCreated) {
            struct stat st {};
            if (::stat(m_destinationPath.c_str(), &st) == 0 && st.st_size == 0)
                std::remove(m_destinationPath.c_str());
        }
    }
    m_destinationCreated = false;
}

}  // namespace tvx
