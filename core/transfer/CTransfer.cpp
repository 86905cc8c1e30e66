#include "transfer/CTransfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/ByteOrder.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "session/WorkListEntry.h"
#include "transfer/FileTime.h"

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

// "bytes first-last/total" of a Content-Range header.
bool ParseContentRange(const std::string& text, std::int64_t& first, std::int64_t& total) {
    long long a = 0, b = 0, t = 0;
    if (std::sscanf(text.c_str(), " bytes %lld-%lld/%lld", &a, &b, &t) != 3)
        return false;
    first = a;
    total = t;
    return true;
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

void EncodeControlRecord(const ControlRecord& record, unsigned char (&out)[kControlRecordSize]) {
    PutInt32(out + 0, record.length);
    PutDouble(out + 4, record.date);
    PutInt32(out + 12, record.received);
}

ControlRecord DecodeControlRecord(const unsigned char (&in)[kControlRecordSize]) {
    return {GetInt32(in + 0), GetDouble(in + 4), GetInt32(in + 12)};
}

std::string ControlFilePath(std::string_view destination) {
    const std::string native = ToNativePath(destination);
    const std::size_t slash = LastSeparator(native);
    if (slash == std::string::npos)
        return {};
    return native.substr(0, slash) + "/CTL_" + native.substr(slash + 1);
}

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

std::string CTransfer::TakeResponseHeaders(const HttpResponse& response) {
    m_remoteDate = DateNumberOf(response.lastModified);
    const std::int64_t length = ParseContentLength(response.contentLength);
    std::string problem = LengthProblem(response.contentLength, length, response.effectiveUrl);
    if (problem.empty())
        m_contentLength = length;
    return problem;
}

int CTransfer::Check(const std::string& source) {
    m_remoteDate = 0;
    m_contentLength = 0;
    Finish();
    m_statusCode = 0;
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
    if (m_contentLength == 0)
        return kRefused;
    return kOk;
}

std::int64_t CTransfer::ResumeOffset(const std::string& controlPath) const {
    std::FILE* file = std::fopen(controlPath.c_str(), "rb");
    if (file == nullptr)
        return 0;
    unsigned char bytes[kControlRecordSize];
    const bool whole = std::fread(bytes, 1, sizeof bytes, file) == sizeof bytes;
    std::fclose(file);
    if (!whole)
        return 0;
    const ControlRecord stored = DecodeControlRecord(bytes);
    if (stored.length != m_contentLength || stored.date != m_remoteDate)
        return 0;
    if (stored.received <= 0 || stored.received > m_contentLength)
        return 0;
    // Without a modification date nothing tells whether the bytes on disk
    // belong to the file the server has now; such a file starts over.
    if (m_localSource < 0 && m_remoteDate == 0)
        return 0;
    // The count never covers more than the destination really holds.
    struct stat st {};
    if (::stat(m_destinationPath.c_str(), &st) != 0)
        return 0;
    return std::min<std::int64_t>(stored.received, st.st_size);
}

bool CTransfer::PositionSource(const std::string& source, std::int64_t offset, std::string& error) {
    if (m_localSource >= 0) {
        if (::lseek(m_localSource, offset, SEEK_SET) == offset)
            return true;
        error = Format("cannot go to byte %lld of %s: %s", static_cast<long long>(offset),
                       source.c_str(), std::strerror(errno));
        return false;
    }
    // Ask again for the rest of the file, guarded by the modification date of
    // the answer just compared: a server that still has that version sends the
    // rest (206), one whose file changed sends the whole new file (200).
    const std::string lastModified = m_request->Response().lastModified;
    m_request = std::make_unique<HttpRequest>(m_settings);
    std::string headers = Format("Range: bytes=%lld-\r\n", static_cast<long long>(offset));
    if (!lastModified.empty())
        headers += "If-Range: " + lastModified + "\r\n";
    if (!m_request->Send(source, headers)) {
        error = m_request->ErrorText();
        return false;
    }
    const HttpResponse& response = m_request->Response();
    const std::string where = " (" + response.effectiveUrl + ")";
    if (response.status == 206) {
        std::int64_t first = -1, total = -1;
        if (ParseContentRange(response.contentRange, first, total) && first == offset &&
            total == m_contentLength) {
            return true;
        }
        error = Format(
                    "the server sent another part of the file than the rest from byte %lld "
                    "(Content-Range: %s)",
                    static_cast<long long>(offset), response.contentRange.c_str()) +
                where;
        return false;
    }
    if (response.status == 200) {
        // A server that ignores ranges sends the whole file: it is used only if
        // it is the same version, and read up to the offset without storing.
        if (ParseContentLength(response.contentLength) != m_contentLength ||
            response.lastModified != lastModified) {
            error = "the file changed on the server while it was being opened again" + where;
            return false;
        }
        for (std::int64_t skipped = 0; skipped < offset;) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::int64_t>(offset - skipped, kLargeChunk));
            const long n = m_request->Read(m_buffer.data(), want, 1000);
            if (n == HttpRequest::kNothingYet)
                continue;
            if (n <= 0) {
                error = n == HttpRequest::kError ? m_request->ErrorText()
                                                 : Format("the file ended before byte %lld",
                                                          static_cast<long long>(offset)) +
                                                       where;
                return false;
            }
            skipped += n;
        }
        return true;
    }
    error = Format("the server answered %ld to the request for the rest from byte %lld",
                   response.status, static_cast<long long>(offset)) +
            where;
    return false;
}

bool CTransfer::WriteRecord() {
    if (m_control == nullptr)
        return false;
    unsigned char bytes[kControlRecordSize];
    EncodeControlRecord(m_record, bytes);
    // Written after the chunk it counts and pushed to the file at once, so
    // the count on disk is current and never ahead of the destination.
    return std::fseek(m_control, 0, SEEK_SET) == 0 &&
           std::fwrite(bytes, 1, sizeof bytes, m_control) == sizeof bytes &&
           std::fflush(m_control) == 0;
}

int CTransfer::Open(const std::string& source, const std::string& localPath) {
    m_remoteDate = 0;
    m_contentLength = 0;
    Finish();
    m_statusCode = 0;
    m_received = 0;
    m_source = source;

    if (IsLocalSource(source)) {
        const LocalFileInfo info = GetLocalFileInfo(source);
        m_remoteDate = info.date;
        const std::string problem = LengthProblem(std::to_string(info.length), info.length, source);
        if (!problem.empty()) {
            Report(Event::Open, problem);
            return kRefused;
        }
        m_contentLength = info.length;
        m_localSource = ::open(ToNativePath(source).c_str(), O_RDONLY | O_CLOEXEC);
        if (m_localSource < 0)
            return kRefused;
    } else {
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
    }

    const std::string resolved =
        IsAbsolutePath(localPath) ? localPath : JoinPath(m_baseDirectory, localPath);
    m_destinationPath = ToNativePath(resolved);
    MakeDirectories(resolved);
    if (m_fileProgress != nullptr) {
        m_fileProgress->SetRange(0, 100);
        m_fileProgress->SetPos(0);
    }
    // A destination that cannot be made is said, not only returned: a wrong
    // path would otherwise end the transfer without a word.
    m_controlPath = ControlFilePath(resolved);
    if (m_controlPath.empty()) {
        Report(Event::Open, "the local path " + m_destinationPath + " names no file in a folder");
        return kLocalFileError;
    }

    m_record = {static_cast<std::int32_t>(m_contentLength), m_remoteDate, 0};
    if (m_entry != nullptr) {
        m_entry->length = static_cast<std::int32_t>(m_contentLength);
        m_entry->date = m_remoteDate;
        m_entry->received = 0;
    }
    const std::int64_t offset = ResumeOffset(m_controlPath);
    if (offset > 0) {
        m_record.received = static_cast<std::int32_t>(offset);
        if (m_entry != nullptr)
            m_entry->received = static_cast<std::int32_t>(offset);
        if (m_mode == ReportMode::Session && m_log != nullptr) {
            m_log->Write(
                Format("SEEK ON POS:%lld and completing this file", static_cast<long long>(offset)),
                true);
        }
    }

    m_control = std::fopen(m_controlPath.c_str(), "wb");
    if (m_control == nullptr) {
        Report(Event::Open,
               Format("cannot create %s: %s", m_controlPath.c_str(), std::strerror(errno)));
        return kLocalFileError;
    }
    WriteRecord();

    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (offset > 0 ? 0 : O_TRUNC);
    m_destination = ::open(m_destinationPath.c_str(), flags, 0666);
    if (m_destination < 0) {
        Report(Event::Open,
               Format("cannot open %s: %s", m_destinationPath.c_str(), std::strerror(errno)));
        return kLocalFileError;
    }
    struct stat st {};
    if (::fstat(m_destination, &st) == 0) {
        m_destinationDevice = st.st_dev;
        m_destinationInode = st.st_ino;
    }
    if (offset > 0) {
        // Bytes beyond the count were never confirmed; they are dropped so the
        // file holds exactly what the record says.
        std::string error;
        if (::ftruncate(m_destination, offset) != 0 ||
            ::lseek(m_destination, offset, SEEK_SET) != offset) {
            error = Format("cannot go to byte %lld of %s: %s", static_cast<long long>(offset),
                           m_destinationPath.c_str(), std::strerror(errno));
        } else {
            PositionSource(source, offset, error);
        }
        if (!error.empty()) {
            Report(Event::Seek, error);
            Finish();
            return kInternetError;
        }
        m_received = offset;
        if (m_totals != nullptr)
            m_totals->running += offset;
    }
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

    std::size_t written = 0;
    const bool ok = m_destination >= 0 && WriteAll(m_destination, m_buffer.data(), n, written);
    const int writeErrno = errno;
    m_received += static_cast<std::int64_t>(written);
    if (m_entry != nullptr)
        m_entry->received = static_cast<std::int32_t>(m_received);
    if (m_totals != nullptr)
        m_totals->running += static_cast<std::int64_t>(written);
    ShowFileProgress();
    if (m_sessionBar != nullptr && m_totals != nullptr) {
        m_sessionBar->SetPos(Percent(m_totals->running, m_totals->expected));
    }
    m_record.received = static_cast<std::int32_t>(m_received);
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

void CTransfer::Finish() {
    m_request.reset();
    if (m_destination >= 0) {
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
    if (m_control != nullptr) {
        std::fclose(m_control);
        m_control = nullptr;
        // The record as it reached the disk decides: only a file whose count
        // equals the announced length of the same version is complete.
        if (std::FILE* file = std::fopen(m_controlPath.c_str(), "rb")) {
            unsigned char bytes[kControlRecordSize];
            const bool whole = std::fread(bytes, 1, sizeof bytes, file) == sizeof bytes;
            std::fclose(file);
            const ControlRecord stored = DecodeControlRecord(bytes);
            if (whole && stored.length == m_contentLength && stored.date == m_remoteDate &&
                stored.received == m_contentLength) {
                std::remove(m_controlPath.c_str());
            }
        }
    }
}

}  // namespace tvx
