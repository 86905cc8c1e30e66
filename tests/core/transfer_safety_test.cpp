// What a download may never do, tried as a hostile server and a careless
// user would: splice two versions, wipe a good copy, accept a length it
// cannot read, write through a link or beside a folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "TestHttpServer.h"
#include "TransferHelpers.h"
#include "transfer/CFileDownload.h"
#include "transfer/ControlFile.h"
#include "transfer/FileTime.h"

namespace {

using tvx::CTransfer;
using tvxtest::FileReply;
using tvxtest::HeaderList;
using tvxtest::Pattern;
using tvxtest::ReadFile;
using tvxtest::Reply;
using tvxtest::ResponseHead;
using tvxtest::SeenRequest;
using tvxtest::TestHttpServer;

const std::string kEarly = "Sun, 06 Nov 1994 08:49:05 GMT";
const std::string kLate = "Sun, 06 Nov 1994 08:49:40 GMT";  // the same minute

Reply Head(int status, const HeaderList& headers, const std::string& body = {}) {
    return Reply().Send(ResponseHead(status, headers) + body);
}

// A server whose file can be replaced while the test runs.
struct Source {
    std::mutex mutex;
    std::string body, lastModified;
    void Set(std::string b, std::string lm) {
        std::lock_guard<std::mutex> lock(mutex);
        body = std::move(b);
        lastModified = std::move(lm);
    }
    std::pair<std::string, std::string> Get() {
        std::lock_guard<std::mutex> lock(mutex);
        return {body, lastModified};
    }
};

using Safety = tvxtest::TransferTest;

TEST_F(Safety, ASameMinuteReplacementStartsOverInsteadOfSplicing) {
    for (const bool honoursRange : {true, false}) {
        SCOPED_TRACE(honoursRange ? "server honours Range" : "server ignores Range");
        const std::string name = honoursRange ? "ranged.bin" : "whole.bin";
        const std::string a = Pattern(50000, 1), b = Pattern(50000, 2);
        Source source;
        source.Set(a, kEarly);
        TestHttpServer server([&](const SeenRequest& req) {
            const auto [body, lm] = source.Get();
            if (honoursRange)
                return FileReply(req, body, lm);
            return Head(200,
                        {{"Content-Length", std::to_string(body.size())}, {"Last-Modified", lm}},
                        body);
        });
        BreakAfter(server.Url("/f"), name, 3);
        source.Set(b, kLate);
        auto t = Make(tvx::ReportMode::Session);
        ASSERT_EQ(t->Open(server.Url("/f"), name), CTransfer::kOk);
        EXPECT_EQ(t->OnDisk(), 0);
        Drain(*t);
        EXPECT_TRUE(ReadFile(PathOf(name)) == b) << "the file is not the new version";
        EXPECT_NE(log.Text().find("RESTART : the file changed on the server"), std::string::npos)
            << log.Text();
        EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_" + name)));
    }
}

// A resume goes on only with a 206 that states the recorded version whole,
// as the rest from the recorded byte, unencoded; anything else starts over.
// A resume cuts what lies beyond the recorded count before writing.
TEST_F(Safety, AResumeGoesOnOnlyWithTheRestOfTheRecordedVersion) {
    const std::string body = Pattern(50000, 3);
    const std::string length = std::to_string(body.size());
    const std::string etag = "\"v1\"";
    const std::string rest = body.substr(3072);
    const HeaderList range = {{"Content-Range", "bytes 3072-49999/50000"},
                              {"Content-Length", "46928"}};
    const auto with = [](HeaderList headers, const HeaderList& more) {
        headers.insert(headers.end(), more.begin(), more.end());
        return headers;
    };
    const HeaderList version = {{"Last-Modified", kEarly}, {"ETag", etag}};
    const struct {
        const char* what;
        Reply reply;
        bool resumes;
    } cases[] = {
        {"the rest of the same version", Head(206, with(range, version), rest), true},
        {"416", Head(416, {{"Content-Range", "bytes */50000"}}), false},
        {"206 at another byte",
         Head(206,
              with({{"Content-Range", "bytes 0-49999/50000"}, {"Content-Length", length}}, version),
              body),
         false},
        {"206 of an unknown total",
         Head(206,
              with({{"Content-Range", "bytes 3072-49999/*"}, {"Content-Length", "46928"}}, version),
              rest),
         false},
        {"206 of another total",
         Head(206,
              with({{"Content-Range", "bytes 3072-59999/60000"}, {"Content-Length", "56928"}},
                   version),
              rest + std::string(10000, 'x')),
         false},
        {"206 whose last byte is the total",
         Head(206,
              with({{"Content-Range", "bytes 3072-50000/50000"}, {"Content-Length", "46929"}},
                   version),
              rest + "x"),
         false},
        {"206 without the ETag", Head(206, with(range, {{"Last-Modified", kEarly}}), rest), false},
        {"206 without validators", Head(206, range, rest), false},
        {"206 encoded", Head(206, with(range, with(version, {{"Content-Encoding", "gzip"}})), rest),
         false},
        {"200 of another version",
         Head(200, {{"Content-Length", length}, {"Last-Modified", kLate}}, Pattern(50000, 9)),
         false},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = "f" + std::to_string(i++) + ".bin";
        bool refuse = false;
        TestHttpServer server([&](const SeenRequest& req) {
            if (refuse && req.HasHeader("Range"))
                return c.reply;
            return Head(200, with({{"Content-Length", length}}, version), body);
        });
        BreakAfter(server.Url("/f"), name, 3);
        // Bytes beyond the count were never confirmed, whatever they are.
        tvxtest::WriteFile(PathOf(name), ReadFile(PathOf(name)) + Pattern(90000, 8));
        refuse = true;
        tvxtest::RecordingLog ownLog;
        auto t = Make(tvx::ReportMode::Session);
        t->SetLog(&ownLog);
        ASSERT_EQ(t->Open(server.Url("/f"), name), CTransfer::kOk) << ownLog.Text();
        EXPECT_EQ(t->OnDisk(), c.resumes ? 3072 : 0);
        Drain(*t);
        EXPECT_TRUE(ReadFile(PathOf(name)) == body);
        EXPECT_EQ(ownLog.Text().rfind(c.resumes ? "SEEK ON POS:3072 and completing this file\n"
                                                : "SEEK ON POS:3072 and completing this file\n"
                                                  "RESTART : ",
                                      0),
                  0u)
            << ownLog.Text();
        const SeenRequest asked = server.Requests().at(2);  // the request for the rest
        EXPECT_EQ(asked.Header("If-Range"), etag);
        EXPECT_EQ(asked.Header("Accept-Encoding"), "identity");
    }
}

// A local source is resumed only when its modification time is the same to
// the nanosecond, not merely its length and minute.
TEST_F(Safety, ALocalSourceReplacedWithinItsMinuteStartsOver) {
    const std::string source = PathOf("source.bin");
    tvxtest::WriteFile(source, Pattern(100000, 1));
    struct timespec times[2] = {{784111745, 0}, {784111745, 0}};  // 06 Nov 1994 08:49:05
    ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
    BreakAfter(source, "copy.bin", 1);
    tvxtest::WriteFile(source, Pattern(100000, 2));
    times[0].tv_sec = times[1].tv_sec = 784111770;  // the same minute
    ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
    auto t = Make(tvx::ReportMode::Session);
    ASSERT_EQ(t->Open(source, "copy.bin"), CTransfer::kOk);
    EXPECT_EQ(t->OnDisk(), 0);
    Drain(*t);
    EXPECT_TRUE(ReadFile(PathOf("copy.bin")) == Pattern(100000, 2));
    EXPECT_NE(log.Text().find("RESTART : the source file changed"), std::string::npos)
        << log.Text();
}

// The download dialog's logic over a local file that is a good copy of an
// older version: a new version is fetched, an answer that brings nothing
// leaves the copy be.
TEST_F(Safety, AGoodCopyIsTouchedOnlyByTheBytesOfANewVersion) {
    const std::string newBody = Pattern(100000, 5);
    const std::string otherDate = "Mon, 07 Nov 1994 10:00:00 GMT";
    const struct {
        const char* what;
        Reply reply;
        std::string fetched;  // "" when the good copy must stay
    } cases[] = {
        {"length 0", Head(200, {{"Content-Length", "0"}, {"Last-Modified", kEarly}}), ""},
        {"no byte arrives",
         Reply()
             .Send(ResponseHead(200, {{"Content-Length", "100000"}, {"Last-Modified", kEarly}}))
             .Sleep(50)
             .Reset(),
         ""},
        {"another length",
         Head(200, {{"Content-Length", "99999"}, {"Last-Modified", kEarly}}, newBody.substr(1)),
         newBody.substr(1)},
        {"another date",
         Head(200, {{"Content-Length", "100000"}, {"Last-Modified", otherDate}}, newBody), newBody},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string good = Pattern(100000, 6);
        tvxtest::WriteFile(PathOf("keep.bin"), good);
        ASSERT_TRUE(tvx::StampFileTime(PathOf("keep.bin"), 200001010000.0));
        TestHttpServer server([&](const SeenRequest&) { return c.reply; });
        struct Dialog : tvx::DownloadDialogUi {
            void MessageBox(const std::string& text) override { messages += text + "\n"; }
            void SetStatusText(const std::string&) override {}
            void SetFileLine(const std::string&) override {}
            tvx::Progress& FileProgress() override { return progress; }
            tvx::Animation& RunningAnimation() override { return animation; }
            std::string messages;
            tvxtest::RecordingProgress progress;
            tvxtest::RecordingAnimation animation;
        } dialog;
        tvx::CFileDownload download(dialog, settings, Dir(), false);
        download.SetParameters(server.Url("/keep.bin") + "," + PathOf("keep.bin"));
        // An empty answer to the check ends the dialog at once: nothing to fetch.
        const bool started = download.Start();
        EXPECT_EQ(started, std::string(c.what) != "length 0");
        for (int guard = 0; started && guard < 100000; ++guard) {
            if (download.Tick(10) == tvx::CFileDownload::TickResult::Close)
                break;
        }
        EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_keep.bin")));
        if (!c.fetched.empty()) {
            EXPECT_EQ(download.Outcome(), tvx::DownloadOutcome::Complete) << dialog.messages;
            EXPECT_TRUE(ReadFile(PathOf("keep.bin")) == c.fetched);
            continue;
        }
        EXPECT_NE(download.Outcome(), tvx::DownloadOutcome::Complete);
        EXPECT_TRUE(ReadFile(PathOf("keep.bin")) == good) << "the good copy was changed";
        EXPECT_EQ(tvx::GetLocalFileInfo(PathOf("keep.bin")).date, 200001010000.0);
    }
}

TEST_F(Safety, LengthsThatContradictOrCannotBeReadAreRefusedWithAReason) {
    const struct {
        HeaderList lengths;
        int result;
        const char* message;
    } cases[] = {
        {{{"Content-Length", "100"}, {"Content-Length", "200"}},
         CTransfer::kRefused,
         "two different lengths: Content-Length: 100 and 200"},
        {{{"Content-Length", "100, 200"}}, CTransfer::kRefused, "two different lengths"},
        {{{"Content-Length", "abc"}},
         CTransfer::kRefused,
         "a length that cannot be read: Content-Length: abc"},
        {{{"Content-Length", "12abc"}}, CTransfer::kRefused, "cannot be read"},
        {{}, CTransfer::kRefused, "no length"},
        {{{"Content-Length", "100"}, {"Content-Length", "100"}}, CTransfer::kOk, ""},
        {{{"Content-Length", "100, 100"}}, CTransfer::kOk, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        TestHttpServer server([&](const SeenRequest&) {
            HeaderList headers = c.lengths;
            headers.push_back({"Last-Modified", kEarly});
            return Head(200, headers, Pattern(100));
        });
        auto t = Make();
        EXPECT_EQ(t->Check(server.Url("/f")), c.result);
        if (*c.message != '\0') {
            EXPECT_NE(t->Problem().find(c.message), std::string::npos) << t->Problem();
        } else {
            EXPECT_EQ(t->Problem(), "");
        }
    }
}

TEST_F(Safety, OnlyPlainFilesOfTheirOwnAreWritten) {
    TestHttpServer server(
        [&](const SeenRequest& req) { return FileReply(req, Pattern(3000), kEarly); });
    ASSERT_EQ(::mkdir(PathOf("sub").c_str(), 0777), 0);
    for (const std::string destination : {"sub", "sub/", "new/"}) {
        SCOPED_TRACE(destination);
        ui.messages.clear();
        auto t = Make();
        EXPECT_EQ(t->Open(server.Url("/f"), destination), CTransfer::kLocalFileError);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(ui.messages[0].find("names a folder"), std::string::npos) << ui.messages[0];
    }
    EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_sub")));
    EXPECT_FALSE(tvxtest::Exists(PathOf("sub/CTL_")));
    EXPECT_FALSE(tvxtest::Exists(PathOf("new/CTL_")));
    EXPECT_EQ(server.RequestCount(), 0);

    // A link, a FIFO or someone's own file where a destination or its
    // control file would be: refused at once, nothing written through it.
    tvxtest::WriteFile(PathOf("precious.txt"), "precious");
    ASSERT_EQ(::symlink("precious.txt", PathOf("CTL_f.bin").c_str()), 0);
    ASSERT_EQ(::symlink("precious.txt", PathOf("g.bin").c_str()), 0);
    ASSERT_EQ(::mkfifo(PathOf("fifo.bin").c_str(), 0666), 0);
    ASSERT_EQ(::mkfifo(PathOf("CTL_h.bin").c_str(), 0666), 0);
    tvxtest::WriteFile(PathOf("CTL_i.bin"), "someone's notes, not a record");
    const struct {
        const char* destination;
        const char* reason;
    } refused[] = {{"f.bin", "is a symbolic link"},
                   {"g.bin", "g.bin is not a regular file"},
                   {"fifo.bin", "fifo.bin is not a regular file"},
                   {"h.bin", "CTL_h.bin is not a regular file"},
                   {"i.bin", "CTL_i.bin is no control file of this program"}};
    for (const auto& r : refused) {
        SCOPED_TRACE(r.destination);
        ui.messages.clear();
        auto t = Make();
        EXPECT_EQ(t->Open(server.Url("/f"), r.destination), CTransfer::kLocalFileError);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(ui.messages[0].find(r.reason), std::string::npos) << ui.messages[0];
    }
    EXPECT_EQ(ReadFile(PathOf("precious.txt")), "precious");
    EXPECT_EQ(ReadFile(PathOf("CTL_i.bin")), "someone's notes, not a record");

    // A name too long for the prefix has a shortened control name beside it.
    const std::string longName = std::string(250, 'n') + ".bin";
    BreakAfter(server.Url("/f"), longName, 1);
    const std::string control = tvx::ControlFilePath(PathOf(longName));
    EXPECT_EQ(control.size() - Dir().size() - 1, 255u);
    EXPECT_TRUE(tvxtest::Exists(control));
    auto t = Make();
    ASSERT_EQ(t->Open(server.Url("/f"), longName), CTransfer::kOk);
    EXPECT_EQ(t->OnDisk(), 1024);
    Drain(*t);
    EXPECT_EQ(ReadFile(PathOf(longName)), Pattern(3000));
    EXPECT_FALSE(tvxtest::Exists(control));
}

TEST_F(Safety, ATricklingServerFailsTheTransferWhichStaysResumable) {
    const std::string body = Pattern(5000);
    TestHttpServer server([&](const SeenRequest&) {
        return Reply()
            .Send(ResponseHead(200, {{"Content-Length", "5000"}, {"Last-Modified", kEarly}}))
            .Trickle(body, 10, 100);
    });
    settings.lowSpeedLimit = 1000;
    settings.lowSpeedTime = 1;
    auto t = Make();
    ASSERT_EQ(t->Open(server.Url("/f"), "f.bin"), CTransfer::kOk);
    Drain(*t);
    EXPECT_LT(t->OnDisk(), 5000);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_NE(ui.messages.back().find("too slow"), std::string::npos) << ui.messages.back();
    tvx::ControlState state;
    ASSERT_TRUE(tvx::ReadControlFile(PathOf("CTL_f.bin"), state));
    EXPECT_EQ(state.prefix, t->OnDisk());
    EXPECT_EQ(state.lastModified, kEarly);
}

TEST(ControlFile, RecordsRoundTripAndDamageIsRefused) {
    const tvx::ControlState states[] = {
        {2500, 199411060849.0, 1000, kEarly, "\"abc\"", true, {}},
        {5LL << 30, 202412241200.0, 3LL << 30, kLate, "", true, {}},
        {0, 0, 0, "", "", true, {}},
        // Segments: the count is the run from byte 0, the rest is theirs.
        {10 << 20,
         202412241200.0,
         2 << 20,
         kLate,
         "\"e\"",
         true,
         {{0, 4 << 20, 2 << 20}, {4 << 20, 10 << 20, 3 << 20}}},
    };
    for (const auto& s : states) {
        const std::vector<unsigned char> bytes = tvx::EncodeControlFile(s);
        tvx::ControlState back;
        ASSERT_TRUE(tvx::DecodeControlFile(bytes.data(), bytes.size(), back));
        EXPECT_EQ(back.length, s.length);
        EXPECT_EQ(back.prefix, s.prefix);
        EXPECT_EQ(back.date, s.date);
        EXPECT_EQ(back.lastModified, s.lastModified);
        EXPECT_EQ(back.etag, s.etag);
        EXPECT_EQ(back.segments, s.segments);
        // The first 16 bytes: the true figures below 2 GiB, and never a
        // match for a 16-byte reader above.
        unsigned char base[tvx::kControlRecordSize];
        std::copy(bytes.begin(), bytes.begin() + 16, base);
        const tvx::ControlRecord record = tvx::DecodeControlRecord(base);
        EXPECT_EQ(record.length, s.length < (1LL << 31) ? s.length : -1);
        EXPECT_EQ(record.date, s.date);
        // Any damaged byte of the extension, or a cut, makes it no record.
        for (std::size_t i = 16; i < bytes.size(); ++i) {
            std::vector<unsigned char> damaged = bytes;
            damaged[i] ^= 0x20;
            EXPECT_FALSE(tvx::DecodeControlFile(damaged.data(), damaged.size(), back)) << i;
        }
        EXPECT_FALSE(tvx::DecodeControlFile(bytes.data(), bytes.size() - 1, back));
    }
    // A record of an older program: 16 bytes, no validators.
    unsigned char old[tvx::kControlRecordSize];
    tvx::EncodeControlRecord({3000, 199411060849.0, 1000}, old);
    tvx::ControlState back;
    ASSERT_TRUE(tvx::DecodeControlFile(old, sizeof old, back));
    EXPECT_FALSE(back.extended);
    EXPECT_EQ(back.prefix, 1000);
}

}  // namespace
