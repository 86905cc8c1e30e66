#pragma once
// The window's end of the hand-off (core/browser/HandOff.h): a local socket
// named after the start directory, on which a second `tvx` and the browser
// extension's host hand over links. Each connection brings one request line
// and gets one answer line, when the window has an answer.

#include <QObject>
#include <functional>
#include <string>

#include "browser/HandOff.h"

class QLocalServer;
class QLocalSocket;

class CWindowServer : public QObject {
    Q_OBJECT
public:
    // Answers a request: "" when it is accepted (a download: under way in a
    // file the person chose), else why not. Called once, perhaps much later.
    using Reply = std::function<void(const std::string& error)>;
    using Handler = std::function<void(const tvx::HandOffRequest&, Reply)>;

    CWindowServer(Handler handler, QObject* parent = nullptr);
    // Listens for the window of folder; false with the reason when it cannot.
    bool Listen(const std::string& folder, std::string& error);

private:
    void OnConnection();
    void OnReadable(QLocalSocket* socket);

    Handler m_handler;
    QLocalServer* m_server = nullptr;
};
