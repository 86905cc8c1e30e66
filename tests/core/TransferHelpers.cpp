#include "TransferHelpers.h"

#include <sys/stat.h>
#include <time.h>

#include <cstdio>

#include "NginxServer.h"
#include "transfer/FileTime.h"

namespace tvxtest {

void TransferTest::SetUp() {
    Sandbox::SetUp();
    settings.connectTimeoutSec = 5;
    settings.lowSpeedLimit = 1;
    settings.lowSpeedTime = 2;
    settings.caFile = NginxServer::CaFile();  // the HTTP/2 run's own certificate
    // The tests that count requests count the file's own; the digest tests
    // turn the folders' checksum files on.
    settings.checksumFiles = false;
}

std::unique_ptr<tvx::CTransfer> TransferTest::Make(tvx::ReportMode mode, bool paced) {
    auto transfer = std::make_unique<tvx::CTransfer>(settings, mode);
    transfer->SetBaseDirectory(Dir());
    transfer->SetFileProgress(&bar);
    transfer->SetAnimation(&animation);
    transfer->SetUi(&ui);
    transfer->SetLog(&log);
    transfer->SetPaced(paced);
    if (mode == tvx::ReportMode::Session)
        transfer->SetSessionTotals(&totals, &sessionBar);
    return transfer;
}

std::vector<long> TransferTest::Drain(tvx::CTransfer& transfer) {
    std::vector<long> reads;
    for (int guard = 0; guard < 1000000; ++guard) {
        const long n = transfer.ReadChunk();
        if (n == tvx::CTransfer::kNothingYet)
            continue;
        reads.push_back(n);
        if (n == 0)
            break;
    }
    return reads;
}

void TransferTest::BreakAfter(const std::string& source, const std::string& destination,
                              int chunks) {
    auto transfer = Make();
    ASSERT_EQ(transfer->Open(source, destination), tvx::CTransfer::kOk);
    for (int moved = 0; moved < chunks;) {
        const long n = transfer->ReadChunk();
        ASSERT_NE(n, 0) << "the transfer ended early";
        if (n > 0)
            ++moved;
    }
    transfer->Finish();
}

bool TransferTest::ReadControl(const std::string& path, tvx::ControlRecord& record) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    unsigned char bytes[tvx::kControlRecordSize];
    const bool whole = std::fread(bytes, 1, sizeof bytes, file) == sizeof bytes;
    std::fclose(file);
    if (whole)
        record = tvx::DecodeControlRecord(bytes);
    return whole;
}

std::string Pattern(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    unsigned x = seed * 2654435761u + 12345u;
    for (std::size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>(x >> 16);
    }
    return s;
}

std::int64_t FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

double GmtDateNumber(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return -1;
    struct tm tm {};
    gmtime_r(&st.st_mtime, &tm);
    return tvx::MakeDateNumber(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min);
}

}  // namespace tvxtest
