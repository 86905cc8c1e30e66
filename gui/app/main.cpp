// tvx: the desktop program. Its start directory is the current directory.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/CDownloadApp.h"

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf(
            "usage: tvx [FILE]\n"
            "Starts the Tarvex Download Service with the current directory as its start\n"
            "directory: the download list tvx_downctrl.htm and the settings download.ini are\n"
            "read from and written to it. A FILE, when given, names the window's document.\n");
        return 0;
    }
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((platform == nullptr || *platform == '\0') && (display == nullptr || *display == '\0') &&
        (wayland == nullptr || *wayland == '\0')) {
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
    if (!app.InitInstance())
        return 1;
    return app.exec();
}
