#include "ServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#include "TestHttpServer.h"

namespace tvxtest {

namespace {
constexpr auto kPollInterval = std::chrono::milliseconds(10);

// Whether `pid` has exited. It is left unreaped (a zombie), so that its process id, which is
// also its process group id, cannot be reused while the group may still be signalled.
bool HasExited(pid_t pid) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno != EINTR;  // ECHILD: nothing left to wait for
    return info.si_pid != 0;
}

// Kills whatever is left of the process group led by `pid`, reaps the leader and returns its
// wait status.
int KillGroupAndReap(pid_t pid) {
    kill(-pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// "exited with status N" or "killed by signal NAME".
std::string DescribeStatus(int status) {
    if (WIFEXITED(status))
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return std::string("killed by signal ") + strsignal(WTERMSIG(status));
    return "stopped";
}

}  // namespace

pid_t StartServerProcess(const std::vector<std::string>& argv, const std::string& outputLog,
                         const std::string& workingDirectory, std::string& error,
                         const std::optional<RunAs>& runAs) {
    // Everything the child needs is prepared here: between fork and exec only
    // async-signal-safe calls are allowed, since other threads may hold locks.
    std::vector<const char*> args;
    for (const std::string& arg : argv)
        args.push_back(arg.c_str());
    args.push_back(nullptr);
    const int output = open(outputLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (output < 0 || input < 0) {
        error = "cannot open " + outputLog + " or /dev/null: " + std::strerror(errno);
        if (output >= 0)
            close(output);
        if (input >= 0)
            close(input);
        return -1;
    }
    if (runAs && fchown(output, runAs->uid, runAs->gid) != 0) {
        error = "cannot hand " + outputLog + " over: " + std::strerror(errno);
        close(output);
        close(input);
        return -1;
    }
    const pid_t parent = getpid();

    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0)
            _exit(127);
        if (runAs) {
            if (setgroups(1, &runAs->gid) != 0 || setgid(runAs->gid) != 0 ||
                setuid(runAs->uid) != 0)
                _exit(127);
        }
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
        execv(args[0], const_cast<char* const*>(args.data()));
        _exit(127);
    }
    const int forkErrno = errno;
    close(output);
    close(input);
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(forkErrno);
        return -1;
    }
    setpgid(pid, pid);  // also in the parent, so the group exists before we may signal it
    return pid;
}

void StopServerProcess(pid_t& pid, int signal, std::chrono::milliseconds grace) {
    if (pid <= 0)
        return;
    kill(pid, signal);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!HasExited(pid) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(kPollInterval);
    KillGroupAndReap(pid);
    pid = -1;
}

bool AcceptsConnections(int port) {
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

std::string MakePrivateFolder(const std::string& name, std::string& error) {
    std::error_code failed;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(failed);
    std::string pattern =
        ((failed ? std::filesystem::path("/tmp") : temp) / name).string() + "-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr)
        return pattern;
    error = "mkdtemp " + pattern + ": " + std::strerror(errno);
    return {};
}

bool StartOnFreePort(int& port, std::string& error, const std::function<StartAttempt()>& attempt) {
    for (int i = 0; i < 5; ++i) {
        try {
            port = UnusedLoopbackPort();
        } catch (const std::system_error& failure) {
            error = failure.what();
            return false;
        }
        const StartAttempt result = attempt();
        if (result != StartAttempt::PortTaken) {
            if (result == StartAttempt::Started)
                error.clear();
            return result == StartAttempt::Started;
        }
    }
    return false;
}

StartAttempt WaitUntilReady(pid_t& pid, const std::string& name, std::chrono::seconds timeout,
                            const std::function<bool()>& ready,
                            const std::function<std::string()>& log, std::string& error) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (HasExited(pid)) {
            const int status = KillGroupAndReap(pid);
            pid = -1;
            const std::string tail = log();
            if (tail.find("Address already in use") != std::string::npos)
                return StartAttempt::PortTaken;
            error = name + " " + DescribeStatus(status) + "\n" + tail;
            return StartAttempt::Failed;
        }
        if (ready())
            return StartAttempt::Started;
        if (std::chrono::steady_clock::now() >= deadline) {
            StopServerProcess(pid, SIGKILL, std::chrono::seconds(5));
            error = name + " did not accept connections within " + std::to_string(timeout.count()) +
                    " s\n" + log();
            return StartAttempt::Failed;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

}  // namespace tvxtest
