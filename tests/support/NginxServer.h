#pragma once

// Runs a real nginx on 127.0.0.1 serving a directory, as a reference for correct HTTP
// behaviour (ranges, validators, sendfile). The instance lives in a private temporary prefix
// and is stopped, and the prefix removed, by the destructor. nginx is also told to stop when
// the thread that constructed the object ends, so that it does not outlive a crashed test;
// construct it on the thread that owns it (normally the test's own thread).

#include <sys/types.h>

#include <string>

#include "ServerProcess.h"

namespace tvxtest {

class NginxServer {
public:
    // Whether the nginx binary exists and is executable; tests should skip when it is not.
    static bool Available();
    // With TVX_TEST_HTTP2=1 in the environment every instance serves HTTPS and HTTP/2, with a
    // certificate made for the process, and Url() gives https addresses: the same tests then
    // run over HTTP/2. CaFile() is that certificate, to be trusted ("" without HTTP/2).
    static bool Http2();
    static std::string CaFile();

    // Whether an instance serves HTTPS (with HTTP/2 offered) or plain HTTP; FromEnvironment
    // follows TVX_TEST_HTTP2 as above.
    enum class Transport { FromEnvironment, PlainHttp, Https };

    // Starts nginx serving `documentRoot`. `extraServerConfig` is inserted verbatim into the
    // server block (after "location / { }"); the zone `perip` is defined for
    // "limit_conn perip N;", whose refusals are 503. Waits up to about 10 s for the port to
    // accept connections. Never throws for nginx failures: check Started() and Error().
    explicit NginxServer(const std::string& documentRoot, const std::string& extraServerConfig = "",
                         Transport transport = Transport::FromEnvironment);
    // Stops nginx and all its workers (escalating to SIGKILL if needed) and removes the prefix.
    ~NginxServer();

    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    bool Started() const { return m_started; }
    // Why starting failed, with the end of nginx's error log; "" after a successful start.
    std::string Error() const { return m_error; }
    int Port() const { return m_port; }
    // "http://127.0.0.1:<port>" + path ("https://" when it serves HTTPS).
    std::string Url(const std::string& path) const;
    // The certificate a client must trust to reach this instance; "" for plain HTTP.
    std::string CertificateFile() const;

private:
    StartAttempt StartOnce(const std::string& documentRoot, const std::string& extraServerConfig);
    bool WriteConfig(const std::string& documentRoot, const std::string& extraServerConfig);
    void Terminate();
    std::string LogTail() const;

    bool m_https = false;
    std::string m_prefix;  // private directory; empty when it could not be created
    pid_t m_pid = -1;      // nginx master; also the id of its process group
    int m_port = 0;
    bool m_started = false;
    std::string m_error;
};

}  // namespace tvxtest
