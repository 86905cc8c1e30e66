#include "Process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace tvxtest {

namespace {
std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string OutputPath(const std::string& folder, pid_t pid, const char* which) {
    return folder + "/." + which + "." + std::to_string(pid);
}

// The current environment with the changes made, as "NAME=value" texts.
std::vector<std::string> ChangedEnvironment(const EnvironmentChanges& changes) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool changed = false;
        for (const auto& change : changes)
            changed = changed || change.first == name;
        if (!changed)
            result.push_back(text);
    }
    for (const auto& [name, value] : changes) {
        if (value)
            result.push_back(name + "=" + *value);
    }
    return result;
}
}  // namespace

pid_t StartProcess(const std::string& program, const std::vector<std::string>& args,
                   const std::string& folder, const EnvironmentChanges& environment) {
    // Made before the fork: the child may only make async-signal-safe calls.
    const std::vector<std::string> envTexts = ChangedEnvironment(environment);
    std::vector<char*> envp;
    for (const std::string& text : envTexts)
        envp.push_back(const_cast<char*>(text.c_str()));
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    // Child: only async-signal-safe calls until exec.
    if (chdir(folder.c_str()) != 0)
        _exit(127);
    const std::string out = OutputPath(folder, getpid(), "out");
    const std::string err = OutputPath(folder, getpid(), "err");
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0)
        _exit(127);
    dup2(o, 1);
    dup2(e, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
}

ProcessResult WaitProcess(pid_t pid, const std::string& folder, int timeoutMs) {
    ProcessResult result;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0)
            return result;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    const std::string out = OutputPath(folder, pid, "out");
    const std::string err = OutputPath(folder, pid, "err");
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return result;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& folder, int timeoutMs,
                         const EnvironmentChanges& environment) {
    return WaitProcess(StartProcess(program, args, folder, environment), folder, timeoutMs);
}

}  // namespace tvxtest
