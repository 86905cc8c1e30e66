#pragma once
// Ctrl+C, termination and the time limit for the headless commands: a signal
// only sets a flag, which the commands poll between steps and the network
// layer polls while it waits, so a transfer is broken off cleanly (its control
// file stays for the next run) instead of being killed in the middle of a write.

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <string>

namespace tvxcli {

inline std::atomic<bool> g_interrupted{false};
inline std::atomic<bool> g_timedOut{false};

inline void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = [](int) { g_interrupted = true; };
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe on the output is no reason to stop
}

// The whole run may take at most this many seconds; then it is broken off
// as by Ctrl+C.
inline void StartTimeLimit(unsigned seconds) {
    struct sigaction action {};
    action.sa_handler = [](int) {
        g_timedOut = true;
        g_interrupted = true;
    };
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, nullptr);
    alarm(seconds);
}

// A positive whole number of seconds (at most a year); 0 when the text is none.
inline unsigned ParseSeconds(const char* text) {
    if (text == nullptr || *text < '0' || *text > '9')
        return 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (*end != '\0' || value == 0 || value > 366UL * 24 * 3600)
        return 0;
    return static_cast<unsigned>(value);
}

}  // namespace tvxcli
