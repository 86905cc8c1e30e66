#pragma once
// The single-file download dialog: given "webname,filename" it checks the
// remote file against the local one and, when they differ, transfers it one
// step per 20 ms tick with a progress bar and a running animation, resuming a
// broken earlier transfer. It starts by itself; the user can only watch or
// break off ("Break / Exit", Esc, the close box). A line under the bar says
// bytes done of the total, percent, rate and time left. When it ends, one
// line goes into the log pane, and a desktop notification when it ran long
// while the window was not the active one.

#include <QDialog>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "transfer/CFileDownload.h"
#include "transfer/CProgressLine.h"

class QGroupBox;
class QLabel;
class QPushButton;
class CAnimateCtrl;
class CProgressCtrl;

class CFileDownloadDlg : public QDialog, private tvx::DownloadDialogUi {
    Q_OBJECT
public:
    // settings: what the requests send besides the fixed header lines (the
    // browser's cookies and the page as Referer, for a download from a page).
    explicit CFileDownloadDlg(QWidget* parent = nullptr, const tvx::HttpSettings& settings = {});
    ~CFileDownloadDlg() override;

    // 1 when both parts of "webname,filename" are there, otherwise 0.
    int SetParameters(const std::string& text);
    // Runs the start procedure and, when there is something to fetch, the
    // dialog. 1 when it ended by itself (done, nothing to do, or a failure),
    // 2 when the user broke off. With nothing to fetch it is never shown.
    int DoModal();
    // Told once, when the transfer is under way ("") or could not start
    // (why not); an up-to-date file counts as under way.
    void SetStartedHook(std::function<void(const std::string& error)> hook) {
        m_started = std::move(hook);
    }

    const tvx::CFileDownload& Download() const { return *m_download; }
    QLabel* StatusText() const { return m_status; }
    QGroupBox* FileLine() const { return m_group; }
    CProgressCtrl* ProgressBar() const { return m_progress; }
    QLabel* ProgressLine() const { return m_progressLine; }
    CAnimateCtrl* AnimationCtrl() const { return m_animation; }

public slots:
    void reject() override;  // "Break / Exit" and Esc

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnTimer();
    void EndWith(int result);
    void ShowProgressLine();
    void ReportEnd(std::chrono::steady_clock::duration took);

    // tvx::DownloadDialogUi
    void MessageBox(const std::string& text) override;
    void Notice(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void SetFileLine(const std::string& text) override;
    tvx::Progress& FileProgress() override;
    tvx::Animation& RunningAnimation() override;

    QLabel* m_status = nullptr;    // the status word
    QGroupBox* m_group = nullptr;  // its caption is the file line
    CProgressCtrl* m_progress = nullptr;
    QLabel* m_progressLine = nullptr;  // bytes, percent, rate, time left
    CAnimateCtrl* m_animation = nullptr;
    QPushButton* m_break = nullptr;
    QTimer m_timer;      // the 20 ms step timer
    int m_budgetMs = 0;  // > 0: unpaced, reading for that long per tick
    std::function<void(const std::string& error)> m_started;
    std::unique_ptr<tvx::CFileDownload> m_download;
    tvx::CProgressLine m_line;
    bool m_lineStarted = false;
};
