#include "browser/CMainFrame.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

#include "browser/CStaticSplitter.h"
#include "browser/CSurfpaneView.h"
#include "browser/FrameLayout.h"
#include "downloadlist/CLeftView.h"
#include "downloadlist/LinkRecord.h"
#include "downloadlist/TreeFile.h"
#include "session/CStatusView.h"

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Tarvex Download Service"));
    // The size the window has before start-up maximises or places it. The
    // first-start pane layout is computed from it.
    QSize size(1024, 768);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        size = screen->availableSize() * 3 / 4;
    }
    resize(size);
    OnCreateClient();
}

CMainFrame::~CMainFrame() {
    // A window that goes away without being closed (the program is asked to
    // quit, the desktop session ends) still leaves its list and layout behind.
    if (!m_saved) {
        m_saved = true;
        tvx::g_linkTable.modified = true;
        m_pLeftView->SaveTreeControl();
        SaveFrameLayout();
    }
}

void CMainFrame::OnCreateClient() {
    const QSize frame = frameGeometry().size().expandedTo(size());
    m_rowSplitter = new CStaticSplitter(Qt::Vertical, this);
    m_columnSplitter = new CStaticSplitter(Qt::Horizontal, m_rowSplitter);
    m_pLeftView = new CLeftView(m_columnSplitter);
    m_pSurfpaneView = new CSurfpaneView(m_columnSplitter);
    m_pStatusView = new CStatusView(m_rowSplitter);

    const tvx::FrameLayout layout = tvx::InitialFrameLayout(
        frame.width(), frame.height(), tvx::LoadSplitterSizes(tvx::SettingsFilePath()));
    m_rowSplitter->SetPaneInfo(0, layout.upperRow.ideal, layout.upperRow.minimum);
    m_rowSplitter->SetPaneInfo(1, layout.logRow.ideal, layout.logRow.minimum);
    m_columnSplitter->SetPaneInfo(0, layout.listColumn.ideal, layout.listColumn.minimum);
    m_columnSplitter->SetPaneInfo(1, layout.browserColumn.ideal, layout.browserColumn.minimum);
    setCentralWidget(m_rowSplitter);
    m_pLeftView->OnInitialUpdate();
}

void CMainFrame::ShowWithPlacement(const tvx::WindowPlacement* placement) {
    if (placement == nullptr) {
        showMaximized();
    } else {
        m_placement = *placement;
        const QRect normal(placement->left, placement->top, placement->right - placement->left,
                           placement->bottom - placement->top);
        if (normal.width() > 0 && normal.height() > 0)
            setGeometry(normal);
        switch (placement->showCmd) {
            case tvx::WindowPlacement::kShowMaximized:
                showMaximized();
                break;
            case tvx::WindowPlacement::kShowMinimized:
            case 6:   // minimise
            case 7:   // show minimised without activating
            case 11:  // force minimise
                if (placement->flags & tvx::WindowPlacement::kRestoreToMaximized) {
                    setWindowState(Qt::WindowMinimized | Qt::WindowMaximized);
                    show();
                } else {
                    showMinimized();
                }
                break;
            default:  // normal, and a hidden state, which would lose the window
                showNormal();
                break;
        }
    }
}

tvx::WindowPlacement CMainFrame::CurrentPlacement() const {
    tvx::WindowPlacement p = m_placement;
    p.flags = isMaximized() ? tvx::WindowPlacement::kRestoreToMaximized : 0;
    if (isMinimized()) {
        p.flags = 0;
        p.showCmd = tvx::WindowPlacement::kShowMinimized;
    } else if (isMaximized()) {
        p.showCmd = tvx::WindowPlacement::kShowMaximized;
    } else {
        p.showCmd = tvx::WindowPlacement::kShowNormal;
    }
    const QRect normal = (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
    p.left = normal.left();
    p.top = normal.top();
    p.right = normal.left() + normal.width();
    p.bottom = normal.top() + normal.height();
    return p;
}

void CMainFrame::SaveFrameLayout() {
    const std::string settings = tvx::SettingsFilePath();
    tvx::SaveWindowPlacement(CurrentPlacement(), settings);
    const QList<int> columns = m_columnSplitter->sizes();
    const QList<int> rows = m_rowSplitter->sizes();
    tvx::SaveSplitterSizes({columns.value(0), rows.value(0)}, settings);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_saved) {
        event->accept();
        return;
    }
    // The list is always written when the window goes away. A list that cannot
    // be written is not dropped silently: the user may try again, close
    // without it, or keep the window open.
    tvx::g_linkTable.modified = true;
    std::string error;
    while (!m_pLeftView->SaveTreeControl(&error)) {
        const auto answer = QMessageBox::warning(
            this, windowTitle(),
            tr("The download list could not be saved to %1:\n%2")
                .arg(QString::fromStdString(tvx::TreeControlFilePath()),
                     QString::fromStdString(error)),
            QMessageBox::Retry | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Retry);
        if (answer == QMessageBox::Discard)
            break;
        if (answer != QMessageBox::Retry) {
            event->ignore();
            return;
        }
    }
    m_saved = true;
    SaveFrameLayout();
    event->accept();
}
