#pragma once
// A download the browser engine saves itself: one the resumable transfer
// cannot repeat (a blob: or data: address, the answer to a form). The engine
// writes beside the chosen file under the name "<name>.part"; only a download
// that has every byte replaces the chosen file, so a broken one never
// destroys an older copy (its part is removed). The dialog shows the progress
// and, at the end, what became of the file, and stays open until closed.
// "Break / Exit" during the download cancels it.

#include <QDialog>
#include <QPointer>
#include <QString>

class QGroupBox;
class QLabel;
class QPushButton;
class QWebEngineDownloadRequest;
class CProgressCtrl;

class CEngineDownloadDlg : public QDialog {
    Q_OBJECT
public:
    enum class Outcome { Running, Saved, Failed, Broken };

    // path: the native path the user chose. The dialog deletes itself when
    // closed.
    CEngineDownloadDlg(QWebEngineDownloadRequest* download, const QString& path,
                       QWidget* parent = nullptr);
    // A download still running when the dialog goes (with its parent) is
    // cancelled and its part removed.
    ~CEngineDownloadDlg() override;

    // Accepts the download into the part file. Call it while the engine's
    // downloadRequested signal is being handled.
    void Start();

    Outcome Result() const { return m_outcome; }
    const QString& Path() const { return m_path; }
    QLabel* StatusText() const { return m_status; }
    CProgressCtrl* ProgressBar() const { return m_progress; }

signals:
    void Ended(CEngineDownloadDlg::Outcome outcome);

public slots:
    void reject() override;  // "Break / Exit", Esc, the close box

private:
    void OnProgress();
    void OnStateChanged();
    void End(Outcome outcome, const QString& text);

    QPointer<QWebEngineDownloadRequest> m_download;
    QString m_path;
    QString m_partPath;  // where the engine writes, once it has started
    Outcome m_outcome = Outcome::Running;
    QLabel* m_status = nullptr;
    QGroupBox* m_group = nullptr;
    CProgressCtrl* m_progress = nullptr;
    QPushButton* m_close = nullptr;
};
