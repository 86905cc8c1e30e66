#pragma once
// Ctrl+C and termination for the headless commands: the signal only sets a
// flag, which the commands poll between steps and the network layer polls
// while it waits, so a transfer is broken off cleanly (its control file
// stays for the next run) instead of being killed in the middle of a write.

#include <atomic>
#include <csignal>

namespace tvxcli {

inline std::atomic<bool> g_interrupted{false};

inline void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = [](int) { g_interrupted = true; };
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe on the output is no reason to stop
}

}  // namespace tvxcli
