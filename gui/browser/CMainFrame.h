#pragma once
// The main window: the download list at the upper left, the browser at the
// upper right and the log across the bottom, with the menu, the browser
// toolbar, the activity animation, the address box and the status bar. It
// restores the pane sizes from the settings file and saves them, with the
// window placement, when it closes.
//
// Commands go to the active pane (the one last clicked into) first: the
// browser's commands are available only while the browser is active.

#include <QMainWindow>
#include <QStringList>
#include <map>

#include "app/Settings.h"
#include "browser/HandOff.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QToolBar;
class CAnimateCtrl;
class CLeftView;
class CStaticSplitter;
class CStatusView;
class CSurfpaneView;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    enum class Pane { List, Browser, Log };

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // A request handed over from outside (a second tvx, the browser
    // extension): the window comes to the front and opens the link editor
    // or the download. reply says "" when it is taken (a download: once it
    // is under way in the file the person chose), else why not.
    void OnHandOff(const tvx::HandOffRequest& request,
                   std::function<void(const std::string&)> reply);

    // Applies a placement read from the settings: the restored rectangle and
    // the show state. Without one the window opens maximised.
    void ShowWithPlacement(const tvx::WindowPlacement* placement);
    // The placement to store: show state, flags and the restored rectangle;
    // the minimised and maximised positions are kept as they were read.
    tvx::WindowPlacement CurrentPlacement() const;
    // Writes "Settings"/"WindowPos" and the two "SPLITTER" sizes.
    void SaveFrameLayout();

    // Starts a check-and-download session over the checked links.
    void OnDownload();
    // Carries out a command as the menu, toolbar or accelerator would.
    void OnCommand(int command);
    QAction* Action(int command) const;
    Pane ActiveView() const { return m_activeView; }
    void SetActiveView(Pane pane);

    // The browser's reports: the address of a finished page, a navigation
    // that starts, the page title.
    void ShowAddress(const QString& address);
    void StartActivityAnimation();
    void SetDocumentTitle(const QString& title);

    // The favorites' addresses; entry i belongs to command 3584 + i.
    QStringList& FavoriteAddresses() { return m_favoriteAddresses; }
    // Builds the favorites menu from the Favorites folder (once, at creation).
    void LoadFavorites();
    QMenu* FavoritesMenu() const { return m_favoritesMenu; }
    QMenu* FontMenu() const { return m_fontMenu; }
    QComboBox* AddressBox() const { return m_addressBox; }
    CAnimateCtrl* ActivityAnimation() const { return m_activityAnimation; }

    CLeftView* LeftView() const { return m_pLeftView; }
    CStatusView* StatusView() const { return m_pStatusView; }
    CSurfpaneView* SurfpaneView() const { return m_pSurfpaneView; }
    CStaticSplitter* RowSplitter() const { return m_rowSplitter; }
    CStaticSplitter* ColumnSplitter() const { return m_columnSplitter; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnCreate();
    void OnCreateClient();
    void CreateMenus();
    void CreateBars();
    QAction* MakeAction(int command, const QString& text, const QKeySequence& shortcut = {});
    void OnAddressEnter();
    void OnFocusChanged(QWidget* now);
    void UpdateCommandStates();
    void UpdateKeyIndicators();

    QStringList m_favoriteAddresses;
    std::map<int, QAction*> m_actions;
    QToolBar* m_toolBar = nullptr;
    QToolBar* m_addressBar = nullptr;
    QComboBox* m_addressBox = nullptr;
    CAnimateCtrl* m_activityAnimation = nullptr;
    QMenu* m_favoritesMenu = nullptr;
    QMenu* m_fontMenu = nullptr;
    QLabel* m_indicators[3] = {};
    CStaticSplitter* m_rowSplitter = nullptr;     // upper row above the log
    CStaticSplitter* m_columnSplitter = nullptr;  // download list beside the browser
    CLeftView* m_pLeftView = nullptr;
    CStatusView* m_pStatusView = nullptr;
    CSurfpaneView* m_pSurfpaneView = nullptr;
    Pane m_activeView = Pane::Browser;
    tvx::WindowPlacement m_placement;  // as read, for the positions kept on save
    bool m_saved = false;
    // The list pane's width as the user left it while a session widens the
    // pane for itself; -1 when no session runs. The layout saved is this one.
    int m_userListWidth = -1;
};

// The program-wide pointer to the main window.
extern CMainFrame* g_pMainFrame;
