// The requests of the HTTP layer on libcurl's multi interface. A request
// runs inside a multi handle so that the body can be pulled: Read pumps the
// transfer only until some bytes have arrived, and a write callback that
// finds the buffer full pauses the transfer until the reader has taken what
// is there. Memory stays at one buffer's worth however large the file is.
// Requests of an HttpPool share its multi handle (HttpPoolCurl.cpp).

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string_view>
#include <thread>

#include "platform/Paths.h"
#include "platform/Text.h"
#include "transfer/CurlImpl.h"

namespace tvx {

using namespace curlimpl;

namespace {

constexpr int kMaxRedirects = 10;
constexpr int kPollSliceMs = 50;
// A request that met the session's own limit is asked again at most this
// often; the host's number of connections drops with each such answer.
constexpr int kMaxBusyRounds = 12;
// A busy server alone: a Retry-After of up to this many seconds is waited
// for, at most twice; a longer one (or none) fails the request.
constexpr int kMaxRetryAfterSec = 30;
constexpr int kMaxAloneRetries = 2;

using Clock = std::chrono::steady_clock;

// A connection the server dropped before any answer, or an answer the
// library could not read.
bool IsBrokenAnswer(CURLcode code) {
    return code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING ||
           code == CURLE_WEIRD_SERVER_REPLY || code == CURLE_UNSUPPORTED_PROTOCOL;
}

// Seconds a Retry-After text asks for (a number, or a date); -1 for none.
long RetryAfterSeconds(const std::string& text) {
    const std::string_view trimmed = TrimHeaderText(text);
    if (trimmed.empty())
        return -1;
    if (IsContentLengthText(std::string(trimmed)))
        return static_cast<long>(
            std::min<std::int64_t>(ParseContentLength(std::string(trimmed)), 1L << 30));
    const time_t when = curl_getdate(std::string(trimmed).c_str(), nullptr);
    if (when == static_cast<time_t>(-1))
        return -1;
    return std::max<long>(0, static_cast<long>(when - std::time(nullptr)));
}

// libcurl's own words without the time a failed attempt took ("... after
// 3 ms: ..."): the same failure reads the same in every log, so two runs'
// logs can be compared line by line.
std::string WithoutElapsedTime(std::string text) {
    for (std::size_t at = text.find(" after "); at != std::string::npos;
         at = text.find(" after ", at + 1)) {
        std::size_t end = at + 7;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
            ++end;
        if (end > at + 7 && text.compare(end, 3, " ms") == 0)
            text.erase(at, end + 3 - at);
    }
    return text;
}

// What a failure of the secure connection means, before the library's own
// words (which name the check that failed); nullptr for other failures.
const char* TlsProblem(CURLcode code) {
    switch (code) {
        case CURLE_PEER_FAILED_VERIFICATION:
            return "the server's certificate is not trusted";
        case CURLE_SSL_CACERT_BADFILE:
            return "the file of trusted certificates cannot be used";
        case CURLE_SSL_CONNECT_ERROR:
            return "the secure connection could not be set up";
        case CURLE_SSL_ISSUER_ERROR:
            return "the server's certificate was not issued by the trusted authority";
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return "the server's certificate was refused";
        default:
            return nullptr;
    }
}

long CurlVersion(HttpVersion version) {
    switch (version) {
        case HttpVersion::Http1_0:
            return CURL_HTTP_VERSION_1_0;
        case HttpVersion::Http1_1:
            return CURL_HTTP_VERSION_1_1;
        case HttpVersion::Http2:
            return CURL_HTTP_VERSION_2_0;
        case HttpVersion::Auto:
            break;
    }
    return CURL_HTTP_VERSION_2TLS;
}

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

bool ParseHttpVersion(const std::string& text, HttpVersion& version) {
    static const std::pair<const char*, HttpVersion> kNames[] = {{"auto", HttpVersion::Auto},
                                                                 {"1.0", HttpVersion::Http1_0},
                                                                 {"1.1", HttpVersion::Http1_1},
                                                                 {"2", HttpVersion::Http2}};
    const std::string_view trimmed = TrimHeaderText(text);
    for (const auto& [name, value] : kNames) {
        if (CompareNoCase(trimmed, name) == 0) {
            version = value;
            return true;
        }
    }
    return false;
}

bool ParseHttpDate(const std::string& text, HttpDateFields& fields) {
    GlobalInit();
    if (TrimHeaderText(text).empty())
        return false;
    const time_t t = curl_getdate(text.c_str(), nullptr);
    if (t == static_cast<time_t>(-1))
        return false;
    struct tm tm {};
    if (gmtime_r(&t, &tm) == nullptr)
        return false;
    fields.year = tm.tm_year + 1900;
    fields.month = tm.tm_mon + 1;
    fields.day = tm.tm_mday;
    fields.hour = tm.tm_hour;
    fields.minute = tm.tm_min;
    fields.second = tm.tm_sec;
    return true;
}

std::string HostKey(const std::string& address) {
    const std::size_t scheme = address.find("://");
    if (scheme == std::string::npos)
        return {};
    const std::size_t end = address.find_first_of("/?#", scheme + 3);
    return LowerSchemeAndHost(address.substr(0, end));
}

namespace curlimpl {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool IsBusyStatus(long status) {
    return status == 503 || status == 429;
}

size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

}  // namespace curlimpl

void HttpRequest::Impl::Cleanup() {
    if (pool != nullptr)
        pool->live.erase(std::remove(pool->live.begin(), pool->live.end(), this), pool->live.end());
    if (easy != nullptr && pool != nullptr && head.headersDone && !done && !paused && !strict &&
        !aborted && head.bodyLimit >= 0 && head.bodyLimit - bodyTaken <= kDrainLimit) {
        pool->Drain(easy, headerList, host);
        easy = nullptr;
        headerList = nullptr;
    }
    if (easy != nullptr) {
        // A paused transfer holds what arrived meanwhile in a buffer of
        // the library's own, which this libcurl does not free when the
        // handle goes: it is let through to nowhere first.
        if (paused) {
            curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Discard);
            curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Discard);
            curl_easy_pause(easy, CURLPAUSE_CONT);
        }
        if (Multi() != nullptr)
            curl_multi_remove_handle(Multi(), easy);
        curl_easy_cleanup(easy);
        easy = nullptr;
    }
    if (multi != nullptr) {
        curl_multi_cleanup(multi);
        multi = nullptr;
    }
    if (headerList != nullptr) {
        curl_slist_free_all(headerList);
        headerList = nullptr;
    }
    pending.clear();
    pendingPos = 0;
    paused = false;
}

size_t HttpRequest::Impl::OnHeader(char* data, size_t size, size_t count, void* self) {
    Impl& impl = *static_cast<Impl*>(self);
    impl.head.Line(std::string_view(data, size * count));
    if (impl.head.headersDone && !impl.head.redirectPending && !impl.finalSeen && !impl.FinalHead())
        return 0;  // stops the transfer; its connection is not kept
    return size * count;
}

bool HttpRequest::Impl::FinalHead() {
    finalSeen = true;
    if (pool == nullptr)
        return true;
    HttpPool::Impl::Host& h = pool->HostState(host, settings.connections);
    h.answered = true;
    // A host that multiplexes takes its requests as streams of one
    // connection: from now on as many as the streams allow are sent to it
    // (unless it has already turned requests away for their number).
    long version = 0;
    curl_easy_getinfo(easy, CURLINFO_HTTP_VERSION, &version);
    if (!h.multiplexed && (version == CURL_HTTP_VERSION_2_0 || version == CURL_HTTP_VERSION_3)) {
        h.multiplexed = true;
        if (!h.limited)
            h.cap = HttpPool::kStreamsPerHost;
    }
    const HttpResponse& r = head.response;
    if (IsBusyStatus(r.status)) {
        const int others = pool->InFlight(host, this);
        if (others > 0 || h.limited) {
            busy = true;
            pool->NoteBusy(host, others, settings.connections);
        }
        aborted = true;
        return false;
    }
    // The library reads a length its own way; a head whose length this
    // side does not trust leaves the connection in an unknown state.
    malformed = !strict && (!r.conflictingLength.empty() ||
                            (r.hasContentLength && !IsContentLengthText(r.contentLength)));
    aborted = malformed;
    return !malformed;
}

void HttpRequest::Impl::Ended(CURLcode code) {
    done = true;
    result = code;
    if (pool == nullptr || head.headersDone || code == CURLE_OK || strict)
        return;
    const HttpPool::Impl::Host& h = pool->HostState(host, settings.connections);
    const int others = pool->InFlight(host, this);
    const bool dropped = code == CURLE_COULDNT_CONNECT || code == CURLE_RECV_ERROR ||
                         code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING ||
                         code == CURLE_HTTP2_STREAM;
    if (dropped && h.answered && (others > 0 || h.limited)) {
        busy = true;
        pool->NoteBusy(host, others, settings.connections);
    }
}

size_t HttpRequest::Impl::OnBody(char* data, size_t size, size_t count, void* self) {
    return static_cast<Impl*>(self)->Body(data, size * count);
}

size_t HttpRequest::Impl::Body(const char* data, size_t n) {
    if (head.redirectPending)
        return n;  // a redirect's own body is dropped
    // Bytes beyond the announced length are dropped.
    std::size_t keep = n;
    if (head.bodyLimit >= 0)
        keep = static_cast<std::size_t>(std::min<std::int64_t>(n, head.bodyLimit - bodyTaken));
    if (keep == 0)
        return n;
    if (Available() >= kPendingCap) {
        paused = true;
        return CURL_WRITEFUNC_PAUSE;  // delivered again once unpaused
    }
    Keep(data, keep);
    return n;
}

void HttpRequest::Impl::Keep(const char* data, size_t n) {
    // What the reader has taken goes before more is added, so the buffer
    // stays at about its cap however slowly the reader takes (a rate
    // limit reads a little at a time and never empties it).
    if (pendingPos > 0 && (pendingPos == pending.size() || pendingPos >= kPendingCap / 4)) {
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(pendingPos));
        pendingPos = 0;
    }
    pending.insert(pending.end(), data, data + n);
    bodyTaken += static_cast<std::int64_t>(n);
}

std::string HttpRequest::Impl::Describe(CURLcode code) const {
    const char* tls = TlsProblem(code);
    std::string text = tls != nullptr ? tls : curl_easy_strerror(code);
    if (errorBuffer[0] != '\0' && std::strstr(text.c_str(), errorBuffer) == nullptr) {
        text += ": " + WithoutElapsedTime(errorBuffer);
    }
    text += " (" + url + ")";
    return text;
}

bool HttpRequest::Impl::Start(const std::string& target, const std::string& extraHeaders) {
    Cleanup();
    url = target;
    host = HostKey(target);
    head = ResponseHeadParser{};
    finalSeen = aborted = busy = malformed = false;
    contentHash.reset();
    digestArmed = digestMismatch = false;
    bodyTaken = 0;
    bodyDelivered = 0;
    done = false;
    result = CURLE_OK;
    errorBuffer[0] = '\0';

    if (shared == nullptr)
        multi = curl_multi_init();
    easy = curl_easy_init();
    if (Multi() == nullptr || easy == nullptr) {
        error = "the network library could not be initialised";
        return false;
    }
    const auto given = [&](std::string_view name) {
        return std::any_of(settings.headers.begin(), settings.headers.end(),
                           [&](const std::string& line) {
                               return line.size() > name.size() && line[name.size()] == ':' &&
                                      CompareNoCase(std::string_view(line).substr(0, name.size()), name) == 0;
                           });
    };
    for (const std::string& line : settings.headers)
        headerList = curl_slist_append(headerList, line.c_str());
    if (!given("Accept"))
        headerList = curl_slist_append(headerList, "Accept: text/*");
    if (!given("User-Agent"))
        headerList = curl_slist_append(headerList, "User-Agent: GET HTTP");
    if (settings.wantDigest)
        headerList = curl_slist_append(headerList, "Want-Repr-Digest: sha-256=10, sha-512=5");
    // A pool keeps connections for the next request; an HTTP/1.0 server
    // keeps one open only when asked to. A request alone has its own
    // connection, and the server is asked to end it after the answer, so
    // that a body without a length ends there as HTTP/1.0 would end it.
    const bool http10 = settings.httpVersion == HttpVersion::Http1_0;
    if (!strict && http10)
        headerList = curl_slist_append(headerList, "Connection: keep-alive");
    else if (strict && !http10)
        headerList = curl_slist_append(headerList, "Connection: close");
    std::string_view extra = extraHeaders;
    while (!extra.empty()) {
        const std::size_t end = extra.find("\r\n");
        const std::string line(extra.substr(0, end));
        if (!line.empty())
            headerList = curl_slist_append(headerList, line.c_str());
        if (end == std::string_view::npos)
            break;
        extra.remove_prefix(end + 2);
    }
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CurlVersion(settings.httpVersion));
    // Requests of a pool to a host that may speak HTTP/2 (over TLS, where
    // it is offered) wait for its first connection to say so, and then go
    // over it as streams rather than each opening a connection of its
    // own. On a connection that will not multiplex, waiting would put
    // them one after the other.
    if (!strict && shared != nullptr && host.rfind("https:", 0) == 0 &&
        settings.httpVersion != HttpVersion::Http1_0 &&
        settings.httpVersion != HttpVersion::Http1_1) {
        curl_easy_setopt(easy, CURLOPT_PIPEWAIT, 1L);
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
    // Through a proxy (http_proxy, https_proxy, no_proxy, all_proxy from the
    // environment, as libcurl reads them) an https address is tunnelled with
    // CONNECT; the proxy's own answer to it is no answer of the server's.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    // The body's end is judged here from the head (ResponseHead), not by
    // the library. In a pool the library must know it too, or it waits
    // for the server to close and never keeps the connection.
    curl_easy_setopt(easy, CURLOPT_IGNORE_CONTENT_LENGTH, strict ? 1L : 0L);
    if (strict && shared != nullptr) {
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    }
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 64L * 1024L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, static_cast<long>(settings.connectTimeoutSec));
    if (!settings.caFile.empty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, settings.caFile.c_str());
    if (!settings.referer.empty())
        curl_easy_setopt(easy, CURLOPT_REFERER, settings.referer.c_str());
    if (!settings.cookies.empty()) {
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // the cookie engine, no file
        for (const std::string& line : settings.cookies)
            curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, std::max(1L, settings.lowSpeedLimit));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(std::max(1, settings.lowSpeedTime)));
    if (curl_multi_add_handle(Multi(), easy) != CURLM_OK) {
        error = "the network library could not start the request";
        return false;
    }
    if (pool != nullptr)
        pool->live.push_back(this);
    return true;
}

void HttpRequest::Impl::PerformAll(CURLM* m, HttpPool::Impl* pool) {
    int running = 0;
    curl_multi_perform(m, &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(m, &queued)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        Impl* owner = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &owner);
        if (owner != nullptr) {
            owner->Ended(message->data.result);
        } else if (pool != nullptr) {
            pool->Drained(message->easy_handle);
        }
    }
}

void HttpRequest::Impl::Wait(int waitMs) {
    if (waitMs > 0)
        curl_multi_poll(Multi(), nullptr, 0, waitMs, nullptr);
}

void HttpRequest::Impl::WhileWaiting() const {
    if (settings.whileWaiting)
        settings.whileWaiting();
}

bool HttpRequest::Impl::WaitForRoom(const std::string& target) {
    if (pool == nullptr)
        return true;
    const std::string key = HostKey(target);
    while (pool->InFlight(key, this) >= pool->HostState(key, settings.connections).cap) {
        if (pool->DropNewestPrefetched(key))
            continue;
        if (!Pause(kPollSliceMs))
            return false;
    }
    return true;
}

bool HttpRequest::Impl::Pause(int ms) {
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
    for (int left = ms; left > 0; left = MillisecondsLeft(until)) {
        if (Interrupted()) {
            error = "interrupted (" + url + ")";
            return false;
        }
        Perform();
        WhileWaiting();
        if (pool != nullptr)
            Wait(std::min(left, kPollSliceMs));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, kPollSliceMs)));
    }
    return true;
}

bool HttpRequest::Impl::NotReachable() const {
    if (result == CURLE_COULDNT_RESOLVE_HOST || result == CURLE_COULDNT_CONNECT)
        return true;
    curl_off_t connected = 0;
    return result == CURLE_OPERATION_TIMEDOUT && easy != nullptr &&
           curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connected) == CURLE_OK &&
           connected == 0;
}

bool HttpRequest::Impl::Send(const std::string& target, const std::string& extraHeaders,
                             bool started) {
    GlobalInit();
    error.clear();
    hostUnreachable = false;
    std::string next = target;
    int busyRounds = 0, aloneRetries = 0;
    bool retriedAlone = false;
    for (int redirects = 0;;) {
        if (!started && !(WaitForRoom(next) && Start(next, extraHeaders)))
            return false;
        started = false;
        while (!head.headersDone && !done) {
            if (Interrupted()) {
                error = "interrupted (" + url + ")";
                return false;
            }
            Perform();
            WhileWaiting();
            if (!head.headersDone && !done)
                Wait(kPollSliceMs);
        }
        const long status = head.headersDone ? head.response.status : 0;
        if (busy && busyRounds < kMaxBusyRounds) {
            // Turned away for the session's own number of connections:
            // asked again once the host has room, after what it asks for.
            ++busyRounds;
            const long wait =
                std::clamp<long>(RetryAfterSeconds(head.response.retryAfter), 0, kMaxRetryAfterSec);
            if (!Pause(static_cast<int>(wait) * 1000 + 25 * busyRounds))
                return false;
            continue;
        }
        if (pool != nullptr && !strict && !retriedAlone &&
            (malformed || (!head.headersDone && IsBrokenAnswer(result)))) {
            // An answer the shared connection cannot be trusted with is
            // asked for again alone and judged as such.
            retriedAlone = true;
            strict = true;
            continue;
        }
        if (head.headersDone && !head.redirectPending && IsBusyStatus(status) &&
            aloneRetries < kMaxAloneRetries) {
            const long wait = RetryAfterSeconds(head.response.retryAfter);
            if (wait >= 0 && wait <= kMaxRetryAfterSec) {
                ++aloneRetries;
                if (!Pause(static_cast<int>(wait) * 1000))
                    return false;
                continue;
            }
        }
        if (!head.headersDone) {
            hostUnreachable = redirects == 0 && NotReachable();
            error = result != CURLE_OK
                        ? Describe(result)
                        : "the server closed the connection without an answer (" + url + ")";
            return false;
        }
        if (!head.redirectPending)
            break;
        if (++redirects > kMaxRedirects) {
            error = Format("more than %d redirections (%s)", kMaxRedirects, url.c_str());
            return false;
        }
        if (!Resolve(head.location, next))
            return false;
    }
    head.response.effectiveUrl = url;
    return true;
}

bool HttpRequest::Impl::Resolve(const std::string& relative, std::string& absolute) {
    CURLU* handle = curl_url();
    bool ok = handle != nullptr &&
              curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
              curl_url_set(handle, CURLUPART_URL, relative.c_str(), CURLU_NON_SUPPORT_SCHEME) ==
                  CURLUE_OK;
    char* text = nullptr;
    char* scheme = nullptr;
    ok = ok && curl_url_get(handle, CURLUPART_URL, &text, 0) == CURLUE_OK &&
         curl_url_get(handle, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK;
    if (ok && CompareNoCase(scheme, "http") != 0 && CompareNoCase(scheme, "https") != 0) {
        error =
            "redirection to an address that is not http or https: " + relative + " (" + url + ")";
        ok = false;
    } else if (ok) {
        absolute = text;
    } else {
        error = "redirection to an address that cannot be read: " + relative + " (" + url + ")";
    }
    curl_free(text);
    curl_free(scheme);
    curl_url_cleanup(handle);
    return ok;
}

long HttpRequest::Impl::Read(char* buffer, std::size_t max, int waitMs) {
    if (easy == nullptr) {
        if (error.empty())
            error = "no request is open";
        return kError;
    }
    if (!digestArmed && head.headersDone) {
        // Only a body read from its first byte can be held to its digest.
        digestArmed = true;
        const long status = head.response.status;
        std::vector<Digest> stated = ParseDigestField(head.response.contentDigest, "Content-Digest");
        if ((status == 200 || status == 206) && bodyDelivered == 0 && !stated.empty()) {
            contentDigest = stated.front();
            contentHash = std::make_unique<Hasher>(contentDigest.algorithm);
        }
    }
    if (BodyComplete())
        return BodyEnded();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    if (paused && Available() < kPendingCap / 2) {
        paused = false;
        curl_easy_pause(easy, CURLPAUSE_CONT);  // may hand over data at once
    }
    while (Available() == 0 && !done) {
        if (Interrupted()) {
            error = "interrupted (" + url + ")";
            return kError;
        }
        const int left = MillisecondsLeft(deadline);
        Perform();
        if (Available() == 0 && !done) {
            if (left == 0)
                return kNothingYet;
            Wait(left < kPollSliceMs ? left : kPollSliceMs);
        }
    }
    if (Available() > 0) {
        const std::size_t n = Available() < max ? Available() : max;
        std::memcpy(buffer, pending.data() + pendingPos, n);
        pendingPos += n;
        bodyDelivered += static_cast<std::int64_t>(n);
        if (contentHash)
            contentHash->Update(buffer, n);
        return static_cast<long>(n);
    }
    // A body cut short ends like a complete one; the caller compares counts.
    if (result == CURLE_OK || result == CURLE_PARTIAL_FILE)
        return BodyEnded();
    error = Describe(result);
    return kError;
}

long HttpRequest::Impl::BodyEnded() {
    const bool whole = head.bodyLimit >= 0 ? bodyDelivered == head.bodyLimit : result == CURLE_OK;
    if (!contentHash || !whole)
        return kEnd;
    const std::string got = contentHash->Final();
    contentHash.reset();
    if (got == contentDigest.bytes)
        return kEnd;
    digestMismatch = true;
    error = Format("%s mismatch (Content-Digest of %s): expected %s, got %s",
                   DigestName(contentDigest.algorithm), url.c_str(),
                   HexText(contentDigest.bytes).c_str(), HexText(got).c_str());
    return kError;
}

HttpRequest::HttpRequest(const HttpSettings& settings) : m_impl(std::make_unique<Impl>()) {
    m_impl->settings = settings;
    if (settings.pool) {
        m_impl->pool = settings.pool->m_impl.get();
        m_impl->shared = m_impl->pool->multi;
        m_impl->strict = settings.alone;
    }
}

HttpRequest::~HttpRequest() = default;

bool HttpRequest::Send(const std::string& url, const std::string& extraHeaders) {
    if (m_impl->settings.pool) {
        auto& ahead = m_impl->settings.pool->m_impl->prefetched;
        for (auto it = ahead.begin(); it != ahead.end(); ++it) {
            if (it->url != url || it->headers != extraHeaders)
                continue;
            std::unique_ptr<HttpRequest> taken = std::move(it->request);
            ahead.erase(it);
            const Impl& early = *taken->m_impl;
            // An answer that broke off after its head (a server tired of
            // waiting for the reader, say) is asked for afresh; any other
            // result is what this request would have met.
            if (early.done && early.result != CURLE_OK && early.head.headersDone)
                break;
            taken->m_impl->settings = m_impl->settings;  // the pool now lives as long
            std::swap(m_impl, taken->m_impl);
            return m_impl->Send(url, extraHeaders, true);
        }
    }
    return m_impl->Send(url, extraHeaders, false);
}

const HttpResponse& HttpRequest::Response() const {
    return m_impl->head.response;
}

long HttpRequest::Read(char* buffer, std::size_t max, int waitMs) {
    return m_impl->Read(buffer, max, waitMs);
}

void HttpRequest::Close() {
    m_impl->Cleanup();
}

const std::string& HttpRequest::ErrorText() const {
    return m_impl->error;
}

bool HttpRequest::DigestMismatch() const {
    return m_impl->digestMismatch;
}

bool HttpRequest::HostUnreachable() const {
    return m_impl->hostUnreachable;
}

bool HttpRequest::Begin(const std::string& url, const std::string& extraHeaders) {
    GlobalInit();
    m_impl->error.clear();
    return m_impl->Start(url, extraHeaders);
}

HttpRequest::HeadState HttpRequest::Poll() {
    Impl& r = *m_impl;
    if (r.easy == nullptr)
        return HeadState::Failed;
    if (!r.head.headersDone && !r.done)
        r.Perform();
    if (r.head.headersDone && !r.busy) {
        r.head.response.effectiveUrl = r.url;
        return HeadState::Ready;
    }
    if (!r.done)
        return HeadState::Waiting;
    if (r.error.empty()) {
        r.error = r.result != CURLE_OK
                      ? r.Describe(r.result)
                      : "the server closed the connection without an answer (" + r.url + ")";
    }
    return HeadState::Failed;
}

bool HttpRequest::Busy() const {
    const Impl& r = *m_impl;
    if (r.busy || (r.head.headersDone && IsBusyStatus(r.head.response.status)))
        return true;
    return !r.head.headersDone && r.done &&
           (r.result == CURLE_COULDNT_CONNECT || r.result == CURLE_RECV_ERROR ||
            r.result == CURLE_SEND_ERROR || r.result == CURLE_GOT_NOTHING);
}

}  // namespace tvx
