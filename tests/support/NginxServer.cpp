#include "NginxServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "TestHttpServer.h"

namespace tvxtest {
namespace {

constexpr const char* kNginxBinary = "/usr/sbin/nginx";
constexpr int kPortAttempts = 5;
constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kStopTimeout = std::chrono::seconds(5);
constexpr auto kPollInterval = std::chrono::milliseconds(10);
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

std::string ReadTail(const std::string& path, std::size_t maxBytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    std::string contents = text.str();
    if (contents.size() > maxBytes)
        contents.erase(0, contents.size() - maxBytes);
    return contents;
}

bool CanConnect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

// Whether `pid` has exited; it is left unreaped (a zombie) so its process id, which is also
// its process group id, cannot be reused while we still signal the group.
bool HasExited(pid_t pid) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno != EINTR;  // ECHILD: nothing left to wait for
    return info.si_pid != 0;
}

// Kills whatever is left of the process group led by `pid` and reaps the leader.
int KillGroupAndReap(pid_t pid) {
    kill(-pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

std::string DescribeStatus(int status) {
    if (WIFEXITED(status))
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return std::string("killed by signal ") + strsignal(WTERMSIG(status));
    return "stopped";
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
        const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 "
                                 "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                                 std::string(pattern) + "/key.pem' -out '" + pattern +
                                 "/cert.pem' >/dev/null 2>&1";
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

NginxServer::NginxServer(const std::string& documentRoot, const std::string& extraServerConfig) {
    if (!Available()) {
        m_error = std::string(kNginxBinary) + " is missing or not executable";
        return;
    }
    std::error_code error;
    const std::filesystem::path tempDir = std::filesystem::temp_directory_path(error);
    std::string pattern =
        ((error ? std::filesystem::path("/tmp") : tempDir) / "tvx-nginx-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        m_error = "mkdtemp " + pattern + ": " + std::strerror(errno);
        return;
    }
    m_prefix = pattern;

    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        try {
            m_port = UnusedLoopbackPort();
        } catch (const std::system_error& failure) {
            m_error = failure.what();
            return;
        }
        switch (StartOnce(documentRoot, extraServerConfig)) {
            case Attempt::Started:
                m_started = true;
                m_error.clear();
                return;
            case Attempt::PortTaken:
                continue;  // another process took the port between probing and binding
            case Attempt::Failed:
                return;
        }
    }
}

NginxServer::~NginxServer() {
    Terminate();
    if (!m_prefix.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_prefix, ignored);
    }
}

std::string NginxServer::Url(const std::string& path) const {
    return (Http2() ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_port) + path;
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
         << "        listen 127.0.0.1:" << m_port << (Http2() ? " ssl http2" : "") << ";\n";
    if (Http2()) {
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

NginxServer::Attempt NginxServer::StartOnce(const std::string& documentRoot,
                                            const std::string& extraServerConfig) {
    if (!WriteConfig(documentRoot, extraServerConfig)) {
        m_error = "cannot write " + m_prefix + "/nginx.conf";
        return Attempt::Failed;
    }
    const std::string pidFile = m_prefix + "/nginx.pid";
    const std::string errorLog = m_prefix + "/error.log";
    const std::string outputLog = m_prefix + "/output.log";
    std::remove(pidFile.c_str());
    std::remove(errorLog.c_str());

    // Everything the child needs is prepared here: between fork and exec only
    // async-signal-safe calls are allowed, since other threads may hold locks.
    const std::string prefixArg = m_prefix + "/";
    const std::string confArg = m_prefix + "/nginx.conf";
    std::vector<const char*> argv = {kNginxBinary,    "-p", prefixArg.c_str(), "-c",
                                     confArg.c_str(), "-e", errorLog.c_str(),  nullptr};
    const int output = open(outputLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (output < 0 || input < 0) {
        m_error = "cannot open " + outputLog + " or /dev/null: " + std::strerror(errno);
        if (output >= 0)
            close(output);
        if (input >= 0)
            close(input);
        return Attempt::Failed;
    }
    const pid_t parent = getpid();

    const pid_t pid = fork();
    if (pid == 0) {
        // Own process group, so the destructor can kill the master and its workers together;
        // and stop if the test process dies without running destructors.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        dup2(input, STDIN_FILENO);
        dup2(output, STDOUT_FILENO);
        dup2(output, STDERR_FILENO);
        close_range(3, ~0U, 0);
        execv(kNginxBinary, const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    const int forkErrno = errno;
    close(output);
    close(input);
    if (pid < 0) {
        m_error = std::string("fork: ") + std::strerror(forkErrno);
        return Attempt::Failed;
    }
    setpgid(pid, pid);  // also in the parent, so the group exists before we may signal it
    m_pid = pid;

    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    for (;;) {
        if (HasExited(m_pid)) {
            const int status = KillGroupAndReap(m_pid);
            m_pid = -1;
            const std::string log = LogTail();
            if (log.find("Address already in use") != std::string::npos)
                return Attempt::PortTaken;
            m_error = "nginx " + DescribeStatus(status) + "\n" + log;
            return Attempt::Failed;
        }
        // The pid file is written after the listening socket is bound, so a successful connect
        // then reaches this nginx rather than another process that took the port.
        if (access(pidFile.c_str(), F_OK) == 0 && CanConnect(m_port))
            return Attempt::Started;
        if (std::chrono::steady_clock::now() >= deadline) {
            Terminate();
            m_error = "nginx did not accept connections within 10 s\n" + LogTail();
            return Attempt::Failed;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

void NginxServer::Terminate() {
    if (m_pid <= 0)
        return;
    // SIGTERM is nginx's fast shutdown: it does not wait for open (possibly hanging)
    // connections, unlike the graceful SIGQUIT.
    kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    while (!HasExited(m_pid) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(kPollInterval);
    KillGroupAndReap(m_pid);
    m_pid = -1;
}

std::string NginxServer::LogTail() const {
    std::string tail = ReadTail(m_prefix + "/error.log", kLogTailBytes);
    const std::string output = ReadTail(m_prefix + "/output.log", kLogTailBytes);
    if (!output.empty())
        tail += (tail.empty() ? "" : "\n") + output;
    return tail;
}

}  // namespace tvxtest
