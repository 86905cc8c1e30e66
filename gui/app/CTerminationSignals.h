#pragma once
// Termination requests from outside (SIGTERM at logout or shutdown, SIGHUP
// when the terminal goes, SIGINT from Ctrl+C in it) close the windows as the
// user would, so the download list, the settings and every transfer end
// through their normal close path (lists saved, partial files resumable)
// instead of the process vanishing mid-way.
//
// The signal handler only writes a byte to a socket pair; the event loop
// sees it through a QSocketNotifier and closes the windows on the UI thread.

#include <QObject>

class QSocketNotifier;

class CTerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one object per process.
    explicit CTerminationSignals(QObject* parent = nullptr);
    ~CTerminationSignals() override;

signals:
    void terminationRequested();

private:
    void OnSignal();
    void CloseWindows();
    QSocketNotifier* m_notifier = nullptr;
};
