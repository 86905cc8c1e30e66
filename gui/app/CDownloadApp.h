#pragma once
// The application object: starts the program in its start directory, creates
// the main window and restores its placement.

#include <QApplication>

class CMainFrame;

class CDownloadApp : public QApplication {
    Q_OBJECT
public:
    CDownloadApp(int& argc, char** argv);
    ~CDownloadApp() override;

    // The start-up sequence; false ends the program at once.
    bool InitInstance();
    CMainFrame* MainFrame() const { return m_pMainWnd; }

private:
    CMainFrame* m_pMainWnd = nullptr;
};
