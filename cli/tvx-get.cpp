// tvx-get: downloads one file the way the single-file download dialog does,
// without a window, for scripts and cron.
//
//   tvx-get [OPTIONS] "webname,filename"
//   tvx-get [OPTIONS] webname filename   (tvx-get --help lists them)
//
// The one-text form takes at most one comma; an address or a file name that
// holds commas is given as two arguments, which are taken whole. Settings
// come from download.ini in the current directory ([Transfer]). A relative
// filename is resolved against the current directory. The file is
// checked first and fetched only when it is new, changed or incomplete; a
// broken transfer continues where it stopped. Message texts go to standard
// error; a progress line is shown there when it is a terminal.
// Exit status: 0 the file is complete or already up to date; 1 something
// failed, the file ended short or the run was broken off (its control file
// stays for the next run); 2 usage.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "HelpTexts.h"
#include "Interrupt.h"
#include "Options.h"
#include "app/CommandLine.h"
#include "app/Settings.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "transfer/CFileDownload.h"
#include "transfer/ChecksumFiles.h"
#include "transfer/CProgressLine.h"

namespace {

constexpr char kUsage[] = "CALL: Pullbox.exe webname,filename";

class ConsoleProgress : public tvx::Progress {
public:
    void SetRange(int, int) override {}
    void SetPos(int pos) override { m_pos = pos; }
    int Pos() const { return m_pos; }

private:
    int m_pos = 0;
};

class ConsoleAnimation : public tvx::Animation {
public:
    void Play() override {}
    void Stop() override {}
};

// Messages and the progress line on standard error.
class ConsoleUi : public tvx::DownloadDialogUi {
public:
    ConsoleUi() : m_terminal(isatty(STDERR_FILENO) == 1) {}

    void MessageBox(const std::string& text) override {
        if (tvxcli::g_interrupted)
            return;  // breaking off is not an error to report
        ClearLine();
        std::fprintf(stderr, "%s\n", tvx::WithoutBells(text).c_str());
    }
    void Notice(const std::string& text) override {
        ClearLine();
        std::fprintf(stderr, "tvx-get: %s\n", text.c_str());
    }
    void SetStatusText(const std::string& text) override {
        m_status = text;
        Show(true);
    }
    void SetFileLine(const std::string& text) override { m_fileLine = text; }
    tvx::Progress& FileProgress() override { return m_progress; }
    tvx::Animation& RunningAnimation() override { return m_animation; }

    // Redraws the progress line, at most a few times a second unless forced.
    void Show(bool force, long long received = -1, long long length = -1, int connections = 0) {
        if (!m_terminal)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - m_lastShown < std::chrono::milliseconds(200))
            return;
        m_lastShown = now;
        std::string line = m_status;
        if (received >= 0) {
            char numbers[96];
            std::snprintf(numbers, sizeof numbers, " %3d%%  %lld of %lld bytes", m_progress.Pos(),
                          received, length);
            // The numbers stay whole; a long file line gives way.
            const std::string tail = numbers + tvx::CProgressLine::ConnectionsText(connections);
            line = m_fileLine.substr(0, tail.size() < 78 ? 78 - tail.size() : 0) + tail;
        }
        if (line.size() > 78)
            line.resize(78);
        std::fprintf(stderr, "\r%-78s", line.c_str());
        m_lineShown = true;
    }
    void ClearLine() {
        if (!m_lineShown)
            return;
        std::fprintf(stderr, "\r%78s\r", "");
        m_lineShown = false;
    }

private:
    bool m_terminal;
    bool m_lineShown = false;
    std::string m_status, m_fileLine;
    ConsoleProgress m_progress;
    ConsoleAnimation m_animation;
    std::chrono::steady_clock::time_point m_lastShown{};
};

int Usage() {
    std::fprintf(stderr,
                 "%s\nusage: tvx-get [OPTIONS] \"webname,filename\"\n"
                 "       tvx-get [OPTIONS] webname filename\n"
                 "(tvx-get --help lists the options)\n",
                 kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (tvx::AnswerStandardOption(argc, argv, "tvx-get", tvxcli::kTvxGetHelp))
        return 0;
    tvxcli::TransferOptions options;
    std::vector<const char*> operands;
    std::vector<tvx::Digest> checksums;
    std::string checksumFile;
    for (int i = 1; i < argc; ++i) {
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (std::strcmp(argv[i], "--checksum") == 0) {
            tvx::Digest digest;
            if (value == nullptr || !tvx::ParseChecksumOption(value, digest)) {
                std::fprintf(stderr,
                             "tvx-get: --checksum takes sha-256=HEX (64 digits) or sha-512=HEX "
                             "(128 digits)\n");
                return 2;
            }
            checksums.push_back(std::move(digest));
            ++i;
            continue;
        }
        if (std::strcmp(argv[i], "--checksums") == 0) {
            if (value == nullptr) {
                std::fprintf(stderr,
                             "tvx-get: --checksums takes the address or the path of a SHA256SUMS "
                             "or SHA512SUMS file\n");
                return 2;
            }
            checksumFile = value;
            ++i;
            continue;
        }
        const tvxcli::OptionUse use = tvxcli::TakeTransferOption("tvx-get", argc, argv, i, options);
        if (use == tvxcli::OptionUse::Bad)
            return 2;
        if (use == tvxcli::OptionUse::NotOurs)
            operands.push_back(argv[i]);
    }
    if (operands.empty() || operands.size() > 2)
        return Usage();
    if (operands.size() == 1) {
        const std::string_view text = operands[0];
        const std::string_view line = text.substr(0, text.find_first_of("\r\n"));
        if (std::count(line.begin(), line.end(), ',') > 1) {
            std::fprintf(stderr,
                         "tvx-get: \"%s\" has more than one comma, so it does not say where the "
                         "address ends; give the address and the file as two arguments\n",
                         operands[0]);
            return 2;
        }
    }

    tvxcli::InstallInterruptHandler();
    if (options.maxTime != 0)
        tvxcli::StartTimeLimit(options.maxTime);

    const std::string directory = tvx::CurrentDirectory();
    tvx::HttpSettings settings;
    tvx::LoadTransferSettings(settings, tvx::JoinPath(directory, "download.ini"));
    if (!settings.rateScheduleProblem.empty())
        std::fprintf(stderr, "%s: download.ini: %s\n", "tvx-get", settings.rateScheduleProblem.c_str());
    tvxcli::ApplyTransferOptions(options, settings);
    settings.interrupted = [] { return tvxcli::g_interrupted.load(); };
    ConsoleUi ui;
    tvx::CFileDownload download(ui, settings, directory, options.paced);
    download.SetReadWait(options.paced ? 20 : 500);
    if (operands.size() == 1)
        download.SetParameters(operands[0]);
    else
        download.SetParameters(operands[0], operands[1]);
    download.Transfer().SetExpectedDigests(checksums);
    if (!checksumFile.empty()) {
        // The file the user names must be readable and must list this file;
        // a proof that cannot be made is said before anything is fetched.
        auto files = std::make_shared<tvx::ChecksumFiles>();
        std::string problem;
        if (!files->Use(checksumFile, settings, problem)) {
            std::fprintf(stderr, "tvx-get: --checksums: %s\n", problem.c_str());
            return 1;
        }
        if (files->For(download.Parameters().address, settings).empty()) {
            std::fprintf(stderr, "tvx-get: %s lists no sha-256 or sha-512 digest for %s\n",
                         checksumFile.c_str(), download.Parameters().address.c_str());
            return 1;
        }
        download.Transfer().SetChecksumFiles(std::move(files));
    }

    if (download.Start()) {
        while (!tvxcli::g_interrupted) {
            const auto tick = std::chrono::steady_clock::now();
            if (download.Tick() == tvx::CFileDownload::TickResult::Close)
                break;
            const tvx::CTransfer& transfer = download.Transfer();
            ui.Show(false, transfer.OnDisk(), transfer.ContentLength(),
                    transfer.ConnectionCount());
            if (options.paced)
                std::this_thread::sleep_until(tick + std::chrono::milliseconds(20));
        }
        if (tvxcli::g_interrupted)
            download.Close(tvx::CFileDownload::kResultBroken);
    }
    ui.ClearLine();

    const tvx::CTransfer& transfer = download.Transfer();
    const std::string& file = download.Parameters().localName;
    switch (download.Outcome()) {
        case tvx::DownloadOutcome::Complete:
        case tvx::DownloadOutcome::UpToDate:
            return 0;
        case tvx::DownloadOutcome::Usage:
            return 2;
        case tvx::DownloadOutcome::Short:
        case tvx::DownloadOutcome::Broken:
            if (tvxcli::g_timedOut)
                std::fprintf(stderr, "tvx-get: the time limit of %u seconds was reached\n",
                             options.maxTime);
            std::fprintf(
                stderr,
                "tvx-get: %s holds %lld of %lld bytes; run the same command again to complete it\n",
                file.c_str(), static_cast<long long>(transfer.OnDisk()),
                static_cast<long long>(transfer.ContentLength()));
            return 1;
        case tvx::DownloadOutcome::Corrupt:
            std::fprintf(stderr,
                         "tvx-get: %s does not match its digest; it is marked to be fetched again "
                         "from byte 0\n",
                         file.c_str());
            return 1;
        case tvx::DownloadOutcome::NothingToFetch:
            std::fprintf(stderr, "tvx-get: the source is missing or empty; nothing was fetched\n");
            return 1;
        default:
            if (tvxcli::g_timedOut)
                std::fprintf(stderr, "tvx-get: the time limit of %u seconds was reached\n",
                             options.maxTime);
            else if (tvxcli::g_interrupted)
                std::fprintf(stderr, "tvx-get: broken off\n");
            return 1;
    }
}
