// The command tvx-session as cron would run it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "NginxServer.h"
#include "Process.h"
#include "TestHttpServer.h"
#include "TransferHelpers.h"
#include "downloadlist/TreeFile.h"
#include "platform/Text.h"
#include "session/WorkList.h"
#include "transfer/ControlFile.h"
#include "transfer/Digest.h"

namespace {

using tvx::Format;
using tvxtest::Pattern;
using tvxtest::ReadFile;
using tvxtest::SeenRequest;

const std::string kTvxSession = TVX_SESSION_PATH;
const std::string kDate = "Sun, 06 Nov 1994 08:49:37 GMT";

class TvxSession : public tvxtest::TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        server = std::make_unique<tvxtest::TestHttpServer>([this](const SeenRequest& req) {
            if (req.target == "/missing")
                return tvxtest::Reply().Send(tvxtest::ResponseHead(404, {}));
            if (req.target == "/slow") {
                return tvxtest::Reply()
                    .Send(tvxtest::ResponseHead(
                        200, {{"Content-Length", "100000"}, {"Last-Modified", kDate}}))
                    .Trickle(Pattern(100000, 4), 2000, 50);
            }
            return tvxtest::FileReply(req, Pattern(4000, req.target.size()), kDate);
        });
    }
    void List(const std::string& links) {
        tvxtest::WriteFile(PathOf(tvx::kTreeControlFileName),
                           server->Url("/") + ",dl,Test\r\n" + links + "}\r\n//END\r\n");
    }
    tvxtest::ProcessResult Session(const std::vector<std::string>& args = {}) {
        return tvxtest::RunProcess(kTvxSession, args, Dir());
    }
    std::unique_ptr<tvxtest::TestHttpServer> server;
};

TEST_F(TvxSession, NothingCheckedIsNothingToDo) {
    List("1,a.bin,A\r\n{F\r\n1,b.bin,B\r\n}\r\n");
    auto r = Session();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(
        r.err,
        "Nothing to do\nNothing became selects in the tree control\n(see on the left site)\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(tvxtest::FileSize(PathOf("download.tmp")), 0);
    EXPECT_EQ(server->RequestCount(), 0);
}

TEST_F(TvxSession, AllFetchesEveryLinkAndTheNextRunKeepsThemCurrent) {
    List("1,a.bin,A\r\n{F\r\n1,sub/b.bin,B\r\n}\r\n");
    auto first = Session({"--all"});
    EXPECT_EQ(first.exitCode, 0) << first.out << first.err;
    EXPECT_EQ(ReadFile(PathOf("dl/a.bin")), Pattern(4000, 6));
    EXPECT_EQ(ReadFile(PathOf("dl/sub/b.bin")), Pattern(4000, 10));
    EXPECT_EQ(tvxtest::FileSize(PathOf("download.tmp")), 2 * 660);
    EXPECT_FALSE(tvxtest::Exists(PathOf("dnlctrl.tmp")));
    // The log as the pane shows it: CR and LF each end a line, no BEL.
    EXPECT_EQ(first.out.rfind("\n\n\n\nSTART SESSION - CHECK AND DOWNLOAD\n\n\nOPEN_URL : ", 0), 0u)
        << first.out;
    EXPECT_NE(first.out.find("OPEN_URL : " + server->Url("/sub/b.bin") +
                             "\nDOWNLOAD : 4000 Byte dl\\sub\\b.bin\n"
                             "CLOSE_URL : DOWLOAD OK\n"),
              std::string::npos)
        << first.out;

    // Without --all the links whose files exist are taken: cron keeps them current.
    auto second = Session();
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_NE(second.out.find("DOWNLOAD : CHECK is EQUAL dl\\a.bin\n"), std::string::npos)
        << second.out;
    EXPECT_NE(second.out.find("DOWNLOAD : CHECK is EQUAL dl\\sub\\b.bin\n"), std::string::npos);
}

TEST_F(TvxSession, ErrorsGiveExitOneAndMissingListsTwo) {
    List("1,missing,Gone\r\n1,a.bin,A\r\n");
    auto r = Session({"--all"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("OPEN_URL : *** NO CONNECTION for the first check " +
                         server->Url("/missing") + "\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find('\a'), std::string::npos);
    EXPECT_NE(r.out.find("\n\nERRORS: The session hat 1 errors\n\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("This downloading hat 1 errors - try again"), std::string::npos);
    EXPECT_EQ(r.err.find('\a'), std::string::npos);

    std::remove(PathOf(tvx::kTreeControlFileName).c_str());
    auto none = Session();
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.err.find("tvx_downctrl.htm"), std::string::npos);
    // Options are judged before the list is looked for.
    EXPECT_EQ(Session({"--bogus"}).exitCode, 2);
    for (const auto& bad :
         std::vector<std::vector<std::string>>{{"-j"}, {"-j", "0"}, {"-j", "33"}, {"-j", "x"}}) {
        const auto r = Session(bad);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("-j takes a number from 1 to 32"), std::string::npos) << r.err;
    }
    EXPECT_NE(Session({"-j", "32"}).err.find("there is no download list"), std::string::npos);
}

TEST_F(TvxSession, BreakingOffLeavesResumableFilesAndExitsOne) {
    List("1,slow,Slow\r\n");
    for (const bool byTimeLimit : {false, true}) {
        SCOPED_TRACE(byTimeLimit ? "--max-time" : "Ctrl+C");
        std::remove(PathOf("dl/slow").c_str());
        std::remove(PathOf("dl/CTL_slow").c_str());
        tvxtest::ProcessResult r;
        if (byTimeLimit) {
            r = Session({"--all", "--max-time", "1"});
            EXPECT_NE(r.err.find("time limit of 1 seconds"), std::string::npos) << r.err;
        } else {
            const pid_t pid = tvxtest::StartProcess(kTvxSession, {"--all"}, Dir());
            for (int i = 0; i < 500 && tvxtest::FileSize(PathOf("dl/slow")) < 10000; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            kill(pid, SIGINT);
            r = tvxtest::WaitProcess(pid, Dir());
        }
        // The log says why it ended; the exit status says a file is incomplete.
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        EXPECT_NE(r.out.find("SESSION CLOSE : because discontinuance (cancel button)\n"),
                  std::string::npos)
            << r.out;
        tvx::ControlRecord record;
        ASSERT_TRUE(ReadControl(PathOf("dl/CTL_slow"), record));
        EXPECT_GT(record.received, 0);
        EXPECT_LT(record.received, 100000);
        EXPECT_LE(record.received, tvxtest::FileSize(PathOf("dl/slow")));
    }
}

TEST_F(TvxSession, ADeadHostFailsOnlyItsOwnLinks) {
    const std::string dead = "http://127.0.0.1:" + std::to_string(tvxtest::UnusedLoopbackPort());
    List("1," + dead + "/x.bin,dl/x.bin,X\r\n1," + dead + "/y.bin,dl/y.bin,Y\r\n1,a.bin,A\r\n");
    auto r = Session({"--all"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(ReadFile(PathOf("dl/a.bin")), Pattern(4000, 6));
    EXPECT_NE(r.out.find("NO CONNECTION for the first check " + dead + "/x.bin\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("NO CONNECTION for the first check " + dead + "/y.bin\n"),
              std::string::npos);
    EXPECT_EQ(r.out.find("FATAL OPEN_URL PROBLEM"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ERRORS: The session hat 2 errors"), std::string::npos) << r.out;

    // When no host answers, the session ends before any download, as it always did.
    List("1," + dead + "/x.bin,dl/x.bin,X\r\n");
    auto none = Session({"--all"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.out.find("FATAL OPEN_URL PROBLEM: *** it's better you check this problem\n"),
              std::string::npos)
        << none.out;
}

TEST_F(TvxSession, LongAddressReachesTheServerWholeAndLeftOutLinksAreSaid) {
    // A signed address far longer than 127 characters, then more links than
    // the list can hold.
    const std::string target = "/get?sig=" + std::string(2500, 's');
    std::string links = "1," + server->Url(target) + ",signed.bin,Signed\r\n";
    for (int i = 0; i < 1030; ++i)
        links += "1,never.bin,Never\r\n";
    List(links);
    ASSERT_EQ(mkdir(PathOf("dl").c_str(), 0755), 0);
    tvxtest::WriteFile(PathOf("dl/signed.bin"), "old");  // so that its box is set
    auto r = Session();
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;  // the run did not do all its list
    EXPECT_EQ(ReadFile(PathOf("dl/signed.bin")), Pattern(4000, target.size()));
    const std::string said = "8 links of the download list were left out";
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(said), std::string::npos) << r.out;
    // A log that cannot be written fails the run and says why.
    const auto full = tvxtest::RunProcess(
        "/bin/sh", {"-c", "exec '" + kTvxSession + "' --all > /dev/full"}, Dir());
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("the log could not be written to standard output: No space left"),
              std::string::npos)
        << full.err;
}

// On a terminal a progress line shows the entry being checked, then the
// session's bytes, and is wiped before each log line; in a pipe nothing of it.
TEST_F(TvxSession, OnATerminalAProgressLineShowsTheSessionTotal) {
    List("1,a.bin,A\r\n1,b.bin,B\r\n");
    const auto r = tvxtest::RunProcess("/usr/bin/script",
                                       {"-qefc", kTvxSession + " --all", "/dev/null"}, Dir());
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("\rcheck the file: b.bin"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\rSession: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" of 7.8 KB  "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("DOWNLOAD : 4000 Byte dl\\a.bin"), std::string::npos);
    const auto piped = Session({"--all"});
    EXPECT_EQ(piped.err, "");
}

// With several requests in flight the log, the exit status and every file are
// those of the one-at-a-time run: new, equal, changed, missing and broken-off
// links, two of a dead host, and a partial file whose version changed within
// the same minute.
TEST_F(TvxSession, ManyAtOnceWritesTheLogOfOneAtATime) {
    const std::string kNewer = "Mon, 07 Nov 1994 10:00:00 GMT";
    const std::string kSameMinute = "Sun, 06 Nov 1994 08:49:52 GMT";
    std::atomic<int> phase{1}, inFlight{0}, mostInFlight{0};
    server->SetHandler([&](const SeenRequest& req) {
        const int now = ++inFlight;
        for (int most = mostInFlight;
             now > most && !mostInFlight.compare_exchange_weak(most, now);) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        --inFlight;
        const int i = std::atoi(req.target.c_str() + 2);
        const auto cut = [&](int length, int sent, const std::string& date) {
            return tvxtest::Reply()
                .Send(tvxtest::ResponseHead(
                    200, {{"Content-Length", std::to_string(length)}, {"Last-Modified", date}}))
                .Send(Pattern(length, i).substr(0, sent));
        };
        if (phase == 1)
            return i % 6 == 5 ? cut(8000, 3000, kDate)
                              : tvxtest::FileReply(req, Pattern(4000, i), kDate);
        switch (i % 6) {
            case 0:  // changed
                return tvxtest::FileReply(req, Pattern(4000 + i, i + 100), kNewer);
            case 1:  // missing
                return tvxtest::Reply().Send(tvxtest::ResponseHead(404, {}));
            case 2:  // broken off
                return cut(6000, 2000, kNewer);
            case 5:  // the partial's version is gone, same length and minute
                return tvxtest::FileReply(req, Pattern(8000, i + 200), kSameMinute);
            default:  // equal, or new where the local file was removed
                return tvxtest::FileReply(req, Pattern(4000, i), kDate);
        }
    });
    const std::string dead = "http://127.0.0.1:" + std::to_string(tvxtest::UnusedLoopbackPort());
    std::string links;
    for (int i = 10; i < 60; ++i) {
        links += Format("1,f%d,F%d\r\n", i, i);
        if (i == 20 || i == 40)
            links += Format("1,%s/d%d,dl\\d%d,D\r\n", dead.c_str(), i, i);
    }
    List(links);
    ASSERT_EQ(Session({"--all", "-j", "1"}).exitCode, 1);
    for (int i = 10; i < 60; i += 6)
        std::remove(PathOf(Format("dl/f%d", i)).c_str());  // new in the next run
    ASSERT_EQ(std::system(("cp -a '" + Dir() + "' '" + Dir() + "-copy'").c_str()), 0);

    phase = 2;
    mostInFlight = 0;
    const auto one = Session({"--all", "-j", "1"});
    EXPECT_EQ(mostInFlight, 1);
    mostInFlight = 0;
    const auto eight = tvxtest::RunProcess(kTvxSession, {"--all", "-j", "8"}, Dir() + "-copy");
    EXPECT_GT(mostInFlight, 1);
    EXPECT_EQ(eight.out, one.out);
    EXPECT_EQ(eight.err, one.err);
    EXPECT_EQ(eight.exitCode, 1);
    EXPECT_EQ(one.exitCode, 1);
    for (const char* line :
         {"DOWNLOAD : CHECK is EQUAL dl\\f15\n", "RESTART : the file changed",
          "*** DOWLOAD NOT OK  2000 of 6000 Bytes\n", "NO CONNECTION for the first check ",
          "ERRORS: The session hat 18 errors"}) {
        EXPECT_NE(eight.out.find(line), std::string::npos) << line << "\n" << eight.out;
    }
    for (int i = 10; i < 60; ++i) {
        const std::string name = Format("dl/f%d", i);
        EXPECT_EQ(ReadFile(Dir() + "-copy/" + name), ReadFile(PathOf(name))) << name;
        EXPECT_EQ(tvxtest::Exists(Dir() + "-copy/dl/CTL_" + name.substr(3)),
                  tvxtest::Exists(PathOf("dl/CTL_" + name.substr(3))));
    }
    EXPECT_EQ(ReadFile(PathOf("dl/f17")), Pattern(8000, 217));
    EXPECT_EQ(ReadFile(PathOf("dl/f12")), Pattern(4012, 112));
    std::system(("rm -rf '" + Dir() + "-copy'").c_str());
}

// One misbehaving answer fails its own link only, judged the same with
// requests in flight as one at a time; the host's other links go on, and a
// redirection to a dead mirror does not make the host dead.
TEST_F(TvxSession, ManyAtOnceJudgesMisbehavingAnswersAsOneAtATime) {
    const std::string body = Pattern(3000, 7);
    const std::string head = "HTTP/1.1 200 OK\r\nLast-Modified: " + kDate + "\r\n";
    const std::string dead = "http://127.0.0.1:" + std::to_string(tvxtest::UnusedLoopbackPort());
    const struct {
        const char* name;
        std::string reply;
    } cases[] = {
        {"two lengths", head + "Content-Length: 3000\r\nContent-Length: 2000\r\n\r\n" + body},
        {"extra bytes", head + "Content-Length: 3000\r\n\r\n" + body + "surplus"},
        {"short body", head + "Content-Length: 3000\r\n\r\n" + body.substr(0, 1000)},
        {"no length", head + "\r\n" + body},
        {"unreadable length", head + "Content-Length: 3x00\r\n\r\n" + body},
        {"letters for a length", head + "Content-Length: abc\r\n\r\n" + body},
        {"negative length", head + "Content-Length: -5\r\n\r\n" + body},
        {"dead mirror", "HTTP/1.1 302 Found\r\nLocation: " + dead + "/b\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server->SetHandler([&](const SeenRequest& req) {
            if (req.target == "/b.bin")
                return tvxtest::Reply().Send(c.reply);
            return tvxtest::FileReply(req, Pattern(3000, req.target[1]), kDate);
        });
        List("1,a.bin,A\r\n1,b.bin,B\r\n1,c.bin,C\r\n");
        std::string logs[2];
        for (int j = 0; j < 2; ++j) {
            std::system(("rm -rf '" + PathOf("dl") + "'").c_str());
            const auto r = Session({"--all", "-j", j == 0 ? "1" : "8"});
            logs[j] = r.out + r.err + std::to_string(r.exitCode);
            EXPECT_EQ(ReadFile(PathOf("dl/a.bin")), Pattern(3000, 'a'));
            EXPECT_EQ(ReadFile(PathOf("dl/c.bin")), Pattern(3000, 'c'));
        }
        EXPECT_EQ(logs[1], logs[0]);
        EXPECT_EQ(logs[0].find("FATAL"), std::string::npos) << logs[0];
    }
}

// A server that takes two requests at a time and turns the rest away (as
// nginx's limit_conn does) gets fewer connections, never a failed link: the
// log, the files and the exit status are those of one at a time. An answer
// 429 with a short Retry-After is asked again after it.
TEST_F(TvxSession, ABusyServerIsAskedAgainNotFailed) {
    std::atomic<int> active{0}, turnedAway{0};
    std::atomic<bool> laterAsked{false};
    server->SetHandler([&](const SeenRequest& req) {
        if (req.target == "/later" && !laterAsked.exchange(true)) {
            return tvxtest::Reply().Send(
                tvxtest::ResponseHead(429, {{"Retry-After", "1"}, {"Content-Length", "0"}}));
        }
        if (++active > 2) {
            --active;
            ++turnedAway;
            return tvxtest::Reply().Send(tvxtest::ResponseHead(503, {{"Content-Length", "0"}}));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        --active;
        return tvxtest::FileReply(req, Pattern(4000, req.target.size()), kDate);
    });
    std::string links = "1,later,L\r\n";
    for (int i = 0; i < 30; ++i)
        links += Format("1,f%d,F\r\n", i);
    List(links);
    std::string logs[2];
    for (int j = 0; j < 2; ++j) {
        std::system(("rm -rf '" + PathOf("dl") + "'").c_str());
        laterAsked = false;
        const auto r = Session({"--all", "-j", j == 0 ? "1" : "8"});
        logs[j] = r.out + r.err + std::to_string(r.exitCode);
        EXPECT_EQ(r.exitCode, 0) << r.out;
    }
    EXPECT_GT(turnedAway, 0) << "the server never turned a request away";
    // The session backs off at once: a few requests are turned away, not one
    // for every request it keeps in flight.
    EXPECT_LE(turnedAway, 8);
    EXPECT_EQ(logs[1], logs[0]);
}

// A host that turned requests away gets connections back one at a time once
// it has been quiet for a while, never more than the session allows.
TEST_F(TvxSession, ABusyHostGetsItsConnectionsBackOneAtATime) {
    std::atomic<int> active{0}, most{0}, mostLater{0}, turnedAway{0};
    std::atomic<bool> crowded{true};  // at first the server takes one at a time
    server->SetHandler([&](const SeenRequest& req) {
        const int now = ++active;
        if (crowded && now > 1) {
            --active;
            ++turnedAway;
            return tvxtest::Reply().Send(tvxtest::ResponseHead(503, {{"Content-Length", "0"}}));
        }
        for (std::atomic<int>* m : {&most, crowded ? &most : &mostLater})
            for (int seen = *m; now > seen && !m->compare_exchange_weak(seen, now);)
                ;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        --active;
        return tvxtest::FileReply(req, Pattern(4000, req.target.size()), kDate);
    });
    std::string links;
    for (int i = 0; i < 40; ++i)
        links += Format("1,f%d,F\r\n", i);
    List(links);
    std::thread relief([&] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        crowded = false;
    });
    const auto r = Session({"--all", "-j", "4"});
    relief.join();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_GT(turnedAway, 0);
    EXPECT_GE(mostLater, 2) << "the host never got a second connection back";
    EXPECT_LE(most, 4);
}

// The download phase fetches up to -j files at once, large ones included,
// each writing as its bytes arrive; with -j 1 one after the other. (The
// files are too large for the check's answer to be kept for the download.)
TEST_F(TvxSession, SeveralFilesComeAtOnceLargeOnesIncluded) {
    for (const std::string jobs : {"8", "1"}) {
        for (const std::size_t size : {std::size_t(300000), std::size_t(1000000)}) {
            SCOPED_TRACE(jobs + " " + std::to_string(size));
            std::mutex mutex;
            std::map<std::string, std::vector<std::chrono::steady_clock::time_point>> arrived;
            server->SetHandler([&](const SeenRequest& req) {
                std::lock_guard<std::mutex> lock(mutex);
                auto& times = arrived[req.target];
                times.push_back(std::chrono::steady_clock::now());
                const std::string body = Pattern(size, req.target.size());
                if (times.size() == 1)
                    return tvxtest::FileReply(req, body, kDate);
                return tvxtest::Reply()
                    .Send(tvxtest::ResponseHead(
                        200, {{"Content-Length", std::to_string(size)}, {"Last-Modified", kDate}}))
                    .Trickle(body, size / 5 + 1, 100);
            });
            std::system(("rm -rf '" + PathOf("dl") + "'").c_str());
            List("1,first,F\r\n1,second,S\r\n");
            const auto r = Session({"--all", "-j", jobs});
            EXPECT_EQ(r.exitCode, 0) << r.out;
            std::lock_guard<std::mutex> lock(mutex);
            ASSERT_EQ(arrived["/first"].size(), 2u);
            ASSERT_EQ(arrived["/second"].size(), 2u);
            // "second" is downloaded first and takes about 400 ms.
            const auto gap = arrived["/first"][1] - arrived["/second"][1];
            if (jobs == "8")
                EXPECT_LT(gap, std::chrono::milliseconds(300));
            else
                EXPECT_GE(gap, std::chrono::milliseconds(350));
        }
    }
}

// A link whose file is another link's control file is left out with a
// message; the two would otherwise destroy each other's bytes.
TEST_F(TvxSession, ALinkOnAnotherLinksControlFileIsLeftOut) {
    List("1,a.bin,A\r\n1,CTL_a.bin,C\r\n");
    const auto r = Session({"--all"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("OPEN_URL : *** dl\\CTL_a.bin is the control file of dl\\a.bin; "
                         "the link is left out\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(ReadFile(PathOf("dl/a.bin")), Pattern(4000, 6));
    EXPECT_FALSE(tvxtest::Exists(PathOf("dl/CTL_a.bin")));
}

// An answer kept from the check whose body broke off after its head is
// asked again when the download's turn comes, not taken over.
TEST_F(TvxSession, ARequestStartedAheadThatBrokeOffIsAskedAgain) {
    std::mutex mutex;
    std::map<std::string, int> asked;
    server->SetHandler([&](const SeenRequest& req) {
        int n;
        {
            std::lock_guard<std::mutex> lock(mutex);
            n = ++asked[req.target];
        }
        const std::string body = Pattern(4000, req.target.size() + req.target[1]);
        if (req.target == "/c.bin") {  // checked last, and late: b's answer has broken off by then
            return tvxtest::Reply().Sleep(300).Send(
                tvxtest::ResponseHead(200, {{"Content-Length", "4000"}, {"Last-Modified", kDate}}) +
                body);
        }
        if (req.target == "/b.bin" && n == 1) {
            return tvxtest::Reply()
                .Send(tvxtest::ResponseHead(
                          200, {{"Content-Length", "4000"}, {"Last-Modified", kDate}}) +
                      body.substr(0, 100))
                .Sleep(20)
                .Reset();
        }
        return tvxtest::FileReply(req, body, kDate);
    });
    List("1,a.bin,A\r\n1,b.bin,B\r\n1,c.bin,C\r\n");
    const auto r = Session({"--all", "-j", "8"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(ReadFile(PathOf("dl/b.bin")), Pattern(4000, 6 + 'b'));
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(asked["/b.bin"], 2);
    EXPECT_EQ(asked["/a.bin"], 1);
}

// A killed session with several transfers in flight leaves the file being
// written resumable and nothing false beside it; the next run completes all.
TEST_F(TvxSession, AKillWithManyInFlightLeavesEveryFileResumable) {
    std::atomic<bool> slow{true};
    server->SetHandler([&](const SeenRequest& req) {
        const std::string body = Pattern(100000, req.target.size() + req.target.back());
        if (!slow)
            return tvxtest::FileReply(req, body, kDate);
        return tvxtest::Reply()
            .Send(tvxtest::ResponseHead(200,
                                        {{"Content-Length", "100000"}, {"Last-Modified", kDate}}))
            .Trickle(body, 2000, 50);
    });
    List("1,s1,S1\r\n1,s2,S2\r\n1,s3,S3\r\n");
    const pid_t pid = tvxtest::StartProcess(kTvxSession, {"--all", "-j", "8"}, Dir());
    // Records count bytes once they are durable, within a second.
    tvx::ControlRecord counted;
    for (int i = 0;
         i < 1000 && !(ReadControl(PathOf("dl/CTL_s3"), counted) && counted.received > 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    kill(pid, SIGKILL);
    tvxtest::WaitProcess(pid, Dir());
    // All three were under way; each record counts only what is on disk.
    for (const char* name : {"s1", "s2", "s3"}) {
        tvx::ControlRecord record;
        ASSERT_TRUE(ReadControl(PathOf(std::string("dl/CTL_") + name), record)) << name;
        EXPECT_LE(record.received, tvxtest::FileSize(PathOf(std::string("dl/") + name)));
    }

    slow = false;
    const auto r = Session({"--all", "-j", "8"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("SEEK ON POS:"), std::string::npos) << r.out;
    for (const char* name : {"s1", "s2", "s3"}) {
        EXPECT_TRUE(ReadFile(PathOf(std::string("dl/") + name)) == Pattern(100000, 3 + name[1]))
            << name;
        EXPECT_FALSE(tvxtest::Exists(PathOf(std::string("dl/CTL_") + name)));
    }
}

TEST_F(TvxSession, FolderChecksumsProveEachLinkAndUnchangedFilesCostA304) {
    if (!tvxtest::NginxServer::Available())
        GTEST_SKIP() << "nginx is not installed";
    ASSERT_EQ(mkdir(PathOf("www").c_str(), 0755), 0);
    constexpr int kFiles = 60;
    std::string links, sums, wrongSums;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = Format("f%d.bin", i);
        const std::string body = Pattern(3000 + 97 * i, i);
        tvxtest::WriteFile(PathOf("www/" + name), body);
        tvx::Hasher h(tvx::DigestAlgorithm::Sha256);
        h.Update(body.data(), body.size());
        const std::string line = tvx::HexText(h.Final()) + "  " + name + "\n";
        sums += line;
        wrongSums += i == 7 ? std::string(64, '0') + "  " + name + "\n" : line;
        links += "1," + name + ",F\r\n";
    }
    tvxtest::WriteFile(PathOf("www/SHA256SUMS"), wrongSums);
    const std::string accessLog = PathOf("access.log");
    tvxtest::NginxServer nginx(PathOf("www"), "access_log " + accessLog + ";");
    ASSERT_TRUE(nginx.Started()) << nginx.Error();
    if (const std::string ca = tvxtest::NginxServer::CaFile(); !ca.empty())
        tvxtest::WriteFile(PathOf("download.ini"), "[Transfer]\r\nCaFile=" + ca + "\r\n");
    tvxtest::WriteFile(PathOf(tvx::kTreeControlFileName),
                       nginx.Url("/") + ",dl,Test\r\n" + links + "}\r\n//END\r\n");

    const auto count = [](const std::string& text, const std::string& what) {
        int n = 0;
        for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; ++at)
            ++n;
        return n;
    };
    // A link that does not match its folder's SHA256SUMS is the session's
    // error, and its file is left to be fetched again; every other is proved.
    auto first = Session({"--all"});
    EXPECT_EQ(first.exitCode, 1) << first.out;
    EXPECT_EQ(count(first.out, "VERIFY ERROR: " + PathOf("dl/f7.bin") + ": sha-256 mismatch (" +
                                   nginx.Url("/SHA256SUMS") + "): expected " +
                                   std::string(64, '0') + ", got "),
              1)
        << first.out;
    EXPECT_EQ(count(first.out, " sha-256 verified (" + nginx.Url("/SHA256SUMS") + ")\n"), kFiles - 1);
    tvx::ControlRecord record;
    EXPECT_TRUE(ReadControl(PathOf("dl/CTL_f7.bin"), record) && record.received == 0);

    tvxtest::WriteFile(PathOf("www/SHA256SUMS"), sums);
    auto second = Session();
    EXPECT_EQ(second.exitCode, 0) << second.out;
    EXPECT_EQ(count(second.out, "DOWNLOAD : dl\\f7.bin sha-256 verified"), 1) << second.out;
    EXPECT_EQ(ReadFile(PathOf("dl/f7.bin")), Pattern(3000 + 97 * 7, 7));

    // Nothing changed: every check is answered 304, and no body is sent.
    const std::size_t before = ReadFile(accessLog).size();
    auto third = Session();
    EXPECT_EQ(third.exitCode, 0) << third.out;
    const std::string requests = ReadFile(accessLog).substr(before);
    EXPECT_EQ(count(requests, "\n"), kFiles);
    EXPECT_EQ(count(requests, "\" 304 0 "), kFiles) << requests;
    EXPECT_EQ(count(third.out, "DOWNLOAD : CHECK is EQUAL "), kFiles) << third.out;
}

}  // namespace
