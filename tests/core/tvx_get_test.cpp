// The command tvx-get as a user runs it: exit codes, messages, breaking off
// and resuming, a process killed in the middle.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "NginxServer.h"
#include "Process.h"
#include "TestHttpServer.h"
#include "TransferHelpers.h"
#include "transfer/ControlFile.h"
#include "transfer/Digest.h"

namespace {

using tvxtest::Pattern;
using tvxtest::ReadFile;
using tvxtest::RunProcess;
using tvxtest::SeenRequest;

const std::string kTvxGet = TVX_GET_PATH;
const std::string kDate = "Sun, 06 Nov 1994 08:49:37 GMT";

class TvxGet : public tvxtest::TransferTest {
protected:
    tvxtest::ProcessResult Get(const std::vector<std::string>& args) {
        return RunProcess(kTvxGet, args, Dir());
    }
    // Waits until the file has at least `bytes` bytes.
    bool WaitForSize(const std::string& path, std::int64_t bytes) {
        for (int i = 0; i < 1000; ++i) {
            if (tvxtest::FileSize(path) >= bytes)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

TEST_F(TvxGet, ExitCodesTellTheOutcome) {
    const std::string body = Pattern(5000);
    tvxtest::TestHttpServer server([&](const SeenRequest& req) {
        if (req.target == "/short") {
            return tvxtest::Reply().Send(
                tvxtest::ResponseHead(200, {{"Content-Length", "5000"}, {"Last-Modified", kDate}}) +
                body.substr(0, 1234));
        }
        if (req.target == "/empty")
            return tvxtest::FileReply(req, "", kDate);
        if (req.target != "/f.bin")
            return tvxtest::Reply().Send(tvxtest::ResponseHead(404, {}));
        return tvxtest::FileReply(req, body, kDate);
    });
    auto done = Get({server.Url("/f.bin") + ",out/f.bin"});
    EXPECT_EQ(done.exitCode, 0) << done.err;
    EXPECT_EQ(ReadFile(PathOf("out/f.bin")), body);
    auto again = Get({server.Url("/f.bin") + ",out/f.bin"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    // One check each, one look for each checksum file; the first check's
    // answer brings the file.
    EXPECT_EQ(server.RequestCount(), 4);

    auto missing = Get({server.Url("/none") + ",x.bin"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("not found on the server (HTTP 404)"), std::string::npos);

    // An empty file is made where no bytes would be lost, and never wipes a copy.
    EXPECT_EQ(Get({server.Url("/empty") + ",empty.bin"}).exitCode, 0);
    EXPECT_TRUE(tvxtest::Exists(PathOf("empty.bin")));
    EXPECT_EQ(tvxtest::FileSize(PathOf("empty.bin")), 0);
    tvxtest::WriteFile(PathOf("kept.bin"), "precious");
    EXPECT_EQ(Get({server.Url("/empty") + ",kept.bin"}).exitCode, 1);
    EXPECT_EQ(ReadFile(PathOf("kept.bin")), "precious");

    auto cut = Get({server.Url("/short") + ",short.bin"});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_NE(cut.err.find("1234 of 5000"), std::string::npos) << cut.err;
    EXPECT_TRUE(tvxtest::Exists(PathOf("CTL_short.bin")));

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"no comma"}, {"a", "b", "c"}}) {
        auto usage = Get(args);
        EXPECT_EQ(usage.exitCode, 2);
        EXPECT_NE(usage.err.find("CALL: Pullbox.exe webname,filename"), std::string::npos);
    }
}

TEST_F(TvxGet, MessagesHaveNoBellCharacters) {
    const std::string body = Pattern(3000);
    bool refuseRanges = false;
    tvxtest::TestHttpServer server([&](const SeenRequest& req) {
        if (refuseRanges && req.HasHeader("Range"))
            return tvxtest::Reply().Reset();
        return tvxtest::FileReply(req, body, kDate);
    });
    // Leave a partial file with its control file behind.
    tvxtest::WriteFile(PathOf("f.bin"), body.substr(0, 1000));
    unsigned char bytes[tvx::kControlRecordSize];
    tvx::EncodeControlRecord({3000, 199411060849.0, 1000}, bytes);
    tvxtest::WriteFile(PathOf("CTL_f.bin"),
                       std::string(reinterpret_cast<char*>(bytes), sizeof bytes));
    refuseRanges = true;
    auto seek = Get({server.Url("/f.bin") + ",f.bin"});
    EXPECT_EQ(seek.exitCode, 1);
    EXPECT_NE(seek.err.find("SEEK ERROR: "), std::string::npos) << seek.err;
    EXPECT_EQ(seek.err.find('\a'), std::string::npos);
    refuseRanges = false;
    auto resumed = Get({server.Url("/f.bin") + ",f.bin"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_EQ(ReadFile(PathOf("f.bin")), body);
    EXPECT_EQ(server.Requests().back().Header("Range"), "bytes=1000-");
}

class TvxGetNginx : public TvxGet {
protected:
    void SetUp() override {
        TvxGet::SetUp();
        if (!tvxtest::NginxServer::Available())
            GTEST_SKIP() << "nginx is not installed";
        ASSERT_EQ(mkdir(PathOf("www").c_str(), 0755), 0);
        body = Pattern(300000, 5);
        tvxtest::WriteFile(PathOf("www/big.bin"), body);
        if (const std::string ca = tvxtest::NginxServer::CaFile(); !ca.empty())
            tvxtest::WriteFile(PathOf("download.ini"), "[Transfer]\r\nCaFile=" + ca + "\r\n");
        nginx = std::make_unique<tvxtest::NginxServer>(PathOf("www"));
        ASSERT_TRUE(nginx->Started()) << nginx->Error();
        // The same folder at about 1 MB/s, so that a transfer lasts long
        // enough to be broken into.
        ASSERT_EQ(mkdir(PathOf("www/slow").c_str(), 0755), 0);
        slow = std::make_unique<tvxtest::NginxServer>(PathOf("www"), "limit_rate 1m;");
        ASSERT_TRUE(slow->Started()) << slow->Error();
    }
    // Starts a paced download, lets some of it arrive, then sends the signal.
    void Interrupt(int signal) {
        const pid_t pid = tvxtest::StartProcess(
            kTvxGet, {"--paced", nginx->Url("/big.bin") + ",dl/big.bin"}, Dir());
        ASSERT_TRUE(WaitForSize(PathOf("dl/big.bin"), 20000));
        // A record counts bytes only once they are durable (within a second).
        tvx::ControlRecord r;
        for (int i = 0; i < 300 && !(ReadControl(PathOf("dl/CTL_big.bin"), r) && r.received > 0);
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        kill(pid, signal);
        const auto result = tvxtest::WaitProcess(pid, Dir());
        if (signal == SIGKILL) {
            EXPECT_EQ(result.signal, SIGKILL);
        } else {
            EXPECT_EQ(result.exitCode, 1) << result.err;
        }
        ASSERT_TRUE(ReadControl(PathOf("dl/CTL_big.bin"), r));
        EXPECT_EQ(r.length, 300000);
        EXPECT_GT(r.received, 0);
        EXPECT_LT(r.received, 300000);
        // The count never claims bytes the file does not hold, and the bytes
        // it counts are the right ones.
        EXPECT_LE(r.received, tvxtest::FileSize(PathOf("dl/big.bin")));
        EXPECT_EQ(ReadFile(PathOf("dl/big.bin")).substr(0, r.received), body.substr(0, r.received));
    }
    std::string body;
    std::unique_ptr<tvxtest::NginxServer> nginx, slow;
};

TEST_F(TvxGetNginx, CtrlCLeavesAResumableFile) {
    Interrupt(SIGINT);
    auto resumed = Get({nginx->Url("/big.bin") + ",dl/big.bin"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_EQ(ReadFile(PathOf("dl/big.bin")), body);
    EXPECT_FALSE(tvxtest::Exists(PathOf("dl/CTL_big.bin")));
}

// One writer per file: a second run, and a session, leave a file another run
// is writing alone and say who writes it; a killed writer blocks nobody.
TEST_F(TvxGetNginx, ASecondRunLeavesAFileBeingWrittenAlone) {
    tvxtest::WriteFile(PathOf("www/small.bin"), Pattern(3000, 2));
    const pid_t first =
        tvxtest::StartProcess(kTvxGet, {"--paced", nginx->Url("/big.bin") + ",dl/big.bin"}, Dir());
    ASSERT_TRUE(WaitForSize(PathOf("dl/big.bin"), 20000));
    const std::string said = PathOf("dl/big.bin") +
                             " is being downloaded by another run (process " +
                             std::to_string(first) + ")";
    auto second = Get({nginx->Url("/big.bin") + ",dl/big.bin"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find(said), std::string::npos) << second.err;
    tvxtest::WriteFile(PathOf("tvx_downctrl.htm"),
                       nginx->Url("/") + ",dl,T\r\n1,big.bin,B\r\n1,small.bin,S\r\n//END\r\n");
    auto session = RunProcess(TVX_SESSION_PATH, {"--all"}, Dir());
    EXPECT_EQ(session.exitCode, 1) << session.err;
    EXPECT_NE(session.out.find("OPEN ERROR: " + said + "\n*** Open Problems"), std::string::npos)
        << session.out;
    EXPECT_EQ(ReadFile(PathOf("dl/small.bin")), Pattern(3000, 2));

    kill(first, SIGKILL);
    tvxtest::WaitProcess(first, Dir());
    auto third = Get({nginx->Url("/big.bin") + ",dl/big.bin"});
    EXPECT_EQ(third.exitCode, 0) << third.err;
    EXPECT_TRUE(ReadFile(PathOf("dl/big.bin")) == body);
}

TEST_F(TvxGetNginx, KilledProcessLeavesAResumableFile) {
    Interrupt(SIGKILL);
    auto resumed = Get({nginx->Url("/big.bin") + ",dl/big.bin"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_EQ(ReadFile(PathOf("dl/big.bin")), body);
    EXPECT_FALSE(tvxtest::Exists(PathOf("dl/CTL_big.bin")));
}

TEST_F(TvxGet, ChecksumOptionsProveTheFileOrRefuseIt) {
    const std::string body = Pattern(7000, 3);
    tvx::Hasher h(tvx::DigestAlgorithm::Sha512);
    h.Update(body.data(), body.size());
    const std::string right = tvx::HexText(h.Final()), wrong = std::string(128, 'a');
    tvxtest::WriteFile(PathOf("SUMS"), right + "  f.bin\n");
    tvxtest::WriteFile(PathOf("OTHER"), right + "  g.bin\n");
    // Only /x/ has a folder checksum file, and a wrong one.
    tvxtest::TestHttpServer server([&](const SeenRequest& req) {
        if (req.target == "/f.bin" || req.target == "/x/f.bin")
            return tvxtest::FileReply(req, body, kDate);
        if (req.target == "/x/SHA512SUMS")
            return tvxtest::FileReply(req, wrong + " *f.bin\n", kDate);
        return tvxtest::Reply().Send(tvxtest::ResponseHead(404, {{"Content-Length", "0"}}));
    });
    struct Case {
        std::vector<std::string> options;  // one alone comes last, without its value
        std::string path;
        int exitCode;
        std::string said;
    };
    const std::vector<Case> cases = {
        {{"--checksum", "sha-512=" + right}, "/f.bin", 0, "sha-512 verified (--checksum)"},
        {{"--checksum", "sha-512=" + wrong}, "/f.bin", 1,
         "sha-512 mismatch (--checksum): expected " + wrong + ", got " + right},
        {{"--checksums", "SUMS"}, "/x/f.bin", 0, "sha-512 verified (SUMS)"},
        {{"--checksums", "OTHER"}, "/f.bin", 1, "OTHER lists no sha-256 or sha-512 digest for"},
        {{"--checksums", server.Url("/none")}, "/f.bin", 1, "--checksums: " + server.Url("/none")},
        {{"--checksums", "SUMS/.."}, "/f.bin", 1, "--checksums: cannot read SUMS/.."},
        {{}, "/x/f.bin", 1, "f.bin does not match its digest; it is marked to be fetched again"},
        {{"--checksum", "md5=" + right.substr(0, 32)}, "/f.bin", 2, "--checksum takes sha-256=HEX"},
        {{"--checksum", "sha-256=" + right}, "/f.bin", 2, "--checksum takes sha-256=HEX"},
        {{"--checksums"}, "/f.bin", 2, "--checksums takes the address"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string dir = "dl" + std::to_string(++n);
        std::vector<std::string> args = {server.Url(c.path), dir + "/f.bin"};
        args.insert(c.options.size() > 1 ? args.begin() : args.end(), c.options.begin(),
                    c.options.end());
        const auto r = Get(args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.said << "\n" << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        // A file that failed its digest is marked to be fetched from byte 0.
        tvx::ControlState state;
        EXPECT_TRUE(r.err.find("mismatch") == std::string::npos ||
                    (tvx::ReadControlFile(PathOf(dir + "/CTL_f.bin"), state) && state.prefix == 0));
    }
}

TEST_F(TvxGet, SettingsAskForDigestsAndTurnTheFoldersChecksumFilesOff) {
    tvxtest::TestHttpServer server([&](const SeenRequest& req) {
        return req.target == "/f.bin" ? tvxtest::FileReply(req, Pattern(500), kDate)
                                      : tvxtest::Reply().Send(tvxtest::ResponseHead(404, {}));
    });
    for (const bool set : {false, true}) {
        tvxtest::WriteFile(PathOf("download.ini"),
                           set ? "[Transfer]\r\nWantDigest=1\r\nChecksumFiles=0\r\n" : "");
        const auto before = server.Requests().size();
        ASSERT_EQ(Get({server.Url("/f.bin"), std::to_string(set) + ".bin"}).exitCode, 0);
        const auto seen = server.Requests();
        int sums = 0, asking = 0;
        for (auto r = seen.begin() + before; r != seen.end(); ++r) {
            sums += r->target.find("SUMS") != std::string::npos;
            asking += r->Header("Want-Repr-Digest") == "sha-256=10, sha-512=5";
        }
        EXPECT_EQ(sums, set ? 0 : 2);
        EXPECT_EQ(asking, set ? static_cast<int>(seen.size() - before) : 0);
    }
}

TEST_F(TvxGet, CommasAreNeverGuessedAndTwoArgumentsAreTakenWhole) {
    const std::string body = Pattern(3000, 7);
    tvxtest::TestHttpServer server(
        [&](const SeenRequest& req) { return tvxtest::FileReply(req, body, kDate); });
    auto ambiguous = Get({server.Url("/a?x=1,2,dl/f.bin")});
    EXPECT_EQ(ambiguous.exitCode, 2);
    EXPECT_NE(ambiguous.err.find("more than one comma"), std::string::npos) << ambiguous.err;
    EXPECT_EQ(server.RequestCount(), 0);
    EXPECT_FALSE(tvxtest::Exists(PathOf("2")));

    auto whole = Get({server.Url("/a?x=1,2"), "dl/f,1.bin"});
    EXPECT_EQ(whole.exitCode, 0) << whole.err;
    EXPECT_EQ(ReadFile(PathOf("dl/f,1.bin")), body);
    EXPECT_EQ(server.Requests().front().target, "/a?x=1,2");
}

TEST_F(TvxGet, MaxTimeEndsARunLikeCtrlC) {
    tvxtest::TestHttpServer server([&](const SeenRequest&) {
        return tvxtest::Reply()
            .Send(tvxtest::ResponseHead(200,
                                        {{"Content-Length", "100000"}, {"Last-Modified", kDate}}))
            .Trickle(Pattern(100000), 1000, 50);
    });
    const auto start = std::chrono::steady_clock::now();
    auto r = Get({"--max-time", "2", server.Url("/f.bin") + ",f.bin"});
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
            .count();
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_LT(seconds, 6);
    EXPECT_NE(r.err.find("time limit of 2 seconds"), std::string::npos) << r.err;
    tvx::ControlState state;
    ASSERT_TRUE(tvx::ReadControlFile(PathOf("CTL_f.bin"), state));
    EXPECT_GT(state.prefix, 0);
    EXPECT_EQ(ReadFile(PathOf("f.bin")), Pattern(100000).substr(0, state.prefix));
    for (const char* bad : {"0", "-1", "x", "1.5"})
        EXPECT_EQ(Get({"--max-time", bad, server.Url("/f.bin") + ",f.bin"}).exitCode, 2) << bad;
}

TEST_F(TvxGet, LimitRateHoldsTheTransferBack) {
    const std::string body = Pattern(300000, 3);
    tvxtest::TestHttpServer server(
        [&](const SeenRequest& req) { return tvxtest::FileReply(req, body, kDate); });
    const auto start = std::chrono::steady_clock::now();
    auto r = Get({"--limit-rate", "100K", server.Url("/f.bin"), "f.bin"});
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(PathOf("f.bin")), body);
    EXPECT_GE(ms, 1800);  // 300000 bytes at 102400 a second cannot be faster
    for (const char* bad : {"0", "x", "5G", "-1", "1.5M"})
        EXPECT_EQ(Get({"--limit-rate", bad, server.Url("/f.bin"), "g.bin"}).exitCode, 2) << bad;
}

// A large transfer over 8 connections killed at random moments and run again
// each time ends byte for byte like its source; at every kill the record
// counts only bytes that are on disk, in each segment and from the start.
TEST_F(TvxGetNginx, KilledAtRandomMomentsEndsByteIdentical) {
    // Slow enough that 24 runs of 8 connections never finish the file (nginx
    // lets each new request have its first second's worth at once).
    tvxtest::NginxServer trickle(PathOf("www"), "limit_rate 64k;");
    ASSERT_TRUE(trickle.Started()) << trickle.Error();
    const std::string large = Pattern(24 << 20, 11);
    tvxtest::WriteFile(PathOf("www/large.bin"), large);
    std::srand(static_cast<unsigned>(::getpid()));
    int kills = 0, segmented = 0;
    for (int round = 0; round < 24; ++round) {
        const pid_t pid = tvxtest::StartProcess(
            kTvxGet, {"-x", "8", trickle.Url("/large.bin") + ",dl/large.bin"}, Dir());
        // Each kill comes at a random moment after this run has written its
        // record with segments: a slow start (TLS, a loaded machine) must
        // not turn the rounds into kills before any segment exists.
        const std::string before = ReadFile(PathOf("dl/CTL_large.bin"));
        for (int wait = 0; wait < 500; ++wait) {
            tvx::ControlState now;
            const std::string record = ReadFile(PathOf("dl/CTL_large.bin"));
            if (record != before && tvx::ReadControlFile(PathOf("dl/CTL_large.bin"), now) &&
                now.segments.size() > 1)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::rand() % 160));
        kill(pid, SIGKILL);
        kills += tvxtest::WaitProcess(pid, Dir()).signal == SIGKILL;
        tvx::ControlState state;
        if (!tvx::ReadControlFile(PathOf("dl/CTL_large.bin"), state))
            continue;
        const std::string file = ReadFile(PathOf("dl/large.bin"));
        ASSERT_TRUE(file.substr(0, state.prefix) == large.substr(0, state.prefix));
        segmented += state.segments.size() > 1;
        for (const tvx::Segment& g : state.segments) {
            ASSERT_LE(g.Next(), static_cast<std::int64_t>(file.size()));
            ASSERT_TRUE(file.compare(g.start, g.done, large, g.start, g.done) == 0)
                << "round " << round << ", segment at " << g.start;
        }
    }
    EXPECT_GT(kills, 20);
    EXPECT_GT(segmented, 20);
    // The rest comes from the same file served at full speed.
    auto done = Get({"-x", "8", nginx->Url("/large.bin") + ",dl/large.bin"});
    EXPECT_EQ(done.exitCode, 0) << done.err;
    EXPECT_TRUE(ReadFile(PathOf("dl/large.bin")) == large);
    EXPECT_FALSE(tvxtest::Exists(PathOf("dl/CTL_large.bin")));
}

}  // namespace

namespace {

// The path strace -y shows for a call's first argument ("" when none).
std::string FirstPath(const std::string& line, std::size_t open) {
    const std::size_t lt = line.find('<', open), end = line.find_first_of(",)", open);
    if (lt == std::string::npos || lt > end)
        return {};
    return line.substr(lt + 1, line.find('>', lt) - lt - 1);
}

// The bytes of the first string argument strace -x printed after pos
// (\xNN escapes, or plain text where every byte is printable).
std::vector<unsigned char> StringArgument(const std::string& line, std::size_t pos) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = line.find('"', pos) + 1; i > 0 && i < line.size() && line[i] != '"'; ++i) {
        if (line[i] != '\\') {
            bytes.push_back(static_cast<unsigned char>(line[i]));
        } else if (line[i + 1] == 'x') {
            bytes.push_back(static_cast<unsigned char>(std::stoi(line.substr(i + 2, 2), nullptr, 16)));
            i += 3;
        } else {
            bytes.push_back(static_cast<unsigned char>(line[++i]));
        }
    }
    return bytes;
}

// The first fault in a traced run (strace -f -y -x): a record that counts
// a byte not yet on the disk, or the control file removed while a byte is
// not. A byte is on the disk once a sync that began after its write ended;
// syncs may run on another thread while the writes go on, so each call is
// placed where it begins (syncs) or ends (writes). records counts the
// records written in good order.
std::string OrderFault(const std::string& trace, const std::string& file, int& records) {
    const std::string control = tvx::ControlFilePath(file);
    std::vector<std::pair<std::int64_t, std::int64_t>> writes;  // [from, to) in order
    std::size_t durable = 0;                                    // writes[0, durable) are synced
    std::int64_t position = 0;
    std::map<std::string, std::size_t> syncing;  // thread -> writes before its sync began
    const auto covered = [&](std::int64_t from, std::int64_t to) {
        std::vector<std::pair<std::int64_t, std::int64_t>> on(writes.begin(),
                                                              writes.begin() + durable);
        std::sort(on.begin(), on.end());
        for (const auto& [a, b] : on) {
            if (a <= from && b > from)
                from = b;
        }
        return from >= to;
    };
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        const std::string thread = line.substr(0, line.find(' '));
        if (line.find("sync resumed>") != std::string::npos && syncing.count(thread) != 0) {
            if (line.find(" = 0") != std::string::npos)
                durable = std::max(durable, syncing[thread]);
            syncing.erase(thread);
            continue;
        }
        const std::size_t open = line.find('(');
        if (open == std::string::npos || line.find("resumed>") != std::string::npos)
            continue;
        const std::size_t space = line.rfind(' ', open);
        const std::string call = line.substr(space + 1, open - space - 1);
        const std::string path = FirstPath(line, open);
        const bool unfinished = line.find("<unfinished") != std::string::npos;
        if ((call == "fsync" || call == "fdatasync") && path == file) {
            if (unfinished)
                syncing[thread] = writes.size();
            else if (line.find(" = 0") != std::string::npos)
                durable = writes.size();
        } else if ((call == "write" || call == "pwrite64") && path == file) {
            // The count asked for: every write here is whole or fails the run.
            const std::size_t comma = line.rfind(", ");
            std::int64_t from = position, n = 0;
            if (call == "pwrite64") {
                from = std::stoll(line.substr(comma + 2));
                n = std::stoll(line.substr(line.rfind(", ", comma - 1) + 2));
            } else {
                n = std::stoll(line.substr(comma + 2));
                position = from + n;
            }
            writes.emplace_back(from, from + n);
        } else if (call == "pwrite64" && path == control) {
            const std::vector<unsigned char> bytes = StringArgument(line, open);
            tvx::ControlState state;
            if (!tvx::DecodeControlFile(bytes.data(), bytes.size(), state))
                return "a record that cannot be read: " + line;
            bool held = covered(0, state.prefix);
            for (const tvx::Segment& s : state.segments)
                held = held && covered(s.start, s.Next());
            if (!held)
                return "a record counts bytes not synced: " + line;
            ++records;
        } else if ((call == "unlink" || call == "unlinkat") &&
                   line.find("\"" + control + "\"") != std::string::npos &&
                   durable < writes.size()) {
            return "the control file went before the data was synced: " + line;
        }
    }
    return {};
}

}  // namespace

// What a record counts is on the disk before the record, and a complete
// file's bytes before its control file goes: the order of the system calls
// of runs as one stream, in segments, and broken off.
TEST_F(TvxGetNginx, RecordsFollowTheDataOnlyOnceItIsSynced) {
    if (std::system("strace -o /dev/null /bin/true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace cannot trace processes here";
    tvxtest::WriteFile(PathOf("www/slow/f.bin"), Pattern(5 << 20, 12));
    std::ofstream(PathOf("download.ini"), std::ios::app) << "[Transfer]\r\nMinSplitSize=65536\r\n";
    // Each writes its first record, and one every second on the way (once
    // the sync begun for it is done); a run broken off writes one as it
    // stops.
    const struct {
        std::vector<std::string> args;
        int exitCode, records;
    } runs[] = {{{"-x", "1"}, 0, 2}, {{"-x", "4"}, 0, 1}, {{"-x", "2", "--max-time", "1"}, 1, 2}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.args[1] + (run.args.size() > 2 ? " broken off" : ""));
        std::remove(PathOf("dl/f.bin").c_str());
        std::remove(PathOf("dl/CTL_f.bin").c_str());
        std::vector<std::string> args = {
            "-f",   "-y", "-x", "-s", "512",
            "-o",   PathOf("trace"),
            "-e",   "trace=write,pwrite64,pwritev,fsync,fdatasync,unlink,unlinkat",
            kTvxGet};
        args.insert(args.end(), run.args.begin(), run.args.end());
        args.push_back(slow->Url("/slow/f.bin") + ",dl/f.bin");
        // The leak checker of a sanitizer build cannot work under a tracer.
        const auto r = RunProcess("/usr/bin/strace", args, Dir(), 60000,
                                  {{"ASAN_OPTIONS", "detect_leaks=0"}});
        EXPECT_EQ(r.exitCode, run.exitCode) << r.err;
        int records = 0;
        EXPECT_EQ(OrderFault(ReadFile(PathOf("trace")), PathOf("dl/f.bin"), records), "");
        EXPECT_GE(records, run.records);
        EXPECT_EQ(tvxtest::Exists(PathOf("dl/CTL_f.bin")), run.exitCode != 0);
    }
}
