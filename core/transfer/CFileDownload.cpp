#include "transfer/CFileDownload.h"

#include <algorithm>
#include <chrono>

#include "platform/Paths.h"
#include "platform/Text.h"
#include "transfer/ControlFile.h"
#include "transfer/FileTime.h"

namespace tvx {

thread_local bool CFileDownload::s_tickRunning = false;

int ParseDownloadParameters(std::string_view text, DownloadParameters& parameters) {
    std::string line(text.substr(0, text.find_first_of("\r\n")));
    std::replace(line.begin(), line.end(), '\t', ' ');
    const std::size_t comma = line.find(',');
    parameters.address = LowerSchemeAndHost(line.substr(0, comma));
    parameters.localName.clear();
    if (comma != std::string::npos) {
        const std::size_t next = line.find(',', comma + 1);
        parameters.localName = line.substr(
            comma + 1, next == std::string::npos ? std::string::npos : next - comma - 1);
        std::replace(parameters.localName.begin(), parameters.localName.end(), '/', '\\');
    }
    return !parameters.address.empty() && !parameters.localName.empty() ? 1 : 0;
}

int MakeDownloadParameters(std::string_view address, std::string_view localName,
                           DownloadParameters& parameters) {
    parameters.address = LowerSchemeAndHost(address);
    parameters.localName = std::string(localName);
    std::replace(parameters.localName.begin(), parameters.localName.end(), '/', '\\');
    return !parameters.address.empty() && !parameters.localName.empty() ? 1 : 0;
}

std::string DisplayName(std::string_view localName) {
    const std::size_t separator = LastSeparator(localName);
    return separator == std::string_view::npos ? std::string()
                                               : std::string(localName.substr(separator + 1));
}

int CFileDownload::SetParameters(std::string_view address, std::string_view localName) {
    return MakeDownloadParameters(address, localName, m_parameters);
}

CFileDownload::CFileDownload(DownloadDialogUi& ui, const HttpSettings& settings,
                             std::string baseDirectory, bool paced)
    : m_ui(ui), m_transfer(settings, ReportMode::SingleFile), m_baseDirectory(baseDirectory) {
    m_transfer.SetBaseDirectory(std::move(baseDirectory));
    m_transfer.SetUi(&ui);
    m_transfer.SetFileProgress(&ui.FileProgress());
    m_transfer.SetAnimation(&ui.RunningAnimation());
    m_transfer.SetPaced(paced);
}

int CFileDownload::SetParameters(std::string_view text) {
    return ParseDownloadParameters(text, m_parameters);
}

std::string CFileDownload::EndLogLine() const {
    static const char* const kHow[] = {"not started",           "address or file name missing",
                                       "no connection",         "check failed",
                                       "already up to date",    "nothing to fetch",
                                       "could not be opened",   "complete",
                                       "incomplete, resumable", "broken off, resumable",
                                       "digest mismatch, to be fetched again"};
    const std::string& file = m_transfer.DestinationPath().empty() ? m_parameters.localName
                                                                   : m_transfer.DestinationPath();
    const long long length = m_transfer.ContentLength();
    const std::string bytes =
        m_outcome == DownloadOutcome::UpToDate
            ? Format("%lld Bytes", length)
            : Format("%lld of %lld Bytes", static_cast<long long>(m_transfer.OnDisk()), length);
    const std::string& proof = m_transfer.Verified();
    return "DOWNLOAD END : " + m_parameters.address + " -> " + file + " : " + bytes + " : " +
           kHow[static_cast<int>(m_outcome)] + (proof.empty() ? "" : ", " + proof);
}

bool CFileDownload::CloseWith(DownloadOutcome outcome) {
    m_outcome = outcome;
    Close(kResultEnded);
    return false;
}

bool CFileDownload::Start() {
    const std::string& address = m_parameters.address;
    const std::string& localName = m_parameters.localName;
    if (address.empty() || localName.empty()) {
        m_ui.MessageBox("CALL: Pullbox.exe webname,filename");
        return CloseWith(DownloadOutcome::Usage);
    }
    m_ui.SetStatusText("TEST CONNECT");
    m_ui.FileProgress().SetRange(0, 100);
    m_ui.FileProgress().SetPos(0);
    m_active = false;
    m_ui.RunningAnimation().Play();
    // One request tests the connection and checks the file; whatever went
    // wrong is said once.
    const int checked = m_transfer.Check(address, localName);
    if (checked == CTransfer::kInternetError) {
        std::string text = "OPEN ERROR INTERNET -- (FIRST CONNECT WITH YOUR INTERNET)";
        if (!m_transfer.Problem().empty())
            text += "\n" + m_transfer.Problem();
        m_ui.MessageBox(text);
        return CloseWith(DownloadOutcome::NoConnection);
    }
    if (checked != CTransfer::kOk) {
        m_ui.MessageBox("Error: " + m_transfer.Problem());
        return CloseWith(DownloadOutcome::CheckFailed);
    }
    m_ui.SetStatusText("Check if update");
    const std::string name = DisplayName(localName);
    m_ui.SetFileLine("Download update check file: " + name);
    // The local name is resolved as the transfer resolves it: against the
    // base directory, whatever the form of the path.
    const LocalFileInfo local = GetLocalFileInfo(ResolveLocalPath(m_baseDirectory, localName));
    if (m_transfer.LocalCopyCurrent(localName))
        return CloseWith(DownloadOutcome::UpToDate);
    // A missing source, or an empty one where a copy with bytes would be
    // lost, is not fetched; an empty file with nothing to lose is made.
    if (m_transfer.ContentLength() == 0 && (!m_transfer.EmptySource() || local.length > 0))
        return CloseWith(DownloadOutcome::NothingToFetch);
    m_ui.SetFileLine(Format("Download: %lld Byte %s",
                            static_cast<long long>(m_transfer.ContentLength()), name.c_str()));
    m_ui.SetStatusText("DownLoding");
    m_active = true;
    m_step = 1;
    return true;
}

CFileDownload::TickResult CFileDownload::Tick(int budgetMs) {
    if (m_closed)
        return TickResult::Close;
    if (s_tickRunning)
        return TickResult::Busy;
    s_tickRunning = true;
    TickResult result = TickResult::Continue;
    if (m_active) {
        if (m_step == 1) {
            if (m_transfer.Open(m_parameters.address, m_parameters.localName) == CTransfer::kOk) {
                m_step = 2;
            } else {
                m_active = false;
                m_outcome = DownloadOutcome::OpenFailed;
            }
        } else if (m_step == 2) {
            const auto until =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
            long n;
            do {
                n = m_transfer.ReadChunk();
            } while (n > 0 && std::chrono::steady_clock::now() < until);
            if (n == 0) {
                m_transfer.StampDestination();  // when complete
                m_active = false;
                m_outcome = m_transfer.Complete()       ? DownloadOutcome::Complete
                             : m_transfer.DigestFailed() ? DownloadOutcome::Corrupt
                                                         : DownloadOutcome::Short;
            }
        }
    } else {
        Close(kResultEnded);
        result = TickResult::Close;
    }
    s_tickRunning = false;
    return result;
}

void CFileDownload::Close(int result) {
    if (m_closed)
        return;
    m_closed = true;
    m_result = result;
    if (result == kResultBroken && m_active)
        m_outcome = DownloadOutcome::Broken;
    m_active = false;
    m_transfer.Finish();
}

}  // namespace tvx
