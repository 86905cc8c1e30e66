// tvx: the desktop program. Its start directory is the current directory.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/CDownloadApp.h"
#include "app/CTerminationSignals.h"
#include "app/CommandLine.h"
#include "browser/EngineHardening.h"

namespace {

constexpr char kHelp[] =
    "Usage: tvx [OPTIONS] [FILE]\n"
    "Starts the Tarvex Download Service, a web browser with a resumable\n"
    "downloader, with the current directory as its start directory: the download\n"
    "list tvx_downctrl.htm and the settings download.ini are read from and written\n"
    "to it. A FILE, when given, must be readable; its name becomes the window's\n"
    "title.\n"
    "\n"
    "Options:\n"
    "  -h, --help              show this help and exit\n"
    "      --version           show the version and exit\n"
    "Every other argument that begins with \"-\" is passed on: the Qt toolkit's\n"
    "options (such as -platform NAME or -style NAME) and the browser engine's\n"
    "(such as --disable-gpu, or all that follow --webEngineArgs). A lone \"--\"\n"
    "ends the options, for a FILE whose name begins with \"-\".\n"
    "\n"
    "Exit status:\n"
    "  0  the window was closed, or --help or --version\n"
    "  1  no display, or FILE cannot be opened\n"
    "\n"
    "See tvx(1).\n";

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
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((platform == nullptr || *platform == '\0') && (display == nullptr || *display == '\0') &&
        (wayland == nullptr || *wayland == '\0') &&
        !tvx::ChoosesDisplay(std::vector<std::string>(argv + 1, argv + argc))) {
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
    CTerminationSignals termination;
    if (!app.InitInstance())
        return 1;
    return app.exec();
}
