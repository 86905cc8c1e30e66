#pragma once
// The logic of the single-file download dialog, shared by the desktop dialog
// and the command tvx-get: it takes one text "webname,filename", tests the
// connection and checks whether the remote file differs from the local one
// (one request for both), and
// transfers it one step per timer tick, resuming a broken earlier transfer.
//
// States: starting (Start) -> transferring (Tick, step 1 opens, step 2 reads)
// -> ended (the transfer is over or failed) -> closed one tick later, or at
// once when the owner breaks off.

#include <memory>
#include <string>
#include <string_view>

#include "transfer/CTransfer.h"
#include "transfer/Owner.h"

namespace tvx {

// What the single-file dialog shows besides message boxes.
class DownloadDialogUi : public Ui {
public:
    virtual void SetStatusText(const std::string& text) = 0;  // the status word
    virtual void SetFileLine(const std::string& text) = 0;    // the line above the bar
    virtual Progress& FileProgress() = 0;
    virtual Animation& RunningAnimation() = 0;
};

struct DownloadParameters {
    std::string address;    // scheme and host in lower case
    std::string localName;  // '/' made '\'; relative to the base directory
};

// Splits "webname,filename": the address runs to the first comma, the local
// name from there to the next comma; the text ends at the first CR or LF and
// TABs count as blanks. Returns 1 when both parts are non-empty, otherwise 0.
// Unlike fixed 127-character fields, nothing is cut: a shortened address or
// file name would fetch or write the wrong file.
int ParseDownloadParameters(std::string_view text, DownloadParameters& parameters);
// The same for an address and a file name given apart: both are taken whole,
// commas included.
int MakeDownloadParameters(std::string_view address, std::string_view localName,
                           DownloadParameters& parameters);

// The part of a local name after its last separator (never the first
// character); empty when there is none.
std::string DisplayName(std::string_view localName);

enum class DownloadOutcome {
    None,            // not started
    Usage,           // address or file name missing
    NoConnection,    // the server could not be reached
    CheckFailed,     // the server's answer cannot be used (a status, a length)
    UpToDate,        // length and date agree with the local file
    NothingToFetch,  // the source is empty or missing
    OpenFailed,      // the transfer could not be opened
    Complete,        // all announced bytes are on disk
    Short,           // the transfer ended with fewer bytes
    Broken,          // the user broke off
    Corrupt,         // every byte came, but not the bytes a digest states
};

class CFileDownload {
public:
    static constexpr int kResultEnded = 1;   // ended by itself
    static constexpr int kResultBroken = 2;  // the user broke off

    enum class TickResult { Busy, Continue, Close };

    CFileDownload(DownloadDialogUi& ui, const HttpSettings& settings, std::string baseDirectory,
                  bool paced);

    int SetParameters(std::string_view text);
    int SetParameters(std::string_view address, std::string_view localName);
    // How long one read waits for network data (see CTransfer::SetReadWait).
    void SetReadWait(int milliseconds) { m_transfer.SetReadWait(milliseconds); }
    const DownloadParameters& Parameters() const { return m_parameters; }

    // The start procedure. True when a transfer is to run (the owner starts
    // its 20 ms timer and calls Tick); false when the dialog has closed with
    // result 1 (Result and Outcome tell why).
    bool Start();

    // One timer tick. budgetMs > 0 keeps reading chunks until that much time
    // is spent (unpaced work); 0 makes one read. Close: the owner closes the
    // dialog now (Close has been run with result 1). Busy: a tick is already
    // running further up the stack (a message box's loop); nothing was done.
    TickResult Tick(int budgetMs = 0);

    // The closing procedure: the transfer is finished (a partial file keeps
    // its control file) and the result recorded. Runs once; later calls do
    // nothing.
    void Close(int result);

    bool IsClosed() const { return m_closed; }
    int Result() const { return m_result; }
    DownloadOutcome Outcome() const { return m_outcome; }
    // The log line of a download that has ended: address, local file, bytes
    // on disk of the announced length, and how it ended.
    std::string EndLogLine() const;
    const CTransfer& Transfer() const { return m_transfer; }
    // Digests and checksum files the file is proved by (see CTransfer).
    CTransfer& Transfer() { return m_transfer; }

private:
    bool CloseWith(DownloadOutcome outcome);

    DownloadDialogUi& m_ui;
    CTransfer m_transfer;
    std::string m_baseDirectory;
    DownloadParameters m_parameters;
    bool m_active = false;
    int m_step = 0;
    bool m_closed = false;
    int m_result = 0;
    DownloadOutcome m_outcome = DownloadOutcome::None;

    // Shared by every dialog of a thread: a message box's own loop must not
    // tick the dialog again. Downloads on other threads tick on their own.
    static thread_local bool s_tickRunning;
};

}  // namespace tvx
