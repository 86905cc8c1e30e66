// The single-file download: its "webname,filename" text and the start
// procedure and ticks shared by the dialog and tvx-get.

#include <gtest/gtest.h>

#include "TestHttpServer.h"
#include "TransferHelpers.h"
#include "transfer/CFileDownload.h"
#include "transfer/FileTime.h"

namespace {

using tvx::CFileDownload;
using tvx::DownloadOutcome;
using tvx::DownloadParameters;
using tvxtest::Pattern;
using tvxtest::ReadFile;
using tvxtest::SeenRequest;
using tvxtest::TestHttpServer;

TEST(DownloadParameters, SplitsAtTheFirstTwoCommas) {
    DownloadParameters p;
    EXPECT_EQ(tvx::ParseDownloadParameters("HTTP://Server/Dir/File.ZIP,C:/Downloads/File.ZIP", p),
              1);
    EXPECT_EQ(p.address, "http://server/Dir/File.ZIP");
    EXPECT_EQ(p.localName, "C:\\Downloads\\File.ZIP");
    EXPECT_EQ(tvx::ParseDownloadParameters("a,b,c", p), 1);
    EXPECT_EQ(p.address, "a");
    EXPECT_EQ(p.localName, "b");
    EXPECT_EQ(tvx::ParseDownloadParameters("no comma at all", p), 0);
    EXPECT_EQ(p.localName, "");
    EXPECT_EQ(tvx::ParseDownloadParameters(",name", p), 0);
    EXPECT_EQ(tvx::ParseDownloadParameters("http://h/x,", p), 0);
    // The text ends at a line end; TABs are blanks.
    EXPECT_EQ(tvx::ParseDownloadParameters("http://h/x,dir/a\tb\r\nrest,more", p), 1);
    EXPECT_EQ(p.localName, "dir\\a b");
    // Long texts are taken whole: a cut would name another address or file.
    const std::string address = "http://h/" + std::string(200, 'a');
    const std::string name = std::string(150, 'n') + "/file.zip";
    EXPECT_EQ(tvx::ParseDownloadParameters(address + "," + name, p), 1);
    EXPECT_EQ(p.address, address);
    EXPECT_EQ(p.localName, std::string(150, 'n') + "\\file.zip");
}

TEST(DownloadParameters, DisplayNameIsTheLastPart) {
    EXPECT_EQ(tvx::DisplayName("c:\\downloads\\file.zip"), "file.zip");
    EXPECT_EQ(tvx::DisplayName("file.zip"), "");
    EXPECT_EQ(tvx::DisplayName("\\file.zip"), "");
}

// What the dialog shows, recorded.
class RecordingDialog : public tvx::DownloadDialogUi {
public:
    void MessageBox(const std::string& text) override { messages.push_back(text); }
    void SetStatusText(const std::string& text) override { statuses.push_back(text); }
    void SetFileLine(const std::string& text) override { fileLine = text; }
    tvx::Progress& FileProgress() override { return progress; }
    tvx::Animation& RunningAnimation() override { return animation; }
    std::vector<std::string> messages, statuses;
    std::string fileLine;
    tvxtest::RecordingProgress progress;
    tvxtest::RecordingAnimation animation;
};

class FileDownload : public tvxtest::TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        server = std::make_unique<TestHttpServer>([this](const SeenRequest& req) {
            if (req.target == "/missing")
                return tvxtest::Reply().Send(tvxtest::ResponseHead(404, {{"Content-Length", "0"}}));
            return tvxtest::FileReply(req, body, date);
        });
    }
    // Runs the dialog's logic to its end; false when Start closed it.
    bool Run(CFileDownload& d, int breakAfterTicks = -1) {
        if (!d.Start())
            return false;
        for (int ticks = 0; ticks < 100000; ++ticks) {
            if (ticks == breakAfterTicks) {
                d.Close(CFileDownload::kResultBroken);
                return true;
            }
            if (d.Tick() == CFileDownload::TickResult::Close)
                return true;
        }
        ADD_FAILURE() << "the download did not end";
        return true;
    }
    std::unique_ptr<CFileDownload> Make(const std::string& text) {
        auto d = std::make_unique<CFileDownload>(dialog, settings, Dir(), true);
        d->SetParameters(text);
        return d;
    }

    std::string body = Pattern(2500);
    std::string date = "Sun, 06 Nov 1994 08:49:37 GMT";
    std::unique_ptr<TestHttpServer> server;
    RecordingDialog dialog;
};

TEST_F(FileDownload, TransfersAndStampsTheFile) {
    auto d = Make(server->Url("/dir/file.zip") + ",sub/file.zip");
    ASSERT_TRUE(Run(*d));
    EXPECT_EQ(d->Result(), CFileDownload::kResultEnded);
    EXPECT_EQ(d->Outcome(), DownloadOutcome::Complete);
    EXPECT_EQ(ReadFile(PathOf("sub/file.zip")), body);
    EXPECT_EQ(tvx::GetLocalFileInfo(PathOf("sub/file.zip")).date, 199411060849.0);
    EXPECT_EQ(dialog.statuses,
              (std::vector<std::string>{"TEST CONNECT", "Check if update", "DownLoding"}));
    EXPECT_EQ(dialog.fileLine, "Download: 2500 Byte file.zip");
    EXPECT_EQ(dialog.animation.plays, 1);
    EXPECT_TRUE(dialog.messages.empty());
    // One request tests the connection and checks the file, and its answer
    // brings the file.
    EXPECT_EQ(server->RequestCount(), 1);
}

TEST_F(FileDownload, NothingToDoEndsBeforeShowing) {
    ASSERT_TRUE(Run(*Make(server->Url("/f.zip") + ",dl/f.zip")));
    auto again = Make(server->Url("/f.zip") + ",dl/f.zip");
    EXPECT_FALSE(again->Start());
    EXPECT_EQ(again->Result(), CFileDownload::kResultEnded);
    EXPECT_EQ(again->Outcome(), DownloadOutcome::UpToDate);
    EXPECT_EQ(dialog.fileLine, "Download update check file: f.zip");
    EXPECT_TRUE(dialog.messages.empty());
}

TEST_F(FileDownload, MissingPartsShowTheUsage) {
    auto d = Make("http://h/x");
    EXPECT_FALSE(d->Start());
    EXPECT_EQ(d->Outcome(), DownloadOutcome::Usage);
    EXPECT_EQ(dialog.messages, (std::vector<std::string>{"CALL: Pullbox.exe webname,filename"}));
    EXPECT_TRUE(dialog.statuses.empty());
}

// What went wrong is said once, in words that fit it: the connection text
// only for a server that cannot be reached.
TEST_F(FileDownload, AFailedCheckIsSaidOnce) {
    auto d = Make(server->Url("/missing") + ",x.zip");
    EXPECT_FALSE(d->Start());
    EXPECT_EQ(d->Outcome(), DownloadOutcome::CheckFailed);
    EXPECT_EQ(dialog.messages,
              (std::vector<std::string>{"Error: not found on the server (HTTP 404) (" +
                                        server->Url("/missing") + ")"}));
    EXPECT_FALSE(tvxtest::Exists(PathOf("x.zip")));

    dialog.messages.clear();
    const std::string port = std::to_string(tvxtest::UnusedLoopbackPort());
    auto e = Make("http://127.0.0.1:" + port + "/x,x.zip");
    EXPECT_FALSE(e->Start());
    EXPECT_EQ(e->Outcome(), DownloadOutcome::NoConnection);
    ASSERT_EQ(dialog.messages.size(), 1u);
    EXPECT_EQ(
        dialog.messages[0].rfind("OPEN ERROR INTERNET -- (FIRST CONNECT WITH YOUR INTERNET)\n", 0),
        0u);
    EXPECT_NE(dialog.messages[0].find(port), std::string::npos) << dialog.messages[0];
}

TEST_F(FileDownload, BreakLeavesAResumableControlFile) {
    auto d = Make(server->Url("/f.zip") + ",f.zip");
    ASSERT_TRUE(Run(*d, 3));  // open, then two reads of 1024 bytes
    EXPECT_EQ(d->Result(), CFileDownload::kResultBroken);
    EXPECT_EQ(d->Outcome(), DownloadOutcome::Broken);
    EXPECT_EQ(tvxtest::FileSize(PathOf("f.zip")), 2048);
    tvx::ControlRecord r;
    ASSERT_TRUE(ReadControl(PathOf("CTL_f.zip"), r));
    EXPECT_EQ(r.received, 2048);

    auto again = Make(server->Url("/f.zip") + ",f.zip");
    ASSERT_TRUE(Run(*again));
    EXPECT_EQ(again->Outcome(), DownloadOutcome::Complete);
    EXPECT_EQ(ReadFile(PathOf("f.zip")), body);
    EXPECT_EQ(server->Requests().back().Header("Range"), "bytes=2048-");
    EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_f.zip")));
}

TEST_F(FileDownload, ShortTransferKeepsItsOwnDateAndIsReportedAsShort) {
    server->SetHandler([this](const SeenRequest& req) {
        if (req.HasHeader("Range"))
            return tvxtest::FileReply(req, body, date);
        // The check's answer, which the transfer reads on, is cut.
        return tvxtest::Reply().Send(
            tvxtest::ResponseHead(200, {{"Content-Length", "2500"}, {"Last-Modified", date}}) +
            body.substr(0, 700));
    });
    auto d = Make(server->Url("/f.zip") + ",f.zip");
    ASSERT_TRUE(Run(*d));
    EXPECT_EQ(d->Outcome(), DownloadOutcome::Short);
    EXPECT_TRUE(dialog.messages.empty());
    // A partial never takes the server's date: it must not look like the file.
    EXPECT_NE(tvx::GetLocalFileInfo(PathOf("f.zip")).date, 199411060849.0);
    EXPECT_TRUE(tvxtest::Exists(PathOf("CTL_f.zip")));
}

TEST_F(FileDownload, LocalSourceSkipsTheConnectionTest) {
    tvxtest::WriteFile(PathOf("source.bin"), Pattern(70000));
    auto d = Make(PathOf("source.bin") + ",copy.bin");
    ASSERT_TRUE(Run(*d));
    EXPECT_EQ(d->Outcome(), DownloadOutcome::Complete);
    EXPECT_EQ(ReadFile(PathOf("copy.bin")), Pattern(70000));
    EXPECT_EQ(server->RequestCount(), 0);
}

TEST_F(FileDownload, NestedTicksReturnAtOnce) {
    // A tick that shows a message box runs a nested loop; a tick arriving from
    // there must not start a second engine step.
    class NestingDialog : public RecordingDialog {
    public:
        CFileDownload* download = nullptr;
        int nested = 0;
        void MessageBox(const std::string& text) override {
            RecordingDialog::MessageBox(text);
            if (download != nullptr && download->Tick() == CFileDownload::TickResult::Busy)
                ++nested;
        }
    } nesting;
    server->SetHandler([this](const SeenRequest& req) {
        if (req.HasHeader("Range"))
            return tvxtest::Reply().Reset();
        return tvxtest::FileReply(req, body, date);
    });
    auto first = Make(server->Url("/f.zip") + ",f.zip");
    ASSERT_TRUE(Run(*first, 2));  // leaves a control file
    CFileDownload d(nesting, settings, Dir(), true);
    nesting.download = &d;
    d.SetParameters(server->Url("/f.zip") + ",f.zip");
    ASSERT_TRUE(d.Start());
    EXPECT_EQ(d.Tick(), CFileDownload::TickResult::Continue);  // the open fails with a box
    EXPECT_EQ(nesting.nested, 1);
    ASSERT_EQ(nesting.messages.size(), 1u);
    EXPECT_EQ(nesting.messages[0].rfind("SEEK ERROR: ", 0), 0u);
    EXPECT_EQ(d.Tick(), CFileDownload::TickResult::Close);
    EXPECT_EQ(d.Outcome(), DownloadOutcome::OpenFailed);
}

}  // namespace
