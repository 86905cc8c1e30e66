// tvx-browser-host: the native messaging host of the browser extension. The
// browser starts it and talks to it on standard input and output: each
// message is a 32-bit length in the machine's byte order followed by that
// many bytes of JSON.
//
//   {"action": "download" | "add", "url", "referrer", "cookies", "filename", "folder"}
//
// A request goes to the window of its folder (the start directory; the one
// used last when the request names none), which is started when none runs
// there; a request that reached a window is never sent again. The answer is
// the window's: {"ok": true} once a download is under way where the person
// chose, {"ok": false, "error": "..."} when it was declined or failed. Bad
// input (a frame that is too long, broken JSON, an address that is not http
// or https, a folder that does not exist) is answered with the reason; the
// host writes no file and keeps nothing.

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "app/CommandLine.h"
#include "browser/HandOff.h"

namespace {

// What a browser sends is a link and its cookies: far below this.
constexpr std::uint32_t kMaxMessage = 1 << 20;

bool ReadAll(int fd, char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t r = ::read(fd, data, n);
        if (r <= 0)
            return false;
        data += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

bool Answer(const std::string& json) {
    const auto n = static_cast<std::uint32_t>(json.size());
    std::string frame(reinterpret_cast<const char*>(&n), sizeof n);
    frame += json;
    return ::write(STDOUT_FILENO, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size());
}

// The window program beside this one, else the one on the PATH.
std::string WindowProgram() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string path(self, static_cast<std::size_t>(n));
        path = path.substr(0, path.rfind('/') + 1) + "tvx";
        if (::access(path.c_str(), X_OK) == 0)
            return path;
    }
    return "tvx";
}

// Starts the window in folder, apart from this process and its channel.
bool StartWindow(const std::string& folder) {
    const std::string program = WindowProgram();
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::setsid();
        const int null = ::open("/dev/null", O_RDWR);
        if (null < 0 || ::chdir(folder.c_str()) != 0)
            _exit(127);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        // Its own child, so that it outlives this host without a zombie.
        if (::fork() != 0)
            _exit(0);
        ::execlp(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid;
}

std::string Handle(const std::string& json) {
    tvx::HandOffRequest request;
    std::string error;
    if (!tvx::ParseHandOff(json, tvx::CookieForm::Objects, request, error))
        return tvx::HandOffAnswer(false, error);
    const std::string folder = request.folder.empty() ? tvx::DefaultFolder() : request.folder;
    char real[PATH_MAX];
    struct stat st {};
    if (folder[0] != '/' || ::realpath(folder.c_str(), real) == nullptr || ::stat(real, &st) != 0 ||
        !S_ISDIR(st.st_mode)) {
        return tvx::HandOffAnswer(false, "the folder does not exist: " + folder);
    }
    const std::string socket = tvx::WindowSocketPath(real);
    const std::string line = tvx::EncodeHandOff(request);
    // Sent once: only a window that could not be reached at all is started
    // and asked again. The answer waits for the person's decision.
    std::string answer;
    bool delivered = false;
    bool sent = tvx::SendToWindow(socket, line, answer, error, tvx::kDecisionWaitMs, &delivered);
    if (!sent && !delivered) {
        if (!StartWindow(real))
            return tvx::HandOffAnswer(false, "the window could not be started");
        // The window takes a while to start its browser engine.
        for (int attempt = 0; attempt < 150 && !sent && !delivered; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            sent = tvx::SendToWindow(socket, line, answer, error, tvx::kDecisionWaitMs, &delivered);
        }
    }
    if (!sent)
        return tvx::HandOffAnswer(
            false, "the window of " + std::string(real) + " does not answer: " + error);
    const bool ok = tvx::ParseHandOffAnswer(answer, error);
    return tvx::HandOffAnswer(ok, error);
}

}  // namespace

int main(int argc, char** argv) {
    // The browser passes the manifest's path (and, for Chromium, the
    // extension's origin); a person asking for help gets it.
    if (argc > 1 &&
        (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "--version") == 0)) {
        if (argv[1][2] == 'v')
            std::printf("%s\n", tvx::VersionLine("tvx-browser-host").c_str());
        else
            std::printf(
                "Usage: tvx-browser-host\n"
                "The native messaging host of the Tarvex browser extension: started by\n"
                "Firefox or Chromium, it hands links to the window of a download list.\n"
                "See tvx(1).\n");
        return 0;
    }
    std::signal(SIGPIPE, SIG_IGN);  // a browser gone is an ended channel, not a crash
    for (;;) {
        std::uint32_t length = 0;
        if (!ReadAll(STDIN_FILENO, reinterpret_cast<char*>(&length), sizeof length))
            return 0;  // the browser closed the channel
        if (length > kMaxMessage) {
            // The rest of the channel cannot be trusted to be framed any more.
            Answer(tvx::HandOffAnswer(
                false, "the message is too long: " + std::to_string(length) + " bytes"));
            return 1;
        }
        std::string json(length, '\0');
        if (!ReadAll(STDIN_FILENO, json.data(), length))
            return 1;
        if (!Answer(Handle(json)))
            return 1;
    }
}
