#include "NginxServer.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "ServerProcess.h"
#include "TestHttpServer.h"

namespace tvxtest {
namespace {

constexpr const char* kNginxBinary = "/usr/sbin/nginx";
constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kStopTimeout = std::chrono::milliseconds(5000);
constexpr std::size_t kLogTailBytes = 2000;

// A double-quoted nginx configuration string.
std::string Quote(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

}  // namespace

bool NginxServer::Available() {
    return access(kNginxBinary, X_OK) == 0;
}

bool NginxServer::Http2() {
    const char* flag = std::getenv("TVX_TEST_HTTP2");
    return flag != nullptr && std::strcmp(flag, "1") == 0;
}

namespace {

// The certificate and key of the HTTP/2 servers, made once and removed when the process ends.
struct Certificate {
    std::string dir;
    Certificate() {
        char pattern[] = "/tmp/tvx-cert-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return;
        const std::string make =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 2 "
            "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
            std::string(pattern) + "/key.pem' -out '" + pattern + "/cert.pem' >/dev/null 2>&1";
        if (std::system(make.c_str()) == 0)
            dir = pattern;
    }
    ~Certificate() {
        if (!dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    }
};

const Certificate& TheCertificate() {
    static const Certificate certificate;
    return certificate;
}

}  // namespace

std::string NginxServer::CaFile() {
    if (!Http2() || TheCertificate().dir.empty())
        return {};
    return TheCertificate().dir + "/cert.pem";
}

std::string NginxServer::CertificateFile() const {
    return m_https ? TheCertificate().dir + "/cert.pem" : std::string();
}

NginxServer::NginxServer(const std::string& documentRoot, const std::string& extraServerConfig,
                         Transport transport)
    : m_https(transport == Transport::Https ||
              (transport == Transport::FromEnvironment && Http2())) {
    if (!Available()) {
        m_error = std::string(kNginxBinary) + " is missing or not executable";
        return;
    }
    if (m_https && TheCertificate().dir.empty()) {
        m_error = "no certificate could be made with openssl";
        return;
    }
    m_prefix = MakePrivateFolder("tvx-nginx", m_error);
    if (!m_prefix.empty())
        m_started = StartOnFreePort(m_port, m_error,
                                    [&] { return StartOnce(documentRoot, extraServerConfig); });
}

NginxServer::~NginxServer() {
    Terminate();
    if (!m_prefix.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_prefix, ignored);
    }
}

std::string NginxServer::Url(const std::string& path) const {
    return (m_https ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_port) + path;
}

bool NginxServer::WriteConfig(const std::string& documentRoot,
                              const std::string& extraServerConfig) {
    auto inPrefix = [this](const char* name) { return Quote(m_prefix + "/" + name); };
    std::ostringstream conf;
    if (geteuid() == 0)
        conf << "user root root;\n";  // workers must read document roots private to root
    conf << "daemon off;\n"
         << "worker_processes 1;\n"
         << "error_log " << inPrefix("error.log") << ";\n"
         << "pid " << inPrefix("nginx.pid") << ";\n"
         << "lock_file " << inPrefix("nginx.lock") << ";\n"
         << "events { worker_connections 64; }\n"
         << "http {\n"
         << "    access_log off;\n"
         << "    sendfile on;\n"
         << "    default_type application/octet-stream;\n"
         << "    limit_conn_zone $binary_remote_addr zone=perip:1m;\n"
         << "    limit_conn_status 503;\n"
         << "    client_body_temp_path " << inPrefix("client_body_temp") << ";\n"
         << "    proxy_temp_path " << inPrefix("proxy_temp") << ";\n"
         << "    fastcgi_temp_path " << inPrefix("fastcgi_temp") << ";\n"
         << "    uwsgi_temp_path " << inPrefix("uwsgi_temp") << ";\n"
         << "    scgi_temp_path " << inPrefix("scgi_temp") << ";\n"
         << "    server {\n"
         << "        listen 127.0.0.1:" << m_port << (m_https ? " ssl http2" : "") << ";\n";
    if (m_https) {
        conf << "        ssl_certificate " << Quote(TheCertificate().dir + "/cert.pem") << ";\n"
             << "        ssl_certificate_key " << Quote(TheCertificate().dir + "/key.pem") << ";\n";
    }
    conf << ""
         << "        root " << Quote(documentRoot) << ";\n"
         << "        location / { }\n"
         << "        " << extraServerConfig << "\n"
         << "    }\n"
         << "}\n";
    std::ofstream out(m_prefix + "/nginx.conf", std::ios::binary | std::ios::trunc);
    out << conf.str();
    out.close();
    return static_cast<bool>(out);
}

StartAttempt NginxServer::StartOnce(const std::string& documentRoot,
                                    const std::string& extraServerConfig) {
    if (!WriteConfig(documentRoot, extraServerConfig)) {
        m_error = "cannot write " + m_prefix + "/nginx.conf";
        return StartAttempt::Failed;
    }
    const std::string pidFile = m_prefix + "/nginx.pid";
    const std::string errorLog = m_prefix + "/error.log";
    const std::string outputLog = m_prefix + "/output.log";
    std::remove(pidFile.c_str());
    std::remove(errorLog.c_str());

    // Its own process group lets the destructor stop the master and its workers together.
    m_pid = StartServerProcess(
        {kNginxBinary, "-p", m_prefix + "/", "-c", m_prefix + "/nginx.conf", "-e", errorLog},
        outputLog, "", m_error);
    if (m_pid < 0)
        return StartAttempt::Failed;

    // The pid file is written after the listening socket is bound, so a successful connect
    // then reaches this nginx rather than another process that took the port.
    return WaitUntilReady(
        m_pid, "nginx", kStartTimeout,
        [&] { return access(pidFile.c_str(), F_OK) == 0 && AcceptsConnections(m_port); },
        [this] { return LogTail(); }, m_error);
}

void NginxServer::Terminate() {
    // SIGTERM is nginx's fast shutdown: it does not wait for open (possibly hanging)
    // connections, unlike the graceful SIGQUIT.
    StopServerProcess(m_pid, SIGTERM, kStopTimeout);
}

std::string NginxServer::LogTail() const {
    std::string tail = ReadTail(m_prefix + "/error.log", kLogTailBytes);
    const std::string output = ReadTail(m_prefix + "/output.log", kLogTailBytes);
    if (!output.empty())
        tail += (tail.empty() ? "" : "\n") + output;
    return tail;
}

}  // namespace tvxtest
