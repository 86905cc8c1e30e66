// The command tvx-get as a user runs it: exit codes, messages, breaking off
// and resuming, a process killed in the middle.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "NginxServer.h"
#include "Process.h"
#include "TestHttpServer.h"
#include "TransferHelpers.h"

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
        if (req.target != "/f.bin")
            return tvxtest::Reply().Send(tvxtest::ResponseHead(404, {}));
        return tvxtest::FileReply(req, body, kDate);
    });
    auto done = Get({server.Url("/f.bin") + ",out/f.bin"});
    EXPECT_EQ(done.exitCode, 0) << done.err;
    EXPECT_EQ(ReadFile(PathOf("out/f.bin")), body);
    auto again = Get({server.Url("/f.bin") + ",out/f.bin"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(server.RequestCount(), 5);  // two checks each, one transfer

    auto missing = Get({server.Url("/none") + ",x.bin"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("OPEN ERROR INTERNET -- (FIRST CONNECT WITH YOUR INTERNET)"),
              std::string::npos);

    auto cut = Get({server.Url("/short") + ",short.bin"});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_NE(cut.err.find("1234 of 5000"), std::string::npos) << cut.err;
    EXPECT_TRUE(tvxtest::Exists(PathOf("CTL_short.bin")));

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"no comma"}, {"a,b", "c,d"}}) {
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
            return tvxtest::Reply().Send(tvxtest::ResponseHead(416, {}));
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
        nginx = std::make_unique<tvxtest::NginxServer>(PathOf("www"));
        ASSERT_TRUE(nginx->Started()) << nginx->Error();
    }
    // Starts a paced download, lets some of it arrive, then sends the signal.
    void Interrupt(int signal) {
        const pid_t pid = tvxtest::StartProcess(
            kTvxGet, {"--paced", nginx->Url("/big.bin") + ",dl/big.bin"}, Dir());
        ASSERT_TRUE(WaitForSize(PathOf("dl/big.bin"), 20000));
        kill(pid, signal);
        const auto result = tvxtest::WaitProcess(pid, Dir());
        if (signal == SIGKILL) {
            EXPECT_EQ(result.signal, SIGKILL);
        } else {
            EXPECT_EQ(result.exitCode, 1) << result.err;
        }
        tvx::ControlRecord r;
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
    std::unique_ptr<tvxtest::NginxServer> nginx;
};

TEST_F(TvxGetNginx, CtrlCLeavesAResumableFile) {
    Interrupt(SIGINT);
    auto resumed = Get({nginx->Url("/big.bin") + ",dl/big.bin"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_EQ(ReadFile(PathOf("dl/big.bin")), body);
    EXPECT_FALSE(tvxtest::Exists(PathOf("dl/CTL_big.bin")));
}

TEST_F(TvxGetNginx, KilledProcessLeavesAResumableFile) {
    Interrupt(SIGKILL);
    auto resumed = Get({nginx->Url("/big.bin") + ",dl/big.bin"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_EQ(ReadFile(PathOf("dl/big.bin")), body);
    EXPECT_FALSE(tvxtest::Exists(PathOf("dl/CTL_big.bin")));
}

}  // namespace
