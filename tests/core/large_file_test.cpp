// Files beyond 4 GiB, end to end: a sparse 5 GiB file on nginx with marks
// past 2 GiB and 4 GiB, fetched by tvx-get and by a session, broken off past
// 2.5 GiB and resumed at its byte. These tests write gigabytes, so there are
// few of them, and they skip where the disk has too little room.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "NginxServer.h"
#include "Process.h"
#include "TransferHelpers.h"
#include "transfer/ControlFile.h"

namespace {

constexpr std::int64_t kSize = 5LL << 30;
const std::int64_t kMarks[] = {0, (2LL << 30) + 12345, (4LL << 30) + 777, kSize - 16};

std::string MarkAt(std::int64_t offset) {
    return "mark@" + std::to_string(offset) + "#";
}

class LargeFile : public tvxtest::TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        if (!tvxtest::NginxServer::Available())
            GTEST_SKIP() << "nginx is not installed";
        struct statvfs fs {};
        ASSERT_EQ(statvfs(Dir().c_str(), &fs), 0);
        const double free = static_cast<double>(fs.f_bavail) * static_cast<double>(fs.f_frsize);
        if (free < 12e9)
            GTEST_SKIP() << "the large-file tests need 12 GB free in " << Dir() << ", there are "
                         << free / 1e9 << " GB";
        ASSERT_EQ(mkdir(PathOf("www").c_str(), 0755), 0);
        const int fd = open(PathOf("www/big.iso").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, kSize), 0);
        for (const std::int64_t at : kMarks) {
            const std::string mark =
                MarkAt(at).substr(0, at == kSize - 16 ? 16 : std::string::npos);
            ASSERT_EQ(pwrite(fd, mark.data(), mark.size(), at), static_cast<ssize_t>(mark.size()));
        }
        close(fd);
        nginx = std::make_unique<tvxtest::NginxServer>(PathOf("www"));
        ASSERT_TRUE(nginx->Started()) << nginx->Error();
    }

    // The copy has the size and the marks of the source, and zeros between.
    void ExpectSameAsSource(const std::string& path) {
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_size, kSize);
        const int fd = open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        for (const std::int64_t at : kMarks) {
            const std::string mark =
                MarkAt(at).substr(0, at == kSize - 16 ? 16 : std::string::npos);
            std::string got(mark.size(), '\0');
            ASSERT_EQ(pread(fd, got.data(), got.size(), at), static_cast<ssize_t>(got.size()));
            EXPECT_EQ(got, mark) << "at " << at;
            if (at + 8192 > kSize)
                continue;
            std::string gap(4096, 'x');
            ASSERT_EQ(pread(fd, gap.data(), gap.size(), at + 4096), 4096);
            EXPECT_EQ(gap, std::string(4096, '\0')) << "after " << at;
        }
        close(fd);
    }

    // Waits until the control file beside path counts at least `bytes` on
    // disk (a file fetched in segments has its whole size at once).
    bool WaitForSize(const std::string& path, std::int64_t bytes) {
        const std::string control = tvx::ControlFilePath(path);
        for (int i = 0; i < 12000; ++i) {
            tvx::ControlState state;
            if (tvx::ReadControlFile(control, state) && tvx::OnDisk(state) >= bytes)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    std::unique_ptr<tvxtest::NginxServer> nginx;
};

TEST_F(LargeFile, TvxGetFetchesBreaksOffAndResumesPastFourGiB) {
    const std::string get = TVX_GET_PATH;
    const std::string target = PathOf("dl/big.iso");
    const pid_t pid = tvxtest::StartProcess(get, {nginx->Url("/big.iso"), "dl/big.iso"}, Dir());
    ASSERT_TRUE(WaitForSize(target, (5LL << 30) / 2));
    kill(pid, SIGKILL);
    tvxtest::WaitProcess(pid, Dir());

    // The record holds the count whole; its first 16 bytes match no 16-byte
    // reader's file.
    tvx::ControlState state;
    ASSERT_TRUE(tvx::ReadControlFile(PathOf("dl/CTL_big.iso"), state));
    EXPECT_EQ(state.length, kSize);
    EXPECT_GE(tvx::OnDisk(state), (5LL << 30) / 2);
    tvx::ControlRecord base;
    ASSERT_TRUE(ReadControl(PathOf("dl/CTL_big.iso"), base));
    EXPECT_EQ(base.length, -1);

    // A byte of the part on disk is marked: a resume leaves it, a fresh
    // start would write it again.
    const int fd = open(target.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, "Z", 1, 100000), 1);
    close(fd);
    auto resumed = tvxtest::RunProcess(get, {nginx->Url("/big.iso"), "dl/big.iso"}, Dir(), 300000);
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_FALSE(tvxtest::Exists(PathOf("dl/CTL_big.iso")));
    ExpectSameAsSource(target);
    char z = 0;
    const int check = open(target.c_str(), O_RDONLY);
    ASSERT_EQ(pread(check, &z, 1, 100000), 1);
    close(check);
    EXPECT_EQ(z, 'Z') << "the transfer started over instead of resuming";

    // The server's file is now 1 GiB with the same date: the lengths differ
    // only above 32 bits, and the check must still see it.
    struct stat before {};
    ASSERT_EQ(stat(PathOf("www/big.iso").c_str(), &before), 0);
    ASSERT_EQ(truncate(PathOf("www/big.iso").c_str(), 1LL << 30), 0);
    struct timespec times[2] = {before.st_mtim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, PathOf("www/big.iso").c_str(), times, 0), 0);
    auto changed = tvxtest::RunProcess(get, {nginx->Url("/big.iso"), "dl/big.iso"}, Dir(), 300000);
    EXPECT_EQ(changed.exitCode, 0) << changed.err;
    EXPECT_EQ(tvxtest::FileSize(target), 1LL << 30);
}

TEST_F(LargeFile, SessionFetchesItWhole) {
    tvxtest::WriteFile(PathOf("tvx_downctrl.htm"),
                       nginx->Url("/") + ",dl,Large\r\n1,big.iso,Disc image\r\n}\r\n//END\r\n");
    auto r = tvxtest::RunProcess(TVX_SESSION_PATH, {"--all"}, Dir(), 300000);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("DOWNLOAD : 5368709120 Byte dl\\big.iso\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("SESSION CLOSE : complet 5368709120 of 5368709120"), std::string::npos)
        << r.out;
    ExpectSameAsSource(PathOf("dl/big.iso"));
}

}  // namespace
