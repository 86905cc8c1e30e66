#pragma once
// The HTTP layer: one GET per request, HTTP/1.1 (HTTP/2 over TLS with a
// server that offers it), two added header lines ("Accept: text/*",
// "User-Agent: GET HTTP"), redirects followed (at most 10; the final answer
// is what counts and a redirect's own body is never delivered), the body
// pulled in small reads, chunked bodies decoded. HTTPS goes through the same
// code with the certificates verified. Proxies come from the usual
// environment (http_proxy, https_proxy, no_proxy).
//
// libcurl stays behind this header: no curl type appears here.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "transfer/RateSchedule.h"

namespace tvx {

class HttpPool;

// The HTTP version requests go out with. Auto speaks HTTP/2 with a server
// that offers it over TLS (ALPN) and HTTP/1.1 otherwise; Http2 also offers
// the upgrade to HTTP/2 on plain connections; Http1_1 and Http1_0 never
// speak HTTP/2, for servers that get it wrong.
enum class HttpVersion { Auto, Http1_0, Http1_1, Http2 };

// "auto", "1.0", "1.1" or "2" (as download.ini writes them); false for
// anything else.
bool ParseHttpVersion(const std::string& text, HttpVersion& version);

struct HttpSettings {
    // Seconds to wait for a connection to be made.
    int connectTimeoutSec = 30;
    // A transfer that moves fewer than lowSpeedLimit bytes a second for
    // lowSpeedTime seconds counts as dead: it fails with an error text and
    // stays resumable. A trickling server cannot hold a transfer forever.
    long lowSpeedLimit = 1024;
    int lowSpeedTime = 60;
    // At most this many bytes a second reach the file of a transfer (all its
    // connections together; CTransfer holds it); 0 for no limit.
    std::int64_t maxBytesPerSecond = 0;
    // When set, asked for the limit in force while the transfer runs (a
    // limit that the owner changes and shares among its transfers); it
    // takes the place of maxBytesPerSecond.
    std::function<std::int64_t()> rateLimit;
    // Limits by the time of day ([Transfer] RateSchedule); a window that
    // covers the moment holds instead of maxBytesPerSecond. A schedule that
    // could not be read is none, and rateScheduleProblem says why.
    std::vector<RateWindow> rateSchedule;
    std::string rateScheduleProblem;
    // A file of further trusted certificates (PEM) for HTTPS, besides the
    // system's; empty for none.
    std::string caFile;
    HttpVersion httpVersion = HttpVersion::Auto;
    // Sent as the Referer header when not empty.
    std::string referer;
    // Further header lines ("Name: value") sent with every request; one
    // named Accept or User-Agent takes the place of the program's own.
    std::vector<std::string> headers;
    // Cookies to send, each a line of the Netscape cookie file: domain,
    // include-subdomains (TRUE/FALSE), path, secure (TRUE/FALSE), expiry
    // (seconds since 1970, 0 for a session cookie), name and value, separated
    // by TABs. Each request sends a cookie only to the hosts and paths it
    // belongs to, the hops of a redirection included.
    std::vector<std::string> cookies;
    // Called every few dozen milliseconds while a call waits for the network;
    // returning true abandons the call with the error text "interrupted".
    std::function<bool()> interrupted;
    // Called while a request waits for its answer or for its turn, so that
    // the owner can move its other transfers meanwhile; it must not send a
    // request that waits itself.
    std::function<void()> whileWaiting;
    // Checks and transfers a session keeps in flight at once; 1 runs them
    // strictly one after the other. Single downloads ignore it.
    int connections = 8;
    // Connections one file may come over at once at most (its segments; the
    // fetch finds how many pay, see CSegmentFetch); 1 fetches every file as
    // one stream.
    int connectionsPerFile = 8;
    // The smallest segment a file is cut into; a file is cut only from 16
    // times this size on, so that small files never pay for more requests.
    std::int64_t minSplitSize = 256 << 10;
    // Requests ask the server to state the file's digest (Want-Repr-Digest).
    // Off by default: some servers turn away clients that ask.
    bool wantDigest = false;
    // Files are proved by the SHA256SUMS / SHA512SUMS of their remote
    // folder when it has them (ChecksumFiles).
    bool checksumFiles = true;
    // Requests made with a pool share its connections and its network wait
    // (see HttpPool); without one every request stands alone.
    std::shared_ptr<HttpPool> pool;
    // Requests of the pool that still stand alone on the wire: a connection
    // of their own, not kept, the length judged here (a pool that only
    // shares its network wait).
    bool alone = false;
};

// The fields of an HTTP date as the server states them (GMT).
struct HttpDateFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Parses an HTTP date in any of the three forms HTTP allows (RFC 1123,
// RFC 850, asctime). False for anything else.
bool ParseHttpDate(const std::string& text, HttpDateFields& fields);

// The leading number of a Content-Length text, read like atoi (blanks, a
// sign, digits; 0 when there are none) but saturating instead of
// overflowing, far above any length a transfer accepts.
std::int64_t ParseContentLength(const std::string& text);

// True when the text is a well-formed length: digits only, blanks around
// them allowed.
bool IsContentLengthText(const std::string& text);

// "scheme://host:port" of an address in lower case ("" when it has no
// scheme): the servers whose connections are counted together.
std::string HostKey(const std::string& address);

// The answer of the final response, once its header lines are in.
struct HttpResponse {
    long status = 0;
    bool hasContentLength = false;
    std::string contentLength;  // the header's text, as sent
    // A second Content-Length header (or list element) with another value:
    // its text. The length is then unknown and the answer unusable.
    std::string conflictingLength;
    std::string lastModified;     // the header's text, as sent ("" when missing)
    std::string contentRange;     // the header's text, as sent ("" when missing)
    std::string etag;             // the header's text, as sent ("" when missing)
    std::string contentEncoding;  // the header's text, as sent ("" when missing)
    std::string retryAfter;       // the header's text, as sent ("" when missing)
    // The header's text ("" when missing). A body with a transfer coding
    // (chunked) has no length of its own: one stated beside it is not taken.
    std::string transferEncoding;
    std::string effectiveUrl;     // the address the final answer came from
    // The digest fields, as sent (several fields joined by ", "; "" when
    // missing): Repr-Digest and Digest state the whole file's digest,
    // Content-Digest the digest of this answer's body.
    std::string reprDigest;
    std::string contentDigest;
    std::string digest;
};

class HttpRequest {
public:
    // Results of Read besides a count of bytes.
    static constexpr long kEnd = 0;
    static constexpr long kNothingYet = -1;
    static constexpr long kError = -2;

    explicit HttpRequest(const HttpSettings& settings);
    ~HttpRequest();
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    // Sends the GET and waits until the final response's headers are in.
    // With a pool, a GET for the same address and the same extraHeaders that
    // the pool started ahead (HttpPool::Prefetch) is taken over instead, with
    // whatever of it has already arrived.
    // extraHeaders holds further header lines, each ended by CR LF (a Range
    // request, for instance). False on any network or protocol error;
    // ErrorText() then says what went wrong (never empty).
    bool Send(const std::string& url, const std::string& extraHeaders = {});
    const HttpResponse& Response() const;

    // Moves at most max bytes of the body that have arrived into buffer,
    // waiting at most waitMs for the first of them. Returns the count, kEnd
    // when the body is complete, kNothingYet when nothing arrived in time, or
    // kError (ErrorText() says why). The body ends after the announced length
    // (bytes beyond it are dropped) or, without one, when the server closes
    // the connection. A body that ends before its announced length ends like
    // a complete one; the caller sees the shortfall in its own count. A body
    // read whole from its first byte that does not match the answer's
    // Content-Digest (sha-256 or sha-512) ends in kError, and
    // DigestMismatch() is then true: its bytes cannot be trusted.
    long Read(char* buffer, std::size_t max, int waitMs);
    bool DigestMismatch() const;

    // Starts the GET without waiting for its answer; a redirection is not
    // followed but is an answer like any other. False when it could not be
    // started (ErrorText says why). Poll tells when the head is in.
    bool Begin(const std::string& url, const std::string& extraHeaders);
    enum class HeadState { Waiting, Ready, Failed };
    // Moves the network without waiting and says how far the answer is.
    HeadState Poll();
    // The request was turned away for the number of connections (503 or 429,
    // or a connection refused or dropped before any answer): asking again
    // later, with fewer at once, may succeed.
    bool Busy() const;

    // Drops the request and its connection; the rest of the body is not read.
    void Close();
    const std::string& ErrorText() const;
    // After a failed Send: the address's own host could not be reached (its
    // name not found, or connecting refused or timed out). A failure further
    // on (a redirection to another host, a broken answer) is not the host's.
    bool HostUnreachable() const;

private:
    friend class HttpPool;
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// One network loop for the requests of a session. Its requests keep their
// connections for the next request to the same host when the server allows
// it, and whichever request waits moves all the others too, so several
// requests run at once on one thread. Over HTTP/2 the requests to a host
// share one connection as streams: once a host has answered over HTTP/2,
// the requests in flight to it are bounded by kStreamsPerHost and by the
// streams the server allows on a connection (the network library keeps to
// its SETTINGS_MAX_CONCURRENT_STREAMS), not by the number of connections,
// which keeps bounding the sockets.
// Every request made with the pool must end before the pool does; requests
// hold the pool through HttpSettings::pool, so that holds by itself.
//
// Servers limit the connections of one client. An answer 503 or 429, or a
// refused or reset connection to a host that has answered before, while
// other requests to that host are in flight, comes from the session's own
// number of connections: the pool lowers the number it keeps in flight to
// that host for the rest of the session and asks again when one is free;
// requests started ahead give way to requests whose turn has come. A link
// never fails because the session opened too many. An answer whose head the
// network library cannot read, or whose length this program does not trust,
// is asked again on a connection of its own and judged as one request alone
// would be, and the connection that carried it is not used again.
class HttpPool {
public:
    // A request started ahead receives a body of at most this many bytes
    // whole; a longer one stops at this much until it is taken over, and a
    // server may give up on a reader that waits that long.
    static constexpr std::int64_t kWholeBodyAhead = 256 * 1024;
    // Requests in flight at most to one host that multiplexes them.
    static constexpr int kStreamsPerHost = 32;

    HttpPool();
    ~HttpPool();
    HttpPool(const HttpPool&) = delete;
    HttpPool& operator=(const HttpPool&) = delete;

    // Starts a GET of url (with the further header lines, as a request
    // sends them) ahead of its turn, unless one is waiting to be taken over
    // already. It runs with settings (whose pool is ignored)
    // and keeps at most one buffer's worth of body until a request takes it
    // over. A local source or an address that cannot be started is ignored.
    void Prefetch(const std::string& url, const HttpSettings& settings,
                  const std::string& extraHeaders = {});
    // Keeps the answer of a request whose body is wanted after all (a check
    // that found the file must be fetched), for a plain GET of url to take
    // over as it takes over one started ahead. Only a body of at most
    // kWholeBodyAhead bytes is kept, and at most kKeptBodies bytes of them
    // together; anything else is dropped (a short rest read to keep the
    // connection).
    static constexpr std::int64_t kKeptBodies = 16 << 20;
    void Keep(const std::string& url, std::unique_ptr<HttpRequest> request);
    // Drops every request started ahead and not taken over; with kept, the
    // kept answers too.
    void DropPrefetched(bool kept = false);
    std::size_t PrefetchedCount() const;

    // Whether a request to the host of url may start now without going over
    // what the host accepts (connections: the first guess for a host not yet
    // seen). A request for url started ahead is already counted: it has room.
    bool HasRoom(const std::string& url, int connections);
    // How many requests the host of url takes in flight now: connections
    // for a host not yet seen or speaking HTTP/1.x, up to kStreamsPerHost
    // for one that multiplexes, fewer after it turned requests away.
    int Allowance(const std::string& url, int connections);
    // Moves every request of the pool, waiting at most ms for the network.
    void Wait(int ms);

private:
    friend class HttpRequest;
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace tvx
