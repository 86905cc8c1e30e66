#pragma once

// Running a server program (nginx, squid, python's http.server) as a child of a test: in its
// own process group, so that it and everything it starts can be stopped together, and told to
// stop when the thread that started it ends, so that it does not outlive a crashed test.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
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

// Whether `pid` has exited. It is left unreaped (a zombie), so that its process id, which is
// also its process group id, cannot be reused while the group may still be signalled.
bool HasExited(pid_t pid);

// Kills whatever is left of the process group led by `pid`, reaps the leader and returns its
// wait status.
int KillGroupAndReap(pid_t pid);

// Sends `signal` to the leader, waits up to `grace` for it to exit, then kills the whole group
// and reaps the leader. Sets `pid` to -1; does nothing when it is not positive.
void StopServerProcess(pid_t& pid, int signal, std::chrono::milliseconds grace);

// "exited with status N" or "killed by signal NAME".
std::string DescribeStatus(int status);

// Whether something accepts TCP connections on 127.0.0.1:`port`.
bool AcceptsConnections(int port);

// The last `maxBytes` bytes of a file; "" when it cannot be read.
std::string ReadTail(const std::string& path, std::size_t maxBytes);

}  // namespace tvxtest
