// The transfer engine against a real web server (nginx on loopback) and
// local sources: fresh transfers, breaks and resumes, changed sources.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "NginxServer.h"
#include "TransferHelpers.h"
#include "session/WorkListEntry.h"
#include "transfer/FileTime.h"

namespace {

using tvx::ControlRecord;
using tvx::CTransfer;
using tvxtest::FileSize;
using tvxtest::Pattern;
using tvxtest::ReadFile;
using tvxtest::WriteFile;

class NginxTransfer : public tvxtest::TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        if (!tvxtest::NginxServer::Available())
            GTEST_SKIP() << "nginx is not installed";
        ASSERT_EQ(mkdir(PathOf("www").c_str(), 0755), 0);
        m_body = Pattern(2500);
        WriteFile(PathOf("www/file.bin"), m_body);
        m_nginx = std::make_unique<tvxtest::NginxServer>(PathOf("www"));
        ASSERT_TRUE(m_nginx->Started()) << m_nginx->Error();
        m_url = m_nginx->Url("/file.bin");
    }
    void BreakAfter(int chunks) { TransferTest::BreakAfter(m_url, "file.bin", chunks); }

    std::string m_body;
    std::string m_url;
    std::unique_ptr<tvxtest::NginxServer> m_nginx;
};

TEST_F(NginxTransfer, FreshTransferReadsChunksAndDeletesTheControlFile) {
    auto t = Make();
    ASSERT_EQ(t->Open(m_url, "file.bin"), CTransfer::kOk);
    EXPECT_EQ(t->ContentLength(), 2500);
    EXPECT_EQ(t->RemoteDate(), tvxtest::GmtDateNumber(PathOf("www/file.bin")));
    EXPECT_EQ(t->StatusCode(), 200);
    const std::string control = PathOf("CTL_file.bin");
    std::vector<long> reads;
    long total = 0;
    for (;;) {
        const long n = t->ReadChunk();
        if (n == CTransfer::kNothingYet)
            continue;
        reads.push_back(n);
        if (n == 0)
            break;
        total += n;
        // The record follows the data only once it is durable: it never
        // counts a byte ahead of the file.
        ControlRecord r;
        ASSERT_TRUE(ReadControl(control, r));
        EXPECT_EQ(r.length, 2500);
        EXPECT_EQ(r.date, t->RemoteDate());
        EXPECT_LE(r.received, total);
    }
    EXPECT_EQ(reads, (std::vector<long>{1024, 1024, 452, 0}));
    EXPECT_FALSE(tvxtest::Exists(control));
    EXPECT_EQ(ReadFile(PathOf("file.bin")), m_body);
    // The counters of the ended transfer stay readable.
    EXPECT_EQ(t->OnDisk(), 2500);
    EXPECT_EQ(t->ContentLength(), 2500);
    EXPECT_EQ(bar.history, (std::vector<int>{0, 0, 40, 81, 100, 0}));
    EXPECT_EQ(animation.stops, 1);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(NginxTransfer, BrokenTransferResumesAtTheRecordedByte) {
    BreakAfter(2);
    EXPECT_EQ(FileSize(PathOf("file.bin")), 2048);
    ControlRecord r;
    ASSERT_TRUE(ReadControl(PathOf("CTL_file.bin"), r));
    EXPECT_EQ(r.length, 2500);
    EXPECT_EQ(r.received, 2048);

    auto t = Make(tvx::ReportMode::Session);
    tvx::WorkListEntry entry;
    t->SetSessionEntry(&entry);
    totals.expected = 2500;
    bar.history.clear();
    ASSERT_EQ(t->Open(m_url, "file.bin"), CTransfer::kOk);
    EXPECT_EQ(t->OnDisk(), 2048);
    EXPECT_EQ(bar.pos, 81);  // 2048 * 100 / 2500
    EXPECT_EQ(entry.length, 2500);
    EXPECT_EQ(entry.received, 2048);
    EXPECT_EQ(totals.running, 2048);
    EXPECT_EQ(log.Text(), "SEEK ON POS:2048 and completing this file\n");
    EXPECT_EQ(Drain(*t), (std::vector<long>{452, 0}));
    EXPECT_EQ(ReadFile(PathOf("file.bin")), m_body);
    EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_file.bin")));
    EXPECT_EQ(totals.running, 2500);
    EXPECT_EQ(sessionBar.pos, 100);
    EXPECT_EQ(entry.received, 2500);
}

TEST_F(NginxTransfer, ChangedSourceStartsOver) {
    BreakAfter(2);
    // Another modification minute on the server.
    struct timespec times[2] = {{time(nullptr) - 7200, 0}, {time(nullptr) - 7200, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, PathOf("www/file.bin").c_str(), times, 0), 0);
    auto t = Make(tvx::ReportMode::Session);
    ASSERT_EQ(t->Open(m_url, "file.bin"), CTransfer::kOk);
    EXPECT_EQ(t->OnDisk(), 0);
    ControlRecord r;
    ASSERT_TRUE(ReadControl(PathOf("CTL_file.bin"), r));
    EXPECT_EQ(r.received, 0);
    EXPECT_EQ(r.date, tvxtest::GmtDateNumber(PathOf("www/file.bin")));
    EXPECT_EQ(log.Text().rfind("RESTART : the file changed on the server (Last-Modified: ", 0), 0u)
        << log.Text();
    Drain(*t);
    EXPECT_EQ(ReadFile(PathOf("file.bin")), m_body);

    // Another length.
    BreakAfter(1);
    m_body = Pattern(3000, 7);
    WriteFile(PathOf("www/file.bin"), m_body);
    auto u = Make();
    ASSERT_EQ(u->Open(m_url, "file.bin"), CTransfer::kOk);
    EXPECT_EQ(u->OnDisk(), 0);
    Drain(*u);
    EXPECT_EQ(ReadFile(PathOf("file.bin")), m_body);
}

TEST_F(NginxTransfer, ControlFileWithoutCountOrBeyondTheFile) {
    // A count of 0 is a fresh transfer, whatever the destination holds.
    ControlRecord r;
    {
        auto probe = Make();
        ASSERT_EQ(probe->Check(m_url), CTransfer::kOk);
        unsigned char bytes[tvx::kControlRecordSize];
        tvx::EncodeControlRecord({2500, probe->RemoteDate(), 0}, bytes);
        WriteFile(PathOf("CTL_file.bin"),
                  std::string(reinterpret_cast<char*>(bytes), sizeof bytes));
        WriteFile(PathOf("file.bin"), "junk that must go");
        auto t = Make(tvx::ReportMode::Session);
        ASSERT_EQ(t->Open(m_url, "file.bin"), CTransfer::kOk);
        EXPECT_EQ(t->OnDisk(), 0);
        EXPECT_EQ(log.Text(), "");
        // Broken off before a byte arrived: the file is as it was, and still
        // marked as a partial (its record claims none of its bytes).
        t->Finish();
        EXPECT_EQ(ReadFile(PathOf("file.bin")), "junk that must go");
        ASSERT_TRUE(ReadControl(PathOf("CTL_file.bin"), r));
        EXPECT_EQ(r.received, 0);
    }
    // A count beyond the source's length (a server sent too much) starts over.
    {
        unsigned char bytes[tvx::kControlRecordSize];
        tvx::EncodeControlRecord({2500, tvxtest::GmtDateNumber(PathOf("www/file.bin")), 3000},
                                 bytes);
        WriteFile(PathOf("CTL_file.bin"),
                  std::string(reinterpret_cast<char*>(bytes), sizeof bytes));
        WriteFile(PathOf("file.bin"), std::string(3000, 'X'));
        auto t = Make();
        ASSERT_EQ(t->Open(m_url, "file.bin"), CTransfer::kOk);
        EXPECT_EQ(t->OnDisk(), 0);
        Drain(*t);
        EXPECT_EQ(ReadFile(PathOf("file.bin")), m_body);
    }
    // A count above what the destination holds resumes where the file ends.
    BreakAfter(2);
    ASSERT_EQ(truncate(PathOf("file.bin").c_str(), 1000), 0);
    auto t = Make();
    ASSERT_EQ(t->Open(m_url, "file.bin"), CTransfer::kOk);
    EXPECT_EQ(t->OnDisk(), 1000);
    Drain(*t);
    EXPECT_EQ(ReadFile(PathOf("file.bin")), m_body);
    // And a destination longer than the count is cut back to it first.
    BreakAfter(1);
    WriteFile(PathOf("file.bin"), m_body.substr(0, 1024) + std::string(600, 'X'));
    auto u = Make();
    ASSERT_EQ(u->Open(m_url, "file.bin"), CTransfer::kOk);
    EXPECT_EQ(u->OnDisk(), 1024);
    Drain(*u);
    EXPECT_EQ(ReadFile(PathOf("file.bin")), m_body);
}

TEST_F(NginxTransfer, RelativeDestinationGetsItsFolders) {
    auto t = Make();
    ASSERT_EQ(t->Open(m_url, "sub\\deeper/file.bin"), CTransfer::kOk);
    EXPECT_TRUE(tvxtest::Exists(PathOf("sub/deeper/CTL_file.bin")));
    Drain(*t);
    EXPECT_EQ(ReadFile(PathOf("sub/deeper/file.bin")), m_body);
    EXPECT_FALSE(tvxtest::Exists(PathOf("sub/deeper/CTL_file.bin")));
}

TEST_F(NginxTransfer, MissingFileIsRefusedWithoutTouchingTheDisk) {
    auto t = Make();
    EXPECT_EQ(t->Check(m_nginx->Url("/none.bin")), CTransfer::kRefused);
    EXPECT_EQ(t->StatusCode(), 404);
    EXPECT_EQ(t->Open(m_nginx->Url("/none.bin"), "x\\none.bin"), CTransfer::kRefused);
    EXPECT_FALSE(tvxtest::Exists(PathOf("x")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("not found on the server (HTTP 404)"), std::string::npos);
}

class LocalTransfer : public tvxtest::TransferTest {};

TEST_F(LocalTransfer, LocalSourceIsCopiedInLargeChunks) {
    const std::string body = Pattern(100000, 3);
    WriteFile(PathOf("source.bin"), body);
    ASSERT_TRUE(tvx::StampFileTime(PathOf("source.bin"), 201203041506.0));
    auto t = Make();
    ASSERT_EQ(t->Check(PathOf("source.bin")), CTransfer::kOk);
    EXPECT_EQ(t->ContentLength(), 100000);
    EXPECT_EQ(t->RemoteDate(), 201203041506.0);
    ASSERT_EQ(t->Open(PathOf("source.bin"), "copy.bin"), CTransfer::kOk);
    EXPECT_EQ(Drain(*t), (std::vector<long>{32768, 32768, 32768, 1696, 0}));
    EXPECT_EQ(ReadFile(PathOf("copy.bin")), body);
    EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_copy.bin")));
    // A missing local source checks as empty and cannot be opened.
    EXPECT_EQ(t->Check(PathOf("none.bin")), CTransfer::kOk);
    EXPECT_EQ(t->ContentLength(), 0);
    EXPECT_EQ(t->Open(PathOf("none.bin"), "copy2.bin"), CTransfer::kRefused);
}

TEST_F(LocalTransfer, PercentagesDoNotOverflowOnLargeFiles) {
    // 30,000,000 bytes, read from a sparse file.
    const std::string source = PathOf("large.bin");
    WriteFile(source, "");
    ASSERT_EQ(truncate(source.c_str(), 30000000), 0);
    auto t = Make();
    ASSERT_EQ(t->Open(source, "copy.bin"), CTransfer::kOk);
    std::int64_t received = 0;
    for (;;) {
        const long n = t->ReadChunk();
        if (n == 0)
            break;
        received += n;
        ASSERT_EQ(bar.pos, static_cast<int>(received * 100 / 30000000));
    }
    EXPECT_EQ(received, 30000000);
    EXPECT_EQ(tvx::Percent(15000000, 30000000), 50);
    EXPECT_EQ(tvx::Percent(0x7FFFFFFE, 0x7FFFFFFF), 99);
    EXPECT_EQ(tvx::Percent(5, 0), 0);
}

TEST_F(LocalTransfer, RemovedDestinationIsAnErrorNotASuccess) {
    const std::string source = PathOf("source.bin");
    WriteFile(source, Pattern(3 << 20));
    auto t = Make(tvx::ReportMode::Session);
    ASSERT_EQ(t->Open(source, "copy.bin"), CTransfer::kOk);
    ASSERT_GT(t->ReadChunk(), 0);
    ASSERT_EQ(std::remove(PathOf("copy.bin").c_str()), 0);
    Drain(*t);
    EXPECT_EQ(t->OnDisk(), 0);
    EXPECT_NE(log.Text().find("WRITE ERROR: the file"), std::string::npos) << log.Text();
    // Nothing of the file is on disk, so no record claims any of it.
    EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_copy.bin")));
}

TEST_F(LocalTransfer, FullDiskIsReportedAndTheCountStaysTrue) {
    tvxtest::ScopedTmpfs disk(PathOf("disk"), 64 * 1024);
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a small file system here";
    const std::string source = PathOf("source.bin");
    WriteFile(source, Pattern(300000));
    // Known ahead, the shortage is said before anything is written.
    auto early = Make();
    EXPECT_EQ(early->Open(source, "disk\\copy.bin"), CTransfer::kLocalFileError);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("not enough space for " + PathOf("disk/copy.bin") +
                                  ": needs 300.0 KB, "),
              std::string::npos)
        << ui.messages[0];
    EXPECT_FALSE(tvxtest::Exists(PathOf("disk/copy.bin")));
    EXPECT_FALSE(tvxtest::Exists(PathOf("disk/CTL_copy.bin")));
    ui.messages.clear();
    // A disk that fills up during the transfer (others write to it too).
    auto t = Make();
    t->SetFreeSpaceProbe([](const std::string&) { return std::int64_t(-1); });
    ASSERT_EQ(t->Open(source, "disk\\copy.bin"), CTransfer::kOk);
    Drain(*t);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("No space left on device"), std::string::npos) << ui.messages[0];
    ControlRecord r;
    ASSERT_TRUE(ReadControl(PathOf("disk/CTL_copy.bin"), r));
    EXPECT_EQ(r.received, FileSize(PathOf("disk/copy.bin")));
    EXPECT_EQ(t->OnDisk(), r.received);
    EXPECT_LT(r.received, 300000);
    EXPECT_EQ(ReadFile(PathOf("disk/copy.bin")), Pattern(300000).substr(0, r.received));
}

TEST(ControlFile, RecordLayoutIsLittleEndianWithTheDoubleAtFour) {
    unsigned char bytes[tvx::kControlRecordSize];
    tvx::EncodeControlRecord({2500, 199903121005.0, 2048}, bytes);
    EXPECT_EQ(bytes[0], 0xC4);
    EXPECT_EQ(bytes[1], 0x09);
    EXPECT_EQ(bytes[12], 0x00);
    EXPECT_EQ(bytes[13], 0x08);
    double date;
    std::memcpy(&date, bytes + 4, sizeof date);
    EXPECT_EQ(date, 199903121005.0);
    const ControlRecord back = tvx::DecodeControlRecord(bytes);
    EXPECT_EQ(back.length, 2500);
    EXPECT_EQ(back.received, 2048);
    EXPECT_EQ(tvx::ControlFilePath("d:\\soft\\tools.zip"), "/soft/CTL_tools.zip");
    EXPECT_EQ(tvx::ControlFilePath("/home/a/b.zip"), "/home/a/CTL_b.zip");
    EXPECT_EQ(tvx::ControlFilePath("\\b.zip"), "");
    EXPECT_EQ(tvx::ControlFilePath("b.zip"), "");
}

}  // namespace

namespace {

// nginx serving the same file over HTTPS with a certificate of its own.
class HttpsTransfer : public tvxtest::TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        if (!tvxtest::NginxServer::Available())
            GTEST_SKIP() << "nginx is not installed";
        const std::string make_certificate =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
            "-addext subjectAltName=IP:127.0.0.1 -keyout '" +
            PathOf("key.pem") + "' -out '" + PathOf("cert.pem") + "' >/dev/null 2>&1";
        if (std::system(make_certificate.c_str()) != 0)
            GTEST_SKIP() << "openssl cannot make a certificate";
        ASSERT_EQ(mkdir(PathOf("www").c_str(), 0755), 0);
        m_body = tvxtest::Pattern(5000, 8);
        tvxtest::WriteFile(PathOf("www/file.bin"), m_body);
        m_nginx = std::make_unique<tvxtest::NginxServer>(
            PathOf("www"), "ssl on; ssl_certificate " + PathOf("cert.pem") +
                               "; ssl_certificate_key " + PathOf("key.pem") + ";");
        ASSERT_TRUE(m_nginx->Started()) << m_nginx->Error();
        m_url = "https://127.0.0.1:" + std::to_string(m_nginx->Port()) + "/file.bin";
    }
    std::string m_body, m_url;
    std::unique_ptr<tvxtest::NginxServer> m_nginx;
};

TEST_F(HttpsTransfer, UnknownCertificatesAreRefused) {
    auto t = Make();
    EXPECT_EQ(t->Check(m_url), CTransfer::kInternetError);
    EXPECT_NE(t->Problem().find("certificate"), std::string::npos) << t->Problem();
}

TEST_F(HttpsTransfer, TrustedServerTransfersAndResumes) {
    settings.caFile = PathOf("cert.pem");
    BreakAfter(m_url, "file.bin", 2);
    auto t = Make();
    ASSERT_EQ(t->Check(m_url), CTransfer::kOk);
    EXPECT_EQ(t->ContentLength(), 5000);
    ASSERT_EQ(t->Open(m_url, "file.bin"), CTransfer::kOk);
    EXPECT_EQ(t->OnDisk(), 2048);
    Drain(*t);
    EXPECT_EQ(ReadFile(PathOf("file.bin")), m_body);
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
