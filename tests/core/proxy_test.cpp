// tvx-get between real programs that users meet and the scripted test server does not play: a
// forward proxy taken from the standard proxy environment, and python's http.server, which
// answers every Range request with 200 and the whole file.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "NginxServer.h"
#include "Process.h"
#include "ServerProcess.h"
#include "SquidProxy.h"
#include "TestHttpServer.h"
#include "TransferHelpers.h"

namespace {

using tvxtest::Pattern;
using tvxtest::ReadFile;

const std::string kTvxGet = TVX_GET_PATH;
constexpr std::size_t kMiB = 1024 * 1024;

// The environment for a run of tvx-get: every proxy variable libcurl reads is removed, so that
// the machine's own settings cannot reach the test, and then `set` is applied.
tvxtest::EnvironmentChanges ProxyEnvironment(
    std::initializer_list<std::pair<std::string, std::string>> set) {
    tvxtest::EnvironmentChanges changes;
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"})
        changes.emplace_back(name, std::nullopt);
    for (const auto& [name, value] : set)
        changes.emplace_back(name, value);
    return changes;
}

class ProxyTest : public tvxtest::Sandbox {
protected:
    void SetUp() override {
        Sandbox::SetUp();
        if (!tvxtest::SquidProxy::Available())
            GTEST_SKIP() << "squid is not installed";
        if (!tvxtest::NginxServer::Available())
            GTEST_SKIP() << "nginx is not installed";
        ASSERT_EQ(mkdir(PathOf("www").c_str(), 0755), 0);
        body = Pattern(3 * kMiB + 12345, 11);
        tvxtest::WriteFile(PathOf("www/f.bin"), body);
        using Transport = tvxtest::NginxServer::Transport;
        plain = std::make_unique<tvxtest::NginxServer>(PathOf("www"), "", Transport::PlainHttp);
        ASSERT_TRUE(plain->Started()) << plain->Error();
        tls = std::make_unique<tvxtest::NginxServer>(PathOf("www"), "", Transport::Https);
        ASSERT_TRUE(tls->Started()) << tls->Error();
        squid = std::make_unique<tvxtest::SquidProxy>();
        ASSERT_TRUE(squid->Started()) << squid->Error();
    }
    // Fetches f.bin over http or https into `destination`.
    tvxtest::ProcessResult Get(bool https, const std::string& destination,
                               const tvxtest::EnvironmentChanges& environment) {
        const std::string url = (https ? tls : plain)->Url("/f.bin");
        return tvxtest::RunProcess(kTvxGet,
                                   {"--cacert", tls->CertificateFile(), url + "," + destination},
                                   Dir(), 60000, environment);
    }
    void ExpectWhole(const std::string& destination) {
        EXPECT_TRUE(ReadFile(PathOf(destination)) == body) << destination << " differs";
        EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_" + destination))) << destination;
    }

    std::string body;
    std::unique_ptr<tvxtest::NginxServer> plain, tls;
    std::unique_ptr<tvxtest::SquidProxy> squid;
};

// Through the proxy the environment names, over http and https; direct where no_proxy
// names the host (the proxy named then refuses every connection); failed where it does not.
TEST_F(ProxyTest, DownloadsGoThroughTheProxyFromTheEnvironment) {
    const std::string dead = "http://127.0.0.1:" + std::to_string(tvxtest::UnusedLoopbackPort());
    for (const bool https : {false, true}) {
        const std::string variable = https ? "https_proxy" : "http_proxy";
        // An https address is reached through a tunnel the proxy opens; a plain one is asked
        // of the proxy by its whole address.
        const std::string seen = https ? "CONNECT 127.0.0.1:" + std::to_string(tls->Port())
                                       : "GET " + plain->Url("/f.bin");
        const struct {
            const char* name;
            tvxtest::EnvironmentChanges environment;
            int exitCode;
        } cases[] = {
            {"via", ProxyEnvironment({{variable, squid->ProxyUrl()}}), 0},
            {"blocked", ProxyEnvironment({{variable, dead}}), 1},
            {"direct", ProxyEnvironment({{variable, dead}, {"no_proxy", "127.0.0.1"}}), 0}};
        for (const auto& c : cases) {
            const std::string destination =
                std::string(c.name) + (https ? "-https.bin" : "-http.bin");
            SCOPED_TRACE(destination);
            const auto run = Get(https, destination, c.environment);
            EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
            if (c.exitCode == 0)
                ExpectWhole(destination);
        }
        EXPECT_TRUE(squid->WaitForAccess(seen)) << "no \"" << seen << "\" in\n"
                                                << squid->AccessLog();
    }
}

constexpr const char* kPython = "/usr/bin/python3";

// python3's http.server serving a folder on 127.0.0.1: it answers every GET with 200 and the
// whole file, whatever Range asks for, and closes the connection after each answer.
class PythonHttpServer {
public:
    PythonHttpServer(const std::string& root, const std::string& log) {
        tvxtest::StartOnFreePort(m_port, m_error, [&] {
            m_pid =
                tvxtest::StartServerProcess({kPython, "-m", "http.server", "--bind", "127.0.0.1",
                                             "--directory", root, std::to_string(m_port)},
                                            log, "", m_error);
            if (m_pid < 0)
                return tvxtest::StartAttempt::Failed;
            return tvxtest::WaitUntilReady(
                m_pid, "python", std::chrono::seconds(15),
                [this] { return tvxtest::AcceptsConnections(m_port); },
                [&] { return tvxtest::ReadTail(log, 2000); }, m_error);
        });
    }
    ~PythonHttpServer() { tvxtest::StopServerProcess(m_pid, SIGTERM, std::chrono::seconds(5)); }
    PythonHttpServer(const PythonHttpServer&) = delete;
    PythonHttpServer& operator=(const PythonHttpServer&) = delete;

    bool Started() const { return m_pid > 0; }
    const std::string& Error() const { return m_error; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

private:
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_error;
};

using RangeIgnoringServer = tvxtest::Sandbox;

// A large file is split over several connections; each of them gets the whole file from the
// start and must find its own part in it.
TEST_F(RangeIgnoringServer, LargeFileArrivesWhole) {
    if (access(kPython, X_OK) != 0)
        GTEST_SKIP() << kPython << " is not installed";
    ASSERT_EQ(mkdir(PathOf("www").c_str(), 0755), 0);
    const std::string body = Pattern(48 * kMiB + 777, 13);
    tvxtest::WriteFile(PathOf("www/big.bin"), body);
    PythonHttpServer server(PathOf("www"), PathOf("python.log"));
    ASSERT_TRUE(server.Started()) << server.Error();

    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"default.bin", {}},
        {"x8.bin", {"-x", "8"}},
    };
    for (const auto& [destination, options] : cases) {
        SCOPED_TRACE(destination);
        std::vector<std::string> args = options;
        args.push_back(server.Url("/big.bin") + "," + destination);
        // Bounded so that a run that stops making progress fails instead of hanging.
        const auto run = tvxtest::RunProcess(kTvxGet, args, Dir(), 120000, ProxyEnvironment({}));
        EXPECT_EQ(run.exitCode, 0) << "signal " << run.signal << "\n" << run.err;
        const std::string got = ReadFile(PathOf(destination));
        EXPECT_EQ(got.size(), body.size());
        EXPECT_TRUE(got == body) << destination << " differs";
        EXPECT_FALSE(tvxtest::Exists(PathOf("CTL_" + destination)));
    }
}

}  // namespace
