#pragma once
// The window's end of the hand-off (core/browser/HandOff.h): a local socket
// named after the start directory, on which a second `tvx` and the browser
// extension's host hand over links. Each connection brings one request line
// and gets one answer line.

#include <QObject>
#include <functional>
#include <string>

#include "browser/HandOff.h"

class QLocalServer;
class QLocalSocket;

class CWindowServer : public QObject {
    Q_OBJECT
public:
    // Takes a request; returns "" when it is accepted, else why not.
    using Handler = std::function<std::string(const tvx::HandOffRequest&)>;

    CWindowServer(Handler handler, QObject* parent = nullptr);
    // Listens for the window of folder; false with the reason when it cannot.
    bool Listen(const std::string& folder, std::string& error);

private:
    void OnConnection();
    void OnReadable(QLocalSocket* socket);

    Handler m_handler;
    QLocalServer* m_server = nullptr;
};
