#pragma once
// Runs the project's commands as child processes in a test.

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tvxtest {

struct ProcessResult {
    int exitCode = -1;  // -1 when it did not exit normally
    int signal = 0;     // the signal that ended it, if any
    std::string out, err;
};

// Changes to the environment a child inherits: each entry sets a variable to
// its value, or removes the variable when the value is std::nullopt.
using EnvironmentChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

// Starts the program with the arguments in the folder; standard output and
// error go to files in the folder named after the pid. Returns the pid.
pid_t StartProcess(const std::string& program, const std::vector<std::string>& args,
                   const std::string& folder, const EnvironmentChanges& environment = {});
// Waits for a started process (at most timeoutMs, then it is killed).
ProcessResult WaitProcess(pid_t pid, const std::string& folder, int timeoutMs = 60000);
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& folder, int timeoutMs = 60000,
                         const EnvironmentChanges& environment = {});

}  // namespace tvxtest
