// The pool of the HTTP layer: one network loop for the requests of a
// session. Its requests share one multi handle, so that one wait moves every
// transfer of the pool and finished connections stay in the handle's cache
// for the next request to the same host. The pool counts the requests in
// flight to each host and keeps them within what the host has shown it
// accepts (see HttpPool in HttpRequest.h).

#include <algorithm>
#include <iterator>

#include "transfer/CurlImpl.h"

namespace tvx {

using namespace curlimpl;

HttpPool::Impl::~Impl() {
    prefetched.clear();  // their handles leave the multi handle first
    for (const Draining& d : draining)
        Release(d.easy, d.headers);
    if (multi != nullptr)
        curl_multi_cleanup(multi);
}

void HttpPool::Impl::Release(CURL* easy, curl_slist* headers) {
    curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
}

void HttpPool::Impl::Drain(CURL* easy, curl_slist* headers, const std::string& host) {
    curl_easy_setopt(easy, CURLOPT_PRIVATE, nullptr);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Discard);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Discard);
    draining.push_back({easy, headers, host});
}

void HttpPool::Impl::Drained(CURL* easy) {
    for (auto it = draining.begin(); it != draining.end(); ++it) {
        if (it->easy == easy) {
            Release(it->easy, it->headers);
            draining.erase(it);
            return;
        }
    }
}

int HttpPool::Impl::Most(const Host& h, int connections) {
    return h.multiplexed ? kStreamsPerHost : std::max(1, connections);
}

HttpPool::Impl::Host& HttpPool::Impl::HostState(const std::string& host, int connections) {
    Host& h = hosts[host];
    const int most = Most(h, connections);
    if (h.cap == 0)
        h.cap = most;
    const Clock::time_point now = Clock::now();
    if (h.limited && h.cap < most && now - h.lastBusy >= kQuietPeriod) {
        ++h.cap;
        h.lastBusy = now;
    }
    return h;
}

void HttpPool::Impl::NoteBusy(const std::string& host, int others, int connections) {
    Host& h = HostState(host, connections);
    h.limited = true;
    h.cap = std::max(1, std::min(h.cap - 1, others));
    h.lastBusy = Clock::now();
}

bool HttpPool::HasRoom(const std::string& url, int connections) {
    for (const Impl::Ahead& ahead : m_impl->prefetched) {
        if (ahead.url == url)
            return true;
    }
    const std::string host = HostKey(url);
    return m_impl->InFlight(host, nullptr) < m_impl->HostState(host, connections).cap;
}

int HttpPool::Allowance(const std::string& url, int connections) {
    return m_impl->HostState(HostKey(url), connections).cap;
}

void HttpPool::Wait(int ms) {
    if (m_impl->multi == nullptr)
        return;
    HttpRequest::Impl::PerformAll(m_impl->multi, m_impl.get());
    if (ms > 0) {
        curl_multi_poll(m_impl->multi, nullptr, 0, ms, nullptr);
        HttpRequest::Impl::PerformAll(m_impl->multi, m_impl.get());
    }
}

int HttpPool::Impl::InFlight(const std::string& host, const HttpRequest::Impl* except) const {
    // Requests being drained are not counted: their rest is short and
    // arrives by itself.
    int n = 0;
    for (const HttpRequest::Impl* r : live)
        n += r != except && !r->done && r->host == host;
    return n;
}

bool HttpPool::Impl::DropNewestPrefetched(const std::string& host) {
    for (auto it = prefetched.rbegin(); it != prefetched.rend(); ++it) {
        if (!it->request->m_impl->done && it->request->m_impl->host == host) {
            prefetched.erase(std::next(it).base());
            return true;
        }
    }
    return false;
}

HttpPool::HttpPool() : m_impl(std::make_unique<Impl>()) {
    GlobalInit();
    m_impl->multi = curl_multi_init();
    // The library puts at most this many streams on one connection (fewer
    // when the server says so); more requests than that to one host never
    // go out at once.
    if (m_impl->multi != nullptr)
        curl_multi_setopt(m_impl->multi, CURLMOPT_MAX_CONCURRENT_STREAMS,
                          static_cast<long>(kStreamsPerHost));
}

HttpPool::~HttpPool() = default;

void HttpPool::Prefetch(const std::string& url, const HttpSettings& settings,
                        const std::string& extraHeaders) {
    if (m_impl->multi == nullptr || url.empty())
        return;
    for (const Impl::Ahead& ahead : m_impl->prefetched) {
        if (ahead.url == url && ahead.headers == extraHeaders)
            return;
    }
    HttpSettings own = settings;
    own.pool.reset();  // a request held by the pool must not hold the pool
    const std::string host = HostKey(url);
    if (m_impl->InFlight(host, nullptr) >= m_impl->HostState(host, settings.connections).cap)
        return;  // the host has no room to spare for a request ahead of its turn
    auto request = std::make_unique<HttpRequest>(own);
    request->m_impl->pool = m_impl.get();
    request->m_impl->shared = m_impl->multi;
    request->m_impl->strict = false;
    if (!request->m_impl->Start(url, extraHeaders))
        return;
    m_impl->prefetched.push_back({url, extraHeaders, std::move(request), false});
}

void HttpPool::Keep(const std::string& url, std::unique_ptr<HttpRequest> request) {
    HttpRequest::Impl& r = *request->m_impl;
    if (r.pool != m_impl.get() || r.easy == nullptr || !r.head.headersDone ||
        r.head.redirectPending || r.busy || r.aborted || (r.done && r.result != CURLE_OK))
        return;
    std::int64_t kept = r.head.bodyLimit;
    for (const Impl::Ahead& ahead : m_impl->prefetched)
        kept += ahead.kept ? ahead.request->m_impl->head.bodyLimit : 0;
    if (r.head.bodyLimit < 0 || r.head.bodyLimit > kWholeBodyAhead || kept > kKeptBodies)
        return;
    // The pool holds it now, and must not be held by it in turn.
    r.settings.pool.reset();
    r.settings.interrupted = nullptr;
    r.settings.whileWaiting = nullptr;
    m_impl->prefetched.push_back({url, {}, std::move(request), true});
}

void HttpPool::DropPrefetched(bool kept) {
    auto& ahead = m_impl->prefetched;
    ahead.erase(std::remove_if(ahead.begin(), ahead.end(),
                               [kept](const Impl::Ahead& a) { return kept || !a.kept; }),
                ahead.end());
}

std::size_t HttpPool::PrefetchedCount() const {
    return m_impl->prefetched.size();
}

}  // namespace tvx
