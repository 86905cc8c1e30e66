#include "SquidProxy.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>
#include <thread>

#include "ServerProcess.h"
#include "TestHttpServer.h"

namespace tvxtest {
namespace {

constexpr const char* kSquidBinary = "/usr/sbin/squid";
// Squid started as root switches to this user; we switch before it starts instead (below).
constexpr const char* kSquidUser = "proxy";
constexpr auto kStartTimeout = std::chrono::seconds(15);
constexpr auto kStopTimeout = std::chrono::milliseconds(5000);
constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr std::size_t kLogTailBytes = 2000;
// Written to cache.log once the listening socket is open.
constexpr const char* kListening = "Accepting HTTP Socket connections";

}  // namespace

bool SquidProxy::Available() {
    return access(kSquidBinary, X_OK) == 0;
}

SquidProxy::SquidProxy() {
    if (!Available()) {
        m_error = std::string(kSquidBinary) + " is missing or not executable";
        return;
    }
    m_prefix = MakePrivateFolder("tvx-squid", m_error);
    if (!m_prefix.empty())
        m_started = StartOnFreePort(m_port, m_error, [&] { return StartOnce(); });
}

SquidProxy::~SquidProxy() {
    // With shutdown_lifetime 0 squid leaves within about a second of SIGTERM.
    StopServerProcess(m_pid, SIGTERM, kStopTimeout);
    if (!m_prefix.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_prefix, ignored);
    }
}

std::string SquidProxy::ProxyUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::string SquidProxy::AccessLog() const {
    std::ifstream in(m_prefix + "/access.log", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool SquidProxy::WaitForAccess(const std::string& text, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (AccessLog().find(text) != std::string::npos)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

bool SquidProxy::WriteConfig() const {
    const std::string& dir = m_prefix;
    std::ostringstream conf;
    conf << "http_port 127.0.0.1:" << m_port
         << "\n"
         // A fixed name: otherwise squid asks the resolver for the machine's own name.
         << "visible_hostname tvx-test-proxy\n"
         << "pid_filename " << dir << "/squid.pid\n"
         << "cache_log " << dir << "/cache.log\n"
         << "access_log stdio:" << dir << "/access.log\n"
         << "cache_store_log none\n"
         << "netdb_filename none\n"
         << "coredump_dir " << dir << "\n"
         << "cache deny all\n"
         << "cache_mem 1 MB\n"
         << "digest_generation off\n"
         << "pinger_enable off\n"
         << "icp_port 0\n"
         << "htcp_port 0\n"
         // Its DNS socket listens on loopback only, and any query would go to 127.0.0.1:53.
         << "udp_incoming_address 127.0.0.1\n"
         << "dns_nameservers 127.0.0.1\n"
         << "shutdown_lifetime 0 seconds\n"
         << "acl from_here src 127.0.0.1/32\n"
         // Matched on the address as written (-n: no reverse lookup), so a request for any
         // other host is refused before anything is resolved.
         << "acl to_here dstdomain -n 127.0.0.1\n"
         << "http_access allow from_here to_here\n"
         << "http_access deny all\n";
    std::ofstream out(dir + "/squid.conf", std::ios::binary | std::ios::trunc);
    out << conf.str();
    out.close();
    return static_cast<bool>(out);
}

StartAttempt SquidProxy::StartOnce() {
    if (!WriteConfig()) {
        m_error = "cannot write " + m_prefix + "/squid.conf";
        return StartAttempt::Failed;
    }
    const std::string cacheLog = m_prefix + "/cache.log";
    std::remove(cacheLog.c_str());
    std::remove((m_prefix + "/access.log").c_str());

    // Squid started as root switches to its own user after start-up, and that change of ids
    // would also clear the signal that stops it with the test. So a root test hands the folder
    // to that user and starts squid as that user directly.
    std::optional<RunAs> runAs;
    if (geteuid() == 0) {
        const passwd* user = getpwnam(kSquidUser);
        if (user == nullptr) {
            m_error = std::string("there is no user ") + kSquidUser + " to run squid as";
            return StartAttempt::Failed;
        }
        runAs = RunAs{user->pw_uid, user->pw_gid};
        if (chown(m_prefix.c_str(), runAs->uid, runAs->gid) != 0) {
            m_error = "chown " + m_prefix + ": " + std::strerror(errno);
            return StartAttempt::Failed;
        }
    }
    // -N: stay in the foreground as one process.
    m_pid = StartServerProcess({kSquidBinary, "-N", "-f", m_prefix + "/squid.conf"},
                               m_prefix + "/output.log", m_prefix, m_error, runAs);
    if (m_pid < 0)
        return StartAttempt::Failed;

    // Squid names the socket it listens on once it is open, so a successful connect then
    // reaches this squid rather than another process that took the port.
    return WaitUntilReady(
        m_pid, "squid", kStartTimeout,
        [&] {
            return ReadTail(cacheLog, 1 << 20).find(kListening) != std::string::npos &&
                   AcceptsConnections(m_port);
        },
        [this] { return LogTail(); }, m_error);
}

std::string SquidProxy::LogTail() const {
    std::string tail = ReadTail(m_prefix + "/cache.log", kLogTailBytes);
    const std::string output = ReadTail(m_prefix + "/output.log", kLogTailBytes);
    if (!output.empty())
        tail += (tail.empty() ? "" : "\n") + output;
    return tail;
}

}  // namespace tvxtest
