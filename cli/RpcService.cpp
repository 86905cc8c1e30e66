#include "RpcService.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QSocketNotifier>
#include <QtHttpServer/QAbstractHttpServer>
#include <QtHttpServer/QHttpServerRequest>
#include <QtHttpServer/QHttpServerResponder>
#include <QtNetwork/QHostAddress>
#include <QtNetwork/QTcpServer>
#include <QtWebSockets/QWebSocket>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <memory>
#include <random>
#include <thread>

#include "Interrupt.h"
#include "platform/FileSystem.h"
#include "platform/Profile.h"
#include "service/Aria2Rpc.h"

namespace tvxcli {

namespace {

int g_signalPipe[2] = {-1, -1};

std::string Home() {
    const char* home = std::getenv("HOME");
    return home != nullptr ? home : "";
}

// $XDG_..._HOME or its default under the home folder.
std::string XdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value == '/' ? value : Home() + "/" + fallback;
}

bool MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos)
            break;
    }
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The secret of the secret file, made (readable by this user only) when
// there is none; "" with the reason when neither works.
std::string SecretFromFile(std::string& problem) {
    const std::string folder = XdgFolder("XDG_CONFIG_HOME", ".config") + "/tvx";
    const std::string path = folder + "/rpc-secret";
    std::string secret;
    if (tvx::ReadWholeFile(path, secret)) {
        while (!secret.empty() && (secret.back() == '\n' || secret.back() == '\r'))
            secret.pop_back();
        if (secret.empty())
            problem = path + " is empty";
        return secret;
    }
    std::random_device random;
    char text[33];
    std::snprintf(text, sizeof text, "%08x%08x%08x%08x", random(), random(), random(), random());
    MakeFolders(folder);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const std::string line = std::string(text) + "\n";
    if (fd < 0 || write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()) ||
        fsync(fd) != 0) {
        problem = "the secret file " + path + " cannot be made";
        if (fd >= 0) {
            close(fd);
            unlink(path.c_str());
        }
        return {};
    }
    close(fd);
    std::fprintf(stderr, "tvx-session: a new RPC secret was made in %s\n", path.c_str());
    return text;
}

// The Host a request names must be the loopback (or, listening on every
// address, an address rather than a name): a page whose name was made to
// point at 127.0.0.1 (DNS rebinding) names its own host and is turned away.
bool HostAllowed(const QByteArray& host, bool listenAll) {
    QString name = QString::fromLatin1(host).trimmed();
    if (name.startsWith('[')) {
        name = name.mid(1, name.indexOf(']') - 1);
    } else if (name.count(':') == 1) {
        name = name.left(name.indexOf(':'));
    }
    if (name.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    QHostAddress address;
    if (name.isEmpty() || !address.setAddress(name))
        return false;
    return listenAll || address.isLoopback();
}

QByteArray HeaderOf(const QHttpServerRequest& request, const char* name) {
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

class RpcServer : public QAbstractHttpServer {
public:
    RpcServer(tvx::Aria2Rpc& rpc, bool listenAll) : m_rpc(rpc), m_listenAll(listenAll) {
        QObject::connect(this, &QAbstractHttpServer::newWebSocketConnection, this,
                         [this] { TakeWebSockets(); });
    }

    // Sends a notification to every WebSocket whose calls carried the secret.
    void Broadcast(const std::string& text) {
        const QString message = QString::fromStdString(text);
        for (Client& client : m_clients)
            if (client.authorized)
                client.socket->sendTextMessage(message);
    }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        // A WebSocket handshake taken (true, nothing written) is answered by
        // the server itself; TakeWebSockets then checks it.
        if (IsWebSocketHandshake(request))
            return true;
        QHttpServerResponder responder = makeResponder(request, socket);
        const QByteArray plain = "text/plain; charset=utf-8";
        if (!HostAllowed(HeaderOf(request, "Host"), m_listenAll)) {
            responder.write(QByteArray("the Host of the request is not this machine's loopback\n"),
                            {{"Content-Type", plain}}, QHttpServerResponder::StatusCode::Forbidden);
        } else if (request.url().path() != QLatin1String("/jsonrpc")) {
            responder.write(QByteArray("the service answers on /jsonrpc\n"),
                            {{"Content-Type", plain}}, QHttpServerResponder::StatusCode::NotFound);
        } else if (request.method() != QHttpServerRequest::Method::Post) {
            responder.write(QByteArray("JSON-RPC requests are POSTed\n"),
                            {{"Content-Type", plain}, {"Allow", "POST"}},
                            QHttpServerResponder::StatusCode::MethodNotAllowed);
        } else {
            const std::string answer = m_rpc.Handle(request.body().toStdString());
            responder.write(QByteArray::fromStdString(answer),
                            {{"Content-Type", "application/json-rpc"}},
                            QHttpServerResponder::StatusCode::Ok);
        }
        return true;
    }
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
        if (!IsWebSocketHandshake(request))
            makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
    }

private:
    static bool IsWebSocketHandshake(const QHttpServerRequest& request) {
        return HeaderOf(request, "Upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
    }

    struct Client {
        QWebSocket* socket;
        bool authorized = false;
    };

    void TakeWebSockets() {
        while (hasPendingWebSocketConnections()) {
            QWebSocket* socket = nextPendingWebSocketConnection().release();
            socket->setParent(this);
            const QNetworkRequest& handshake = socket->request();
            if (!HostAllowed(handshake.rawHeader("Host"), m_listenAll) ||
                socket->requestUrl().path() != QLatin1String("/jsonrpc")) {
                socket->close(QWebSocketProtocol::CloseCodePolicyViolated,
                              QStringLiteral("not this machine's loopback, or not /jsonrpc"));
                socket->deleteLater();
                continue;
            }
            m_clients.push_back({socket});
            Client* client = &m_clients.back();
            QObject::connect(socket, &QWebSocket::textMessageReceived, socket,
                             [this, client](const QString& message) {
                                 const std::string answer =
                                     m_rpc.Handle(message.toStdString(), &client->authorized);
                                 client->socket->sendTextMessage(QString::fromStdString(answer));
                             });
            QObject::connect(socket, &QWebSocket::disconnected, this, [this, socket] {
                m_clients.remove_if([socket](const Client& c) { return c.socket == socket; });
                socket->deleteLater();
            });
        }
    }

    tvx::Aria2Rpc& m_rpc;
    bool m_listenAll;
    std::list<Client> m_clients;  // a list: the handlers hold pointers to its elements
};

}  // namespace

void LoadRpcSettings(RpcOptions& options, const std::string& iniPath) {
    options.port = tvx::GetPrivateProfileInt("RPC", "ListenPort", options.port, iniPath);
    options.listenAll =
        tvx::GetPrivateProfileInt("RPC", "ListenAll", options.listenAll, iniPath) != 0;
    options.secret = tvx::GetPrivateProfileString("RPC", "Secret", options.secret, iniPath);
    options.dir = tvx::GetPrivateProfileString("RPC", "Dir", options.dir, iniPath);
}

int RunRpcService(int argc, char** argv, const RpcOptions& options, tvx::HttpSettings settings,
                  std::function<int(bool all)> listSession) {
    QCoreApplication app(argc, argv);
    std::string problem;
    std::string secret = options.secret;
    if (secret.empty())
        secret = SecretFromFile(problem);
    if (secret.empty()) {
        std::fprintf(stderr, "tvx-session: %s; give one with --rpc-secret\n", problem.c_str());
        return 1;
    }
    // The root of the downloads, its symbolic links resolved.
    const std::string dir = options.dir.empty() ? Home() + "/Downloads" : options.dir;
    char* real = MakeFolders(dir) ? realpath(dir.c_str(), nullptr) : nullptr;
    if (real == nullptr) {
        std::fprintf(stderr, "tvx-session: the download folder %s cannot be made\n", dir.c_str());
        return 1;
    }
    tvx::RpcConfig config{secret, real, options.port, options.listenAll};
    std::free(real);
    const std::string stateFolder = XdgFolder("XDG_STATE_HOME", ".local/state") + "/tvx";
    if (!MakeFolders(stateFolder)) {
        std::fprintf(stderr, "tvx-session: the folder %s cannot be made\n", stateFolder.c_str());
        return 1;
    }

    // SIGTERM and Ctrl+C: the flag the list session polls, and a byte that
    // ends the event loop.
    if (pipe2(g_signalPipe, O_CLOEXEC) != 0)
        return 1;
    struct sigaction action {};
    action.sa_handler = [](int) {
        g_interrupted = true;
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &byte, 1);
    };
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    QSocketNotifier stopper(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopper, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    std::unique_ptr<RpcServer> server;
    tvx::DownloadQueue queue(settings, stateFolder + "/rpc-queue.json",
                             [&server](const std::string& event, const std::string& gid) {
                                 // From a download's thread to the event loop's.
                                 const std::string text = tvx::Aria2Rpc::Notification(event, gid);
                                 QMetaObject::invokeMethod(
                                     server.get(), [&server, text] { server->Broadcast(text); },
                                     Qt::QueuedConnection);
                             });
    std::thread session;
    std::atomic<bool> sessionRunning{false};
    tvx::Aria2Rpc rpc(queue, config, [&](bool all) -> std::string {
        if (sessionRunning)
            return "the list session is running already";
        if (session.joinable())
            session.join();
        sessionRunning = true;
        session = std::thread([&, all] {
            const int status = listSession(all);
            const std::string text =
                "{\"jsonrpc\":\"2.0\",\"method\":\"tvx.onSessionComplete\","
                "\"params\":[{\"status\":" +
                std::to_string(status) + "}]}";
            QMetaObject::invokeMethod(
                server.get(), [&server, text] { server->Broadcast(text); }, Qt::QueuedConnection);
            sessionRunning = false;
        });
        return {};
    });
    server = std::make_unique<RpcServer>(rpc, options.listenAll);
    const QHostAddress address(options.listenAll ? QHostAddress::Any : QHostAddress::LocalHost);
    if (server->listen(address, static_cast<quint16>(options.port)) == 0) {
        std::fprintf(stderr, "tvx-session: port %d of %s cannot be listened on (in use?)\n",
                     options.port, address.toString().toUtf8().constData());
        return 1;
    }
    // Clients that say "localhost" may try ::1 first; a machine without
    // IPv6 has none, which is no error.
    if (!options.listenAll)
        server->listen(QHostAddress::LocalHostIPv6, static_cast<quint16>(options.port));
    if (!queue.Load(problem)) {
        std::fprintf(stderr, "tvx-session: %s\n", problem.c_str());
        return 1;
    }
    std::fprintf(
        stderr,
        "tvx-session: the download service answers on http://%s:%d/jsonrpc; files go to %s\n",
        options.listenAll ? "0.0.0.0" : "127.0.0.1", options.port, config.root.c_str());
    app.exec();
    // Downloads under way are broken off and stay in the queue for the next start.
    g_interrupted = true;
    queue.Stop();
    if (session.joinable())
        session.join();
    QCoreApplication::removePostedEvents(server.get());
    std::fprintf(stderr, "tvx-session: the download service stopped\n");
    return 0;
}

}  // namespace tvxcli
