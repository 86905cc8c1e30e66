// Checks the test servers themselves, using plain sockets as the client so that a fault in
// the servers cannot be masked by the HTTP client under test.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "NginxServer.h"
#include "TestHttpServer.h"

namespace tvxtest {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A connected client socket; -1 with errno set when the connect failed.
int Connect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const timeval timeout{5, 0};  // a broken server fails the test instead of hanging it
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

class Client {
public:
    explicit Client(int port) : m_fd(Connect(port)) {}
    ~Client() {
        if (m_fd >= 0)
            close(m_fd);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Connected() const { return m_fd >= 0; }

    bool Write(const std::string& bytes) {
        return send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }

    // Reads until EOF or an error; m_error is the errno of the failed read (EAGAIN after the
    // receive timeout), 0 after a clean EOF.
    std::string ReadToEnd() {
        std::string data;
        while (ReadSome(&data)) {
        }
        return data;
    }

    // Reads until `data` contains `marker` (returns true) or the stream ends.
    bool ReadUntil(const std::string& marker, std::string* data) {
        while (data->find(marker) == std::string::npos) {
            if (!ReadSome(data))
                return false;
        }
        return true;
    }

    int Error() const { return m_error; }

private:
    bool ReadSome(std::string* data) {
        char buffer[8192];
        const ssize_t received = recv(m_fd, buffer, sizeof buffer, 0);
        if (received > 0) {
            data->append(buffer, static_cast<std::size_t>(received));
            return true;
        }
        m_error = received == 0 ? 0 : errno;
        return false;
    }

    int m_fd;
    int m_error = 0;
};

std::string Exchange(int port, const std::string& request) {
    Client client(port);
    EXPECT_TRUE(client.Connected()) << std::strerror(errno);
    EXPECT_TRUE(client.Write(request));
    std::string response = client.ReadToEnd();
    EXPECT_EQ(client.Error(), 0) << std::strerror(client.Error());
    return response;
}

struct Response {
    int status = 0;
    HeaderList headers;
    std::string body;

    // Case-insensitive lookups, shared with SeenRequest.
    std::string Header(std::string_view name) const { return AsRequest().Header(name); }
    bool HasHeader(std::string_view name) const { return AsRequest().HasHeader(name); }

private:
    SeenRequest AsRequest() const {
        SeenRequest request;
        request.headers = headers;
        return request;
    }
};

Response ParseResponse(const std::string& bytes) {
    Response response;
    const std::size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == std::string::npos || bytes.compare(0, 9, "HTTP/1.1 ") != 0)
        return response;
    response.status = std::atoi(bytes.c_str() + 9);
    std::size_t lineStart = bytes.find("\r\n") + 2;
    while (lineStart < headEnd + 2) {
        const std::size_t lineEnd = bytes.find("\r\n", lineStart);
        const std::string line = bytes.substr(lineStart, lineEnd - lineStart);
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            const std::size_t valueStart = line.find_first_not_of(' ', colon + 1);
            response.headers.emplace_back(line.substr(0, colon), valueStart == std::string::npos
                                                                     ? ""
                                                                     : line.substr(valueStart));
        }
        lineStart = lineEnd + 2;
    }
    response.body = bytes.substr(headEnd + 4);
    return response;
}

Response Get(int port, const std::string& target, const std::string& extraHeaders = "",
             const std::string& method = "GET") {
    return ParseResponse(Exchange(
        port, method + " " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n"));
}

TEST(TestHttpServer, PlaysScriptedBytesAndRecordsRequests) {
    // Deliberately unusual framing: the reply must arrive exactly as scripted.
    const std::string head = "HTTP/1.0 200 Fine\r\ncontent-length:11\r\nX-Odd:  a  \r\n\r\n";
    TestHttpServer server([&](const SeenRequest&) {
        return Reply().Send(head).Sleep(20).Trickle("hello world", 4, 5);
    });
    EXPECT_EQ(server.Url("/a?b"), "http://127.0.0.1:" + std::to_string(server.Port()) + "/a?b");

    const std::string request =
        "GET /file?x=1 HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: probe\r\nX-Padded: \t v  \r\n"
        "\r\n";
    EXPECT_EQ(Exchange(server.Port(), request), head + "hello world");

    // A replaced handler serves later requests; a request body is consumed, not parsed.
    server.SetHandler([](const SeenRequest&) { return Reply().Send("second"); });
    EXPECT_EQ(Exchange(server.Port(), "POST /upload HTTP/1.0\r\nContent-Length: 5\r\n\r\nabcde"),
              "second");

    ASSERT_EQ(server.RequestCount(), 2);
    const std::vector<SeenRequest> seen = server.Requests();
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].target, "/file?x=1");
    EXPECT_EQ(seen[0].version, "HTTP/1.0");
    EXPECT_EQ(seen[0].raw, request);
    EXPECT_EQ(seen[0].Header("user-agent"), "probe");
    EXPECT_EQ(seen[0].Header("X-PADDED"), "v");
    EXPECT_TRUE(seen[0].HasHeader("host"));
    EXPECT_FALSE(seen[0].HasHeader("Range"));
    EXPECT_EQ(seen[0].Header("Range"), "");
    EXPECT_EQ(seen[1].method, "POST");
    EXPECT_EQ(seen[1].target, "/upload");
    EXPECT_EQ(seen[1].Header("Content-Length"), "5");

    TestHttpServer noHandler;
    EXPECT_EQ(Get(noHandler.Port(), "/").status, 404);
}

TEST(TestHttpServer, HttpDateIsRfc1123Gmt) {
    EXPECT_EQ(HttpDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(HttpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(HttpDate(951782400), "Tue, 29 Feb 2000 00:00:00 GMT");
}

// A request and the answer a correct static file server gives for the 10-byte file
// "0123456789" last modified at kLastModified.
struct RangeCase {
    const char* name;
    std::string headers;
    int status;
    std::string body;
    std::string contentRange;  // "" when the header must be absent
};

const std::string kLastModified = "Sun, 06 Nov 1994 08:49:37 GMT";
const std::string kFileBody = "0123456789";

std::vector<RangeCase> RangeCases() {
    return {
        {"no range", "", 200, kFileBody, ""},
        {"open range", "Range: bytes=4-\r\n", 206, "456789", "bytes 4-9/10"},
        {"closed range", "Range: bytes=2-4\r\n", 206, "234", "bytes 2-4/10"},
        {"range past the end is clipped", "Range: bytes=8-100\r\n", 206, "89", "bytes 8-9/10"},
        {"suffix range", "Range: bytes=-3\r\n", 206, "789", "bytes 7-9/10"},
        {"start at the end", "Range: bytes=10-\r\n", 416, "", "bytes */10"},
        {"If-Range matches", "Range: bytes=4-\r\nIf-Range: " + kLastModified + "\r\n", 206,
         "456789", "bytes 4-9/10"},
        {"If-Range is stale", "Range: bytes=4-\r\nIf-Range: Sat, 05 Nov 1994 08:49:37 GMT\r\n", 200,
         kFileBody, ""},
        {"stale If-Range beats 416",
         "Range: bytes=10-\r\nIf-Range: Sat, 05 Nov 1994 08:49:37 GMT\r\n", 200, kFileBody, ""},
    };
}

void ExpectRangeCase(int port, const std::string& target, const RangeCase& expected) {
    SCOPED_TRACE(expected.name);
    const Response response = Get(port, target, expected.headers);
    EXPECT_EQ(response.status, expected.status);
    EXPECT_EQ(response.Header("Content-Range"), expected.contentRange);
    if (expected.status != 416) {  // error bodies are up to the server
        EXPECT_EQ(response.body, expected.body);
        EXPECT_EQ(response.Header("Content-Length"), std::to_string(expected.body.size()));
        EXPECT_EQ(response.Header("Last-Modified"), kLastModified);
    }
}

TEST(FileReply, AnswersRangesLikeAStaticFileServer) {
    TestHttpServer server([](const SeenRequest& request) {
        return FileReply(request, kFileBody, request.target == "/undated" ? "" : kLastModified);
    });
    for (const RangeCase& rangeCase : RangeCases())
        ExpectRangeCase(server.Port(), "/file", rangeCase);

    // Servers may ignore or reject these; FileReply ignores them.
    for (const char* range : {"bytes=0-1,4-5", "bytes=5-2", "items=1-2", "bytes=x-"}) {
        SCOPED_TRACE(range);
        const Response ignored =
            Get(server.Port(), "/file", "Range: " + std::string(range) + "\r\n");
        EXPECT_EQ(ignored.status, 200);
        EXPECT_EQ(ignored.body, kFileBody);
    }

    const Response head = Get(server.Port(), "/file", "", "HEAD");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.Header("Content-Length"), "10");
    EXPECT_EQ(head.body, "");

    // Without a validator there is no Last-Modified, and any If-Range fails.
    const Response undated = Get(server.Port(), "/undated", "Range: bytes=4-\r\nIf-Range: x\r\n");
    EXPECT_EQ(undated.status, 200);
    EXPECT_FALSE(undated.HasHeader("Last-Modified"));
    EXPECT_EQ(Get(server.Port(), "/undated", "Range: bytes=4-\r\n").status, 206);
}

TEST(TestHttpServer, ResetAbortsTheConnection) {
    const std::string head = ResponseHead(200, {{"Content-Length", "100000"}});
    const std::string part(1000, 'x');
    TestHttpServer server(
        [&](const SeenRequest&) { return Reply().Send(head + part).Sleep(100).Reset(); });
    Client client(server.Port());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Write("GET / HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(client.ReadToEnd(), head + part);
    EXPECT_EQ(client.Error(), ECONNRESET) << std::strerror(client.Error());
}

TEST(TestHttpServer, DestructionEndsOpenConnectionsPromptly) {
    struct Case {
        const char* name;
        bool sendRequest;
        Reply reply;
    };
    const std::string head = ResponseHead(200, {{"Content-Length", "1000"}});
    const std::vector<Case> cases = {
        {"waiting for the request head", false, Reply()},
        {"hanging", true, Reply().Send(head).Hang()},
        {"sleeping", true, Reply().Send(head).Sleep(60000)},
        {"trickling", true, Reply().Send(head).Trickle(std::string(1000, 'y'), 1, 1000)},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        auto server =
            std::make_unique<TestHttpServer>([&](const SeenRequest&) { return testCase.reply; });
        Client client(server->Port());
        ASSERT_TRUE(client.Connected());
        std::string received;
        if (testCase.sendRequest) {
            ASSERT_TRUE(client.Write("GET / HTTP/1.0\r\n\r\n"));
            ASSERT_TRUE(client.ReadUntil("\r\n\r\n", &received));
        }

        const auto start = Clock::now();
        server.reset();
        EXPECT_LT(Clock::now() - start, 2s);
        client.ReadToEnd();
        EXPECT_NE(client.Error(), EAGAIN) << "the connection stayed open";
    }
}

TEST(TestHttpServer, StoppedAndUnusedPortsRefuseConnections) {
    TestHttpServer server;
    const int port = server.Port();
    ASSERT_TRUE(Client(port).Connected());
    server.Stop();
    server.Stop();
    EXPECT_EQ(Connect(port), -1);
    EXPECT_EQ(errno, ECONNREFUSED);

    const int unused = UnusedLoopbackPort();
    EXPECT_GT(unused, 0);
    EXPECT_EQ(Connect(unused), -1);
    EXPECT_EQ(errno, ECONNREFUSED);
}

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tvx-support-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

TEST(NginxServer, ServesFilesWithRangesAndValidators) {
    if (!NginxServer::Available())
        GTEST_SKIP() << "nginx is not installed";
    TempDir root;
    ASSERT_FALSE(root.Path().empty());
    const std::string file = root.Path() + "/file";
    std::ofstream(file, std::ios::binary) << kFileBody;
    const timespec mtime[2] = {{784111777, 0}, {784111777, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), mtime, 0), 0);

    NginxServer nginx(root.Path());
    ASSERT_TRUE(nginx.Started()) << nginx.Error();
    EXPECT_EQ(nginx.Url("/file"), "http://127.0.0.1:" + std::to_string(nginx.Port()) + "/file");
    // The same expectations FileReply is held to, so the two stay interchangeable.
    for (const RangeCase& rangeCase : RangeCases())
        ExpectRangeCase(nginx.Port(), "/file", rangeCase);
    EXPECT_EQ(Get(nginx.Port(), "/missing").status, 404);
}

TEST(NginxServer, ReportsConfigurationErrors) {
    if (!NginxServer::Available())
        GTEST_SKIP() << "nginx is not installed";
    TempDir root;
    const auto start = Clock::now();
    NginxServer nginx(root.Path(), "no_such_directive on;");
    EXPECT_FALSE(nginx.Started());
    EXPECT_NE(nginx.Error().find("no_such_directive"), std::string::npos) << nginx.Error();
    EXPECT_LT(Clock::now() - start, 5s);
}

}  // namespace
}  // namespace tvxtest
