#pragma once
// The session dialog: waits for OK, then checks every entry of the work list
// against its source and downloads what is new, changed or incomplete, one
// step per 20 ms tick, writing every step to the log pane. "Abbrechen", Esc
// or the close box break off at any moment; partial files stay resumable.
// A line under the session bar says the session's bytes done of the total,
// percent, rate and time left; a session that ran long and ends while the
// window is not the active one says so in a desktop notification.

#include <QDialog>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>

#include "session/CSession.h"
#include "transfer/CProgressLine.h"

class QGroupBox;
class QLabel;
class QPushButton;
class CAnimateCtrl;
class CProgressCtrl;

class CSessionDlg : public QDialog, private tvx::SessionDialogUi {
    Q_OBJECT
public:
    explicit CSessionDlg(QWidget* parent = nullptr);
    ~CSessionDlg() override;

    int DoModal();
    // Writes a text to the log pane, with a line end when lineEnd is set.
    static void WriteLog(const std::string& text, bool lineEnd);

    tvx::CSession& Session() { return *m_session; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }
    QLabel* PhaseCaption() const { return m_phase; }
    QGroupBox* UpperGroup() const { return m_upperGroup; }
    QGroupBox* LowerGroup() const { return m_lowerGroup; }
    CProgressCtrl* UpperProgress() const { return m_upper; }
    CProgressCtrl* LowerProgress() const { return m_lower; }
    QLabel* ProgressLine() const { return m_progressLine; }

public slots:
    void accept() override;  // OK: the session runs
    void reject() override;  // "Abbrechen" and Esc

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // tvx::SessionDialogUi
    void Write(const std::string& text, bool lineEnd) override;
    void MessageBox(const std::string& text) override;
    void SetPhaseCaption(const std::string& text) override;
    void SetUpperCaption(const std::string& text) override;
    void SetLowerCaption(const std::string& text) override;
    tvx::Progress& UpperBar() override;
    tvx::Progress& LowerBar() override;
    tvx::Animation& RunningAnimation() override;
    void EnableOk(bool enable) override;
    void Refresh() override;
    void StartTimer() override;
    void StopTimer() override;
    void EndDialog(int result) override;

    void OnTimer();

    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QLabel* m_phase = nullptr;
    QGroupBox* m_upperGroup = nullptr;
    QGroupBox* m_lowerGroup = nullptr;
    CProgressCtrl* m_upper = nullptr;
    CProgressCtrl* m_lower = nullptr;
    QLabel* m_progressLine = nullptr;  // the session's bytes, percent, rate, time left
    CAnimateCtrl* m_animation = nullptr;
    QTimer m_timer;
    int m_budgetMs = 0;
    std::unique_ptr<tvx::CSession> m_session;
    tvx::CProgressLine m_line;
    bool m_lineStarted = false;
    std::chrono::steady_clock::time_point m_began{};  // when OK started the session
};
