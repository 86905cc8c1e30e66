#pragma once

// Running a server program (nginx, squid, python's http.server) as a child of a test: in its
// own process group, so that it and everything it starts can be stopped together, and told to
// stop when the thread that started it ends, so that it does not outlive a crashed test.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tvxtest {

// The user and group ids a child takes before it runs its program.
struct RunAs {
    uid_t uid;
    gid_t gid;
};

// Starts argv[0] (a path) with the arguments `argv`, as the leader of a new process group,
// standard input from /dev/null, standard output and error to `outputLog` (truncated), in
// `workingDirectory` ("" keeps the current one). With `runAs` (the caller must be root) the
// child drops to those ids first; the stop-on-exit signal is set after that, since changing
// ids clears it. Returns the pid, or -1 with `error` set.
pid_t StartServerProcess(const std::vector<std::string>& argv, const std::string& outputLog,
                         const std::string& workingDirectory, std::string& error,
                         const std::optional<RunAs>& runAs = std::nullopt);

// Sends `signal` to the leader, waits up to `grace` for it to exit, then kills the whole group
// and reaps the leader. Sets `pid` to -1; does nothing when it is not positive.
void StopServerProcess(pid_t& pid, int signal, std::chrono::milliseconds grace);

// Whether something accepts TCP connections on 127.0.0.1:`port`.
bool AcceptsConnections(int port);

// A private folder "<name>-XXXXXX" under the temporary directory; "" with `error` set when it
// cannot be made.
std::string MakePrivateFolder(const std::string& name, std::string& error);

// How one attempt to start a server on a port went.
enum class StartAttempt { Started, PortTaken, Failed };
// Picks a free loopback port into `port` and calls `attempt`; again with another port, up to
// five times, while another process takes the port between the probe and the server's bind.
// True once the server started.
bool StartOnFreePort(int& port, std::string& error, const std::function<StartAttempt()>& attempt);

// Waits until a started server is ready (`ready` says so), at most `timeout`. A server that
// exits meanwhile is reaped: PortTaken when its log (`log()`) says its port was taken, else
// Failed; one not ready in time is killed. On failure `error` says why, with the log's end.
StartAttempt WaitUntilReady(pid_t& pid, const std::string& name, std::chrono::seconds timeout,
                            const std::function<bool()>& ready,
                            const std::function<std::string()>& log, std::string& error);

// The last `maxBytes` bytes of a file; "" when it cannot be read.
std::string ReadTail(const std::string& path, std::size_t maxBytes);

}  // namespace tvxtest
