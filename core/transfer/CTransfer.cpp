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
#include "transfer/CSegmentFetch.h"
#include "transfer/FileOrigin.h"
#include "transfer/FileTime.h"
#include "transfer/ResponseHead.h"

namespace tvx {

namespace {

constexpr char kBells[] = "\a\a";

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
    // The owner's bars, animation, log and message boxes may already be gone.
    m_fileProgress = nullptr;
    m_animation = nullptr;
    m_ui = nullptr;
    m_log = nullptr;
    m_entry = nullptr;
    m_totals = nullptr;
    m_sessionBar = nullptr;
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
        "OPEN ERROR: ", "SEEK ERROR: ", "READ ERROR: ", "WRITE ERROR: ", "VERIFY ERROR: "};
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
        m_fileProgress->SetPos(Percent(m_onDisk, m_contentLength));
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
    m_onDisk = 0;
    m_problem.clear();
    m_hostUnreachable = false;
    m_complete = false;
    m_digestFailed = false;
    m_verified.clear();
    m_version = {};
}

std::string CTransfer::CheckConditions(const std::string& baseDirectory,
                                       const std::string& localPath) {
    if (localPath.empty())
        return {};
    const std::string resolved = ResolveLocalPath(baseDirectory, localPath);
    struct stat st {};
    if (::lstat(ToNativePath(resolved).c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        IsPartialDownload(resolved, baseDirectory))
        return {};
    const FileOrigin origin = ReadFileOrigin(ToNativePath(resolved));
    // An attribute is only taken as it could have come from a header line.
    const auto headerSafe = [](const std::string& value) {
        return !value.empty() && std::none_of(value.begin(), value.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
        });
    };
    if (headerSafe(origin.etag))
        return "If-None-Match: " + origin.etag + "\r\n";
    if (headerSafe(origin.lastModified))
        return "If-Modified-Since: " + origin.lastModified + "\r\n";
    return {};
}

void CTransfer::PrepareRequests() {
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
}

int CTransfer::Check(const std::string& source, const std::string& localPath) {
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
    const std::string conditions = CheckConditions(m_baseDirectory, localPath);
    // Made as the fetch makes its requests, so that the fetch can go on
    // with this answer's body.
    PrepareRequests();
    m_checkRequest = std::make_unique<HttpRequest>(m_requestSettings);
    if (!m_checkRequest->Send(source, conditions)) {
        // An empty address is no request; there is nothing to tell about it.
        m_problem = source.empty() ? std::string() : m_checkRequest->ErrorText();
        m_hostUnreachable = m_checkRequest->HostUnreachable();
        m_checkRequest.reset();
        return kInternetError;
    }
    if (!conditions.empty() && m_checkRequest->Response().status == 304) {
        // Not modified: the server still has the version the local copy
        // remembers, whose length and date are the copy's own.
        m_checkRequest.reset();
        const std::string resolved = ResolveLocalPath(m_baseDirectory, localPath);
        const LocalFileInfo local = GetLocalFileInfo(resolved);
        const FileOrigin origin = ReadFileOrigin(ToNativePath(resolved));
        m_statusCode = 304;
        m_contentLength = local.length;
        m_remoteDate = origin.lastModified.empty() ? local.date : DateNumberOf(origin.lastModified);
        m_checked = {m_contentLength, m_remoteDate, origin.lastModified, origin.etag};
        return kOk;
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

CTransfer::Answer::~Answer() {
    if (localFd >= 0)
        ::close(localFd);
}

int CTransfer::RequestWhole(const std::string& source, Answer& answer) {
    // The answer of the check just made (a whole 200, its body not yet
    // read) is the fetch's first answer: its body is used, not thrown away
    // and asked for again.
    if (m_checkRequest && m_checkSource == source) {
        answer.request = std::move(m_checkRequest);
        if (const int r = TakeWholeAnswer(answer.request->Response()); r != kOk)
            return Fail(Event::Open, m_problem, r);
        return JudgeEmpty();
    }
    m_checkRequest.reset();
    answer.request = std::make_unique<HttpRequest>(m_requestSettings);
    if (!answer.request->Send(source)) {
        m_hostUnreachable = answer.request->HostUnreachable();
        return Fail(Event::Open, answer.request->ErrorText(), kInternetError);
    }
    if (const int r = TakeWholeAnswer(answer.request->Response()); r != kOk)
        return Fail(Event::Open, m_problem, r);
    return JudgeEmpty();
}

int CTransfer::Ask(const std::string& source, Answer& answer) {
    if (!IsLocalSource(source))
        return RequestWhole(source, answer);
    const LocalFileInfo info = GetLocalFileInfo(source);
    m_remoteDate = info.date;
    const std::string problem = LengthProblem(std::to_string(info.length), info.length, source);
    if (!problem.empty())
        return Fail(Event::Open, problem, kRefused);
    m_contentLength = info.length;
    m_version = LocalVersion(source, info);
    answer.localFd = ::open(ToNativePath(source).c_str(), O_RDONLY | O_CLOEXEC);
    if (answer.localFd < 0) {
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

bool CTransfer::MaySplit() const {
    return !IsLocalSource(m_source) && m_settings.connectionsPerFile > 1 &&
           m_requestSettings.pool &&
           m_contentLength >= kSplitFileFactor * m_settings.minSplitSize && NamesVersion(m_version);
}

CTransfer::StartPoint CTransfer::ResumePoint(const ControlState* stored) {
    StartPoint start;
    if (stored == nullptr || tvx::OnDisk(*stored) <= 0)
        return start;
    const ControlState& s = *stored;
    const bool local = IsLocalSource(m_source);
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
            local ? "the source file changed" : "the file changed on the server";
        if (s.extended && !s.lastModified.empty() && s.lastModified != m_version.lastModified &&
            !local) {
            Notice(changed + " (Last-Modified: " + m_version.lastModified +
                   ", the partial file has " + s.lastModified + ")");
        } else if (s.extended && !s.etag.empty() && s.etag != m_version.etag) {
            Notice(changed + " (ETag: " + m_version.etag + ", the partial file has " + s.etag +
                   ")");
        } else {
            Notice(local ? changed : "the partial file belongs to another version of the file");
        }
        return start;
    }
    // A count beyond the length (a server that sent more than it announced)
    // ties no byte to this version.
    if (s.prefix > m_contentLength)
        return start;
    const std::int64_t size = m_dest.ExistingSize();
    if (!s.segments.empty() && MaySplit()) {
        // Every counted byte must still be in the file.
        std::int64_t furthest = 0;
        for (const Segment& seg : s.segments)
            furthest = seg.done > 0 ? seg.Next() : furthest;
        if (size >= furthest) {
            start.offset = s.prefix;
            start.segments = s.segments;
        }
    }
    // One stream goes on from the prefix, which never counts more than the
    // destination really holds.
    if (start.segments.empty())
        start.offset = std::max<std::int64_t>(0, std::min(s.prefix, size));
    if (start.offset > 0) {
        if (m_entry != nullptr)
            m_entry->received = start.offset;
        if (m_mode == ReportMode::Session && m_log != nullptr) {
            m_log->Write(Format("SEEK ON POS:%lld and completing this file",
                                static_cast<long long>(start.offset)),
                         true);
        }
    }
    return start;
}

int CTransfer::Position(const std::string& source, const ControlState& stored, StartPoint& start,
                        Answer& answer) {
    const std::int64_t offset = start.offset;
    if (answer.localFd >= 0) {
        if (::lseek(answer.localFd, offset, SEEK_SET) == offset)
            return kOk;
        return Fail(Event::Seek,
                    Format("cannot go to byte %lld of %s: %s", static_cast<long long>(offset),
                           source.c_str(), std::strerror(errno)),
                    kLocalFileError);
    }
    // The version the partial bytes came from: the record's own validators
    // when it has them, otherwise the answer just compared with it.
    const RemoteVersion recorded = stored.extended ? RemoteVersion{stored.length, stored.date,
                                                                   stored.lastModified, stored.etag}
                                                   : m_version;
    answer.request = std::make_unique<HttpRequest>(m_requestSettings);
    if (!answer.request->Send(source, RangeHeaders(offset, -1, recorded))) {
        m_hostUnreachable = answer.request->HostUnreachable();
        return Fail(Event::Seek, answer.request->ErrorText(), kInternetError);
    }
    const HttpResponse& response = answer.request->Response();
    std::string restart;
    if (response.status == 206) {
        switch (JudgeRangeAnswer(response, offset, recorded)) {
            case RangeAnswer::Right:
                return kOk;
            case RangeAnswer::Encoded:
                restart = "the server sent the rest encoded (Content-Encoding: " +
                          response.contentEncoding + ")";
                break;
            case RangeAnswer::OtherVersion:
                restart = "the server sent the rest without the version of the partial file";
                break;
            case RangeAnswer::Elsewhere:
                restart = Format(
                    "the server sent another part than the rest from byte %lld (Content-Range: %s)",
                    static_cast<long long>(offset), response.contentRange.c_str());
                break;
        }
    } else if (response.status == 200) {
        // A server that ignores ranges sends the whole file: it is used only
        // when it is the recorded version, read up to the offset unstored,
        // and the file goes on as one stream.
        const bool recordedVersion =
            IsContentLengthText(response.contentLength) && response.conflictingLength.empty() &&
            ParseContentLength(response.contentLength) == recorded.length &&
            NamesVersion(recorded) && response.lastModified == recorded.lastModified &&
            (recorded.etag.empty() || response.etag == recorded.etag);
        if (!recordedVersion) {
            restart = "the server sent the whole file of another version";
        } else {
            for (std::int64_t skipped = 0; skipped < offset;) {
                const std::size_t want =
                    static_cast<std::size_t>(std::min<std::int64_t>(offset - skipped, kLargeChunk));
                const long n = answer.request->Read(m_buffer.data(), want, 1000);
                if (n == HttpRequest::kNothingYet)
                    continue;
                if (n <= 0) {
                    return Fail(
                        Event::Seek,
                        n == HttpRequest::kError
                            ? answer.request->ErrorText()
                            : Format("the file ended before byte %lld (%s)",
                                     static_cast<long long>(offset), response.effectiveUrl.c_str()),
                        kInternetError);
                }
                skipped += n;
            }
            start.segments.clear();
            start.rangesIgnored = true;
            return kOk;
        }
    } else {
        restart = Format("the server answered %ld to the request for the rest from byte %lld",
                         response.status, static_cast<long long>(offset));
    }
    // Started over: nothing of the partial is kept, its segments least of all.
    Notice(restart);
    start = StartPoint{};
    return RequestWhole(source, answer);
}

int CTransfer::Open(const std::string& source, const std::string& localPath) {
    // The answer of a check of the same source outlives the step's reset:
    // the fetch goes on with it.
    std::unique_ptr<HttpRequest> checked = std::move(m_checkRequest);
    BeginStep();
    m_checkRequest = std::move(checked);
    m_source = source;
    PrepareRequests();

    // The destination is judged before anything is made beside it or asked
    // of the source.
    const std::string resolved = ResolveLocalPath(m_baseDirectory, localPath);
    if (const std::string problem = m_dest.Judge(resolved); !problem.empty())
        return Fail(Event::Open, problem, kLocalFileError);
    // A checksum file is read before the source is asked, so that no answer
    // waits on it.
    std::vector<Digest> expected = ListedDigests(source);
    Answer answer;
    if (const int r = Ask(source, answer); r != kOk)
        return r;

    MakeDirectories(resolved);
    if (m_fileProgress != nullptr) {
        m_fileProgress->SetRange(0, 100);
        m_fileProgress->SetPos(0);
    }
    std::string problem;
    if (!m_dest.Claim(problem))
        return Fail(Event::Open, problem, kLocalFileError);
    ControlState stored;
    const bool recorded = m_dest.ReadRecord(stored);
    StartPoint start = ResumePoint(recorded ? &stored : nullptr);
    // A record that counts every byte (a run ended before it could close the
    // file) needs nothing more from the source.
    if (start.offset > 0 && start.offset < m_contentLength) {
        if (const int r = Position(source, stored, start, answer); r != kOk)
            return r;
    }
    // The digests the file must match: the user's, the checksum files', and
    // those the answer states (Repr-Digest, else the older Digest; the
    // Content-Digest of a whole answer).
    if (answer.request) {
        const HttpResponse& response = answer.request->Response();
        std::vector<Digest> stated = ParseDigestField(response.reprDigest, "Repr-Digest");
        if (stated.empty())
            stated = ParseInstanceDigest(response.digest, "Digest");
        // The body of a whole answer is the file: its Content-Digest is the
        // file's too.
        if (response.status == 200) {
            for (Digest& d : ParseDigestField(response.contentDigest, "Content-Digest"))
                stated.push_back(std::move(d));
        }
        expected.insert(expected.end(), stated.begin(), stated.end());
    }
    m_digest = FileDigest(std::move(expected));
    // The record comes first: whenever the destination exists from here on,
    // a record beside it says what of it may be trusted. It counts what an
    // earlier record counted (durable then) or nothing, so it needs no sync.
    m_syncing = false;
    m_record = {m_contentLength, m_remoteDate, start.offset,  m_version.lastModified,
                m_version.etag,  true,         start.segments};
    if (!m_dest.WriteRecord(m_record)) {
        return Fail(
            Event::Open,
            Format("cannot write %s: %s", m_dest.ControlPath().c_str(), std::strerror(errno)),
            kLocalFileError);
    }
    if (!m_dest.OpenFile(start.offset, m_contentLength, m_freeSpace, problem,
                         !start.segments.empty()))
        return Fail(Event::Open, problem, kLocalFileError);
    if (m_digest.Wanted()) {
        // The bytes an earlier run left are hashed now, once; the rest as it
        // arrives.
        m_dest.Watch(&m_digest);
        if (!m_digest.CatchUp(m_dest.Descriptor(), start.offset, problem))
            return Fail(Event::Read, m_dest.Path() + ": " + problem, kLocalFileError);
    }
    Begin(start, answer);
    return kOk;
}

std::vector<Digest> CTransfer::ListedDigests(const std::string& source) {
    std::vector<Digest> digests = m_givenDigests;
    if (IsLocalSource(source))
        return digests;
    if (!m_sums && m_settings.checksumFiles)
        m_sums = std::make_shared<ChecksumFiles>();
    if (m_sums && (m_settings.checksumFiles || m_sums->Explicit())) {
        for (Digest& d : m_sums->For(source, m_requestSettings))
            digests.push_back(std::move(d));
    }
    return digests;
}

void CTransfer::StampDestination() const {
    if (m_complete)
        m_dest.Stamp(m_remoteDate);
}

bool CTransfer::LocalCopyCurrent(const std::string& localPath) const {
    const std::string resolved = ResolveLocalPath(m_baseDirectory, localPath);
    const LocalFileInfo local = GetLocalFileInfo(resolved);
    if (local.length != m_contentLength || local.date != m_remoteDate ||
        IsPartialDownload(resolved, m_baseDirectory))
        return false;
    // Another ETag is another version, whatever length and minute say.
    const std::string remembered = ReadFileOrigin(ToNativePath(resolved)).etag;
    return remembered.empty() || m_checked.etag.empty() || remembered == m_checked.etag;
}

}  // namespace tvx
