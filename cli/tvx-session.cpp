// tvx-session: the Download command without a window, for scripts and cron.
// Run it in a start directory: it loads the download list tvx_downctrl.htm,
// takes every link whose local file exists (as the check boxes are set when
// the list is loaded) or, with --all, every link, writes the work list
// download.tmp, and runs the check-and-download session over it.
//
//   tvx-session [--all] [--paced] [-j N] [--max-time SECONDS] [--limit-rate RATE]
//
// The log goes to standard output exactly as the log pane shows it: CR and LF
// each end a line, BEL characters are dropped. Message texts go to standard
// error. Exit status: 0 no errors were counted (also when there was nothing
// to do); 1 errors were counted, the session was broken off before its end
// (files may be incomplete), links of the list were left out, or the log
// could not be written; 2 the download list is missing or the work list
// cannot be written. Ctrl+C, SIGTERM and --max-time end it like the cancel
// button: partial files keep their control files for the next run.
//
//   tvx-session --enable-rpc [--rpc-listen-port N] [--rpc-listen-all]
//               [--rpc-secret TOKEN] [--dir DIR]
//
// runs the download service instead (RpcService.h) until SIGTERM or Ctrl+C.

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "HelpTexts.h"
#include "RpcService.h"
#include "Interrupt.h"
#include "Options.h"
#include "app/CommandLine.h"
#include "app/Settings.h"
#include "downloadlist/MemoryTreeControl.h"
#include "downloadlist/TreeFile.h"
#include "platform/FileSystem.h"
#include "session/CSession.h"
#include "session/WorkList.h"
#include "transfer/CProgressLine.h"

namespace {

class NullProgress : public tvx::Progress {
public:
    void SetRange(int, int) override {}
    void SetPos(int) override {}
};

class NullAnimation : public tvx::Animation {
public:
    void Play() override {}
    void Stop() override {}
};

// The session's dialog on a terminal: the log on standard output, message
// boxes on standard error, and, when standard error is a terminal, one
// progress line there: the entry being checked, then the session's bytes.
class ConsoleSessionUi : public tvx::SessionDialogUi {
public:
    ConsoleSessionUi() : m_terminal(isatty(STDERR_FILENO) == 1) {}

    // Redraws the progress line with the session's totals, a few times a
    // second.
    void ShowTotals(const tvx::SessionTotals& totals, int connections) {
        const auto now = tvx::CProgressLine::Clock::now();
        if (!m_terminal)
            return;
        if (!m_downloading) {
            m_downloading = true;
            m_line.Start(totals.running, now);
        }
        if (m_line.Due(now)) {
            Show("Session: " + m_line.Text(totals.running, totals.expected, now) +
                 tvx::CProgressLine::ConnectionsText(connections));
        }
    }
    void ClearLine() {
        if (!m_lineShown)
            return;
        std::fprintf(stderr, "\r%78s\r", "");
        m_lineShown = false;
    }

    void Write(const std::string& text, bool lineEnd) override {
        ClearLine();
        std::string out;
        out.reserve(text.size() + 1);
        for (char c : text) {
            if (c == '\a')
                continue;
            out += (c == '\r') ? '\n' : c;
        }
        if (lineEnd)
            out += '\n';
        // A log that does not reach its file (a full disk, a closed pipe)
        // makes the run fail: whoever reads it would miss what happened.
        if ((std::fwrite(out.data(), 1, out.size(), stdout) != out.size() ||
             std::fflush(stdout) != 0) &&
            m_logError == 0) {
            m_logError = errno != 0 ? errno : EIO;
        }
    }
    // The reason the log could not be written, or 0.
    int LogError() const { return m_logError; }
    void MessageBox(const std::string& text) override {
        if (tvxcli::g_interrupted)
            return;
        ClearLine();
        std::fprintf(stderr, "%s\n", tvx::WithoutBells(text).c_str());
    }
    void SetPhaseCaption(const std::string&) override {}
    void SetUpperCaption(const std::string& text) override {
        if (m_terminal && !m_downloading)
            Show(text);
    }
    void SetLowerCaption(const std::string&) override {}
    tvx::Progress& UpperBar() override { return m_upper; }
    tvx::Progress& LowerBar() override { return m_lower; }
    tvx::Animation& RunningAnimation() override { return m_animation; }
    void EnableOk(bool) override {}
    void Refresh() override {}
    void StartTimer() override {}
    void StopTimer() override {}
    void EndDialog(int) override {}

private:
    void Show(std::string line) {
        line = tvx::WithoutBells(line);
        if (line.size() > 78)
            line.resize(78);
        std::fprintf(stderr, "\r%-78s", line.c_str());
        std::fflush(stderr);
        m_lineShown = true;
    }

    NullProgress m_upper, m_lower;
    NullAnimation m_animation;
    bool m_terminal;
    bool m_lineShown = false;
    bool m_downloading = false;
    int m_logError = 0;
    tvx::CProgressLine m_line;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: tvx-session [--all] [--paced] [-j N] [-x N] [--max-time SECONDS] "
                 "[--limit-rate RATE] [--cacert FILE]\n"
                 "       tvx-session --enable-rpc [--rpc-listen-port N] [--rpc-listen-all] "
                 "[--rpc-secret TOKEN] [--dir DIR]\n");
    return 2;
}

// Takes an option of the download service; false when argv[i] is none.
// A bad value makes status 2.
bool TakeRpcOption(int argc, char** argv, int& i, tvxcli::RpcOptions& rpc, int& status) {
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    const std::string_view name = argv[i];
    if (name == "--enable-rpc") {
        rpc.enabled = true;
    } else if (name == "--rpc-listen-all") {
        rpc.listenAll = true;
    } else if (name == "--rpc-listen-port") {
        const unsigned port = tvxcli::ParseSeconds(value);
        if (port == 0 || port > 65535) {
            std::fprintf(stderr, "tvx-session: --rpc-listen-port takes a port from 1 to 65535\n");
            status = 2;
        }
        rpc.port = static_cast<int>(port);
        ++i;
    } else if (name == "--rpc-secret" || name == "--dir") {
        if (value == nullptr || *value == '\0') {
            std::fprintf(stderr, "tvx-session: %s takes a value\n", argv[i]);
            status = 2;
        } else {
            (name == "--dir" ? rpc.dir : rpc.secret) = value;
        }
        ++i;
    } else {
        return false;
    }
    return true;
}

// The check-and-download session over the start directory's list: every
// checked link, or with all every link. Returns the exit status.
int RunListSession(bool all, const tvxcli::TransferOptions& options, int connections);

}  // namespace

int main(int argc, char** argv) {
    if (tvx::AnswerStandardOption(argc, argv, "tvx-session", tvxcli::kTvxSessionHelp))
        return 0;
    bool all = false;
    tvxcli::TransferOptions options;
    tvxcli::RpcOptions rpc;
    tvxcli::LoadRpcSettings(rpc, "download.ini");
    int connections = 0;  // 0: as download.ini says
    for (int i = 1; i < argc; ++i) {
        int status = 0;
        if (TakeRpcOption(argc, argv, i, rpc, status)) {
            if (status != 0)
                return status;
        } else if (std::strcmp(argv[i], "--all") == 0) {
            all = true;
        } else if (std::strcmp(argv[i], "-j") == 0) {
            const unsigned n = tvxcli::ParseSeconds(i + 1 < argc ? argv[++i] : nullptr);
            if (n == 0 || n > static_cast<unsigned>(tvx::kMaxConnections)) {
                std::fprintf(stderr, "tvx-session: -j takes a number from 1 to %d\n",
                             tvx::kMaxConnections);
                return 2;
            }
            connections = static_cast<int>(n);
        } else if (const tvxcli::OptionUse use =
                       tvxcli::TakeTransferOption("tvx-session", argc, argv, i, options);
                   use != tvxcli::OptionUse::Taken) {
            return use == tvxcli::OptionUse::Bad ? 2 : Usage();
        }
    }
    if (!tvx::CaptureStartDirectory()) {
        std::fprintf(stderr, "tvx-session: the current directory cannot be read\n");
        return 2;
    }
    if (rpc.enabled) {
        if (all || options.maxTime != 0) {
            std::fprintf(stderr, "tvx-session: --all and --max-time are for a list session, not "
                                 "for the service (its tvx.runSession takes all)\n");
            return 2;
        }
        tvx::HttpSettings settings;
        tvx::LoadTransferSettings(settings, tvx::SettingsFilePath());
        if (!settings.rateScheduleProblem.empty())
            std::fprintf(stderr, "tvx-session: download.ini: %s\n",
                         settings.rateScheduleProblem.c_str());
        tvxcli::ApplyTransferOptions(options, settings);
        return tvxcli::RunRpcService(argc, argv, rpc, settings, [options, connections](bool every) {
            return RunListSession(every, options, connections);
        });
    }
    tvxcli::InstallInterruptHandler();
    if (options.maxTime != 0)
        tvxcli::StartTimeLimit(options.maxTime);
    return RunListSession(all, options, connections);
}

namespace {

int RunListSession(bool all, const tvxcli::TransferOptions& options, int connections) {
    tvx::MemoryTreeControl tree;
    if (!tvx::LoadTree(tvx::g_linkTable, tree, tvx::TreeControlFilePath())) {
        std::fprintf(stderr, "tvx-session: there is no download list %s in %s\n",
                     tvx::kTreeControlFileName, tvx::g_startDirectory.c_str());
        return 2;
    }
    // Links beyond the table's size are not fetched: said on standard error
    // and in the log, and the run does not count as done.
    const std::string leftOut = tvx::LinksLeftOutText(tvx::g_linkTable);
    if (!leftOut.empty()) {
        std::fprintf(stderr, "tvx-session: %s\n", leftOut.c_str());
        std::printf("%s\n", leftOut.c_str());
        std::fflush(stdout);
    }
    if (all) {
        // Every item, folders included, so that links inside them count too;
        // folders themselves never make entries.
        std::function<void(tvx::TreeItem)> checkAll = [&](tvx::TreeItem first) {
            for (tvx::TreeItem item = first; item != nullptr;
                 item = tree.GetNextSiblingItem(item)) {
                tree.SetCheck(item, true);
                checkAll(tree.GetChildItem(item));
            }
        };
        checkAll(tree.GetRootItem());
    }
    const std::vector<tvx::WorkListEntry> entries =
        tvx::CollectCheckedLinks(tvx::g_linkTable, tree);
    if (!tvx::WriteWorkListFile(tvx::kWorkListFileName, entries)) {
        std::fprintf(stderr, "TreeCortol-File 'download.tmp' open error)\n");
        return 2;
    }
    if (entries.empty()) {
        tvx::RemoveFile(tvx::kSessionMarkerFileName);
        std::fprintf(
            stderr,
            "Nothing to do\nNothing became selects in the tree control\n(see on the left site)\n");
        return 0;
    }

    tvx::HttpSettings settings;
    tvx::LoadTransferSettings(settings, tvx::SettingsFilePath());
    if (!settings.rateScheduleProblem.empty())
        std::fprintf(stderr, "%s: download.ini: %s\n", "tvx-session", settings.rateScheduleProblem.c_str());
    tvxcli::ApplyTransferOptions(options, settings);
    if (connections != 0)
        settings.connections = connections;
    settings.interrupted = [] { return tvxcli::g_interrupted.load(); };
    ConsoleSessionUi ui;
    tvx::CSession session(ui, settings, tvx::g_startDirectory, options.paced,
                          tvx::kWorkListFileName);
    session.SetReadWait(options.paced ? 20 : 500);
    session.OnInitDialog();
    if (!tvxcli::g_interrupted)
        session.OnOK();
    while (session.GetState() == tvx::CSession::State::Downloading) {
        if (tvxcli::g_interrupted) {
            session.OnCancel();
            break;
        }
        const auto tick = std::chrono::steady_clock::now();
        session.OnTimer();
        ui.ShowTotals(session.Totals(), session.ConnectionCount());
        if (options.paced)
            std::this_thread::sleep_until(tick + std::chrono::milliseconds(20));
    }
    if (session.GetState() != tvx::CSession::State::Closed)
        session.OnCancel();
    ui.ClearLine();
    tvx::RemoveFile(tvx::kSessionMarkerFileName);
    int status = session.Errors() != 0 ? 1 : 0;
    if (session.Result() == tvx::CSession::kResultBroken || tvxcli::g_interrupted) {
        // Broken off: what was not yet fetched or is half fetched waits for
        // the next run, so the run did not do its work.
        if (tvxcli::g_timedOut)
            std::fprintf(stderr, "tvx-session: the time limit of %u seconds was reached\n",
                         options.maxTime);
        else
            std::fprintf(stderr, "tvx-session: broken off\n");
        status = 1;
    }
    if (!leftOut.empty())
        status = 1;
    if (ui.LogError() != 0) {
        std::fprintf(stderr, "tvx-session: the log could not be written to standard output: %s\n",
                     std::strerror(ui.LogError()));
        status = 1;
    }
    return status;
}

}  // namespace
