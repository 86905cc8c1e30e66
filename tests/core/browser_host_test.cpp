// The hand-off from other browsers: requests as the extension sends them,
// judged before anything happens, and the native messaging host by its
// protocol, against a stand-in for the window.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>

#include "Process.h"
#include "Sandbox.h"
#include "browser/HandOff.h"

namespace {

using tvx::CookieForm;
using tvx::HandOffRequest;

TEST(HandOff, RequestsAreJudgedAndCookiesKeepTheirHost) {
    const std::string cookies =
        R"("cookies":[{"name":"s","value":"1","domain":"files.example","path":"/dl",)"
        R"("hostOnly":true,"secure":true,"expirationDate":2000000000.5},)"
        R"({"name":"t","value":"2","domain":"example","hostOnly":false},)"
        R"({"name":"bad","value":"a\tb","domain":"example"}])";
    HandOffRequest r;
    std::string error;
    ASSERT_TRUE(tvx::ParseHandOff(R"({"action":"download","url":"https://files.example/a.zip",)"
                                  R"("referrer":"https://files.example/","filename":"a.zip",)"
                                  R"("folder":"/tmp","x":[1,{"y":null}],)" +
                                      cookies + "}",
                                  CookieForm::Objects, r, error))
        << error;
    EXPECT_EQ(r.cookies,
              (std::vector<std::string>{"files.example\tFALSE\t/dl\tTRUE\t2000000000\ts\t1",
                                        ".example\tTRUE\t/\tFALSE\t0\tt\t2"}));
    // To the window and back, the request stays the same.
    HandOffRequest back;
    ASSERT_TRUE(tvx::ParseHandOff(tvx::EncodeHandOff(r), CookieForm::Lines, back, error));
    EXPECT_EQ(back.url, r.url);
    EXPECT_EQ(back.cookies, r.cookies);
    EXPECT_EQ(back.filename, "a.zip");
    ASSERT_TRUE(tvx::ParseHandOff(R"({"action":"add","url":"http://h/x","text":"A\u00e9\nB"})",
                                  CookieForm::Objects, r, error));
    EXPECT_EQ(r.text, "A\xC3\xA9 B");

    const std::pair<const char*, const char*> refused[] = {
        {"{", "no JSON object"},
        {R"(["add"])", "no JSON object"},
        {R"({"action":"delete","url":"http://h/x"})", "must be \"download\" or \"add\""},
        {R"({"action":"add","url":"ftp://h/x"})", "http or https"},
        {R"x({"action":"add","url":"javascript:alert(1)"})x", "http or https"},
        {R"({"action":"add","url":7})", "must be a text"},
        {R"({"action":"add","url":"http://h/x","cookies":{}})", "must be a list"},
        {R"({"action":"add","url":"http://h/\u0000x"})", "http or https"},
    };
    for (const auto& [json, reason] : refused) {
        EXPECT_FALSE(tvx::ParseHandOff(json, CookieForm::Objects, r, error)) << json;
        EXPECT_NE(error.find(reason), std::string::npos) << json << ": " << error;
    }
}

// Stands in for the window of a folder: answers every request line with
// `reply` (ok unless told otherwise; "" closes without an answer) and keeps
// the lines.
class FakeWindow {
public:
    explicit FakeWindow(const std::string& path, std::string reply = tvx::HandOffAnswer(true))
        : m_reply(std::move(reply)) {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strcpy(a.sun_path, path.c_str());
        ::unlink(path.c_str());
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(m_fd, 4) == 0)
            m_thread = std::thread([this] { Serve(); });
    }
    ~FakeWindow() {
        ::shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_fd);
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

private:
    void Serve() {
        for (;;) {
            const int c = ::accept(m_fd, nullptr, nullptr);
            if (c < 0)
                return;
            std::string line;
            char ch;
            while (::read(c, &ch, 1) == 1 && ch != '\n')
                line += ch;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_lines.push_back(line);
            }
            const std::string answer = m_reply.empty() ? "" : m_reply + "\n";
            [[maybe_unused]] const ssize_t n = ::write(c, answer.data(), answer.size());
            ::close(c);
        }
    }
    std::string m_reply;
    int m_fd = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

std::string Frame(const std::string& json) {
    const auto n = static_cast<std::uint32_t>(json.size());
    return std::string(reinterpret_cast<const char*>(&n), 4) + json;
}

std::vector<std::string> Frames(const std::string& out) {
    std::vector<std::string> frames;
    for (std::size_t at = 0; at + 4 <= out.size();) {
        std::uint32_t n = 0;
        std::memcpy(&n, out.data() + at, 4);
        frames.push_back(out.substr(at + 4, n));
        at += 4 + n;
    }
    return frames;
}

class BrowserHost : public tvxtest::Sandbox {
protected:
    // Puts the windows' sockets in the sandbox ($XDG_RUNTIME_DIR) and returns
    // the sandbox's real path, the folder a request names.
    std::string SocketsInSandbox() {
        ::mkdir(PathOf("run").c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", PathOf("run").c_str(), 1);
        char* real = ::realpath(Dir().c_str(), nullptr);
        const std::string folder = real;
        std::free(real);
        return folder;
    }
};

// Every frame gets an answer; good ones reach the window, bad ones nothing.
TEST_F(BrowserHost, AnswersEveryFrameAndHandsTheGoodOnesToTheWindow) {
    const std::string folder = SocketsInSandbox();
    FakeWindow window(tvx::WindowSocketPath(folder));
    const std::string good =
        R"({"action":"download","url":"https://h.example/a.zip","folder":")" + folder +
        R"(","cookies":[{"name":"k","value":"v","domain":"h.example","hostOnly":true}]})";
    const std::string input =
        Frame(good) +
        Frame(R"({"action":"add","url":"http://h/b.zip","folder":")" + folder + R"("})") +
        Frame("not json") + Frame(R"({"action":"add","url":"file:///etc/passwd"})") +
        Frame(R"({"action":"add","url":"http://h/c","folder":")" + folder + R"(/gone"})");
    tvxtest::WriteFile(PathOf("in"), input);
    const std::string host = TVX_BROWSER_HOST_PATH;
    const auto r = tvxtest::RunProcess("/bin/sh", {"-c", "exec '" + host + "' < in"}, Dir());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> answers = Frames(r.out);
    ASSERT_EQ(answers.size(), 5u) << r.out;
    EXPECT_EQ(answers[0], R"({"ok":true})");
    EXPECT_EQ(answers[1], R"({"ok":true})");
    EXPECT_NE(answers[2].find("no JSON object"), std::string::npos);
    EXPECT_NE(answers[3].find("http or https"), std::string::npos) << answers[3];
    EXPECT_NE(answers[4].find("the folder does not exist"), std::string::npos) << answers[4];
    const std::vector<std::string> lines = window.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("\"cookies\":[\"h.example\\tFALSE\\t/\\tFALSE\\t0\\tk\\tv\"]"),
              std::string::npos)
        << lines[0];

    // A frame longer than any request ends the channel with the reason.
    tvxtest::WriteFile(PathOf("in"), std::string("\xFF\xFF\xFF\x7F", 4) + "x");
    const auto big = tvxtest::RunProcess("/bin/sh", {"-c", "exec '" + host + "' < in"}, Dir());
    EXPECT_EQ(big.exitCode, 1);
    ASSERT_EQ(Frames(big.out).size(), 1u);
    EXPECT_NE(Frames(big.out)[0].find("too long"), std::string::npos);
    ::unsetenv("XDG_RUNTIME_DIR");
}

// A request that reached a window is never sent again, and the window's
// refusal (the person cancelled its Save dialog) reaches the browser as it is.
TEST_F(BrowserHost, ARequestThatReachedTheWindowIsSentOnceAndItsAnswerPassedOn) {
    const std::string folder = SocketsInSandbox();
    const std::string host = TVX_BROWSER_HOST_PATH;
    tvxtest::WriteFile(PathOf("in"), Frame(R"({"action":"download","url":"http://h/a.zip","folder":")" +
                                           folder + R"("})"));
    for (const std::string& reply :
         {std::string(), tvx::HandOffAnswer(false, "the Save dialog was cancelled")}) {
        FakeWindow window(tvx::WindowSocketPath(folder), reply);
        const auto r = tvxtest::RunProcess("/bin/sh", {"-c", "exec '" + host + "' < in"}, Dir());
        ASSERT_EQ(Frames(r.out).size(), 1u) << r.out;
        EXPECT_NE(Frames(r.out)[0].find(reply.empty() ? "took the request but did not answer"
                                                      : "the Save dialog was cancelled"),
                  std::string::npos)
            << Frames(r.out)[0];
        EXPECT_EQ(window.Lines().size(), 1u);
    }
    ::unsetenv("XDG_RUNTIME_DIR");
}

// Without $XDG_RUNTIME_DIR the sockets go to /tmp/tvx-<uid>, but only when
// that folder is the user's own and closed to others.
TEST_F(BrowserHost, SocketsStayOutOfAFolderOthersCanReach) {
    const std::string shared = "/tmp/tvx-" + std::to_string(::getuid());
    struct stat st {};
    if (::lstat(shared.c_str(), &st) == 0)
        GTEST_SKIP() << shared << " exists already; it is left alone";
    const char* home = std::getenv("HOME");
    const std::string oldHome = home != nullptr ? home : "";
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("HOME", PathOf("home").c_str(), 1);
    ::mkdir(PathOf("home").c_str(), 0700);
    EXPECT_EQ(tvx::WindowSocketPath("/a").rfind(shared + "/", 0), 0u);
    ::chmod(shared.c_str(), 0777);
    EXPECT_EQ(tvx::WindowSocketPath("/a").rfind(PathOf("home/.cache/tvx-run/"), 0), 0u);
    ::rmdir(shared.c_str());
    ::setenv("HOME", oldHome.c_str(), 1);
}

}  // namespace
