#include "browser/CMainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "app/CAboutDlg.h"
#include "app/CommandIds.h"
#include "app/Controls.h"
#include "app/KeyIndicators.h"
#include "app/MessageBox.h"
#include "browser/CStaticSplitter.h"
#include "browser/CSurfpaneView.h"
#include "browser/Favorites.h"
#include "browser/FrameLayout.h"
#include "downloadlist/CLeftView.h"
#include "downloadlist/LinkRecord.h"
#include "downloadlist/TreeFile.h"
#include "platform/FileSystem.h"
#include "res/Images.h"
#include "session/CSessionDlg.h"
#include "session/CStatusView.h"
#include "session/WorkList.h"

CMainFrame* g_pMainFrame = nullptr;

namespace {
const QString kAppTitle = QStringLiteral("Tarvex Download Service");
constexpr int kSessionPaneWidth = 430;
}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    g_pMainFrame = this;
    setWindowIcon(AppIcon());
    // The size the window has before start-up maximises or places it. The
    // first-start pane layout is computed from it.
    QSize size(1024, 768);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = screen->availableSize() * 3 / 4;
    resize(size);
    OnCreate();
    OnCreateClient();
    SetDocumentTitle(tr("Untitled"));
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { OnFocusChanged(now); });
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
    disconnect(qApp, nullptr, this, nullptr);
    if (g_pMainFrame == this)
        g_pMainFrame = nullptr;
}

QAction* CMainFrame::MakeAction(int command, const QString& text, const QKeySequence& shortcut) {
    QAction* action = nullptr;
    const auto found = m_actions.find(command);
    if (found != m_actions.end()) {
        action = found->second;  // the same command in another menu
    } else {
        action = new QAction(text, this);
        action->setData(command);
        const QString prompt = CommandPrompt(command);
        const qsizetype lf = prompt.indexOf(QLatin1Char('\n'));
        action->setStatusTip(prompt.left(lf));
        if (lf >= 0)
            action->setToolTip(prompt.mid(lf + 1));
        if (!shortcut.isEmpty())
            action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
        addAction(action);  // its accelerator works wherever the focus is in the window
        m_actions[command] = action;
    }
    return action;
}

QAction* CMainFrame::Action(int command) const {
    const auto found = m_actions.find(command);
    return found == m_actions.end() ? nullptr : found->second;
}

void CMainFrame::CreateMenus() {
    // A menu entry may carry another label than the toolbar button of the
    // same command, so entries are their own actions sharing the command.
    auto entry = [this](QMenu* menu, int command, const QString& text,
                        const QKeySequence& key = {}) {
        QAction* shared = MakeAction(command, text, key);
        QAction* item = menu->addAction(text);
        item->setData(command);
        item->setStatusTip(shared->statusTip());
        if (!key.isEmpty())
            item->setShortcut(key);
        item->setShortcutContext(Qt::WidgetShortcut);  // the shared action holds the accelerator
        item->setEnabled(shared->isEnabled());
        connect(item, &QAction::triggered, shared, &QAction::trigger);
        connect(shared, &QAction::enabledChanged, item, &QAction::setEnabled);
        connect(shared, &QAction::toggled, item, [item](bool on) { item->setChecked(on); });
        if (shared->isCheckable()) {
            item->setCheckable(true);
            item->setChecked(shared->isChecked());
        }
        return item;
    };

    QMenu* file = menuBar()->addMenu(tr("&File"));
    entry(file, ID_FILE_OPEN, tr("&Open..."), QKeySequence(Qt::CTRL | Qt::Key_O));
    file->addSeparator();
    entry(file, ID_FILE_PRINT, tr("&Print..."), QKeySequence(Qt::CTRL | Qt::Key_P));
    file->addSeparator();
    entry(file, ID_APP_EXIT, tr("&Close"));

    QMenu* view = menuBar()->addMenu(tr("&View"));
    MakeAction(ID_VIEW_TOOLBAR, tr("&Toolbar"))->setCheckable(true);
    MakeAction(ID_VIEW_STATUS_BAR, tr("&Status Bar"))->setCheckable(true);
    Action(ID_VIEW_TOOLBAR)->setChecked(true);
    Action(ID_VIEW_STATUS_BAR)->setChecked(true);
    entry(view, ID_VIEW_TOOLBAR, tr("&Toolbar"));
    entry(view, ID_VIEW_STATUS_BAR, tr("&Status Bar"));
    view->addSeparator();
    QMenu* fonts = view->addMenu(tr("Fo&nts"));
    entry(fonts, ID_FONT_LARGEST, tr("Largest"));
    entry(fonts, ID_FONT_LARGE, tr("Large"));
    entry(fonts, ID_FONT_MEDIUM, tr("Medium"));
    entry(fonts, ID_FONT_SMALL, tr("Small"));
    entry(fonts, ID_FONT_SMALLEST, tr("Smallest"));
    view->addSeparator();
    entry(view, ID_STOP, tr("Sto&p"), QKeySequence(Qt::Key_Escape));
    entry(view, ID_REFRESH, tr("&Refresh"), QKeySequence(Qt::Key_F5));
    view->addSeparator();
    entry(view, ID_VIEW_IN_WEB_BROWSER, tr("Open in your &web browser"));

    QMenu* go = menuBar()->addMenu(tr("&Go"));
    entry(go, ID_GO_BACK, tr("&Back"), QKeySequence(Qt::ALT | Qt::Key_Left));
    entry(go, ID_GO_FORWARD, tr("&Forward"), QKeySequence(Qt::ALT | Qt::Key_Right));
    go->addSeparator();
    entry(go, ID_GO_START_PAGE, tr("&Start Page"));
    entry(go, ID_GO_SEARCH_THE_WEB, tr("Search the &Web"));

    // Filled by the favorites scan.
    m_favoritesMenu = menuBar()->addMenu(tr("F&avorites"));

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    entry(help, ID_HELP_WEB_TUTORIAL, tr("Web &Tutorial"));
    help->addSeparator();
    QMenu* engine = help->addMenu(tr("Browser Engine on the &Web"));
    entry(engine, ID_HELP_ENGINE_FREE_STUFF, tr("&Free Stuff"));
    entry(engine, ID_HELP_ENGINE_FASTER_ACCESS, tr("&Get Faster Internet Access"));
    entry(engine, ID_HELP_ENGINE_FAQ, tr("Frequently Asked &Questions"));
    engine->addSeparator();
    entry(engine, ID_HELP_ENGINE_START_PAGE, tr("&Internet Start Page"));
    entry(engine, ID_HELP_ENGINE_FEEDBACK, tr("Send Feedbac&k..."));
    entry(engine, ID_HELP_ENGINE_BEST_OF_WEB, tr("&Best of the Web"));
    entry(engine, ID_HELP_ENGINE_SEARCH_WEB, tr("Search the &Web"));
    engine->addSeparator();
    entry(engine, ID_HELP_ENGINE_HOME_PAGE, tr("Browser Engine &Home Page"));
    entry(help, ID_HELP_ONLINE_SUPPORT, tr("Online &Support"));
    help->addSeparator();
    entry(help, ID_APP_ABOUT, tr("&Program Info"));

    QMenu* tools = menuBar()->addMenu(tr("Tools"));
    entry(tools, ID_DOWNLOAD, tr("Download"));
    entry(tools, ID_GO_TARVEX_HOME, tr("Go Tarvex Home Page"));

    m_fontMenu = new QMenu(this);
    entry(m_fontMenu, ID_FONT_LARGEST, tr("Lar&gest"));
    entry(m_fontMenu, ID_FONT_LARGE, tr("&Larger"));
    entry(m_fontMenu, ID_FONT_MEDIUM, tr("&Medium"));
    entry(m_fontMenu, ID_FONT_SMALL, tr("&Smaller"));
    entry(m_fontMenu, ID_FONT_SMALLEST, tr("Sm&allest"));
}

void CMainFrame::CreateBars() {
    m_toolBar = addToolBar(tr("Browser"));
    m_toolBar->setObjectName(QStringLiteral("Browser"));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolBar->setIconSize(kToolbarIconSize);
    m_toolBar->setMovable(false);
    struct Button {
        int command;
        const char* text;
    } const buttons[] = {
        {ID_GO_BACK, QT_TR_NOOP("Back")},
        {ID_GO_FORWARD, QT_TR_NOOP("Forward")},
        {ID_STOP, QT_TR_NOOP("Stop")},
        {ID_REFRESH, QT_TR_NOOP("Refresh")},
        {ID_GO_START_PAGE, QT_TR_NOOP("Home")},
        {ID_GO_SEARCH_THE_WEB, QT_TR_NOOP("Search")},
        {ID_FAVORITES_DROPDOWN, QT_TR_NOOP("Favorites")},
        {ID_FILE_PRINT, QT_TR_NOOP("Print")},
        {ID_FONT_DROPDOWN, QT_TR_NOOP("Font")},
        {ID_DOWNLOAD, QT_TR_NOOP("Download")},
    };
    for (int i = 0; i < 10; ++i) {
        const QString text = tr(buttons[i].text);
        QAction* action = MakeAction(buttons[i].command, text);
        const QIcon icon = ToolbarIcon(i);
        // A toolbar button has its own short text; the menus keep theirs.
        auto* button = new QToolButton(m_toolBar);
        button->setDefaultAction(action);
        button->setIcon(icon);
        button->setText(text);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setMinimumWidth(40);
        connect(action, &QAction::changed, button, [button, icon, text] {
            button->setIcon(icon);
            button->setText(text);
        });
        if (buttons[i].command == ID_FAVORITES_DROPDOWN || buttons[i].command == ID_FONT_DROPDOWN) {
            // The arrow beside the button drops its menu; the button itself does nothing.
            button->setMenu(buttons[i].command == ID_FONT_DROPDOWN ? m_fontMenu : m_favoritesMenu);
            button->setPopupMode(QToolButton::MenuButtonPopup);
        }
        m_toolBar->addWidget(button);
    }
    auto* spacer = new QWidget(m_toolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolBar->addWidget(spacer);
    m_activityAnimation = new CAnimateCtrl(m_toolBar);
    m_toolBar->addWidget(m_activityAnimation);

    addToolBarBreak();
    m_addressBar = addToolBar(tr("Address"));
    m_addressBar->setObjectName(QStringLiteral("Address"));
    m_addressBar->setMovable(false);
    m_addressBar->addWidget(new QLabel(tr(" Address "), m_addressBar));
    m_addressBox = new QComboBox(m_addressBar);
    m_addressBox->setEditable(true);
    m_addressBox->setInsertPolicy(QComboBox::NoInsert);
    m_addressBox->setMaxVisibleItems(10);
    m_addressBox->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_addressBox->setMinimumWidth(200);
    Describe(m_addressBox, tr("Address"),
             tr("The address of the page shown; type one and press Enter to open it"));
    m_addressBar->addWidget(m_addressBox);
    // Enter is taken here, once per key press (the line edit of a combo box
    // would report it twice).
    // The key reaches the combo box or, sent straight to it, its line edit.
    m_addressBox->installEventFilter(this);
    m_addressBox->lineEdit()->installEventFilter(this);
    // A pick from the list navigates to that entry.
    connect(m_addressBox, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        // The browser view navigates; the active pane stays the one it was.
        if (index >= 0)
            m_pSurfpaneView->Navigate2(m_addressBox->itemText(index));
    });

    QStatusBar* status = statusBar();
    status->addWidget(new QLabel(tr("Ready"), status), 1);
    const char* const names[] = {QT_TR_NOOP("CAP"), QT_TR_NOOP("NUM"), QT_TR_NOOP("SCRL")};
    for (int i = 0; i < 3; ++i) {
        m_indicators[i] = new QLabel(tr(names[i]), status);
        m_indicators[i]->setFrameShape(QFrame::Panel);
        m_indicators[i]->setFrameShadow(QFrame::Sunken);
        m_indicators[i]->setEnabled(false);
        status->addPermanentWidget(m_indicators[i]);
    }
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CMainFrame::UpdateKeyIndicators);
    timer->start(300);
    UpdateKeyIndicators();
}

namespace {
// Turns the scanned favorites into menu entries; commands beyond the last
// one the frame handles are shown disabled.
void FillFavoritesMenu(QMenu* menu, const tvx::FavoritesMenu& model, CMainFrame* frame) {
    for (const tvx::FavoritesMenu::Item& item : model.items) {
        const QString label = QString::fromLocal8Bit(item.label.c_str())
                                  .replace(QLatin1Char('&'), QStringLiteral("&&"));
        if (item.submenu) {
            FillFavoritesMenu(menu->addMenu(label), *item.submenu, frame);
            continue;
        }
        QAction* action = menu->addAction(label);
        const int command = item.command;
        action->setData(command);
        action->setEnabled(command <= ID_FAVORITES_LAST);
        QObject::connect(action, &QAction::triggered, frame,
                         [frame, command] { frame->OnCommand(command); });
    }
}
}  // namespace

void CMainFrame::LoadFavorites() {
    m_favoritesMenu->clear();
    m_favoriteAddresses.clear();
    tvx::FavoritesMenu model;
    std::vector<std::string> addresses;
    const std::string folder = tvx::FavoritesFolder();
    if (!folder.empty())
        tvx::ScanFavoritesFolder(folder, 0, model, addresses);
    for (const std::string& address : addresses)
        m_favoriteAddresses << QString::fromLocal8Bit(address.c_str());
    FillFavoritesMenu(m_favoritesMenu, model, this);
}

void CMainFrame::OnCreate() {
    CreateMenus();
    CreateBars();
    LoadFavorites();
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

    Describe(this, {}, tr("The download list, the web browser and the log"));
    Describe(m_pLeftView, tr("Download list"),
             tr("Folders and links to files on the web; a session checks and downloads the "
                "checked links. The menu key or Shift+F10 opens an item's commands"));
    Describe(m_pSurfpaneView, tr("Web page"), tr("The page the built-in browser shows"));
    Describe(m_pStatusView, tr("Log"),
             tr("What the sessions and downloads have done, the newest line last"));
    connect(m_pSurfpaneView, &CSurfpaneView::ShowAddress, this, &CMainFrame::ShowAddress);
    connect(m_pSurfpaneView, &CSurfpaneView::StartActivityAnimation, this,
            &CMainFrame::StartActivityAnimation);
    connect(m_pSurfpaneView, &CSurfpaneView::DocumentTitleChanged, this,
            &CMainFrame::SetDocumentTitle);
    connect(m_pSurfpaneView, &CSurfpaneView::StatusTextChanged, this,
            [this](const QString& text) { statusBar()->showMessage(text); });
    // The editor opens once the page's menu has closed.
    connect(m_pSurfpaneView, &CSurfpaneView::AddLinkToList, m_pLeftView, &CLeftView::AddLink,
            Qt::QueuedConnection);

    // The views' initial updates.
    m_pLeftView->OnInitialUpdate();
    m_pStatusView->OnInitialUpdate();
    m_pSurfpaneView->OnInitialUpdate();
    SetActiveView(Pane::Browser);
}

void CMainFrame::OnHandOff(const tvx::HandOffRequest& request,
                           std::function<void(const std::string&)> reply) {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    const QString address = QString::fromStdString(request.url);
    if (request.action == "add") {
        // The link editor opens once the answer is on its way.
        reply({});
        const QString text = QString::fromStdString(request.text);
        QTimer::singleShot(0, this, [this, address, text] {
            SetActiveView(Pane::List);
            m_pLeftView->AddLink(address, text);
        });
    } else if (request.action == "download") {
        // Answered when the person has chosen and the transfer is under way,
        // or has declined: until then the browser keeps its own download.
        QTimer::singleShot(0, this, [this, address, request, reply] {
            m_pSurfpaneView->DownloadFromOutside(address, QString::fromStdString(request.filename),
                                                 QString::fromStdString(request.referrer),
                                                 request.cookies, reply);
        });
    } else {
        reply({});
    }
}

void CMainFrame::SetActiveView(Pane pane) {
    m_activeView = pane;
    QWidget* widget = pane == Pane::List  ? static_cast<QWidget*>(m_pLeftView)
                      : pane == Pane::Log ? static_cast<QWidget*>(m_pStatusView)
                                          : static_cast<QWidget*>(m_pSurfpaneView);
    if (!widget->isAncestorOf(QApplication::focusWidget()))
        widget->setFocus(Qt::OtherFocusReason);
    UpdateCommandStates();
}

void CMainFrame::OnFocusChanged(QWidget* now) {
    // The pane that takes the focus becomes the active view; bars, the
    // address box and dialogs leave it as it was.
    for (QWidget* w = now; w != nullptr; w = w->parentWidget()) {
        if (w == m_pLeftView)
            m_activeView = Pane::List;
        else if (w == m_pStatusView)
            m_activeView = Pane::Log;
        else if (w == m_pSurfpaneView)
            m_activeView = Pane::Browser;
        else
            continue;
        break;
    }
    UpdateCommandStates();
}

void CMainFrame::UpdateCommandStates() {
    const bool browser = m_activeView == Pane::Browser;
    for (const auto& [command, action] : m_actions) {
        if (IsBrowserCommand(command))
            action->setEnabled(browser);
    }
}

void CMainFrame::UpdateKeyIndicators() {
    const KeyLockState locks = QueryKeyLocks();
    m_indicators[0]->setEnabled(locks.capsLock);
    m_indicators[1]->setEnabled(locks.numLock);
    m_indicators[2]->setEnabled(locks.scrollLock);
}

void CMainFrame::OnCommand(int command) {
    if (IsBrowserCommand(command)) {
        if (m_activeView == Pane::Browser)
            m_pSurfpaneView->OnCommand(command);
        return;
    }
    if (command >= ID_FAVORITES_FIRST && command <= ID_FAVORITES_LAST) {
        const int index = command - ID_FAVORITES_FIRST;
        if (index < m_favoriteAddresses.size())
            m_pSurfpaneView->Navigate2(m_favoriteAddresses[index]);
        return;
    }
    switch (command) {
        case ID_FILE_OPEN:
            SetActiveView(Pane::Browser);
            m_pSurfpaneView->OnFileOpen();
            break;
        case ID_DOWNLOAD:
            OnDownload();
            break;
        case ID_APP_EXIT:
            close();
            break;
        case ID_APP_ABOUT: {
            CAboutDlg about(this);
            about.exec();
            break;
        }
        case ID_VIEW_TOOLBAR: {
            m_toolBar->setVisible(Action(ID_VIEW_TOOLBAR)->isChecked());
            break;
        }
        case ID_VIEW_STATUS_BAR:
            statusBar()->setVisible(Action(ID_VIEW_STATUS_BAR)->isChecked());
            break;
        default:  // the Favorites and Font buttons themselves: nothing
            break;
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == m_addressBox || watched == m_addressBox->lineEdit()) &&
        event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnAddressEnter();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::OnAddressEnter() {
    const QString text = m_addressBox->lineEdit()->text();
    m_pSurfpaneView->Navigate2(text);
    m_addressBox->addItem(text);  // every Enter adds the text as the last entry
}

void CMainFrame::ShowAddress(const QString& address) {
    m_addressBox->setEditText(address);
    m_activityAnimation->Stop();
}

void CMainFrame::StartActivityAnimation() {
    m_activityAnimation->Play();
}

void CMainFrame::SetDocumentTitle(const QString& title) {
    setWindowTitle(title.isEmpty() ? kAppTitle : title + QStringLiteral(" - ") + kAppTitle);
}

void CMainFrame::OnDownload() {
    const std::vector<tvx::WorkListEntry> entries =
        tvx::CollectCheckedLinks(tvx::g_linkTable, *m_pLeftView);
    if (!tvx::WriteWorkListFile(tvx::kWorkListFileName, entries)) {
        ShowMessageBox(tr("TreeCortol-File 'download.tmp' open error)").toStdString(),
                       MessageButtons::Ok, this);
        return;
    }
    if (entries.empty()) {
        tvx::RemoveFile(tvx::kSessionMarkerFileName);
        ShowMessageBox(
            tr("Nothing to do\nNothing became selects in the tree control\n(see on the left site)")
                .toStdString(),
            MessageButtons::Ok, this);
        return;
    }
    SetActiveView(Pane::List);
    // The list is widened while the session runs, so its log lines beside
    // it can be followed with the list in view.
    const int width = m_columnSplitter->sizes().value(0);
    const int minimum = m_columnSplitter->PaneInfo(0).minimum;
    CSessionDlg dialog(this);
    m_userListWidth = width;
    if (width < kSessionPaneWidth) {
        m_columnSplitter->SetPaneInfo(0, kSessionPaneWidth, kSessionPaneWidth);
        m_columnSplitter->RecalcLayout();
    }
    dialog.DoModal();
    m_userListWidth = -1;
    m_columnSplitter->SetPaneInfo(0, width, minimum);
    m_columnSplitter->RecalcLayout();
    tvx::RemoveFile(tvx::kSessionMarkerFileName);
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
    tvx::SaveSplitterSizes(
        {m_userListWidth >= 0 ? m_userListWidth : columns.value(0), rows.value(0)}, settings);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_saved) {
        event->accept();
        return;
    }
    // A list file the program must not replace (it could not be read, it
    // holds more links than were shown, or it is write-protected) is left
    // alone, and the user is told so once.
    std::string protection = tvx::ListFileProtection(tvx::g_linkTable, tvx::TreeControlFilePath());
    if (!protection.empty()) {
        // Links left out were reported at load; the box comes again only
        // when changes are lost with them.
        if (tvx::g_linkTable.modified) {
            protection +=
                "\n" +
                tr("The changes made to the list in this window are not saved.").toStdString();
            ShowMessageBox(protection, MessageButtons::Ok, this);
        } else if (tvx::g_linkTable.linksLeftOut == 0) {
            ShowMessageBox(protection, MessageButtons::Ok, this);
        }
        m_saved = true;
        SaveFrameLayout();
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
