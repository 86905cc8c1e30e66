// tvx: the desktop program. Its start directory is the current directory.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/CDownloadApp.h"
#include "app/CTerminationSignals.h"
#include "app/CWindowServer.h"
#include "app/CommandLine.h"
#include "app/Translation.h"
#include "browser/CMainFrame.h"
#include "browser/EngineHardening.h"
#include "browser/HandOff.h"
#include "platform/FileSystem.h"

namespace {

constexpr char kHelp[] =
    "Usage: tvx [OPTIONS] [FILE]\n"
    "Starts the Tarvex Download Service, a web browser with a resumable\n"
    "downloader, with the current directory as its start directory: the download\n"
    "list tvx_downctrl.htm and the settings download.ini are read from and written\n"
    "to it. A FILE, when given, must be readable; its name becomes the window's\n"
    "title.\n"
    "\n"
    "One window runs per folder: a second tvx started in a folder whose window\n"
    "runs hands its links to that window and ends.\n"
    "\n"
    "Options:\n"
    "      --add ADDRESS       open the link editor with ADDRESS filled in\n"
    "      --download ADDRESS  download ADDRESS through the download dialog\n"
    "      --referrer URL      the page the link was on (with --add or --download)\n"
    "      --text TEXT         the link's text (with --add)\n"
    "      --last-folder       start in the folder used last (else ~/Downloads)\n"
    "  -h, --help              show this help and exit\n"
    "      --version           show the version and exit\n"
    "Every other argument that begins with \"-\" is passed on: the Qt toolkit's\n"
    "options (such as -platform NAME or -style NAME) and the browser engine's\n"
    "(such as --disable-gpu, or all that follow --webEngineArgs). A lone \"--\"\n"
    "ends the options, for a FILE whose name begins with \"-\".\n"
    "\n"
    "Exit status:\n"
    "  0  the window was closed, the links went to the folder's window, or --help\n"
    "     or --version\n"
    "  1  no display, FILE cannot be opened, or the folder's window refused\n"
    "  2  wrong options\n"
    "\n"
    "See tvx(1).\n";

// Moves to the folder used last, or to ~/Downloads the first time.
void GoToLastFolder() {
    const std::string folder = tvx::DefaultFolder();
    if (::chdir(folder.c_str()) != 0)
        std::fprintf(stderr, "tvx: cannot go to %s: %s\n", folder.c_str(), std::strerror(errno));
}

// Hands the links to the window that runs in the folder, waiting a moment for
// one that is still starting. The exit status of this start.
int HandToWindow(const std::string& folder, const tvx::WindowOptions& options) {
    tvx::HandOffRequest request;
    request.action = options.action.empty() ? "show" : options.action;
    request.url = options.url;
    request.referrer = options.referrer;
    request.text = options.text;
    std::string answer, error;
    bool delivered = false;
    // Sent again only while no window could be reached at all: one that took
    // the request acts on it, and answers a download once the person chose.
    for (int attempt = 0; attempt < 50 && !delivered; ++attempt) {
        if (tvx::SendToWindow(tvx::WindowSocketPath(folder), tvx::EncodeHandOff(request), answer,
                              error, tvx::kDecisionWaitMs, &delivered)) {
            if (tvx::ParseHandOffAnswer(answer, error))
                return 0;
            std::fprintf(stderr, "tvx: the window of %s refused: %s\n", folder.c_str(),
                         error.c_str());
            return 1;
        }
        if (!delivered)
            ::usleep(200 * 1000);
    }
    std::fprintf(stderr, "tvx: the window of %s does not answer: %s\n", folder.c_str(),
                 error.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (tvx::AnswerStandardOption(argc, argv, "tvx", kHelp)) {
        // The version names the browser engine too: the distribution gives
        // it no security updates, so which one it is matters.
        for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
            if (std::strcmp(argv[i], "--version") == 0) {
                std::printf("Browser engine: %s\n", EngineVersion().toLatin1().constData());
                break;
            }
            if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
                break;
        }
        return 0;
    }
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const tvx::WindowOptions options = tvx::TakeWindowOptions(arguments);
    if (!options.error.empty()) {
        std::fprintf(stderr, "tvx: %s\n", options.error.c_str());
        return 2;
    }
    if (options.lastFolder)
        GoToLastFolder();
    // One window per folder: the folder's lock is held by its window for as
    // long as it runs (the kernel lets go of it when the window ends).
    char* real = ::realpath(".", nullptr);
    const std::string folder = real != nullptr ? real : tvx::CurrentDirectory();
    std::free(real);
    const int lock =
        ::open(tvx::WindowLockPath(folder).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) != 0)
        return HandToWindow(folder, options);
    tvx::RememberFolder(folder);
    // The toolkit sees the arguments without the program's own options.
    std::vector<char*> rest{argv[0]};
    for (std::string& a : arguments)
        rest.push_back(a.data());
    rest.push_back(nullptr);
    argc = static_cast<int>(rest.size()) - 1;
    argv = rest.data();
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((platform == nullptr || *platform == '\0') && (display == nullptr || *display == '\0') &&
        (wayland == nullptr || *wayland == '\0') && !tvx::ChoosesDisplay(arguments)) {
        std::fprintf(stderr,
                     "tvx: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are "
                     "unset).\nStart it from a desktop session, or under a virtual X server:\n"
                     "    xvfb-run -a -s '-screen 0 1280x1024x24' %s\n",
                     argv[0]);
        return 1;
    }
    // The browser engine refuses to start its sandbox for the root user; a
    // root session (common in containers) runs it without one.
    if (geteuid() == 0 && std::getenv("QTWEBENGINE_DISABLE_SANDBOX") == nullptr) {
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    CDownloadApp app(argc, argv);
    // The window speaks the locale's language where it has a translation;
    // what goes to the terminal above and below stays English.
    InstallTranslations(QLocale::system());
    CTerminationSignals termination;
    if (!app.InitInstance())
        return 1;
    CMainFrame* frame = app.MainFrame();
    CWindowServer server([frame](const tvx::HandOffRequest& r, CWindowServer::Reply reply) {
        frame->OnHandOff(r, std::move(reply));
    });
    std::string error;
    if (!server.Listen(folder, error))
        std::fprintf(stderr, "tvx: other programs cannot hand links to this window: %s\n",
                     error.c_str());
    if (!options.action.empty()) {
        tvx::HandOffRequest request;
        request.action = options.action;
        request.url = options.url;
        request.referrer = options.referrer;
        request.text = options.text;
        std::string why;
        // The same rules as for a request from outside.
        if (tvx::ParseHandOff(tvx::EncodeHandOff(request), tvx::CookieForm::Lines, request, why))
            frame->OnHandOff(request, [](const std::string&) {});
        else
            std::fprintf(stderr, "tvx: %s\n", why.c_str());
    }
    return app.exec();
}
