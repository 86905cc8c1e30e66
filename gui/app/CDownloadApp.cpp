#include "app/CDownloadApp.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "app/MessageBox.h"
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
    // A file named on the command line is opened as the document: it must be
    // readable, but only its name is used, as the window's title.
    QString document;
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1) {
        QFile file(arguments.at(1));
        if (!file.open(QIODevice::ReadOnly)) {
            ShowMessageBox(("Cannot open " + arguments.at(1).toLocal8Bit() + ": " +
                            file.errorString().toLocal8Bit())
                               .toStdString());
            return false;
        }
        document = QFileInfo(file).fileName();
    }
    m_pMainWnd = new CMainFrame();
    if (!document.isEmpty())
        m_pMainWnd->SetDocumentTitle(document);
    tvx::WindowPlacement placement;
    const bool placed = tvx::LoadWindowPlacement(placement, tvx::SettingsFilePath());
    m_pMainWnd->ShowWithPlacement(placed ? &placement : nullptr);
    return true;
}
