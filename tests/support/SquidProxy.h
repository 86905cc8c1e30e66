#pragma once

// Runs Debian's squid on 127.0.0.1 as a forward proxy for tests of clients behind a proxy:
// plain requests are forwarded and CONNECT tunnels are opened, to any port, but only to
// 127.0.0.1 and only for clients on 127.0.0.1. Nothing is cached and no name is ever looked
// up (its name servers are set to 127.0.0.1, where nothing answers). Its configuration and
// logs live in a private temporary folder, removed by the destructor. Like NginxServer, squid
// is told to stop when the thread that constructed the object ends.

#include <sys/types.h>

#include <chrono>
#include <string>

#include "ServerProcess.h"

namespace tvxtest {

class SquidProxy {
public:
    // Whether the squid binary exists and is executable; tests should skip when it is not.
    static bool Available();

    // Starts squid and waits up to about 15 s until it accepts connections. Never throws for
    // squid failures: check Started() and Error().
    SquidProxy();
    // Stops squid and everything it started (escalating to SIGKILL) and removes the folder.
    ~SquidProxy();

    SquidProxy(const SquidProxy&) = delete;
    SquidProxy& operator=(const SquidProxy&) = delete;

    bool Started() const { return m_started; }
    // Why starting failed, with the end of squid's log; "" after a successful start.
    std::string Error() const { return m_error; }
    int Port() const { return m_port; }
    // "http://127.0.0.1:<port>", the value for http_proxy and https_proxy.
    std::string ProxyUrl() const;

    // The access log so far: one line per finished request, such as
    // "... TCP_TUNNEL/200 ... CONNECT 127.0.0.1:4433 ..." or "... GET http://127.0.0.1:80/f ...".
    std::string AccessLog() const;
    // Waits up to `timeout` for `text` to appear in the access log. Squid writes a request's
    // line only after its connection has ended, so a client that has just exited may not be
    // there yet.
    bool WaitForAccess(const std::string& text,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

private:
    StartAttempt StartOnce();
    bool WriteConfig() const;
    std::string LogTail() const;

    std::string m_prefix;  // private folder; empty when it could not be created
    pid_t m_pid = -1;      // squid; also the id of its process group
    int m_port = 0;
    bool m_started = false;
    std::string m_error;
};

}  // namespace tvxtest
