#include "app/CWindowServer.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace {
// A request is a few addresses and cookies; more is no request.
constexpr qint64 kMaxRequest = 1 << 20;
}  // namespace

CWindowServer::CWindowServer(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CWindowServer::OnConnection);
}

bool CWindowServer::Listen(const std::string& folder, std::string& error) {
    // The caller holds the folder's lock: a socket left there is a dead window's.
    const QString path = QString::fromLocal8Bit(tvx::WindowSocketPath(folder).c_str());
    QLocalServer::removeServer(path);
    if (m_server->listen(path))
        return true;
    error = m_server->errorString().toLocal8Bit().toStdString();
    return false;
}

void CWindowServer::OnConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadable(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that never sends its line is let go.
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
        idle->start(10000);
        if (socket->bytesAvailable() > 0)
            OnReadable(socket);
    }
}

void CWindowServer::OnReadable(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequest) {
            socket->write(QByteArray::fromStdString(
                tvx::HandOffAnswer(false, "the request is too long") + "\n"));
            socket->disconnectFromServer();
        }
        return;
    }
    const QByteArray line = socket->readLine(kMaxRequest).trimmed();
    // The request is in: the connection waits for the window's answer now.
    if (auto* idle = socket->findChild<QTimer*>())
        idle->stop();
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    QPointer<QLocalSocket> alive(socket);
    auto answered = std::make_shared<bool>(false);
    Reply reply = [alive, answered](const std::string& error) {
        if (*answered || alive.isNull())
            return;  // said already, or the client is gone
        *answered = true;
        alive->write(QByteArray::fromStdString(tvx::HandOffAnswer(error.empty(), error) + "\n"));
        alive->disconnectFromServer();
    };
    tvx::HandOffRequest request;
    std::string error;
    if (tvx::ParseHandOff(line.toStdString(), tvx::CookieForm::Lines, request, error))
        m_handler(request, reply);
    else
        reply(error);
}
