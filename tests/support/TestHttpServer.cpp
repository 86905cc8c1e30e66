#include "TestHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <iterator>
#include <system_error>

namespace tvxtest {
namespace {

constexpr std::size_t kMaxHeadBytes = 64 * 1024;
// How long a graceful close waits for the client to close its side, so that unread client
// bytes do not turn the close into a reset.
constexpr int kLingerMs = 2000;

[[noreturn]] void ThrowErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Parses a complete request head (ending in CRLF CRLF). Malformed lines are kept in `raw`
// only; a header line without a colon is skipped.
SeenRequest ParseHead(const std::string& head) {
    SeenRequest request;
    request.raw = head;
    std::string_view rest(head);
    bool firstLine = true;
    while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
        if (line.empty())
            break;
        if (firstLine) {
            firstLine = false;
            const std::size_t space1 = line.find(' ');
            const std::size_t space2 =
                space1 == std::string_view::npos ? space1 : line.find(' ', space1 + 1);
            request.method = std::string(line.substr(0, space1));
            if (space1 != std::string_view::npos)
                request.target = std::string(line.substr(space1 + 1, space2 - space1 - 1));
            if (space2 != std::string_view::npos)
                request.version = std::string(line.substr(space2 + 1));
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        request.headers.emplace_back(std::string(TrimBlanks(line.substr(0, colon))),
                                     std::string(TrimBlanks(line.substr(colon + 1))));
    }
    return request;
}

bool ParseUnsigned(std::string_view text, std::uint64_t* value) {
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size();
}

struct RangeRequest {
    enum class Kind { Ignored, Satisfiable, Unsatisfiable };
    Kind kind = Kind::Ignored;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

// Interprets a Range header value against a representation of `total` bytes. Anything but a
// single well-formed byte range is ignored, as a server may do.
RangeRequest ParseRange(std::string_view value, std::uint64_t total) {
    RangeRequest range;
    value = TrimBlanks(value);
    constexpr std::string_view kUnit = "bytes=";
    if (value.size() < kUnit.size() || !EqualsIgnoreCase(value.substr(0, kUnit.size()), kUnit))
        return range;
    value = TrimBlanks(value.substr(kUnit.size()));
    const std::size_t dash = value.find('-');
    if (dash == std::string_view::npos || value.find(',') != std::string_view::npos)
        return range;
    const std::string_view firstText = TrimBlanks(value.substr(0, dash));
    const std::string_view lastText = TrimBlanks(value.substr(dash + 1));

    if (firstText.empty()) {  // suffix range: the final N bytes
        std::uint64_t suffix = 0;
        if (!ParseUnsigned(lastText, &suffix))
            return range;
        if (suffix == 0 || total == 0) {
            range.kind = RangeRequest::Kind::Unsatisfiable;
            return range;
        }
        range.kind = RangeRequest::Kind::Satisfiable;
        range.first = suffix >= total ? 0 : total - suffix;
        range.last = total - 1;
        return range;
    }

    std::uint64_t first = 0;
    std::uint64_t last = 0;
    if (!ParseUnsigned(firstText, &first))
        return range;
    if (lastText.empty()) {
        last = UINT64_MAX;
    } else if (!ParseUnsigned(lastText, &last) || last < first) {
        return range;
    }
    if (first >= total) {
        range.kind = RangeRequest::Kind::Unsatisfiable;
        return range;
    }
    range.kind = RangeRequest::Kind::Satisfiable;
    range.first = first;
    range.last = last >= total ? total - 1 : last;
    return range;
}

const char* ReasonPhrase(int status) {
    static constexpr std::pair<int, const char*> kPhrases[] = {
        {100, "Continue"},
        {101, "Switching Protocols"},
        {200, "OK"},
        {201, "Created"},
        {202, "Accepted"},
        {203, "Non-Authoritative Information"},
        {204, "No Content"},
        {205, "Reset Content"},
        {206, "Partial Content"},
        {300, "Multiple Choices"},
        {301, "Moved Permanently"},
        {302, "Found"},
        {303, "See Other"},
        {304, "Not Modified"},
        {307, "Temporary Redirect"},
        {308, "Permanent Redirect"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {406, "Not Acceptable"},
        {407, "Proxy Authentication Required"},
        {408, "Request Timeout"},
        {409, "Conflict"},
        {410, "Gone"},
        {411, "Length Required"},
        {412, "Precondition Failed"},
        {413, "Content Too Large"},
        {414, "URI Too Long"},
        {415, "Unsupported Media Type"},
        {416, "Range Not Satisfiable"},
        {417, "Expectation Failed"},
        {429, "Too Many Requests"},
        {431, "Request Header Fields Too Large"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
        {505, "HTTP Version Not Supported"},
    };
    for (const auto& [code, phrase] : kPhrases) {
        if (code == status)
            return phrase;
    }
    return "";  // the reason phrase may be empty
}

Reply EmptyReply(int status) {
    Reply reply;
    reply.Send(ResponseHead(status, {{"Content-Length", "0"}, {"Connection", "close"}}));
    return reply;
}

enum class WaitResult { Ready, Timeout, Stopped, Error };

// Waits until `fd` is ready for `events` or `wakeFd` becomes readable. A negative timeout
// waits without limit.
WaitResult WaitFor(int fd, short events, int wakeFd, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int remaining = -1;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            remaining = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {fd, events, 0}};
        const nfds_t count = fd >= 0 ? 2 : 1;
        const int ready = poll(fds, count, remaining);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return WaitResult::Error;
        }
        if (fds[0].revents != 0)
            return WaitResult::Stopped;
        if (ready == 0)
            return WaitResult::Timeout;
        return WaitResult::Ready;  // includes POLLERR/POLLHUP: the next call reports it
    }
}

}  // namespace

std::string SeenRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (EqualsIgnoreCase(key, name))
            return value;
    }
    return {};
}

bool SeenRequest::HasHeader(std::string_view name) const {
    for (const auto& header : headers) {
        if (EqualsIgnoreCase(header.first, name))
            return true;
    }
    return false;
}

Reply& Reply::Send(std::string bytes) {
    m_steps.push_back({Step::Kind::Send, std::move(bytes), 0});
    return *this;
}

Reply& Reply::Sleep(int ms) {
    m_steps.push_back({Step::Kind::Sleep, {}, ms});
    return *this;
}

Reply& Reply::Trickle(std::string bytes, std::size_t bytesPerStep, int msPerStep) {
    if (bytesPerStep == 0)
        bytesPerStep = 1;
    for (std::size_t offset = 0; offset < bytes.size(); offset += bytesPerStep) {
        if (offset > 0)
            Sleep(msPerStep);
        Send(bytes.substr(offset, bytesPerStep));
    }
    return *this;
}

Reply& Reply::Call(std::function<void()> call) {
    m_steps.push_back({Step::Kind::Call, {}, 0, std::move(call)});
    return *this;
}

Reply& Reply::Hang() {
    m_steps.push_back({Step::Kind::Hang, {}, 0});
    return *this;
}

Reply& Reply::Reset() {
    m_steps.push_back({Step::Kind::Reset, {}, 0});
    return *this;
}

std::string ResponseHead(int status, const HeaderList& headers) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
    for (const auto& [name, value] : headers)
        head += name + ": " + value + "\r\n";
    head += "\r\n";
    return head;
}

Reply FileReply(const SeenRequest& request, const std::string& body,
                const std::string& lastModified) {
    const std::uint64_t total = body.size();
    HeaderList headers = {{"Content-Type", "application/octet-stream"}};
    auto addCommon = [&] {
        if (!lastModified.empty())
            headers.emplace_back("Last-Modified", lastModified);
        headers.emplace_back("Accept-Ranges", "bytes");
        headers.emplace_back("Connection", "close");
    };

    RangeRequest range;
    if (request.HasHeader("Range")) {
        const bool validatorMatches =
            !request.HasHeader("If-Range") ||
            (!lastModified.empty() && request.Header("If-Range") == lastModified);
        if (validatorMatches)
            range = ParseRange(request.Header("Range"), total);
    }

    const bool withBody = request.method != "HEAD";
    Reply reply;
    switch (range.kind) {
        case RangeRequest::Kind::Ignored:
            headers.emplace_back("Content-Length", std::to_string(total));
            addCommon();
            reply.Send(ResponseHead(200, headers));
            if (withBody)
                reply.Send(body);
            break;
        case RangeRequest::Kind::Satisfiable: {
            const std::uint64_t length = range.last - range.first + 1;
            headers.emplace_back("Content-Length", std::to_string(length));
            headers.emplace_back("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                      std::to_string(range.last) + "/" +
                                                      std::to_string(total));
            addCommon();
            reply.Send(ResponseHead(206, headers));
            if (withBody)
                reply.Send(body.substr(range.first, length));
            break;
        }
        case RangeRequest::Kind::Unsatisfiable:
            headers.emplace_back("Content-Length", "0");
            headers.emplace_back("Content-Range", "bytes */" + std::to_string(total));
            addCommon();
            reply.Send(ResponseHead(416, headers));
            break;
    }
    return reply;
}

std::string HttpDate(std::time_t t) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    if (gmtime_r(&t, &tm) == nullptr)
        return {};
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday],
                  tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                  tm.tm_sec);
    return buffer;
}

int UnusedLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        ThrowErrno("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        close(fd);
        throw std::system_error(error, std::generic_category(), "bind 127.0.0.1:0");
    }
    close(fd);
    return ntohs(address.sin_port);
}

TestHttpServer::TestHttpServer(Handler handler) : m_handler(std::move(handler)) {
    int wake[2];
    if (pipe2(wake, O_CLOEXEC) != 0)
        ThrowErrno("pipe2");
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];
    try {
        m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (m_listenFd < 0)
            ThrowErrno("socket");
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            ThrowErrno("bind 127.0.0.1:0");
        if (listen(m_listenFd, 64) != 0)
            ThrowErrno("listen");
        socklen_t length = sizeof address;
        if (getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            ThrowErrno("getsockname");
        m_port = ntohs(address.sin_port);
        m_acceptThread = std::thread(&TestHttpServer::AcceptLoop, this);
    } catch (...) {
        if (m_listenFd >= 0)
            close(m_listenFd);
        close(m_wakeRead);
        close(m_wakeWrite);
        throw;
    }
}

TestHttpServer::~TestHttpServer() {
    Stop();
    close(m_wakeRead);
    close(m_wakeWrite);
}

std::string TestHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void TestHttpServer::SetHandler(Handler handler) {
    std::lock_guard lock(m_mutex);
    m_handler = std::move(handler);
}

std::vector<SeenRequest> TestHttpServer::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

int TestHttpServer::RequestCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_requests.size());
}

void TestHttpServer::Stop() {
    std::lock_guard stopLock(m_stopMutex);
    if (m_stopped)
        return;
    m_stopped = true;
    m_stopping = true;
    const char byte = 1;
    while (write(m_wakeWrite, &byte, 1) < 0 && errno == EINTR) {
    }
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    close(m_listenFd);
    m_listenFd = -1;

    std::list<Connection> connections;
    {
        std::lock_guard lock(m_mutex);
        for (Connection& connection : m_connections) {
            if (connection.fd >= 0)
                shutdown(connection.fd, SHUT_RDWR);
        }
        connections.splice(connections.end(), m_connections);
    }
    for (Connection& connection : connections)
        connection.thread.join();
}

void TestHttpServer::AcceptLoop() {
    for (;;) {
        const WaitResult wait = WaitFor(m_listenFd, POLLIN, m_wakeRead, -1);
        if (wait == WaitResult::Stopped || wait == WaitResult::Error)
            return;
        const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            // Transient failures (aborted connection, EINTR, fd exhaustion) must not end the
            // loop; the pause keeps a persistent error from spinning.
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && !Pause(10))
                return;
            continue;
        }
        ReapFinished();
        std::lock_guard lock(m_mutex);
        Connection& connection = m_connections.emplace_back();
        connection.fd = fd;
        try {
            connection.thread = std::thread(&TestHttpServer::Serve, this, &connection);
        } catch (const std::system_error&) {
            close(fd);
            m_connections.pop_back();
        }
    }
}

void TestHttpServer::ReapFinished() {
    std::list<Connection> finished;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            const auto next = std::next(it);
            if (it->finished)
                finished.splice(finished.end(), m_connections, it);
            it = next;
        }
    }
    for (Connection& connection : finished)
        connection.thread.join();
}

void TestHttpServer::Serve(Connection* connection) {
    // The fd stays open until CloseConnection, and only this thread closes it, so reading it
    // without the lock is safe; Stop() only shuts it down.
    const int fd = connection->fd;
    enum class Ending { Graceful, Abortive, Immediate };
    Ending ending = Ending::Immediate;

    std::string head;
    std::string rest;
    if (ReadHead(fd, &head, &rest)) {
        SeenRequest request = ParseHead(head);
        std::uint64_t bodyLength = 0;
        if (ParseUnsigned(request.Header("Content-Length"), &bodyLength))
            DiscardBody(fd, bodyLength, rest.size());
        Handler handler;
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
            handler = m_handler;
        }
        Reply reply;
        if (!handler) {
            reply = EmptyReply(404);
        } else {
            try {
                reply = handler(request);
            } catch (const std::exception& error) {
                std::fprintf(stderr, "TestHttpServer: handler threw: %s\n", error.what());
                reply = EmptyReply(500);
            }
        }
        bool reset = false;
        Play(fd, reply, &reset);
        ending = reset ? Ending::Abortive : Ending::Graceful;
    } else if (head.size() > kMaxHeadBytes) {
        SendAll(fd, ResponseHead(431, {{"Content-Length", "0"}, {"Connection", "close"}}));
        ending = Ending::Graceful;
    }

    if (ending == Ending::Graceful && !m_stopping) {
        shutdown(fd, SHUT_WR);
        char buffer[4096];
        while (WaitFor(fd, POLLIN, m_wakeRead, kLingerMs) == WaitResult::Ready &&
               recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
    }
    CloseConnection(connection, ending == Ending::Abortive);
}

// Returns true once a complete head is in `head`; bytes received after it are left in `rest`.
// On false, `head` holds what was read, which exceeds kMaxHeadBytes when the head was too long.
bool TestHttpServer::ReadHead(int fd, std::string* head, std::string* rest) {
    std::string buffer;
    char chunk[4096];
    for (;;) {
        const std::size_t end = buffer.find("\r\n\r\n");
        if (end != std::string::npos && end + 4 <= kMaxHeadBytes) {
            *head = buffer.substr(0, end + 4);
            *rest = buffer.substr(end + 4);
            return true;
        }
        if (buffer.size() > kMaxHeadBytes) {
            *head = std::move(buffer);
            return false;
        }
        if (WaitFor(fd, POLLIN, m_wakeRead, -1) != WaitResult::Ready)
            return false;
        const ssize_t received = recv(fd, chunk, sizeof chunk, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0) {
            *head = std::move(buffer);
            return false;
        }
        buffer.append(chunk, static_cast<std::size_t>(received));
    }
}

void TestHttpServer::DiscardBody(int fd, std::size_t length, std::size_t alreadyRead) {
    std::size_t remaining = length > alreadyRead ? length - alreadyRead : 0;
    char chunk[4096];
    while (remaining > 0) {
        if (WaitFor(fd, POLLIN, m_wakeRead, -1) != WaitResult::Ready)
            return;
        const ssize_t received = recv(fd, chunk, std::min(remaining, sizeof chunk), 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return;
        remaining -= static_cast<std::size_t>(received);
    }
}

// Runs the steps of `reply`. Returns early when the client goes away or the server stops.
void TestHttpServer::Play(int fd, const Reply& reply, bool* resetRequested) {
    for (const Reply::Step& step : reply.m_steps) {
        switch (step.kind) {
            case Reply::Step::Kind::Send:
                if (!SendAll(fd, step.bytes))
                    return;
                break;
            case Reply::Step::Kind::Sleep:
                if (!Pause(step.ms))
                    return;
                break;
            case Reply::Step::Kind::Hang: {
                char buffer[4096];
                while (WaitFor(fd, POLLIN, m_wakeRead, -1) == WaitResult::Ready) {
                    const ssize_t received = recv(fd, buffer, sizeof buffer, 0);
                    if (received == 0 || (received < 0 && errno != EINTR))
                        return;
                }
                return;
            }
            case Reply::Step::Kind::Reset:
                *resetRequested = true;
                return;
            case Reply::Step::Kind::Call:
                step.call();
                break;
        }
    }
}

bool TestHttpServer::SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        if (WaitFor(fd, POLLOUT, m_wakeRead, -1) != WaitResult::Ready)
            return false;
        const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// Sleeps `ms` milliseconds; returns false (early) when the server is stopping.
bool TestHttpServer::Pause(int ms) {
    return WaitFor(-1, 0, m_wakeRead, ms < 0 ? 0 : ms) == WaitResult::Timeout;
}

void TestHttpServer::CloseConnection(Connection* connection, bool abortive) {
    std::lock_guard lock(m_mutex);
    if (abortive) {
        const linger option{1, 0};
        setsockopt(connection->fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
    }
    close(connection->fd);
    connection->fd = -1;
    connection->finished = true;
}

}  // namespace tvxtest
