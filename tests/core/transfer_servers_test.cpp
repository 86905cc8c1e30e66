// The transfer engine against misbehaving servers, scripted byte for byte.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "TestHttpServer.h"
#include "TransferHelpers.h"
#include "session/WorkListEntry.h"

namespace {

using tvx::ControlRecord;
using tvx::CTransfer;
using tvxtest::FileReply;
using tvxtest::FileSize;
using tvxtest::Pattern;
using tvxtest::ReadFile;
using tvxtest::Reply;
using tvxtest::ResponseHead;
using tvxtest::SeenRequest;
using tvxtest::TestHttpServer;

const std::string kDate = "Sun, 06 Nov 1994 08:49:37 GMT";
constexpr double kDateNumber = 199411060849.0;

Reply Head(int status, const tvxtest::HeaderList& headers, const std::string& body = {}) {
    return Reply().Send(ResponseHead(status, headers) + body);
}

class ServerTransfer : public tvxtest::TransferTest {
protected:
    void BreakAfter(TestHttpServer& server, int chunks) {
        TransferTest::BreakAfter(server.Url("/f"), "f.bin", chunks);
    }
    std::string body = Pattern(2500);
};

TEST_F(ServerTransfer, ShortBodyEndsQuietlyAndStaysResumable) {
    TestHttpServer server([&](const SeenRequest&) {
        return Head(200, {{"Content-Length", "2500"}, {"Last-Modified", kDate}},
                    body.substr(0, 1000));
    });
    auto t = Make();
    ASSERT_EQ(t->Open(server.Url("/f"), "f.bin"), CTransfer::kOk);
    Drain(*t);
    EXPECT_EQ(t->OnDisk(), 1000);
    EXPECT_TRUE(ui.messages.empty());
    ControlRecord r;
    ASSERT_TRUE(ReadControl(PathOf("CTL_f.bin"), r));
    EXPECT_EQ(r.received, 1000);
    EXPECT_EQ(ReadFile(PathOf("f.bin")), body.substr(0, 1000));

    // The next run completes it from a correct server.
    server.SetHandler([&](const SeenRequest& req) { return FileReply(req, body, kDate); });
    auto u = Make();
    ASSERT_EQ(u->Open(server.Url("/f"), "f.bin"), CTransfer::kOk);
    EXPECT_EQ(u->OnDisk(), 1000);
    Drain(*u);
    EXPECT_EQ(ReadFile(PathOf("f.bin")), body);
    EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_f.bin")));
    const SeenRequest last = server.Requests().back();
    EXPECT_EQ(last.Header("Range"), "bytes=1000-");
    EXPECT_EQ(last.Header("If-Range"), kDate);
}

// A request is a GET with the two header lines in the HTTP version asked
// for; a server that answers in HTTP/1.0, or with a chunked body, is read
// the same. A chunked body is decoded; the length beside it is not its own,
// so without a Content-Length of its own the file is refused.
TEST_F(ServerTransfer, RequestsGoInTheVersionAskedForAndEveryAnswerFormIsRead) {
    using tvx::HttpVersion;
    const std::string head = "200 OK\r\nLast-Modified: " + kDate + "\r\n";
    const struct {
        HttpVersion version;
        const char* requestLine;
        std::string answer;  // "" for a correct file server
        const char* problem;
    } cases[] = {
        {HttpVersion::Auto, "HTTP/1.1", "", ""},
        {HttpVersion::Http1_1, "HTTP/1.1", "HTTP/1.0 " + head + "Content-Length: 2500\r\n\r\n", ""},
        {HttpVersion::Http2, "HTTP/1.1", "", ""},
        {HttpVersion::Http1_0, "HTTP/1.0", "HTTP/1.0 " + head + "Content-Length: 2500\r\n\r\n", ""},
        {HttpVersion::Auto, "HTTP/1.1",
         "HTTP/1.1 " + head + "Transfer-Encoding: chunked\r\nContent-Length: 2500\r\n\r\n",
         "the server announced no length (Transfer-Encoding: chunked)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requestLine + c.answer);
        TestHttpServer server([&](const SeenRequest& req) {
            if (c.answer.empty())
                return FileReply(req, body, kDate);
            if (c.answer.find("chunked") == std::string::npos)
                return Reply().Send(c.answer + body);
            return Reply().Send(c.answer + "9c4\r\n" + body + "\r\n0\r\n\r\n");
        });
        settings.httpVersion = c.version;
        std::remove(PathOf("f.zip").c_str());
        auto t = Make();
        const int opened = t->Open(server.Url("/dir/f.zip"), "f.zip");
        const SeenRequest req = server.Requests().at(0);
        EXPECT_EQ(req.method, "GET");
        EXPECT_EQ(req.target, "/dir/f.zip");
        EXPECT_EQ(req.version, c.requestLine);
        EXPECT_EQ(req.Header("Accept"), "text/*");
        EXPECT_EQ(req.Header("User-Agent"), "GET HTTP");
        EXPECT_FALSE(req.HasHeader("Range"));
        EXPECT_EQ(req.Header("Upgrade"), c.version == HttpVersion::Http2 ? "h2c" : "");
        if (*c.problem != '\0') {
            EXPECT_EQ(opened, CTransfer::kRefused);
            EXPECT_EQ(t->Problem().rfind(c.problem, 0), 0u) << t->Problem();
            continue;
        }
        ASSERT_EQ(opened, CTransfer::kOk) << t->Problem();
        EXPECT_EQ(t->ContentLength(), 2500);
        EXPECT_EQ(t->RemoteDate(), kDateNumber);
        Drain(*t);
        EXPECT_EQ(ReadFile(PathOf("f.zip")), body);
    }
}

// The limit of a RateSchedule window holds while the clock is in it, and
// the next one from the moment the clock crosses the boundary.
TEST_F(ServerTransfer, TheRateScheduleChangesTheLimitAtItsBoundary) {
    const std::string body = Pattern(400000, 3);
    TestHttpServer server([&](const SeenRequest& req) { return FileReply(req, body, kDate); });
    std::string problem;
    ASSERT_TRUE(tvx::ParseRateSchedule("09:00-09:30 64K, 09:30-10:00 0", settings.rateSchedule,
                                       problem));
    settings.maxBytesPerSecond = 1024;  // the fixed limit, outside every window
    std::atomic<int> minute{9 * 60};
    auto t = Make(tvx::ReportMode::SingleFile, false);
    t->SetMinuteClock([&] { return minute.load(); });
    ASSERT_EQ(t->Open(server.Url("/f"), "f.bin"), CTransfer::kOk);
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1000))
        ASSERT_NE(t->ReadChunk(), 0);
    // About a second at 64 KiB/s (a tenth of a second's worth may come at once).
    EXPECT_GT(t->OnDisk(), 40000);
    EXPECT_LT(t->OnDisk(), 64 * 1024 + 6554 + 32768);
    minute = 9 * 60 + 30;  // no limit from here on
    const auto crossed = std::chrono::steady_clock::now();
    Drain(*t);
    EXPECT_TRUE(t->Complete());
    EXPECT_LT(std::chrono::steady_clock::now() - crossed, std::chrono::seconds(2));
    EXPECT_EQ(ReadFile(PathOf("f.bin")), body);
}

TEST_F(ServerTransfer, ExtraBytesBeyondTheLengthAreNotStored) {
    TestHttpServer server([&](const SeenRequest&) {
        return Head(200, {{"Content-Length", "100"}, {"Last-Modified", kDate}},
                    body.substr(0, 150));
    });
    auto t = Make();
    ASSERT_EQ(t->Open(server.Url("/f"), "f.bin"), CTransfer::kOk);
    Drain(*t);
    EXPECT_EQ(ReadFile(PathOf("f.bin")), body.substr(0, 100));
    EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_f.bin")));
}

TEST_F(ServerTransfer, DroppedConnectionIsAReadErrorAndTheCountIsTrue) {
    TestHttpServer server([&](const SeenRequest&) {
        return Reply()
            .Send(ResponseHead(200, {{"Content-Length", "2500"}, {"Last-Modified", kDate}}) +
                  body.substr(0, 1300))
            .Sleep(100)
            .Reset();
    });
    auto t = Make(tvx::ReportMode::Session);
    ASSERT_EQ(t->Open(server.Url("/f"), "f.bin"), CTransfer::kOk);
    Drain(*t);
    ControlRecord r;
    ASSERT_TRUE(ReadControl(PathOf("CTL_f.bin"), r));
    EXPECT_EQ(r.received, FileSize(PathOf("f.bin")));
    EXPECT_EQ(ReadFile(PathOf("f.bin")), body.substr(0, r.received));
    EXPECT_LT(t->OnDisk(), 2500);
}

TEST_F(ServerTransfer, StatusAndLengthRules) {
    std::string cl;
    int status = 200;
    TestHttpServer server([&](const SeenRequest&) {
        tvxtest::HeaderList headers{{"Last-Modified", kDate}};
        if (!cl.empty())
            headers.push_back({"Content-Length", cl});
        return Head(status, headers, "abc");
    });
    auto t = Make();
    // No Content-Length, one that cannot be read, or a status that is no
    // file: nothing to fetch, and the check leaves the reason for its owner.
    const struct {
        const char* length;
        int status;
        const char* reason;
    } refusals[] = {{"", 200, "announced no length"},
                    {"abc", 200, "cannot be read"},
                    {"3", 404, "not found on the server (HTTP 404)"},
                    {"3", 410, "not found on the server (HTTP 410)"},
                    {"3", 503, "server busy (HTTP 503)"},
                    {"3", 206, "part of the file (HTTP 206)"}};
    for (const auto& r : refusals) {
        cl = r.length;
        status = r.status;
        EXPECT_EQ(t->Check(server.Url("/f")), CTransfer::kRefused);
        EXPECT_EQ(t->StatusCode(), r.status);
        EXPECT_NE(t->Problem().find(r.reason), std::string::npos) << t->Problem();
    }
    EXPECT_TRUE(ui.messages.empty());
    status = 500;
    EXPECT_EQ(t->Open(server.Url("/f"), "f.bin"), CTransfer::kRefused);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("server error (HTTP 500)"), std::string::npos);
    EXPECT_FALSE(tvxtest::Exists(PathOf("f.bin")));
    // Lengths that cannot be are refused with a reason.
    status = 200;
    for (const char* bad : {"1125899906842624", "99999999999999999999999", "-5"}) {
        cl = bad;
        EXPECT_EQ(t->Check(server.Url("/f")), CTransfer::kRefused) << bad;
        EXPECT_NE(t->Problem().find(bad), std::string::npos) << t->Problem();
        ui.messages.clear();
        EXPECT_EQ(t->Open(server.Url("/f"), "f.bin"), CTransfer::kRefused) << bad;
        EXPECT_EQ(ui.messages.size(), 1u) << bad;
        EXPECT_FALSE(tvxtest::Exists(PathOf("f.bin")));
    }
    // Any real size is taken whole, far beyond 32 bits.
    for (const std::int64_t length : {2147483647LL, 2147483648LL, 5368709121LL, 1LL << 49}) {
        cl = std::to_string(length);
        EXPECT_EQ(t->Check(server.Url("/f")), CTransfer::kOk);
        EXPECT_EQ(t->ContentLength(), length);
    }
}

TEST_F(ServerTransfer, TooLittleFreeSpaceIsSaidAndNothingIsTouched) {
    TestHttpServer server([&](const SeenRequest& req) { return FileReply(req, body, kDate); });
    tvxtest::WriteFile(PathOf("f.bin"), "the old copy");
    for (const std::int64_t free : {std::int64_t(1000), std::int64_t(2487)}) {
        ui.messages.clear();
        auto t = Make();
        std::string asked;
        t->SetFreeSpaceProbe([&](const std::string& folder) {
            asked = folder;
            return free;
        });
        EXPECT_EQ(t->Open(server.Url("/f"), "f.bin"), CTransfer::kLocalFileError) << free;
        EXPECT_EQ(asked, Dir());
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(ui.messages[0].find("needs 2.5 KB, "), std::string::npos) << ui.messages[0];
        EXPECT_EQ(ReadFile(PathOf("f.bin")), "the old copy");
        EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_f.bin")));
    }
    // The old copy's own bytes count: cutting it back makes room.
    auto t = Make();
    t->SetFreeSpaceProbe([](const std::string&) { return std::int64_t(2488); });
    ASSERT_EQ(t->Open(server.Url("/f"), "f.bin"), CTransfer::kOk);
    Drain(*t);
    EXPECT_EQ(ReadFile(PathOf("f.bin")), body);
}

TEST_F(ServerTransfer, RedirectsAreFollowedAndTheirBodiesNeverStored) {
    int hops = 0;
    TestHttpServer server([&](const SeenRequest& req) {
        if (req.target == "/start")
            return Head(301, {{"Location", "/hop"}, {"Content-Length", "9"}}, "301 body!");
        if (req.target == "/hop") {
            ++hops;
            return Head(302, {{"Location", "/final.bin"}, {"Content-Length", "9"}}, "302 body!");
        }
        if (req.target == "/loop")
            return Head(302, {{"Location", "/loop"}, {"Content-Length", "0"}});
        if (req.target == "/nolocation")
            return Head(302, {{"Content-Length", "9"}}, "302 body!");
        return FileReply(req, body, kDate);
    });
    auto t = Make();
    ASSERT_EQ(t->Check(server.Url("/start")), CTransfer::kOk);
    EXPECT_EQ(t->StatusCode(), 200);
    EXPECT_EQ(t->ContentLength(), 2500);
    ASSERT_EQ(t->Open(server.Url("/start"), "f.bin"), CTransfer::kOk);
    Drain(*t);
    EXPECT_EQ(ReadFile(PathOf("f.bin")), body);
    // The transfer goes on with the check's answer: the way is taken once.
    EXPECT_EQ(hops, 1);

    // A redirect without a target is no file.
    EXPECT_EQ(t->Check(server.Url("/nolocation")), CTransfer::kRefused);
    EXPECT_EQ(t->StatusCode(), 302);
    // Endless redirection is an error with a reason.
    EXPECT_EQ(t->Check(server.Url("/loop")), CTransfer::kInternetError);
    EXPECT_NE(t->Problem().find("redirections"), std::string::npos) << t->Problem();
}

TEST_F(ServerTransfer, ServerIgnoringRangeIsReadUpToTheOffset) {
    TestHttpServer server([&](const SeenRequest& req) { return FileReply(req, body, kDate); });
    BreakAfter(server, 2);
    server.SetHandler([&](const SeenRequest&) {
        return Head(200, {{"Content-Length", "2500"}, {"Last-Modified", kDate}}, body);
    });
    auto t = Make();
    ASSERT_EQ(t->Open(server.Url("/f"), "f.bin"), CTransfer::kOk);
    EXPECT_EQ(t->OnDisk(), 2048);
    Drain(*t);
    EXPECT_EQ(ReadFile(PathOf("f.bin")), body);
}

TEST_F(ServerTransfer, PositioningThatWouldSpliceStartsOver) {
    TestHttpServer server([&](const SeenRequest& req) { return FileReply(req, body, kDate); });
    const std::string other = Pattern(2500, 9);
    const std::string later = "Mon, 07 Nov 1994 08:49:37 GMT";
    struct Case {
        const char* name;
        std::function<Reply(const SeenRequest&)> onRange;
    } cases[] = {
        {"416",
         [](const SeenRequest&) {
             return Head(416, {{"Content-Range", "bytes */2500"}});
         }},
        {"206 at another byte",
         [&](const SeenRequest&) {
             return Head(206,
                         {{"Content-Range", "bytes 0-2499/2500"},
                          {"Content-Length", "2500"},
                          {"Last-Modified", kDate}},
                         body);
         }},
        {"206 of another total",
         [&](const SeenRequest&) {
             return Head(206,
                         {{"Content-Range", "bytes 2048-2999/3000"},
                          {"Content-Length", "952"},
                          {"Last-Modified", kDate}},
                         std::string(952, 'x'));
         }},
        {"file replaced in between",
         [&](const SeenRequest&) {
             return Head(200, {{"Content-Length", "2500"}, {"Last-Modified", later}}, other);
         }},
        {"503",
         [](const SeenRequest&) {
             return Head(503, {{"Content-Length", "0"}});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(PathOf("f.bin").c_str());
        std::remove(PathOf("CTL_f.bin").c_str());
        server.SetHandler([&](const SeenRequest& req) { return FileReply(req, body, kDate); });
        BreakAfter(server, 2);
        server.SetHandler([&](const SeenRequest& req) {
            return req.HasHeader("Range") ? c.onRange(req) : FileReply(req, body, kDate);
        });
        ui.messages.clear();
        ui.notices.clear();
        auto t = Make();
        // The part on disk stays until the first byte of the new start is in.
        ASSERT_EQ(t->Open(server.Url("/f"), "f.bin"), CTransfer::kOk);
        EXPECT_EQ(t->OnDisk(), 0);
        EXPECT_EQ(ReadFile(PathOf("f.bin")), body.substr(0, 2048));
        EXPECT_TRUE(ui.messages.empty());
        ASSERT_EQ(ui.notices.size(), 1u);
        EXPECT_NE(ui.notices[0].find("downloading from byte 0"), std::string::npos);
        Drain(*t);
        EXPECT_EQ(ReadFile(PathOf("f.bin")), body);
        EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_f.bin")));
    }
}

TEST_F(ServerTransfer, SessionModeLogsErrorsOnLinesOfTheirOwn) {
    TestHttpServer server([&](const SeenRequest& req) { return FileReply(req, body, kDate); });
    BreakAfter(server, 1);
    server.SetHandler([&](const SeenRequest& req) {
        return req.HasHeader("Range") ? Reply().Reset() : FileReply(req, body, kDate);
    });
    auto t = Make(tvx::ReportMode::Session);
    EXPECT_EQ(t->Open(server.Url("/f"), "f.bin"), CTransfer::kInternetError);
    EXPECT_EQ(log.Text().rfind("SEEK ON POS:1024 and completing this file\nSEEK ERROR: ", 0), 0u)
        << log.Text();
    EXPECT_EQ(log.Text().substr(log.Text().size() - 3), "\a\a\n");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ServerTransfer, DatesInAllThreeFormsAndMalformedOnes) {
    std::string date;
    TestHttpServer server([&](const SeenRequest& req) { return FileReply(req, body, date); });
    auto t = Make();
    for (const std::string& form :
         {std::string("Sunday, 06-Nov-94 08:49:37 GMT"), std::string("Sun Nov  6 08:49:37 1994")}) {
        date = form;
        ASSERT_EQ(t->Check(server.Url("/f")), CTransfer::kOk);
        EXPECT_EQ(t->RemoteDate(), kDateNumber) << form;
    }
    // No usable date: 0, and a broken transfer starts over, since nothing
    // tells whether the part on disk belongs to the server's file.
    for (const std::string& bad : {std::string("not a date"), std::string()}) {
        date = bad;
        ASSERT_EQ(t->Check(server.Url("/f")), CTransfer::kOk);
        EXPECT_EQ(t->RemoteDate(), 0);
        BreakAfter(server, 2);
        auto u = Make();
        ASSERT_EQ(u->Open(server.Url("/f"), "f.bin"), CTransfer::kOk);
        EXPECT_EQ(u->OnDisk(), 0);
        Drain(*u);
        EXPECT_EQ(ReadFile(PathOf("f.bin")), body);
    }
}

TEST_F(ServerTransfer, SlowServersWorkAndDeadOnesTimeOut) {
    TestHttpServer server([&](const SeenRequest& req) {
        if (req.target == "/stall") {
            return Reply()
                .Send(ResponseHead(200, {{"Content-Length", "2500"}, {"Last-Modified", kDate}}) +
                      body.substr(0, 100))
                .Hang();
        }
        if (req.target == "/silent")
            return Reply().Hang();
        return Reply()
            .Send(ResponseHead(200, {{"Content-Length", "2500"}, {"Last-Modified", kDate}}))
            .Trickle(body, 250, 30);
    });
    settings.lowSpeedLimit = 1;
    settings.lowSpeedTime = 1;
    auto t = Make();
    ASSERT_EQ(t->Open(server.Url("/trickle"), "t.bin"), CTransfer::kOk);
    Drain(*t);
    EXPECT_EQ(ReadFile(PathOf("t.bin")), body);
    EXPECT_TRUE(ui.messages.empty());

    ASSERT_EQ(t->Open(server.Url("/stall"), "s.bin"), CTransfer::kOk);
    Drain(*t);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("Error: ", 0), 0u) << ui.messages[0];
    EXPECT_EQ(t->OnDisk(), 100);

    EXPECT_EQ(t->Check(server.Url("/silent")), CTransfer::kInternetError);
    EXPECT_FALSE(t->Problem().empty());
    EXPECT_FALSE(t->HostUnreachable()) << "the host answered the connection";
}

TEST_F(ServerTransfer, UnreachableServersAreInternetErrors) {
    const int port = tvxtest::UnusedLoopbackPort();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/f";
    auto single = Make();
    EXPECT_EQ(single->Check(url), CTransfer::kInternetError);
    EXPECT_TRUE(single->HostUnreachable());
    EXPECT_NE(single->Problem().find(std::to_string(port)), std::string::npos) << single->Problem();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(single->Open(url, "f.bin"), CTransfer::kInternetError);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(tvxtest::Exists(PathOf("f.bin")));
    // An empty address has nothing to report.
    EXPECT_EQ(single->Check(""), CTransfer::kInternetError);
    EXPECT_EQ(single->Problem(), "");
    // Addresses that do not parse are errors with a text, not crashes.
    EXPECT_EQ(single->Check("http://"), CTransfer::kInternetError);
    EXPECT_EQ(single->Check("ftp://127.0.0.1/x"), CTransfer::kInternetError);
}

TEST_F(ServerTransfer, HugeHeaderLinesAreErrors) {
    TestHttpServer server([&](const SeenRequest&) {
        return Reply().Send("HTTP/1.1 200 OK\r\nX-Big: " + std::string(2 << 20, 'x') +
                            "\r\nContent-Length: 3\r\n\r\nabc");
    });
    auto t = Make();
    EXPECT_EQ(t->Check(server.Url("/f")), CTransfer::kInternetError);
    EXPECT_FALSE(t->Problem().empty());
    EXPECT_FALSE(t->HostUnreachable());
}

}  // namespace

namespace {

TEST_F(ServerTransfer, DestinationThatCannotBeMadeIsSaid) {
    TestHttpServer server([&](const SeenRequest& req) { return FileReply(req, body, kDate); });
    tvxtest::WriteFile(PathOf("plain"), "a file where a folder should be");
    auto t = Make();
    EXPECT_EQ(t->Open(server.Url("/f"), "plain\\f.bin"), CTransfer::kLocalFileError);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("Error: cannot create ", 0), 0u) << ui.messages[0];
    EXPECT_NE(ui.messages[0].find("Not a directory"), std::string::npos) << ui.messages[0];
    // In a session the reason runs into the session's own "Open Problems" line.
    auto s = Make(tvx::ReportMode::Session);
    EXPECT_EQ(s->Open(server.Url("/f"), "plain\\f.bin"), CTransfer::kLocalFileError);
    EXPECT_EQ(log.Text().rfind("OPEN ERROR: cannot create ", 0), 0u) << log.Text();
}

}  // namespace
