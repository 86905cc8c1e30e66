#pragma once
// The libcurl side of the HTTP layer, shared by its two halves: the requests
// (HttpRequestCurl.cpp) and the pool that runs many of them on one network
// loop (HttpPoolCurl.cpp). This is the one header that names libcurl's
// types; only those two files include it.

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "transfer/HttpRequest.h"
#include "transfer/Digest.h"
#include "transfer/ResponseHead.h"

namespace tvx {

namespace curlimpl {

using Clock = std::chrono::steady_clock;

// Bytes the write callback may hold before it pauses the transfer.
constexpr std::size_t kPendingCap = HttpPool::kWholeBodyAhead;
// A pool request dropped with at most this much of its body still to come
// (a check of a small file) is read to its end and thrown away, so that its
// connection is kept for the next request.
constexpr std::int64_t kDrainLimit = 64 * 1024;

// A host that turned requests away gets one more in flight after this long
// without doing so again, up to the number the session allows.
constexpr auto kQuietPeriod = std::chrono::seconds(2);

// Initialises libcurl once for the process.
void GlobalInit();
// An answer that turns a request away for the number of requests.
bool IsBusyStatus(long status);
// A write or header callback that keeps nothing.
size_t Discard(char*, size_t size, size_t count, void*);

}  // namespace curlimpl

struct HttpPool::Impl {
    // What the session has learnt of one host.
    struct Host {
        int cap = 0;                             // requests kept in flight to it at most
        bool answered = false;                   // it has sent an answer in this session
        bool limited = false;                    // it has turned requests away for their number
        bool multiplexed = false;                // it has answered over HTTP/2 or later
        curlimpl::Clock::time_point lastBusy{};  // when it last did, or got one back
    };
    struct Draining {
        CURL* easy;
        curl_slist* headers;
        std::string host;
    };

    // A request started ahead of its turn, or an answer kept for a later
    // request (HttpPool::Keep).
    struct Ahead {
        std::string url;
        std::string headers;  // the further header lines it was sent with
        std::unique_ptr<HttpRequest> request;
        bool kept = false;
    };

    CURLM* multi = nullptr;
    // Requests started ahead and answers kept, oldest first.
    std::vector<Ahead> prefetched;
    // Dropped requests read to their end, each with the header lines it was
    // sent with (the library uses them until the handle is cleaned up).
    std::vector<Draining> draining;
    // The pool's requests whose transfers are in its multi handle.
    std::vector<HttpRequest::Impl*> live;
    std::map<std::string, Host> hosts;

    ~Impl();

    void Release(CURL* easy, curl_slist* headers);

    // Takes over a transfer whose request is gone; nothing more of it is kept.
    void Drain(CURL* easy, curl_slist* headers, const std::string& host);

    // A drained transfer has ended; its connection stays in the library's
    // cache when the server keeps it open.
    void Drained(CURL* easy);

    // What is known of a host; connections is the session's number for it,
    // which a host that turned requests away gets back one at a time.
    Host& HostState(const std::string& host, int connections);
    // The requests a host takes in flight at most: connections, or
    // kStreamsPerHost streams once it multiplexes.
    static int Most(const Host& h, int connections);
    int InFlight(const std::string& host, const HttpRequest::Impl* except) const;
    // The session's own number of connections was too many for the host.
    void NoteBusy(const std::string& host, int others, int connections);
    // Gives up the request started ahead farthest for the host, if any.
    bool DropNewestPrefetched(const std::string& host);
};

struct HttpRequest::Impl {
    HttpSettings settings;
    CURLM* multi = nullptr;   // owned; none when the request belongs to a pool
    CURLM* shared = nullptr;  // the pool's multi handle, not owned
    HttpPool::Impl* pool = nullptr;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    std::string url;          // the address of the request in flight
    std::string host;         // its HostKey
    ResponseHeadParser head;  // the header lines of its responses
    // One request alone: the length is judged here, not by the library, on
    // a connection of its own that is not kept (the pool's fallback for an
    // answer it cannot trust; always so without a pool).
    bool strict = true;
    bool finalSeen = false;  // the final head has been looked at
    bool aborted = false;    // this side stopped the transfer after the head
    bool busy = false;       // turned away for the session's number of connections
    bool malformed = false;  // the answer cannot be read on a shared connection
    bool hostUnreachable = false;
    std::int64_t bodyTaken = 0;      // bytes the write callback kept
    std::int64_t bodyDelivered = 0;  // bytes handed to the reader

    // The answer's Content-Digest, checked over the body as it is read: the
    // running hash (none when the answer states no digest it can check).
    std::unique_ptr<Hasher> contentHash;
    Digest contentDigest;
    bool digestArmed = false;
    bool digestMismatch = false;

    std::vector<char> pending;  // body bytes not yet read
    std::size_t pendingPos = 0;
    bool paused = false;
    bool done = false;
    CURLcode result = CURLE_OK;
    std::string error;

    ~Impl() { Cleanup(); }

    CURLM* Multi() const { return shared != nullptr ? shared : multi; }

    void Cleanup();

    std::size_t Available() const { return pending.size() - pendingPos; }

    static size_t OnHeader(char* data, size_t size, size_t count, void* self);

    // Looks at the final head once it is in; false stops the transfer.
    bool FinalHead();

    // A transfer of the pool has ended with the library's result.
    void Ended(CURLcode code);

    static size_t OnBody(char* data, size_t size, size_t count, void* self);

    size_t Body(const char* data, size_t n);

    void Keep(const char* data, size_t n);

    bool BodyComplete() const { return head.bodyLimit >= 0 && bodyDelivered >= head.bodyLimit; }

    std::string Describe(CURLcode code) const;

    bool Start(const std::string& target, const std::string& extraHeaders);

    // Does what can be done without waiting. In a pool this moves every
    // request of the pool.
    void Perform() { PerformAll(Multi(), pool); }

    // Moves every transfer of a multi handle; each finished one learns its
    // own result.
    static void PerformAll(CURLM* m, HttpPool::Impl* pool);

    // Waits at most waitMs for the network (any request of a pool).
    void Wait(int waitMs);

    bool Interrupted() const { return settings.interrupted && settings.interrupted(); }
    void WhileWaiting() const;

    // Waits (moving the network) for the host of target to have a request
    // fewer in flight than it accepts; requests started ahead give way.
    bool WaitForRoom(const std::string& target);

    // Waits ms milliseconds, moving the network; false when interrupted.
    bool Pause(int ms);

    // Whether a failure before any answer was the host itself not being
    // reachable (as opposed to a broken answer or a local problem).
    bool NotReachable() const;

    // started: the first request is already under way (taken over from a
    // pool), so only its answer is waited for.
    bool Send(const std::string& target, const std::string& extraHeaders, bool started);

    // The absolute address of a Location header relative to the current one.
    bool Resolve(const std::string& relative, std::string& absolute);

    long Read(char* buffer, std::size_t max, int waitMs);
    // The body has ended: kEnd, or kError when it was read whole and its
    // Content-Digest does not match it.
    long BodyEnded();
};

}  // namespace tvx
