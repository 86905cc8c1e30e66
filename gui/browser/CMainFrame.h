#pragma once
// The main window: the download list at the upper left, the browser at the
// upper right, the log across the bottom.

#include <QMainWindow>

#include "app/Settings.h"

class CStaticSplitter;
class CLeftView;
class CStatusView;
class CSurfpaneView;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Applies a placement read from the settings: the restored rectangle and
    // the show state. Without one the window opens maximised.
    void ShowWithPlacement(const tvx::WindowPlacement* placement);
    // The placement to store: show state, flags and the restored rectangle;
    // the minimised and maximised positions are kept as they were read.
    tvx::WindowPlacement CurrentPlacement() const;
    // Writes "Settings"/"WindowPos" and the two "SPLITTER" sizes.
    void SaveFrameLayout();

    CLeftView* LeftView() const { return m_pLeftView; }
    CStatusView* StatusView() const { return m_pStatusView; }
    CSurfpaneView* SurfpaneView() const { return m_pSurfpaneView; }
    CStaticSplitter* RowSplitter() const { return m_rowSplitter; }
    CStaticSplitter* ColumnSplitter() const { return m_columnSplitter; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnCreateClient();

    CStaticSplitter* m_rowSplitter = nullptr;     // upper row above the log
    CStaticSplitter* m_columnSplitter = nullptr;  // download list beside the browser
    CLeftView* m_pLeftView = nullptr;
    CStatusView* m_pStatusView = nullptr;
    CSurfpaneView* m_pSurfpaneView = nullptr;
    tvx::WindowPlacement m_placement;  // as read, for the positions kept on save
    bool m_saved = false;
};
