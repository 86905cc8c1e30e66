#include "app/CDownloadApp.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/ColorScheme.h"
#include "app/CommandLine.h"
#include "app/MessageBox.h"
#include "app/Settings.h"
#include "app/TitleFit.h"
#include "app/Version.h"
#include "browser/CMainFrame.h"
#include "browser/EngineHardening.h"

CDownloadApp::CDownloadApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Tarvex Download Service"));
    setOrganizationName(QStringLiteral("Tarvex"));
    setApplicationVersion(QString::fromLatin1(tvx::kVersion));
    setDesktopFileName(QStringLiteral("tvx"));
    ApplyColorScheme(*this);
    InstallTitleFit(*this);
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
    // readable, but only its name is used, as the window's title. Options are
    // not documents: the toolkit has already taken its own out of arguments(),
    // and the browser engine reads its own from the same list.
    QString document;
    std::vector<std::string> arguments;
    const QStringList given = QCoreApplication::arguments();
    for (qsizetype i = 1; i < given.size(); ++i)
        arguments.push_back(given.at(i).toLocal8Bit().toStdString());
    if (const std::optional<std::string> name = tvx::DocumentArgument(arguments)) {
        QFile file(QString::fromLocal8Bit(name->c_str()));
        if (!file.open(QIODevice::ReadOnly)) {
            ShowMessageBox(tr("Cannot open %1: %2")
                               .arg(QString::fromLocal8Bit(name->c_str()), file.errorString())
                               .toStdString());
            return false;
        }
        document = QFileInfo(file).fileName();
    }
    // The engine's flags go before its first use.
    PrepareBrowserEngine();
    m_pMainWnd = new CMainFrame();
    if (!document.isEmpty())
        m_pMainWnd->SetDocumentTitle(document);
    tvx::WindowPlacement placement;
    const bool placed = tvx::LoadWindowPlacement(placement, tvx::SettingsFilePath());
    m_pMainWnd->ShowWithPlacement(placed ? &placement : nullptr);
    return true;
}
