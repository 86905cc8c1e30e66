// The work list and the check-and-download session, against scripted servers
// and nginx, driven tick by tick as the dialog drives it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "NginxServer.h"
#include "TestHttpServer.h"
#include "TransferHelpers.h"
#include "downloadlist/MemoryTreeControl.h"
#include "downloadlist/TreeFile.h"
#include "session/CSession.h"
#include "session/WorkList.h"
#include "transfer/FileTime.h"

namespace {

using tvx::CSession;
using tvx::WorkListEntry;
using tvxtest::Pattern;
using tvxtest::ReadFile;
using tvxtest::SeenRequest;
using tvxtest::WriteFile;

const std::string kDate = "Sun, 06 Nov 1994 08:49:37 GMT";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(WorkListEntry, LayoutIsByteForByte) {
    WorkListEntry e;
    e.length = 0x01020304;
    e.date = 199903121005.0;
    e.received = 0x0A0B0C0D;
    e.address = "http://h/a.zip";
    e.path = "dl\\a.zip";
    e.text = "A";
    unsigned char b[tvx::kWorkListEntrySize];
    std::memset(b, 0xEE, sizeof b);
    tvx::EncodeWorkListEntry(e, b);
    EXPECT_EQ(b[0], 0x04);
    EXPECT_EQ(b[3], 0x01);
    double date;
    std::memcpy(&date, b + 4, 8);
    EXPECT_EQ(date, 199903121005.0);
    for (int i = 12; i < 16; ++i)
        EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(b[16], 0x0D);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b + 20)), "http://h/a.zip");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b + 276)), "dl\\a.zip");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b + 532)), "A");
    // Zero-filled after every terminator, to the end of the entry.
    for (int i = 20 + 14; i < 276; ++i)
        ASSERT_EQ(b[i], 0) << i;
    for (int i = 532 + 1; i < 660; ++i)
        ASSERT_EQ(b[i], 0) << i;
    const WorkListEntry back = tvx::DecodeWorkListEntry(b);
    EXPECT_EQ(back.length, e.length);
    EXPECT_EQ(back.received, e.received);
    EXPECT_EQ(back.Path(), "dl\\a.zip");
}

class WorkList : public tvxtest::Sandbox {
protected:
    void Load(const std::string& text) {
        WriteFile(PathOf(tvx::kTreeControlFileName), text);
        table = tvx::LinkTable{};
        ASSERT_TRUE(tvx::LoadTree(table, tree, tvx::TreeControlFilePath()));
    }
    void CheckAll(bool on) {
        std::function<void(tvx::TreeItem)> walk = [&](tvx::TreeItem first) {
            for (tvx::TreeItem i = first; i != nullptr; i = tree.GetNextSiblingItem(i)) {
                tree.SetCheck(i, on);
                walk(tree.GetChildItem(i));
            }
        };
        walk(tree.GetRootItem());
    }
    tvx::LinkTable table;
    tvx::MemoryTreeControl tree;
};

TEST_F(WorkList, CheckedLinksInDisplayOrderWithCompletedFields) {
    Load(
        "http://h/pub/,files,T\r\n"
        "1,software/a.zip,First\r\n"
        "{Folder\r\n"
        "1,HTTPS://Other/B.zip,c:\\dl\\B.zip,Second\r\n"
        "}\r\n"
        "1,http://x/c.zip,sub/c.zip,Third\r\n"
        "}\r\n//END\r\n");
    CheckAll(true);
    const auto entries = tvx::CollectCheckedLinks(table, tree);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Address(), "http://h/pub/software/a.zip");
    EXPECT_EQ(entries[0].Path(), "files\\software\\a.zip");
    EXPECT_EQ(entries[0].Text(), "First");
    EXPECT_EQ(entries[1].Address(), "https://other/B.zip");  // absolute, whatever the case
    EXPECT_EQ(entries[1].Path(), "c:\\dl\\B.zip");
    EXPECT_EQ(entries[2].Path(), "files\\sub\\c.zip");
    EXPECT_EQ(entries[2].length, 0);
    ASSERT_TRUE(tvx::WriteWorkListFile(PathOf("download.tmp"), entries));
    EXPECT_EQ(tvxtest::FileSize(PathOf("download.tmp")), 1980);
    std::vector<WorkListEntry> back;
    ASSERT_TRUE(tvx::ReadWorkListFile(PathOf("download.tmp"), back));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[2].Text(), "Third");
}

TEST_F(WorkList, FoldersAndUncheckedLinksGiveNothing) {
    Load("h,T\r\n{F\r\n1,a,A\r\n}\r\n1,b,B\r\n}\r\n//END\r\n");
    CheckAll(false);
    EXPECT_TRUE(tvx::CollectCheckedLinks(table, tree).empty());
    tree.SetCheck(tree.GetRootItem(), true);  // only the folder
    EXPECT_TRUE(tvx::CollectCheckedLinks(table, tree).empty());
    // A checked link in a collapsed folder counts like any other; a subtree
    // comes before the item that holds it.
    tree.SetCheck(tree.GetChildItem(tree.GetRootItem()), true);
    ASSERT_EQ(tvx::CollectCheckedLinks(table, tree).size(), 1u);
    EXPECT_TRUE(tvx::WriteWorkListFile(PathOf("download.tmp"), {}));
    EXPECT_EQ(tvxtest::FileSize(PathOf("download.tmp")), 0);
}

TEST_F(WorkList, LongTextsTravelWhole) {
    // Texts that fit keep the 660-byte layout; longer ones (a signed address,
    // a deep path, a long UTF-8 text) follow their entry in an extension.
    const std::string address = "http://h/get?sig=" + std::string(3000, 's');
    const std::string path = "files\\" + std::string(300, 'p') + ".zip";
    std::string text;
    for (int i = 0; i < 100; ++i)
        text += "\xc3\x9c";  // 200 bytes, no character split
    Load("http://h/pub/,files,T\r\n1,short.zip,Short\r\n1," + address + "," + path.substr(6) + "," +
         text + "\r\n1,last.zip,Last\r\n}\r\n//END\r\n");
    CheckAll(true);
    const auto entries = tvx::CollectCheckedLinks(table, tree);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].Address(), address);
    ASSERT_TRUE(tvx::WriteWorkListFile(PathOf("download.tmp"), entries));
    const std::string bytes = ReadFile(PathOf("download.tmp"));
    ASSERT_EQ(bytes.size(), 3 * tvx::kWorkListEntrySize + tvx::kWorkListExtensionHead +
                                address.size() + path.size() + text.size());
    EXPECT_EQ(bytes[12], 0);        // the first entry as it always was
    EXPECT_EQ(bytes[660 + 12], 1);  // the second one extended,
    EXPECT_EQ(bytes[660 + 20], 0);  // its fixed texts empty
    EXPECT_EQ(bytes.substr(bytes.size() - 660 + 276, 8), std::string("files\\la"));
    std::vector<WorkListEntry> back;
    ASSERT_TRUE(tvx::ReadWorkListFile(PathOf("download.tmp"), back));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[1].Address(), address);
    EXPECT_EQ(back[1].Path(), path);
    EXPECT_EQ(back[1].Text(), text);
    EXPECT_EQ(back[1].reserved, 0);
    EXPECT_EQ(back[2].Text(), "Last");
    // A cut extension ends the list there; nothing is read from the wrong place.
    WriteFile(PathOf("download.tmp"), bytes.substr(0, 660 + 700));
    ASSERT_TRUE(tvx::ReadWorkListFile(PathOf("download.tmp"), back));
    EXPECT_EQ(back.size(), 1u);
}

// The session dialog, recorded.
class RecordingSessionUi : public tvx::SessionDialogUi {
public:
    void Write(const std::string& text, bool lineEnd) override {
        log += text + (lineEnd ? "\n" : "");
    }
    void MessageBox(const std::string& text) override { messages.push_back(text); }
    void SetPhaseCaption(const std::string& t) override { phase = t; }
    void SetUpperCaption(const std::string& t) override { upper = t; }
    void SetLowerCaption(const std::string& t) override { lower = t; }
    tvx::Progress& UpperBar() override { return upperBar; }
    tvx::Progress& LowerBar() override { return lowerBar; }
    tvx::Animation& RunningAnimation() override { return animation; }
    void EnableOk(bool e) override { okEnabled = e; }
    void Refresh() override { ++refreshes; }
    void StartTimer() override { timer = true; }
    void StopTimer() override { timer = false; }
    void EndDialog(int r) override { result = r; }

    std::string log, phase = "PRESS OK FOR START", upper, lower;
    std::vector<std::string> messages;
    tvxtest::RecordingProgress upperBar, lowerBar;
    tvxtest::RecordingAnimation animation;
    bool okEnabled = true, timer = false;
    int refreshes = 0, result = 0;
};

class Session : public tvxtest::TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        server = std::make_unique<tvxtest::TestHttpServer>([this](const SeenRequest& req) {
            if (handler)
                return handler(req);
            return Serve(req);
        });
    }
    tvxtest::Reply Serve(const SeenRequest& req) {
        if (req.target == "/missing")
            return tvxtest::Reply().Send(tvxtest::ResponseHead(404, {{"Content-Length", "0"}}));
        const int n = std::atoi(req.target.c_str() + 2);  // "/f<n>"
        return tvxtest::FileReply(req, Pattern(3000 + n * 100, n), kDate);
    }
    WorkListEntry Entry(const std::string& address, const std::string& path) {
        WorkListEntry e;
        e.address = address;
        e.path = path;
        e.text = path;
        return e;
    }
    void WriteList(const std::vector<WorkListEntry>& entries) {
        ASSERT_TRUE(tvx::WriteWorkListFile(PathOf("download.tmp"), entries));
    }
    // Presses OK and drives the ticks until the session closes (or a tick limit).
    void Run(CSession& s, int stopAfterTicks = -1) {
        s.OnInitDialog();
        s.OnOK();
        for (int ticks = 0; s.GetState() == CSession::State::Downloading; ++ticks) {
            if (ticks == stopAfterTicks) {
                s.OnCancel();
                break;
            }
            ASSERT_TRUE(ui.timer);
            s.OnTimer();
            ASSERT_LT(ticks, 100000);
        }
    }
    std::unique_ptr<CSession> Make() {
        auto s = std::make_unique<CSession>(ui, settings, Dir(), true, PathOf("download.tmp"));
        s->SetReadWait(100);
        return s;
    }

    RecordingSessionUi ui;
    std::unique_ptr<tvxtest::TestHttpServer> server;
    std::function<tvxtest::Reply(const SeenRequest&)> handler;
};

TEST_F(Session, TransfersInReverseOrderAndLogsEveryStep) {
    WriteList({Entry(server->Url("/f1"), "one.bin"), Entry(server->Url("/f2"), "dir\\two.bin"),
               Entry(server->Url("/f3"), "three.bin")});
    auto s = Make();
    Run(*s);
    EXPECT_EQ(ui.result, CSession::kResultEnded);
    EXPECT_EQ(s->Errors(), 0);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.log,
              "\r\n\r\nSTART SESSION - CHECK AND DOWNLOAD\r\n\n"
              "OPEN_URL : " +
                  server->Url("/f3") +
                  "\n"
                  "DOWNLOAD : 3300 Byte three.bin\n"
                  "CLOSE_URL : DOWLOAD OK\n"
                  "OPEN_URL : " +
                  server->Url("/f2") +
                  "\n"
                  "DOWNLOAD : 3200 Byte dir\\two.bin\n"
                  "CLOSE_URL : DOWLOAD OK\n"
                  "OPEN_URL : " +
                  server->Url("/f1") +
                  "\n"
                  "DOWNLOAD : 3100 Byte one.bin\n"
                  "CLOSE_URL : DOWLOAD OK\n"
                  "SESSION CLOSE : complet 9600 of 9600\n");
    EXPECT_EQ(ReadFile(PathOf("dir/two.bin")), Pattern(3200, 2));
    EXPECT_EQ(tvx::GetLocalFileInfo(PathOf("one.bin")).date, 199411060849.0);
    EXPECT_EQ(ui.lower, "Load Max 9600 Byte Download Data");
    EXPECT_EQ(ui.phase, "DOWNLOAD");
    EXPECT_EQ(ui.upper, "Download: 3100 Byte ");  // a name without a folder shows no name
    EXPECT_EQ(ui.lowerBar.pos, 100);
    EXPECT_FALSE(ui.okEnabled);
    EXPECT_GE(ui.refreshes, 3);
    // The upper bar counted the check, entry by entry.
    EXPECT_EQ(std::vector<int>(ui.upperBar.history.begin(), ui.upperBar.history.begin() + 4),
              (std::vector<int>{0, 0, 1, 2}));

    // A second session finds everything equal and transfers nothing.
    RecordingSessionUi fresh;
    ui = fresh;
    auto again = Make();
    Run(*again);
    EXPECT_EQ(ui.log,
              "\r\n\r\nSTART SESSION - CHECK AND DOWNLOAD\r\n\n"
              "DOWNLOAD : CHECK is EQUAL one.bin\n"
              "DOWNLOAD : CHECK is EQUAL dir\\two.bin\n"
              "DOWNLOAD : CHECK is EQUAL three.bin\n");
    EXPECT_EQ(ui.result, CSession::kResultEnded);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Session, FailedChecksCountAndTheOthersGoOn) {
    WriteList({Entry(server->Url("/f1"), "one.bin"), Entry(server->Url("/missing"), "gone.bin")});
    auto s = Make();
    Run(*s);
    EXPECT_EQ(s->Errors(), 1);
    EXPECT_NE(ui.log.find("OPEN_URL : *** NO CONNECTION for the first check " +
                          server->Url("/missing") + "\a\n"),
              std::string::npos)
        << ui.log;
    EXPECT_NE(ui.log.find("CLOSE_URL : DOWLOAD OK\n"), std::string::npos);
    EXPECT_TRUE(EndsWith(
        ui.log, "SESSION CLOSE : complet 3100 of 3100\n\r\nERRORS: The session hat 1 errors\r\n\n"))
        << ui.log;
    EXPECT_EQ(ui.messages,
              std::vector<std::string>{"\a\a\aThis downloading hat 1 errors - try again"});
}

TEST_F(Session, NoNetworkIsFatal) {
    const std::string dead = "http://127.0.0.1:" + std::to_string(tvxtest::UnusedLoopbackPort());
    WriteList({Entry(dead + "/a", "a.bin"), Entry(dead + "/b", "b.bin")});
    auto s = Make();
    Run(*s);
    // Every link of the host fails and counts; the host is asked only once.
    EXPECT_EQ(s->Errors(), 2);
    const std::size_t open = ui.log.find("OPEN ERROR: ");
    ASSERT_NE(open, std::string::npos);
    EXPECT_EQ(ui.log.find("OPEN ERROR: ", open + 1), std::string::npos) << ui.log;
    // The error text has a line of its own, said once: in the log, no box.
    EXPECT_NE(ui.log.find(")\nOPEN_URL : *** NO CONNECTION for the first check " + dead +
                          "/a\a\n"
                          "OPEN_URL : *** NO CONNECTION for the first check " +
                          dead +
                          "/b\a\n"
                          "FATAL OPEN_URL PROBLEM: *** it's better you check this problem\a\n"),
              std::string::npos)
        << ui.log;
    EXPECT_EQ(ui.messages,
              std::vector<std::string>{"\a\a\aThis downloading hat 2 errors - try again"});
    EXPECT_FALSE(tvxtest::Exists(PathOf("a.bin")));
}

TEST_F(Session, PartialFileResumesAndShortFileCounts) {
    // The first session gets a cut body (also when the download asks again
    // after its check's answer broke off): an error, and a resumable file.
    const std::string body = Pattern(5000, 9);
    handler = [&](const SeenRequest& req) {
        if (req.HasHeader("Range"))
            return tvxtest::FileReply(req, body, kDate);
        return tvxtest::Reply().Send(
            tvxtest::ResponseHead(200, {{"Content-Length", "5000"}, {"Last-Modified", kDate}}) +
            body.substr(0, 2000));
    };
    WriteList({Entry(server->Url("/x"), "x.bin")});
    auto s = Make();
    Run(*s);
    EXPECT_EQ(s->Errors(), 1);
    EXPECT_NE(ui.log.find("CLOSE_URL : *** DOWLOAD NOT OK  2000 of 5000 Bytes\a\n"),
              std::string::npos)
        << ui.log;
    EXPECT_TRUE(tvxtest::Exists(PathOf("CTL_x.bin")));

    // The next session completes it from byte 2000.
    RecordingSessionUi fresh;
    ui = fresh;
    handler = [&](const SeenRequest& req) { return tvxtest::FileReply(req, body, kDate); };
    auto again = Make();
    Run(*again);
    EXPECT_EQ(again->Errors(), 0);
    EXPECT_NE(ui.log.find("SEEK ON POS:2000 and completing this file\n"
                          "DOWNLOAD : the Rest 3000 Byte of 5000  x.bin\n"),
              std::string::npos)
        << ui.log;
    EXPECT_NE(ui.log.find("SESSION CLOSE : complet 5000 of 5000\n"), std::string::npos);
    EXPECT_EQ(ReadFile(PathOf("x.bin")), body);
    EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_x.bin")));
}

TEST_F(Session, CancelKeepsThePartialFileAndReportsNoErrors) {
    handler = [&](const SeenRequest& req) {
        if (req.target == "/missing")
            return Serve(req);
        return tvxtest::FileReply(req, Pattern(200000), kDate);
    };
    WriteList({Entry(server->Url("/big"), "big.bin"), Entry(server->Url("/missing"), "gone.bin")});
    auto s = Make();
    Run(*s, 5);  // open, then four reads
    EXPECT_EQ(ui.result, CSession::kResultBroken);
    EXPECT_TRUE(EndsWith(ui.log, "\nSESSION CLOSE : because discontinuance (cancel button)\n"))
        << ui.log;
    EXPECT_TRUE(ui.messages.empty());  // the failed check's error is not reported
    tvx::ControlRecord r;
    ASSERT_TRUE(ReadControl(PathOf("CTL_big.bin"), r));
    EXPECT_EQ(r.received, 4096);
    EXPECT_EQ(tvxtest::FileSize(PathOf("big.bin")), 4096);
    // Cancel and close requests after the end do nothing.
    s->OnCancel();
    s->OnClose();
    EXPECT_EQ(ui.log.find("close button"), std::string::npos);
}

TEST_F(Session, CancelBeforeOkAndMissingWorkList) {
    auto s = Make();
    s->OnInitDialog();
    s->OnClose();
    EXPECT_EQ(ui.result, CSession::kResultBroken);
    EXPECT_EQ(ui.log, "");
    RecordingSessionUi fresh;
    ui = fresh;
    auto t = Make();  // no download.tmp at all
    t->OnInitDialog();
    t->OnOK();
    EXPECT_EQ(t->GetState(), CSession::State::Closed);
    EXPECT_EQ(ui.result, CSession::kResultEnded);
    EXPECT_EQ(ui.log, "");
}

TEST_F(Session, LocalSourcesAndLongCaptions) {
    WriteFile(PathOf("copy-exists.bin"), "old");
    const std::string longName(140, 'n');
    WriteFile(PathOf("src.bin"), Pattern(70000));
    WriteList(
        {Entry(PathOf("nowhere.bin"), "copy-exists.bin"),  // missing source, local copy exists
         Entry(PathOf("nowhere2.bin"), "absent.bin"),      // both missing: equal
         Entry(PathOf("src.bin"), "d\\" + longName)});
    auto s = Make();
    s->OnInitDialog();
    s->OnOK();
    EXPECT_NE(
        ui.log.find("DOWNLOAD : *** NOT FOUND or FILE LEN = 0 " + PathOf("nowhere.bin") + "\a\n"),
        std::string::npos)
        << ui.log;
    EXPECT_NE(ui.log.find("DOWNLOAD : CHECK is EQUAL absent.bin\n"), std::string::npos);
    EXPECT_EQ(s->Errors(), 0);
    ASSERT_EQ(s->ToLoad(), 1);
    // The caption keeps the whole name.
    EXPECT_EQ(s->WorkList()[0].Text(), "Download: 70000 Byte " + longName);
    while (s->GetState() == CSession::State::Downloading)
        s->OnTimer();
    EXPECT_EQ(ReadFile(PathOf("d/" + longName)), Pattern(70000));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Session, NginxServesAWholeSession) {
    if (!tvxtest::NginxServer::Available())
        GTEST_SKIP() << "nginx is not installed";
    ASSERT_EQ(mkdir(PathOf("www").c_str(), 0755), 0);
    for (int i = 0; i < 3; ++i)
        WriteFile(PathOf("www/f" + std::to_string(i)), Pattern(10000 * (i + 1), i));
    tvxtest::NginxServer nginx(PathOf("www"));
    ASSERT_TRUE(nginx.Started()) << nginx.Error();
    WriteList({Entry(nginx.Url("/f0"), "n\\f0"), Entry(nginx.Url("/f1"), "n\\f1"),
               Entry(nginx.Url("/f2"), "n\\f2")});
    auto s = Make();
    Run(*s);
    EXPECT_EQ(s->Errors(), 0) << ui.log;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ReadFile(PathOf("n/f" + std::to_string(i))), Pattern(10000 * (i + 1), i));
    EXPECT_NE(ui.log.find("SESSION CLOSE : complet 60000 of 60000\n"), std::string::npos);
}

// With several connections a session keeps them and uses them again; over
// HTTP/2 they are streams of one connection. One at a time every request
// has a connection of its own. Each file holds the protocol and how many
// requests its connection had carried.
TEST_F(Session, ConnectionsAreKeptAndReusedWithSeveralAtOnce) {
    if (!tvxtest::NginxServer::Available())
        GTEST_SKIP() << "nginx is not installed";
    ASSERT_EQ(mkdir(PathOf("www").c_str(), 0755), 0);
    tvxtest::NginxServer nginx(PathOf("www"),
                               "location /n/ { default_type text/plain; "
                               "return 200 \"$server_protocol $connection_requests \"; }");
    ASSERT_TRUE(nginx.Started()) << nginx.Error();
    const std::string protocol = tvxtest::NginxServer::Http2() ? "HTTP/2.0 " : "HTTP/1.1 ";
    const char* const names[] = {"n/a", "n/b", "n/c", "n/d"};
    for (const int connections : {1, 2}) {
        SCOPED_TRACE(connections);
        WriteList({Entry(nginx.Url("/n/a"), "n\\a"), Entry(nginx.Url("/n/b"), "n\\b"),
                   Entry(nginx.Url("/n/c"), "n\\c"), Entry(nginx.Url("/n/d"), "n\\d")});
        for (const char* name : names)
            std::remove(PathOf(name).c_str());
        settings.connections = connections;
        auto s = Make();
        Run(*s);
        EXPECT_EQ(s->Errors(), 0) << ui.log;
        std::string served;
        for (const char* name : names)
            served += ReadFile(PathOf(name));
        if (connections == 1)
            EXPECT_EQ(served, protocol + "1 " + protocol + "1 " + protocol + "1 " + protocol + "1 ");
        else if (tvxtest::NginxServer::Http2())
            EXPECT_NE(served.find(protocol + "4 "), std::string::npos) << served;
        else
            EXPECT_NE(served.find(protocol + "2 "), std::string::npos) << served;
    }
}

// Connections bound the requests in flight to an HTTP/1.1 host; a host that
// answers over HTTP/2 takes more, as streams of one connection, up to what
// it allows. nginx counts each stream against limit_conn and turns the
// excess away with 503: over HTTP/2 the session goes past its two
// connections, meets the limit, backs off and still fetches every file.
TEST_F(Session, ConnectionsBoundHttp1HostsAndHttp2HostsTakeMoreStreams) {
    if (!tvxtest::NginxServer::Available())
        GTEST_SKIP() << "nginx is not installed";
    ASSERT_EQ(mkdir(PathOf("www").c_str(), 0755), 0);
    std::vector<WorkListEntry> entries;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "f" + std::to_string(i);
        WriteFile(PathOf("www/" + name), Pattern(100000, i));
        entries.push_back(Entry("/" + name, "n\\" + name));
    }
    const std::string log = PathOf("access.log");
    tvxtest::NginxServer nginx(PathOf("www"), "limit_conn perip 4; limit_rate 400k; access_log " +
                                                  log + ";");
    ASSERT_TRUE(nginx.Started()) << nginx.Error();
    for (WorkListEntry& e : entries)
        e.address = nginx.Url(e.address);
    WriteList(entries);
    settings.connections = 2;
    auto s = Make();
    Run(*s);
    EXPECT_EQ(s->Errors(), 0) << ui.log;
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(ReadFile(PathOf("n/f" + std::to_string(i))), Pattern(100000, i)) << i;
    const std::string served = ReadFile(log);
    EXPECT_EQ(served.find("\" 503 ") != std::string::npos, tvxtest::NginxServer::Http2()) << served;
}

}  // namespace
