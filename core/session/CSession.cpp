#include "session/CSession.h"

#include <algorithm>
#include <chrono>
#include <map>

#include "platform/Paths.h"
#include "platform/Text.h"
#include "session/WorkList.h"
#include "transfer/CFileDownload.h"
#include "transfer/ControlFile.h"
#include "transfer/FileTime.h"

namespace tvx {

bool CSession::s_tickRunning = false;

namespace {
constexpr char kBell[] = "\a";

std::string HostOf(const std::string& address) {
    return HostKey(address);
}

HttpSettings WithPool(const HttpSettings& settings) {
    HttpSettings own = settings;
    own.connections = std::max(1, settings.connections);
    if (own.connections > 1 && !own.pool)
        own.pool = std::make_shared<HttpPool>();
    return own;
}
}  // namespace

void BlockLog::Direct(Log* target) {
    m_target = target;
    if (target == nullptr)
        return;
    for (const auto& [text, lineEnd] : m_lines)
        target->Write(text, lineEnd);
    m_lines.clear();
}

void BlockLog::Write(const std::string& text, bool lineEnd) {
    if (m_target != nullptr)
        m_target->Write(text, lineEnd);
    else
        m_lines.emplace_back(text, lineEnd);
}

namespace {}  // namespace

CSession::CSession(SessionDialogUi& ui, const HttpSettings& settings, std::string baseDirectory,
                   bool paced, std::string workListPath)
    : m_ui(ui),
      m_baseDirectory(baseDirectory),
      m_settings(WithPool(settings)),
      m_transfer(m_settings, ReportMode::Session),
      m_workListPath(std::move(workListPath)),
      m_interrupted(settings.interrupted),
      m_paced(paced) {
    // While a request of the session waits for its answer, the files under
    // way go on.
    m_settings.whileWaiting = [this] { PumpSlots(); };
    m_transfer.SetBaseDirectory(std::move(baseDirectory));
    m_transfer.SetPaced(paced);
    m_transfer.SetUi(&ui);
    m_transfer.SetLog(&ui);
    m_transfer.SetFileProgress(&ui.UpperBar());
    m_transfer.SetAnimation(&ui.RunningAnimation());
    m_transfer.SetSessionTotals(&m_totals, &ui.LowerBar());
}

std::vector<std::string> CSession::ControlFileOwners(
    const std::vector<WorkListEntry>& entries) const {
    const auto resolve = [&](const WorkListEntry& e) {
        const std::string path(e.Path());
        return IsAbsolutePath(path) ? path : JoinPath(m_baseDirectory, path);
    };
    std::map<std::string, std::string> controls;  // control file -> the link's path
    for (const WorkListEntry& e : entries)
        controls.emplace(ControlFilePath(resolve(e)), std::string(e.Path()));
    std::vector<std::string> owners;
    for (const WorkListEntry& e : entries) {
        const auto it = controls.find(ToNativePath(resolve(e)));
        owners.push_back(it == controls.end() ? std::string() : it->second);
    }
    return owners;
}

void CSession::OnInitDialog() {
    m_nRemaining = 0;
    m_nStep = 0;
    m_state = State::Waiting;
}

void CSession::OnOK() {
    if (m_state != State::Waiting)
        return;
    m_state = State::Checking;
    m_ui.EnableOk(false);
    m_totals = SessionTotals{};
    m_ui.LowerBar().SetRange(0, 100);
    m_ui.LowerBar().SetPos(0);
    m_nToLoad = 0;
    m_nRemaining = 0;

    std::vector<WorkListEntry> entries;
    if (!ReadWorkListFile(m_workListPath, entries)) {
        CloseSession(kResultEnded);
        return;
    }
    m_ui.RunningAnimation().Play();
    const int n = static_cast<int>(entries.size());
    m_ui.UpperBar().SetRange(0, n);
    m_ui.UpperBar().SetPos(0);
    Log("\r\n\r\nSTART SESSION - CHECK AND DOWNLOAD\r\n");
    m_ui.SetPhaseCaption("Check the files");
    m_nErrors = 0;
    m_workList.clear();
    m_workList.reserve(entries.size());
    m_checkedVersions.clear();
    m_checksumFiles = std::make_shared<ChecksumFiles>();

    // A host that could not be reached fails its own links at once; the
    // others go on. Only when no host answers at all does the session end here.
    m_deadHosts.clear();
    bool anyAnswer = false;
    const std::vector<std::string> controlOf = ControlFileOwners(entries);
    for (int i = 0; i < n; ++i) {
        if (m_interrupted && m_interrupted()) {
            m_nErrors = 0;
            CloseSession(kResultBroken);
            return;
        }
        const WorkListEntry& entry = entries[i];
        if (!controlOf[i].empty()) {
            ++m_nErrors;
            Log(Format("OPEN_URL : *** %s is the control file of %s; the link is left out",
                       std::string(entry.Path()).c_str(), controlOf[i].c_str()) +
                kBell);
            continue;
        }
        const std::string address(entry.Address());
        for (int ahead = i; ahead < n && ahead < i + Allowance(address); ++ahead) {
            Prefetch(std::string(entries[ahead].Address()),
                     CTransfer::CheckConditions(m_baseDirectory, std::string(entries[ahead].Path())));
        }
        m_ui.UpperBar().SetPos(i);
        const std::string name = DisplayName(entry.Path());
        m_ui.SetUpperCaption("check the file: " + name);
        m_ui.Refresh();
        if (m_state == State::Closed)
            return;  // the dialog went away while it was painted
        const LocalFileInfo local =
            GetLocalFileInfo(ResolveLocalPath(m_baseDirectory, entry.Path()));
        const std::string host = HostOf(address);
        const bool dead = m_deadHosts.count(host) != 0;
        const int r = dead ? CTransfer::kInternetError : m_transfer.Check(address, std::string(entry.Path()));
        if (m_state == State::Closed)
            return;
        if (m_interrupted && m_interrupted()) {
            // Broken off while the entry was being checked: nothing about
            // it is said, as for an entry not reached.
            m_nErrors = 0;
            CloseSession(kResultBroken);
            return;
        }
        if (r != CTransfer::kOk) {
            ++m_nErrors;
            if (!dead && !m_transfer.Problem().empty())
                Log("OPEN ERROR: " + m_transfer.Problem());
            Log(Format("OPEN_URL : *** NO CONNECTION for the first check %s", address.c_str()) +
                kBell);
            if (!dead && m_transfer.HostUnreachable() && !host.empty())
                m_deadHosts.insert(host);
            continue;
        }
        anyAnswer = true;
        const bool equal = m_transfer.LocalCopyCurrent(std::string(entry.Path()));
        const bool fetch = !equal && (m_transfer.ContentLength() != 0 ||
                                      (m_transfer.EmptySource() && local.length == 0));
        // The answer to the check is the start of the download, when there
        // is one: its body is kept for the transfer instead of asked again.
        m_transfer.ReleaseCheck(fetch);
        if (equal) {
            Log("DOWNLOAD : CHECK is EQUAL " + std::string(entry.Path()));
        } else if (fetch) {
            // An empty file is fetched (made) only where no bytes would be lost.
            WorkListEntry chosen = entry;
            chosen.text = Format("Download: %lld Byte %s",
                                 static_cast<long long>(m_transfer.ContentLength()), name.c_str());
            m_workList.push_back(chosen);
            m_checkedVersions.push_back(m_transfer.CheckedVersion());
            m_totals.expected += m_transfer.ContentLength();
            ++m_nToLoad;
            m_ui.SetLowerCaption(Format("Load Max %lld Byte Download Data",
                                        static_cast<long long>(m_totals.expected)));
        } else {
            // A local source that is missing, or an empty source where the
            // local copy holds bytes.
            Log("DOWNLOAD : *** NOT FOUND or FILE LEN = 0 " + address + kBell);
        }
    }
    if (!anyAnswer && !m_deadHosts.empty()) {
        Log(std::string("FATAL OPEN_URL PROBLEM: *** it's better you check this problem") + kBell);
        m_nToLoad = 0;
    }
    m_workList.resize(static_cast<std::size_t>(m_nToLoad));
    m_checkedVersions.resize(m_workList.size());
    // Requests started ahead for checks go; the answers kept for the
    // downloads stay.
    DropPrefetched(false);

    if (m_nToLoad == 0) {
        CloseSession(kResultEnded);
        return;
    }
    m_state = State::Downloading;
    m_ui.SetPhaseCaption("DOWNLOAD");
    m_ui.UpperBar().SetRange(0, 100);
    m_ui.SetLowerCaption(
        Format("Load Max %lld Byte Download Data", static_cast<long long>(m_totals.expected)));
    m_nRemaining = m_nToLoad;
    m_nextToOpen = m_nToLoad - 1;
    m_nStep = 1;
    m_ui.StartTimer();
    m_ui.RunningAnimation().Play();
}

void CSession::OnTimer(int budgetMs) {
    if (m_state != State::Downloading)
        return;
    if (s_tickRunning) {
        m_ui.Refresh();
        return;
    }
    s_tickRunning = true;
    if (m_nRemaining == 0) {
        Log(Format("SESSION CLOSE : complet %lld of %lld", static_cast<long long>(m_totals.running),
                   static_cast<long long>(m_totals.expected)));
        CloseSession(kResultEnded);
    } else {
        // Paced, every tick does one step, opening a file or reading a chunk.
        const std::size_t before = m_slots.size();
        FillSlots();
        if (!m_paced || m_slots.size() == before)
            ReadSlots(budgetMs);
        RetireSlots();
    }
    s_tickRunning = false;
}

void CSession::Prefetch(const std::string& address, const std::string& conditions) {
    if (m_settings.pool && !IsLocalSource(address) && m_deadHosts.count(HostOf(address)) == 0)
        m_settings.pool->Prefetch(address, m_settings, conditions);
}

int CSession::Allowance(const std::string& address) const {
    const int connections = m_settings.connections;
    if (!m_settings.pool || IsLocalSource(address))
        return connections;
    return std::max(connections, m_settings.pool->Allowance(address, connections));
}

void CSession::DropPrefetched(bool kept) {
    if (m_settings.pool)
        m_settings.pool->DropPrefetched(kept);
}

void CSession::PrefetchAhead() {
    // Entries go from the last to the first. Only files that arrive whole
    // start ahead of their transfer: a large body would wait half-read,
    // long enough for its server to give up on it.
    if (m_nextToOpen < 0)
        return;
    const int allowance =
        Allowance(std::string(m_workList[static_cast<std::size_t>(m_nextToOpen)].Address()));
    for (int ahead = m_nextToOpen; ahead >= 0 && ahead > m_nextToOpen - allowance; --ahead) {
        const auto index = static_cast<std::size_t>(ahead);
        if (m_checkedVersions[index].length <= HttpPool::kWholeBodyAhead)
            Prefetch(std::string(m_workList[index].Address()));
    }
}

void CSession::FillSlots() {
    PrefetchAhead();
    while (m_nextToOpen >= 0) {
        const std::string address(m_workList[static_cast<std::size_t>(m_nextToOpen)].Address());
        // Over HTTP/2 a host takes more files at once than there are
        // connections: they are streams of one.
        const std::size_t most = m_paced ? 1 : static_cast<std::size_t>(Allowance(address));
        if (m_slots.size() >= most)
            break;
        // A further file waits while its server has no room to spare.
        if (!m_slots.empty() && m_settings.pool && !IsLocalSource(address) &&
            !m_settings.pool->HasRoom(address, m_settings.connections)) {
            break;
        }
        OpenSlot(m_nextToOpen--);
    }
    // The next ones are asked for while these arrive.
    PrefetchAhead();
}

void CSession::OpenSlot(int index) {
    WorkListEntry& entry = m_workList[static_cast<std::size_t>(index)];
    Slot& slot = m_slots.emplace_back();
    slot.index = index;
    slot.log.Direct(m_slots.size() == 1 ? &m_ui : nullptr);
    slot.transfer = std::make_unique<CTransfer>(m_settings, ReportMode::Session);
    CTransfer& t = *slot.transfer;
    t.SetBaseDirectory(m_baseDirectory);
    t.SetChecksumFiles(m_checksumFiles);
    t.SetPaced(m_paced);
    t.SetReadWait(m_slots.size() == 1 ? m_readWaitMs : 0);
    t.SetUi(&m_ui);
    t.SetLog(&slot.log);
    t.SetFileProgress(m_slots.size() == 1 ? &m_ui.UpperBar() : nullptr);
    t.SetAnimation(&m_ui.RunningAnimation());
    t.SetSessionTotals(&m_totals, &m_ui.LowerBar());
    t.SetSessionEntry(&entry);

    const std::string address(entry.Address());
    slot.log.Write("OPEN_URL : " + address, true);
    const std::string host = HostOf(address);
    int r;
    if (m_deadHosts.count(host) != 0) {
        slot.log.Write(
            "OPEN ERROR: " + host + " could not be reached earlier in this session" + kBell + kBell,
            true);
        r = CTransfer::kInternetError;
    } else {
        r = t.Open(address, std::string(entry.Path()));
    }
    if (r != CTransfer::kOk) {
        ++m_nErrors;
        slot.log.Write(std::string("*** Open Problems - break down") + kBell, true);
        // The entry fails; a host that cannot be reached fails its later
        // entries at once, and every other entry still gets its turn. The
        // entries are opened in their turn, so this is decided as one at a
        // time would.
        if (t.HostUnreachable() && !host.empty())
            m_deadHosts.insert(host);
        slot.stage = Slot::Stage::Ended;
        return;
    }
    // The file may have changed since its check: the version found now is
    // fetched, and the totals count what it really has.
    m_totals.expected +=
        t.ContentLength() - m_checkedVersions[static_cast<std::size_t>(index)].length;
    const long long length = t.ContentLength();
    const long long received = t.OnDisk();
    const std::string path(entry.Path());
    if (received != 0) {
        slot.log.Write(Format("DOWNLOAD : the Rest %lld Byte of %lld  %s", length - received,
                              length, path.c_str()),
                       true);
    } else {
        slot.log.Write(Format("DOWNLOAD : %lld Byte %s", length, path.c_str()), true);
    }
    slot.stage = Slot::Stage::Reading;
    if (m_slots.size() == 1)
        m_ui.SetUpperCaption(std::string(entry.Text()));
}

bool CSession::ReadSlot(Slot& slot) {
    const long n = slot.transfer->ReadChunk();
    if (n != 0)
        return n > 0;
    // The transfer has ended; a complete file takes the source's date.
    CTransfer& t = *slot.transfer;
    t.StampDestination();
    if (t.Complete()) {
        slot.log.Write("CLOSE_URL : DOWLOAD OK", true);
    } else {
        slot.log.Write(Format("CLOSE_URL : *** DOWLOAD NOT OK  %lld of %lld Bytes",
                              static_cast<long long>(t.OnDisk()),
                              static_cast<long long>(t.ContentLength())) +
                           kBell,
                       true);
        ++m_nErrors;
    }
    slot.stage = Slot::Stage::Ended;
    // Its connection is free: the next entry's request goes out now.
    PrefetchAhead();
    return false;
}

void CSession::ReadSlots(int budgetMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
    bool moved;
    do {
        moved = false;
        for (Slot& slot : m_slots) {
            if (slot.stage == Slot::Stage::Reading)
                moved = ReadSlot(slot) || moved;
        }
    } while (moved && std::chrono::steady_clock::now() < until);
}

int CSession::ConnectionCount() const {
    int n = 0;
    for (const Slot& slot : m_slots)
        n += slot.stage == Slot::Stage::Reading ? slot.transfer->ConnectionCount() : 0;
    return n;
}

void CSession::PumpSlots() {
    // Called while a request waits for its answer: the files already under
    // way keep moving (their servers would otherwise wait on this one), but
    // nothing else happens.
    if (m_pumping)
        return;
    m_pumping = true;
    for (Slot& slot : m_slots) {
        if (slot.stage == Slot::Stage::Reading) {
            slot.transfer->SetReadWait(0);
            ReadSlot(slot);
            slot.transfer->SetReadWait(&slot == &m_slots.front() ? m_readWaitMs : 0);
        }
    }
    m_pumping = false;
}

void CSession::RetireSlots() {
    // A block is written when its turn comes: the one in turn is written as
    // it happens; a later one that ends first waits with its lines.
    while (!m_slots.empty() && m_slots.front().stage == Slot::Stage::Ended) {
        m_slots.pop_front();
        --m_nRemaining;
        if (m_slots.empty())
            break;
        Slot& next = m_slots.front();
        next.log.Direct(&m_ui);
        next.transfer->SetFileProgress(&m_ui.UpperBar());
        next.transfer->SetReadWait(m_readWaitMs);
        m_ui.SetUpperCaption(std::string(m_workList[static_cast<std::size_t>(next.index)].Text()));
    }
}

void CSession::OnCancel() {
    if (m_state == State::Closed)
        return;
    if (m_nStep != 0)
        Log("SESSION CLOSE : because discontinuance (cancel button)");
    m_nErrors = 0;
    CloseSession(kResultBroken);
}

void CSession::OnClose() {
    if (m_state == State::Closed)
        return;
    if (m_nStep != 0)
        Log("SESSION CLOSE : because discontinuance (close button)");
    m_nErrors = 0;
    CloseSession(kResultBroken);
}

void CSession::CloseSession(int result) {
    if (m_state == State::Closed)
        return;
    m_state = State::Closed;
    m_result = result;
    m_ui.StopTimer();
    m_transfer.Finish();
    // Every transfer under way stops resumably; lines of blocks whose turn
    // never came are not written.
    m_slots.clear();
    DropPrefetched(true);
    m_transfer.SetSessionEntry(nullptr);
    if (m_nErrors != 0) {
        Log(Format("\r\nERRORS: The session hat %d errors\r\n", m_nErrors));
        m_ui.MessageBox(Format("\a\a\aThis downloading hat %d errors - try again", m_nErrors));
    }
    m_ui.EndDialog(result);
}

}  // namespace tvx
