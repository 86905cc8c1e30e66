// A large file over several connections, from servers that do ranges well,
// not at all, only for a few connections, or change the file meanwhile.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <mutex>

#include "NginxServer.h"
#include "TestHttpServer.h"
#include "TransferHelpers.h"
#include "transfer/CSegmentFetch.h"
#include "transfer/ControlFile.h"
#include "transfer/SegmentMap.h"

namespace {

using tvx::CTransfer;
using tvxtest::Pattern;
using tvxtest::ReadFile;
using tvxtest::Reply;
using tvxtest::SeenRequest;

const std::string kV1 = "Sun, 06 Nov 1994 08:49:05 GMT";
const std::string kV2 = "Mon, 07 Nov 1994 10:00:00 GMT";
constexpr std::size_t kSize = 6 << 20;

TEST(SegmentMap, ThePrefixEndsAtTheFirstGapAndSplitsHalveWhatIsLeft) {
    tvx::CSegmentMap map;
    ASSERT_TRUE(map.Assign({{0, 100, 100}, {100, 200, 50}, {200, 300, 100}}, 300));
    EXPECT_EQ(map.Prefix(), 150);
    EXPECT_EQ(map.Done(), 250);
    EXPECT_FALSE(map.Complete());
    EXPECT_EQ(map.SplitLargest(30), -1);  // 50 left: no halves of 30
    EXPECT_EQ(map.SplitLargest(20), 175);
    EXPECT_EQ(map.Segments()[1], (tvx::Segment{100, 175, 50}));
    EXPECT_EQ(map.Segments()[2], (tvx::Segment{175, 200, 0}));
    // The prefix stops at the first byte missing, a byte short included.
    const struct {
        std::vector<tvx::Segment> segments;
        std::int64_t prefix, done;
        bool complete;
    } prefixes[] = {{{{0, 100, 99}, {100, 200, 100}}, 99, 199, false},
                    {{{0, 100, 100}, {100, 200, 99}}, 199, 199, false},
                    {{{0, 100, 0}, {100, 200, 100}}, 0, 100, false},
                    {{{0, 100, 100}, {100, 200, 0}, {200, 300, 100}}, 100, 200, false},
                    {{{0, 100, 100}, {100, 200, 100}}, 200, 200, true}};
    for (const auto& p : prefixes) {
        tvx::CSegmentMap m;
        ASSERT_TRUE(m.Assign(p.segments, p.segments.back().end));
        EXPECT_EQ(m.Prefix(), p.prefix);
        EXPECT_EQ(m.Done(), p.done);
        EXPECT_EQ(m.Complete(), p.complete);
    }
    // Gaps, overlaps, a short cover or an impossible count are no map.
    for (const auto& bad : std::vector<std::vector<tvx::Segment>>{{{0, 100, 0}, {150, 300, 0}},
                                                                  {{0, 200, 0}, {100, 300, 0}},
                                                                  {{0, 200, 0}},
                                                                  {{0, 300, 301}},
                                                                  {}}) {
        EXPECT_FALSE(map.Assign(bad, 300));
    }
}

// Connections are multiplied by four while that raises the rate by a fifth
// of their number or more, up to the ceiling; a step that does not pay goes
// back to the number that did.
TEST(SegmentCount, GrowsWhileItPaysAndGoesBackWhenItDoesNot) {
    const struct {
        std::size_t paid;
        double paidRate;
        std::size_t count;
        double rate;
        std::size_t ceiling, next;
    } cases[] = {
        {0, 0, 2, 8e6, 16, 8},       // the first window: four times
        {0, 0, 2, 8e6, 4, 4},        // up to the ceiling
        {2, 8e6, 8, 32e6, 16, 16},   // shaped: four times the rate, again
        {8, 32e6, 16, 64e6, 16, 16}, // at the ceiling
        {2, 8e6, 4, 9.6e6, 16, 16},  // a fifth more for twice the number pays, just
        {2, 8e6, 4, 9.5e6, 16, 2},   // a full line: back to two
        {2, 8e6, 8, 12.8e6, 16, 16}, // four times the number wants 1.6 times the rate
        {2, 8e6, 8, 12.7e6, 16, 2},
        {4, 16e6, 8, 12e6, 8, 4},    // the rate fell: back to four
        {0, 0, 1, 1e6, 1, 1},        // one allowed: nothing to try
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.paid << " at " << c.paidRate << ", " << c.count
                                        << " at " << c.rate);
        EXPECT_EQ(tvx::CSegmentFetch::NextCount(c.paid, c.paidRate, c.count, c.rate, c.ceiling),
                  c.next);
    }
}

class Segments : public tvxtest::TransferTest {
protected:
    long Fetch(const std::string& url) {
        auto t = Make(tvx::ReportMode::Session, false);
        if (t->Open(url, "f.bin") != CTransfer::kOk)
            return -1;
        int most = 0;
        for (int guard = 0; guard < 1000000; ++guard) {
            most = std::max(most, t->ConnectionCount());
            if (t->ReadChunk() == 0)
                break;
        }
        complete = t->Complete();
        return most;
    }
    bool complete = false;
};

// However a real server answers the requests for parts, the file ends
// right: split where it can (two connections at first, more where each
// connection is shaped, none more where the first two bring it at once), on
// fewer where it turns them away, on one where it ignores ranges.
TEST_F(Segments, EveryServerGivesTheRightFile) {
    if (!tvxtest::NginxServer::Available())
        GTEST_SKIP() << "nginx is not installed";
    const std::string body = Pattern(kSize, 4);
    ASSERT_EQ(::mkdir(PathOf("www").c_str(), 0755), 0);
    tvxtest::WriteFile(PathOf("www/f"), body);
    const struct {
        const char* config;
        int fewest, most;
    } cases[] = {{"", 1, 2},
                 {"limit_rate 2m;", 3, 8},
                 {"limit_rate 2m; max_ranges 0;", 1, 2},
                 // The six more it is asked for at once are turned away, and
                 // none of that is a failure.
                 {"limit_rate 2m; limit_conn perip 2;", 2, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        std::remove(PathOf("f.bin").c_str());
        tvxtest::NginxServer nginx(PathOf("www"), c.config);
        ASSERT_TRUE(nginx.Started()) << nginx.Error();
        const long most = Fetch(nginx.Url("/f"));
        EXPECT_TRUE(complete) << log.Text();
        EXPECT_GE(most, c.fewest);
        EXPECT_LE(most, c.most);
        EXPECT_TRUE(ReadFile(PathOf("f.bin")) == body);
        EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_f.bin")));
    }
}

// A file replaced while its parts come is never joined from two versions:
// the transfer ends, and the next one fetches the new version whole.
TEST_F(Segments, AVersionReplacedMidwayEndsAsTheNewVersionOnly) {
    const std::string v1 = Pattern(kSize, 5), v2 = Pattern(kSize, 6);
    std::mutex mutex;
    int ranges = 0;
    tvxtest::TestHttpServer server([&](const SeenRequest& req) {
        std::lock_guard<std::mutex> lock(mutex);
        if (req.HasHeader("Range"))
            return ++ranges > 1 ? tvxtest::FileReply(req, v2, kV2)
                                : tvxtest::FileReply(req, v1, kV1);
        return Reply()
            .Send(tvxtest::ResponseHead(
                200, {{"Content-Length", std::to_string(kSize)}, {"Last-Modified", kV1}}))
            .Trickle(v1, 128 * 1024, 20);
    });
    EXPECT_GE(Fetch(server.Url("/f")), 2);
    EXPECT_FALSE(complete);
    EXPECT_NE(log.Text().find("the file changed on the server while it was being fetched"),
              std::string::npos)
        << log.Text();
    tvx::ControlState state;
    ASSERT_TRUE(tvx::ReadControlFile(PathOf("CTL_f.bin"), state));
    EXPECT_EQ(state.lastModified, kV1);

    server.SetHandler([&](const SeenRequest& req) { return tvxtest::FileReply(req, v2, kV2); });
    Fetch(server.Url("/f"));
    EXPECT_TRUE(complete);
    EXPECT_TRUE(ReadFile(PathOf("f.bin")) == v2);
}

// The holes of a partial fetched in segments are no room for the rest: only
// the blocks the file holds count beside the free space.
TEST_F(Segments, APartialsHolesAreNoRoomForTheRest) {
    const std::string body = Pattern(kSize, 8);
    tvxtest::TestHttpServer server(
        [&](const SeenRequest& req) { return tvxtest::FileReply(req, body, kV1); });
    constexpr std::int64_t kPart = 512 << 10, kThird = 2 << 20;
    const tvx::ControlState partial{
        kSize,
        199411060849.0,
        kPart,
        kV1,
        "",
        true,
        {{0, kThird, kPart}, {kThird, 2 * kThird, kPart}, {2 * kThird, 3 * kThird, 0}}};
    const std::vector<unsigned char> record = tvx::EncodeControlFile(partial);
    tvxtest::WriteFile(PathOf("CTL_f.bin"), std::string(record.begin(), record.end()));
    tvxtest::WriteFile(PathOf("f.bin"), body.substr(0, kPart) + std::string(kThird - kPart, '\0'));
    ASSERT_EQ(truncate(PathOf("f.bin").c_str(), kPart), 0);  // a hole up to the second part
    std::ofstream(PathOf("f.bin"), std::ios::in | std::ios::out | std::ios::binary).seekp(kThird)
        << body.substr(kThird, kPart);
    const struct {
        std::int64_t free;
        int result;
    } cases[] = {{4 << 20, CTransfer::kLocalFileError}, {(11 << 20) / 2, CTransfer::kOk}};
    for (const auto& c : cases) {
        auto t = Make();
        t->SetFreeSpaceProbe([&](const std::string&) { return c.free; });
        ASSERT_EQ(t->Open(server.Url("/f"), "f.bin"), c.result) << c.free;
        if (c.result != CTransfer::kOk) {
            ASSERT_FALSE(ui.messages.empty());
            EXPECT_NE(ui.messages.back().find("not enough space"), std::string::npos);
            continue;
        }
        EXPECT_EQ(t->OnDisk(), 2 * kPart);
        while (t->ReadChunk() != 0) {
        }
        EXPECT_TRUE(t->Complete());
        EXPECT_TRUE(ReadFile(PathOf("f.bin")) == body);
    }
}

// The rate limit holds for the file, whatever number of connections it has,
// and a file it holds back gets no more than the first two.
TEST_F(Segments, TheRateLimitHoldsForAllConnectionsTogether) {
    const std::string body = Pattern(kSize, 7);
    tvxtest::TestHttpServer server(
        [&](const SeenRequest& req) { return tvxtest::FileReply(req, body, kV1); });
    settings.maxBytesPerSecond = 4 << 20;
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(Fetch(server.Url("/f")), 2);
    EXPECT_TRUE(complete);
    // 6 MiB at 4 MiB a second, a tenth of a second's worth at once.
    EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(1350));
}

}  // namespace
