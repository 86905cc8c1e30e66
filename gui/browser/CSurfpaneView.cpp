#include "browser/CSurfpaneView.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "app/CommandIds.h"
#include "app/MessageBox.h"
#include "app/Settings.h"
#include "browser/CCookieStore.h"
#include "browser/EngineHardening.h"
#include "browser/Interception.h"
#include "platform/Paths.h"
#include "res/Resources.h"
#include "transfer/CEngineDownloadDlg.h"
#include "transfer/CFileDownloadDlg.h"

namespace {

const char kStartPage[] = "qrc:/tvx/start.html";
const char kSearchPage[] = "https://duckduckgo.com/";
// The Save and Open dialogs' choices of file types.
const char* const kDownloadFilter = QT_TRANSLATE_NOOP(
    "CSurfpaneView", "Download Files (*.exe *.zip *.rar *.dll *.arj);;All Files (*)");
const char* const kOpenFilter = QT_TRANSLATE_NOOP(
    "CSurfpaneView",
    "HTML Files (*.htm *.html);;Text Files (*.txt);;GIF Files (*.gif);;JPEG Files (*.jpg *.jpeg);;"
    "AU Files (*.au);;AIFF Files (*.aif *.aiff);;XBM Files (*.xbm);;All Files (*)");

std::string ToLocal8(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

bool IsWebAddress(const QUrl& url) {
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

}  // namespace

CSurfpanePage::CSurfpanePage(QWebEngineProfile* profile, CSurfpaneView* view)
    : QWebEnginePage(profile, view), m_view(view) {}

bool CSurfpanePage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool) {
    return !m_view->OnBeforeNavigate2(url.toString(QUrl::FullyEncoded), type);
}

CSurfpaneView::CSurfpaneView(QWidget* parent) : QWebEngineView(parent) {
    InitResources();
    PrepareBrowserEngine();
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    HardenProfile(profile);
    m_page = new CSurfpanePage(profile, this);
    setPage(m_page);
    m_cookies = new CCookieStore(profile->cookieStore(), this);
    connect(m_page, &QWebEnginePage::titleChanged, this, &CSurfpaneView::DocumentTitleChanged);
    connect(m_page, &QWebEnginePage::loadFinished, this,
            [this](bool) { emit ShowAddress(url().toString(QUrl::FullyEncoded)); });
    connect(m_page, &QWebEnginePage::linkHovered, this, &CSurfpaneView::StatusTextChanged);
    connect(profile, &QWebEngineProfile::downloadRequested, this,
            &CSurfpaneView::OnDownloadRequested);
    connect(this, &QWebEngineView::printFinished, this, [this](bool) { m_printer.reset(); });
}

CSurfpaneView::~CSurfpaneView() {
    // The profile outlives the view; the page goes before it.
    disconnect(QWebEngineProfile::defaultProfile(), nullptr, this, nullptr);
}

void CSurfpaneView::OnInitialUpdate() {
    Navigate2(QString::fromLatin1(kStartPage));
    m_downloadFolder = tvx::JoinPath(tvx::g_startDirectory, "downloads");
}

void CSurfpaneView::Navigate2(const QString& address) {
    // Addresses with a scheme are taken as they are; anything else (a host
    // name, a local path) as the browser would read it typed by hand.
    const QUrl url(address, QUrl::TolerantMode);
    load(url.isValid() && !url.scheme().isEmpty() && url.scheme().size() > 1
             ? url
             : QUrl::fromUserInput(address));
}

bool CSurfpaneView::OnBeforeNavigate2(const QString& address, QWebEnginePage::NavigationType type) {
    if (type == QWebEnginePage::NavigationTypeFormSubmitted) {
        m_formAddress = QUrl(address);
    } else if (type == QWebEnginePage::NavigationTypeLinkClicked ||
               type == QWebEnginePage::NavigationTypeTyped) {
        m_formAddress.clear();
    }
    if (type == QWebEnginePage::NavigationTypeFormSubmitted ||
        !tvx::IsInterceptedAddress(ToLocal8(address))) {
        emit StartActivityAnimation();
        return false;
    }
    const QString referer =
        type == QWebEnginePage::NavigationTypeTyped ? QString() : RefererFor(QUrl(address));
    DownloadAddress(address, QString(), referer);
    return true;  // an intercepted address is never shown
}

QString CSurfpaneView::Proposal(const std::string& name) const {
    return QString::fromLocal8Bit(
        tvx::ToNativePath(tvx::DownloadProposal(m_downloadFolder, name)).c_str());
}

QString CSurfpaneView::AskSavePath(const QString& proposal) {
    const QString filter = tr(kDownloadFilter);
    if (m_saveHook)
        return m_saveHook(proposal, filter);
    // Choosing a file that exists is how a broken download is continued: the
    // transfer checks it against the server and resumes or replaces it only
    // then, so the dialog asks nothing.
    return QFileDialog::getSaveFileName(window(), QString(), proposal, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString CSurfpaneView::RefererFor(const QUrl& target) const {
    const QUrl page = m_page->url();
    if (!IsWebAddress(page) ||
        (page.scheme() == QLatin1String("https") && target.scheme() == QLatin1String("http"))) {
        return {};
    }
    return page.adjusted(QUrl::RemoveFragment | QUrl::RemoveUserInfo).toString(QUrl::FullyEncoded);
}

void CSurfpaneView::DownloadFromOutside(const QString& address, const QString& suggestedName,
                                        const QString& referer,
                                        const std::vector<std::string>& cookies, Started started) {
    DownloadAddress(address, suggestedName, referer, &cookies, std::move(started));
}

void CSurfpaneView::DownloadAddress(const QString& address, const QString& suggestedName,
                                    const QString& referer,
                                    const std::vector<std::string>* cookies, Started started) {
    if (!started)
        started = [](const std::string&) {};
    // A local file goes to the transfer as its path, which it copies.
    const QUrl url(address);
    const QString source = url.isLocalFile() ? url.toLocalFile() : address;
    const std::string name = suggestedName.isEmpty()
                                 ? tvx::FileNameOfAddress(ToLocal8(address))
                                 : ToLocal8(QFileInfo(suggestedName).fileName());
    const QString chosen = AskSavePath(Proposal(name));
    if (chosen.isEmpty()) {
        started("the Save dialog was cancelled");
        return;
    }
    const std::string path = ToLocal8(chosen);
    m_downloadFolder = tvx::FolderOfPath(path);
    const std::string address8 = ToLocal8(source);
    // The dialog takes one text split at commas: a comma in either part
    // would fetch or write the wrong file.
    if (address8.find(',') != std::string::npos || path.find(',') != std::string::npos) {
        ShowMessageBox(tr("This file cannot be downloaded: its address or the chosen file name "
                          "contains a comma.\n%1")
                           .arg(chosen)
                           .toStdString(),
                       MessageButtons::Ok, this);
        started("its address or the chosen file name contains a comma");
        return;
    }
    const std::string text = tvx::DownloadCommandText(address8, path);
    if (m_downloadHook) {
        m_downloadHook(text);
        started({});
        return;
    }
    tvx::HttpSettings settings;
    settings.referer = ToLocal8(referer);
    settings.cookies = cookies != nullptr ? *cookies : m_cookies->NetscapeLines();
    CFileDownloadDlg dialog(nullptr, settings);
    dialog.SetParameters(text);
    dialog.SetStartedHook(std::move(started));
    dialog.DoModal();
}

void CSurfpaneView::OnDownloadRequested(QWebEngineDownloadRequest* download) {
    // The program has one browser view, which answers every download of the
    // profile that nobody has answered yet. The request is not asked for its
    // page: the engine has none for some downloads (a data: address) and
    // fails when asked.
    if (download == nullptr || download->state() != QWebEngineDownloadRequest::DownloadRequested)
        return;
    const QUrl url = download->url();
    if (!download->isSavePageDownload() &&
        (url.isLocalFile() || (IsWebAddress(url) && url != m_formAddress))) {
        // The transfer can fetch it again: it goes through the resumable
        // transfer like every other download, under the server's name.
        const QString name = download->suggestedFileName();
        download->cancel();
        DownloadAddress(url.toString(QUrl::FullyEncoded), name, RefererFor(url));
        return;
    }
    // Only the engine holds it (a blob: or data: address, a form's answer, the
    // page as shown for "Save page"): the engine saves it into the chosen
    // file. The Save dialog is answered before the signal returns, which is
    // when the engine wants the download accepted.
    QString name = QFileInfo(download->suggestedFileName()).fileName();
    if (name.isEmpty())
        name = QStringLiteral("download");
    const QString chosen = AskSavePath(Proposal(ToLocal8(name)));
    if (chosen.isEmpty()) {
        download->cancel();
        return;
    }
    m_downloadFolder = tvx::FolderOfPath(ToLocal8(chosen));
    auto* dialog = new CEngineDownloadDlg(download, chosen, this);
    dialog->Start();
    dialog->show();
}

void CSurfpaneView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = CreateContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose, true);
    menu->popup(event->globalPos());
}

QMenu* CSurfpaneView::CreateContextMenu() {
    QMenu* menu = createStandardContextMenu();
    // This browser has one page: there are no tabs or further windows.
    for (const QWebEnginePage::WebAction action :
         {QWebEnginePage::OpenLinkInNewWindow, QWebEnginePage::OpenLinkInNewTab,
          QWebEnginePage::OpenLinkInNewBackgroundTab}) {
        menu->removeAction(pageAction(action));
    }
    const QWebEngineContextMenuRequest* request = lastContextMenuRequest();
    const QUrl target =
        request != nullptr && IsWebAddress(request->linkUrl()) ? request->linkUrl() : url();
    if (IsWebAddress(target)) {
        auto* open = new QAction(tr("Open in your web browser"), menu);
        connect(open, &QAction::triggered, this, [this, target] { OpenInWebBrowser(target); });
        menu->insertAction(menu->actions().value(0), open);
    }
    if (request != nullptr && IsWebAddress(request->linkUrl())) {
        const QString address = request->linkUrl().toString(QUrl::FullyEncoded);
        const QString text = request->linkText();
        auto* add = new QAction(tr("Add link to the download list"), menu);
        connect(add, &QAction::triggered, this,
                [this, address, text] { emit AddLinkToList(address, text); });
        menu->insertAction(menu->actions().value(0), add);
    }
    return menu;
}

void CSurfpaneView::OpenInWebBrowser(const QUrl& target) {
    // The desktop's own browser, which gets its security updates; only web
    // addresses leave this program.
    if (!IsWebAddress(target))
        return;
    if (m_openExternally) {
        m_openExternally(target.toString(QUrl::FullyEncoded));
        return;
    }
    QProcess::startDetached(QStringLiteral("xdg-open"), {target.toString(QUrl::FullyEncoded)});
}

QString CSurfpaneView::StartPage() {
    return QString::fromLatin1(kStartPage);
}

QString CSurfpaneView::FixedPage(int stringId) {
    switch (stringId) {
        case 736:
            return QStringLiteral("https://doc.qt.io/qt-6/qtwebengine-overview.html");
        case 737:
            return QStringLiteral("https://www.qt.io/qt-support/");
        case 738:
            return QStringLiteral("https://www.qt.io/download-open-source");
        case 741:
            return QStringLiteral("https://doc.qt.io/qt-6/qtwebengine-features.html");
        case 742:
            return QStringLiteral("https://wiki.qt.io/QtWebEngine/FAQ");
        case 743:
            return QStringLiteral("https://www.qt.io/");
        case 744:
            return QStringLiteral("https://bugreports.qt.io/");
        case 745:
            return QStringLiteral("https://www.qt.io/blog");
        case 746:
            return QStringLiteral("https://duckduckgo.com/");
        case 747:
            return QStringLiteral("https://wiki.qt.io/QtWebEngine");
        default:
            return {};
    }
}

void CSurfpaneView::SetTextSize(int size) {
    static const qreal kZoom[] = {0.75, 0.875, 1.0, 1.25, 1.5};
    setZoomFactor(kZoom[std::clamp(size, 0, 4)]);
}

void CSurfpaneView::OnCommand(int command) {
    switch (command) {
        case ID_GO_BACK:
            triggerPageAction(QWebEnginePage::Back);
            break;
        case ID_GO_FORWARD:
            triggerPageAction(QWebEnginePage::Forward);
            break;
        case ID_GO_SEARCH_THE_WEB:
            Navigate2(QString::fromLatin1(kSearchPage));
            break;
        case ID_GO_START_PAGE:
        case ID_GO_TARVEX_HOME:
            // The built-in page: an address outside this program would show
            // whatever its owner puts there.
            Navigate2(StartPage());
            break;
        case ID_STOP:
            triggerPageAction(QWebEnginePage::Stop);
            break;
        case ID_REFRESH:
            triggerPageAction(QWebEnginePage::Reload);
            break;
        case ID_VIEW_IN_WEB_BROWSER:
            OpenInWebBrowser(url());
            break;
        case ID_HELP_WEB_TUTORIAL:
            Navigate2(FixedPage(736));
            break;
        case ID_HELP_ONLINE_SUPPORT:
            Navigate2(FixedPage(737));
            break;
        case ID_HELP_ENGINE_FREE_STUFF:
            Navigate2(FixedPage(738));
            break;
        case ID_HELP_ENGINE_FAQ:
            Navigate2(FixedPage(742));
            break;
        case ID_HELP_ENGINE_FASTER_ACCESS:
            Navigate2(FixedPage(741));
            break;
        case ID_HELP_ENGINE_HOME_PAGE:
            Navigate2(FixedPage(747));
            break;
        case ID_HELP_ENGINE_SEARCH_WEB:
            Navigate2(FixedPage(746));
            break;
        case ID_HELP_ENGINE_FEEDBACK:
            Navigate2(FixedPage(744));
            break;
        case ID_HELP_ENGINE_START_PAGE:
            Navigate2(FixedPage(743));
            break;
        case ID_HELP_ENGINE_BEST_OF_WEB:
            Navigate2(FixedPage(745));
            break;
        case ID_FONT_LARGEST:
            SetTextSize(4);
            break;
        case ID_FONT_LARGE:
            SetTextSize(3);
            break;
        case ID_FONT_MEDIUM:
            SetTextSize(2);
            break;
        case ID_FONT_SMALL:
            SetTextSize(1);
            break;
        case ID_FONT_SMALLEST:
            SetTextSize(0);
            break;
        case ID_FILE_OPEN:
            OnFileOpen();
            break;
        case ID_FILE_PRINT: {
            // Printing runs on after print() returns; the printer lives until
            // the page reports it has finished.
            if (m_printer)
                break;
            m_printer = std::make_unique<QPrinter>();
            QPrintDialog dialog(m_printer.get(), window());
            if (dialog.exec() == QDialog::Accepted) {
                print(m_printer.get());
            } else {
                m_printer.reset();
            }
            break;
        }
        default:
            break;
    }
}

void CSurfpaneView::OnFileOpen() {
    const QString file =
        QFileDialog::getOpenFileName(window(), QString(), QString(), tr(kOpenFilter));
    if (!file.isEmpty())
        Navigate2(QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded));
}
