#include "app/CTerminationSignals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <csignal>

namespace {

int g_signalSockets[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char byte = 1;
    // Nothing else is safe in a signal handler; a full pipe means a request
    // is pending already.
    [[maybe_unused]] const ssize_t n = ::write(g_signalSockets[0], &byte, 1);
}

}  // namespace

CTerminationSignals::CTerminationSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalSockets) != 0)
        return;
    m_notifier = new QSocketNotifier(g_signalSockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CTerminationSignals::OnSignal);
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        sigaction(signal, &action, nullptr);
}

CTerminationSignals::~CTerminationSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        sigaction(signal, &action, nullptr);
    for (int& fd : g_signalSockets) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void CTerminationSignals::OnSignal() {
    char bytes[16];
    while (::read(g_signalSockets[1], bytes, sizeof bytes) > 0) {
    }
    emit terminationRequested();
    CloseWindows();
}

void CTerminationSignals::CloseWindows() {
    // Dialogs first (a running download breaks off, resumable); the main
    // window, whose close saves the list and the settings, once their loops
    // have returned to the code that opened them.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();
        QTimer::singleShot(10, this, &CTerminationSignals::CloseWindows);
        return;
    }
    QApplication::closeAllWindows();
}
