#pragma once
// The check-and-download session, shared by the session dialog and the
// command tvx-session. It waits for OK; then, in the check phase, it asks the
// source of every work list entry whether its file differs from the local copy
// and keeps the entries that need a transfer; in the download phase, one step
// per timer tick, it transfers them from the last one kept to the first.
// Every step is written to the log.
//
// With settings.connections N above 1, the session keeps up to N requests in
// flight on one network loop (HttpPool): while it waits for the answer of
// one entry, the plain requests of the next N - 1 entries are already under
// way and the engine takes each over when that entry's turn comes. Entries
// are still judged, logged and written one at a time in list order, so the
// log, the totals and every file are those of the one-at-a-time session.
//
// States: waiting -> checking (inside OnOK) -> downloading (ticks) -> closed.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "session/WorkListEntry.h"
#include "transfer/CTransfer.h"
#include "transfer/Owner.h"

namespace tvx {

// What the session dialog shows besides message boxes and the log.
class SessionDialogUi : public Ui, public Log {
public:
    virtual void SetPhaseCaption(const std::string& text) = 0;  // under the bars
    virtual void SetUpperCaption(const std::string& text) = 0;  // the entry in progress
    virtual void SetLowerCaption(const std::string& text) = 0;  // the expected total
    virtual Progress& UpperBar() = 0;  // check progress, then the file in percent
    virtual Progress& LowerBar() = 0;  // the session in percent
    virtual Animation& RunningAnimation() = 0;
    virtual void EnableOk(bool enable) = 0;
    // The check phase gives no input back; this repaints between entries.
    virtual void Refresh() = 0;
    virtual void StartTimer() = 0;  // one OnTimer every 20 ms from now on
    virtual void StopTimer() = 0;
    virtual void EndDialog(int result) = 0;
};

// The log lines of one file's download block: written through while the
// block is in turn, kept until its turn comes otherwise.
class BlockLog : public Log {
public:
    // Writes what was kept to target and everything after it too; nullptr
    // keeps the lines.
    void Direct(Log* target);
    void Write(const std::string& text, bool lineEnd) override;

private:
    Log* m_target = nullptr;
    std::vector<std::pair<std::string, bool>> m_lines;
};

class CSession {
public:
    enum class State { Waiting, Checking, Downloading, Closed };
    static constexpr int kResultEnded = 1;
    static constexpr int kResultBroken = 2;

    // workListPath is the work list file; baseDirectory the folder relative
    // destinations are resolved against (the start directory).
    CSession(SessionDialogUi& ui, const HttpSettings& settings, std::string baseDirectory,
             bool paced, std::string workListPath);

    void OnInitDialog();
    // The check phase; ends in the download phase or closes the session.
    void OnOK();
    // One step of the download phase. budgetMs > 0 keeps reading chunks of
    // the current file until that much time is spent (unpaced work).
    void OnTimer(int budgetMs = 0);
    void OnCancel();  // the cancel button or Esc
    void OnClose();   // the close box
    // Ends the session once; later calls do nothing.
    void CloseSession(int result);

    State GetState() const { return m_state; }
    int Errors() const { return m_nErrors; }
    int ToLoad() const { return m_nToLoad; }
    int Remaining() const { return m_nRemaining; }
    int Result() const { return m_result; }
    const SessionTotals& Totals() const { return m_totals; }
    // Connections the files under way read from now.
    int ConnectionCount() const;
    const std::vector<WorkListEntry>& WorkList() const { return m_workList; }
    // How long one engine read may wait for network data.
    void SetReadWait(int milliseconds) {
        m_transfer.SetReadWait(milliseconds);
        m_readWaitMs = milliseconds;
    }

private:
    // One file of the download phase: its transfer and its block of log lines.
    struct Slot {
        enum class Stage { Opening, Reading, Ended };
        int index = 0;  // its entry in the work list
        std::unique_ptr<CTransfer> transfer;
        BlockLog log;
        Stage stage = Stage::Opening;
    };

    void Log(const std::string& text, bool lineEnd = true) { m_ui.Write(text, lineEnd); }
    // Opens the transfers of the next entries, in their turn, up to the
    // number the session keeps under way.
    void FillSlots();
    void OpenSlot(int index);
    // Reads every open transfer for up to budgetMs; a transfer that ends
    // gets its closing line.
    void ReadSlots(int budgetMs);
    bool ReadSlot(Slot& slot);
    // Moves the transfers under way without waiting (while a request waits).
    void PumpSlots();
    // Takes ended blocks off in turn; the next one is written from then on.
    void RetireSlots();
    // Starts the plain request of an address ahead of its turn (pool only);
    // local sources and hosts that did not answer are left out.
    // conditions: the header lines a check of the entry sends.
    void Prefetch(const std::string& address, const std::string& conditions = {});
    // Requests the host of address takes in flight: the session's
    // connections, or more streams when it multiplexes.
    int Allowance(const std::string& address) const;
    // Starts the requests of the entries after the ones under way.
    void PrefetchAhead();
    // With kept, the answers kept for downloads go too.
    void DropPrefetched(bool kept);
    // For each entry, the path of the entry whose control file its
    // destination is ("" for none): such a link is left out, or the two
    // downloads would destroy each other.
    std::vector<std::string> ControlFileOwners(const std::vector<WorkListEntry>& entries) const;

    SessionDialogUi& m_ui;
    std::string m_baseDirectory;
    HttpSettings m_settings;  // with the session's pool when it runs requests at once
    CTransfer m_transfer;
    std::string m_workListPath;
    std::vector<WorkListEntry> m_workList;         // the entries chosen for download
    std::vector<RemoteVersion> m_checkedVersions;  // what the check saw, per chosen entry
    std::shared_ptr<ChecksumFiles> m_checksumFiles;  // the folders' checksum files, once each
    std::set<std::string> m_deadHosts;             // hosts that did not answer this session
    std::function<bool()> m_interrupted;
    State m_state = State::Waiting;
    int m_nStep = 0;       // 0 before the download phase, 1 open the next entry, 2 read it
    int m_nRemaining = 0;  // entries not yet handled; the one in progress is m_nRemaining - 1
    int m_nToLoad = 0;     // entries the check phase chose
    int m_nErrors = 0;
    SessionTotals m_totals;
    int m_result = 0;
    bool m_paced = false;
    int m_readWaitMs = 50;
    // The transfers under way, the one in turn first.
    std::deque<Slot> m_slots;
    int m_nextToOpen = -1;  // the next entry to open, counting down
    bool m_pumping = false;

    static bool s_tickRunning;  // shared by every session of the process
};

}  // namespace tvx
