#pragma once

// A scriptable HTTP/1.x server on 127.0.0.1 for testing an HTTP client against correct and
// misbehaving servers. Each request is passed to a handler that returns a Reply: a script of raw
// bytes, pauses and connection endings, so a test controls the exact wire format (malformed
// heads, wrong lengths, stalls, resets).

#include <atomic>
#include <cstddef>
#include <ctime>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace tvxtest {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One request head as the server received it.
struct SeenRequest {
    std::string method;
    std::string target;
    std::string version;  // e.g. "HTTP/1.0"
    HeaderList headers;   // in the order received; values have surrounding blanks removed
    std::string raw;      // the head exactly as received, including the final empty line

    // Value of the first header named `name` (compared case-insensitively), "" when absent.
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
};

// The script of one reply. Steps run in the order they were added; after the last step the
// connection is closed normally (FIN). Hang() and Reset() end the script: steps added after
// them are never run.
class Reply {
public:
    // Writes `bytes` as they are (nothing is added or checked).
    Reply& Send(std::string bytes);
    // Pauses for `ms` milliseconds (cut short when the server stops).
    Reply& Sleep(int ms);
    // Writes `bytes` in pieces of `bytesPerStep` (at least 1), pausing `msPerStep` between
    // pieces.
    Reply& Trickle(std::string bytes, std::size_t bytesPerStep, int msPerStep);
    // Runs `call` on the connection's thread when the script reaches it (to act at an exact
    // point of a reply, such as after a given number of body bytes).
    Reply& Call(std::function<void()> call);
    // Sends nothing more and keeps the connection open until the client closes it or the
    // server stops.
    Reply& Hang();
    // Closes the connection abortively (RST). Data still queued in the kernel may be discarded;
    // put a Sleep() before Reset() when the client should receive it first.
    Reply& Reset();

private:
    friend class TestHttpServer;

    struct Step {
        enum class Kind { Send, Sleep, Hang, Reset, Call };
        Kind kind;
        std::string bytes;
        int ms = 0;
        std::function<void()> call{};
    };
    std::vector<Step> m_steps;
};

// "HTTP/1.1 <status> <reason>\r\n" followed by each header line and the empty line.
std::string ResponseHead(int status, const HeaderList& headers = {});

// Answers `request` like a correct static file server holding `body`, last modified at
// `lastModified` (an HTTP date; the header is omitted when empty):
//  - 200 with the whole body;
//  - 206 with Content-Range for "Range: bytes=N-", "bytes=N-M" or "bytes=-N", provided
//    If-Range is absent or equals `lastModified` exactly (otherwise 200);
//  - 416 with "Content-Range: bytes */<total>" when the range starts at or beyond the end.
// Ranges that cannot be parsed, and multiple ranges, are ignored (200). HEAD gets no body.
Reply FileReply(const SeenRequest& request, const std::string& body,
                const std::string& lastModified);

// RFC 1123 date in GMT, e.g. "Sun, 06 Nov 1994 08:49:37 GMT"; independent of the locale.
std::string HttpDate(std::time_t t);

// A port on 127.0.0.1 that nothing listens on at the moment of the call (it was bound to pick
// it, then released). Throws std::system_error when no socket can be bound.
int UnusedLoopbackPort();

// Listens on an ephemeral port of 127.0.0.1 from construction until Stop() or destruction.
// Every accepted connection is served by its own thread: the request head is read (at most
// 64 KiB; a request body announced by Content-Length is read and discarded), recorded, passed
// to the handler, and the returned Reply is played. One request per connection; the connection
// is closed after the reply.
class TestHttpServer {
public:
    // Called once per request on a connection thread, never on the test's thread: anything it
    // shares with the test must be synchronised. It must return in bounded time, because
    // Stop() waits for it. With no handler every request gets an empty 404.
    using Handler = std::function<Reply(const SeenRequest&)>;

    // Throws std::system_error when the listening socket cannot be set up.
    explicit TestHttpServer(Handler handler = {});
    ~TestHttpServer();

    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    int Port() const { return m_port; }
    // "http://127.0.0.1:<port>" + path.
    std::string Url(const std::string& path) const;

    // Replaces the handler; requests whose head arrives later use the new one.
    void SetHandler(Handler handler);

    // All requests received so far, in arrival order.
    std::vector<SeenRequest> Requests() const;
    int RequestCount() const;

    // Closes the listening socket (later connects are refused), ends every open connection
    // (cutting Sleep, Trickle and Hang short) and joins all threads. Idempotent. Must not be
    // called from a handler.
    void Stop();

private:
    struct Connection {
        int fd = -1;  // guarded by m_mutex; -1 once closed
        bool finished = false;
        std::thread thread;
    };

    void AcceptLoop();
    void Serve(Connection* connection);
    void Play(int fd, const Reply& reply, bool* resetRequested);
    bool ReadHead(int fd, std::string* head, std::string* rest);
    void DiscardBody(int fd, std::size_t length, std::size_t alreadyRead);
    bool SendAll(int fd, std::string_view bytes);
    bool Pause(int ms);
    void CloseConnection(Connection* connection, bool abortive);
    void ReapFinished();

    int m_listenFd = -1;
    int m_port = 0;
    int m_wakeRead = -1;  // becomes readable (and stays so) once Stop() begins
    int m_wakeWrite = -1;
    std::atomic<bool> m_stopping{false};
    std::mutex m_stopMutex;
    bool m_stopped = false;  // guarded by m_stopMutex

    mutable std::mutex m_mutex;
    Handler m_handler;                    // guarded by m_mutex
    std::vector<SeenRequest> m_requests;  // guarded by m_mutex
    std::list<Connection> m_connections;  // guarded by m_mutex
    std::thread m_acceptThread;
};

}  // namespace tvxtest
