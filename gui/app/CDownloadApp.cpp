#include "app/CDownloadApp.h"

#include <cstdio>

#include "app/Settings.h"
#include "browser/CMainFrame.h"

CDownloadApp::CDownloadApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Tarvex Download Service"));
    setOrganizationName(QStringLiteral("Tarvex"));
    setDesktopFileName(QStringLiteral("tvx"));
}

CDownloadApp::~CDownloadApp() {
    delete m_pMainWnd;
}

bool CDownloadApp::InitInstance() {
    if (!tvx::CaptureStartDirectory()) {
        std::fprintf(stderr, "tvx: the current directory cannot be read; using %s instead\n",
                     tvx::g_startDirectory.c_str());
    }
    m_pMainWnd = new CMainFrame();
    tvx::WindowPlacement placement;
    const bool placed = tvx::LoadWindowPlacement(placement, tvx::SettingsFilePath());
    m_pMainWnd->ShowWithPlacement(placed ? &placement : nullptr);
    return true;
}
