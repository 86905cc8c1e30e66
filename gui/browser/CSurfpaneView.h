#pragma once
// The browser pane: shows web pages, carries out the browser commands, and
// watches every navigation. A navigation to an address that ends in ".zip",
// ".exe", ".dll", ".arj" or ".rar" is not shown: the user picks where to store
// the file and the single-file download dialog fetches it, with the
// browser's cookies and the page as Referer. Downloads the browser engine
// would start by itself (attachments, types it cannot show) take the same
// way when the transfer can fetch them again (http and https addresses that
// are no form's answer, local files); the rest (blob: and data: addresses,
// the answers to forms) the engine saves itself into the chosen file.

#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>
#include <memory>
#include <string>

class QMenu;
class QPrinter;
class QWebEngineDownloadRequest;
class CCookieStore;

class CSurfpaneView;

// The page whose navigation requests the view checks before they happen.
class CSurfpanePage : public QWebEnginePage {
    Q_OBJECT
public:
    CSurfpanePage(QWebEngineProfile* profile, CSurfpaneView* view);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    CSurfpaneView* m_view;
};

class CSurfpaneView : public QWebEngineView {
    Q_OBJECT
public:
    explicit CSurfpaneView(QWidget* parent = nullptr);
    ~CSurfpaneView() override;

    // Shows the start page and sets the download folder to the start
    // directory's "downloads".
    void OnInitialUpdate();
    void Navigate2(const QString& address);
    // Called before every navigation; true cancels it (the address was a
    // download and has been handled). A form's submission is never caught:
    // its answer may be the answer to a POST, which only the engine holds.
    bool OnBeforeNavigate2(const QString& address, QWebEnginePage::NavigationType type =
                                                       QWebEnginePage::NavigationTypeTyped);
    // The browser commands of the menus and the toolbar.
    void OnCommand(int command);
    void OnFileOpen();
    // The address of the fixed page a string id names.
    static QString FixedPage(int stringId);
    // The built-in start page.
    static QString StartPage();
    // The page's context menu for the point last right-clicked: the engine's
    // own entries without those that open further windows or tabs, "Open in
    // your web browser" for the link or the page, and "Add link to the
    // download list" over a web link. The caller owns it.
    QMenu* CreateContextMenu();
    // A download handed over from outside (another browser, the command
    // line): the Save dialog with the proposal, then the download dialog,
    // with the cookies given (Netscape lines) instead of this browser's.
    // started is told once: "" when the transfer is under way in the chosen
    // file (or the file there is up to date), else why not (the Save dialog
    // cancelled, the check failed).
    using Started = std::function<void(const std::string& error)>;
    void DownloadFromOutside(const QString& address, const QString& suggestedName,
                             const QString& referer, const std::vector<std::string>& cookies,
                             Started started = {});
    // Opens a web address in the desktop's own browser (xdg-open).
    void OpenInWebBrowser(const QUrl& target);
    // The browser's cookies, as the transfers started here send them.
    const CCookieStore& Cookies() const { return *m_cookies; }

    const std::string& DownloadFolder() const { return m_downloadFolder; }

    // Replace the Save dialog (returns the chosen native path, empty for
    // cancel) and the single-file download dialog, for tests.
    using SaveDialogHook = std::function<QString(const QString& proposal, const QString& filter)>;
    using DownloadHook = std::function<void(const std::string& webnameFilename)>;
    void SetSaveDialogHook(SaveDialogHook hook) { m_saveHook = std::move(hook); }
    void SetDownloadHook(DownloadHook hook) { m_downloadHook = std::move(hook); }
    // Replaces xdg-open, for tests.
    void SetOpenExternallyHook(std::function<void(const QString&)> hook) {
        m_openExternally = std::move(hook);
    }

signals:
    void StartActivityAnimation();
    void ShowAddress(const QString& address);
    void DocumentTitleChanged(const QString& title);
    void StatusTextChanged(const QString& text);
    // The user asked to add the link to the download list.
    void AddLinkToList(const QString& address, const QString& text);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Asks where to store the file and hands it to the single-file download
    // dialog. suggestedName, when given, is proposed instead of the last part
    // of the address; referer goes with the requests when not empty.
    void DownloadAddress(const QString& address, const QString& suggestedName = {},
                         const QString& referer = {},
                         const std::vector<std::string>* cookies = nullptr,
                         Started started = {});
    // The native path the Save dialog proposes for a file name: the file in
    // the download folder.
    QString Proposal(const std::string& name) const;
    // The native path chosen in the Save dialog for the proposal; empty for
    // cancel.
    QString AskSavePath(const QString& proposal);
    // The page as Referer for a request to target: empty unless the page is
    // an http or https page and the request does not go from https to http.
    QString RefererFor(const QUrl& target) const;
    void OnDownloadRequested(QWebEngineDownloadRequest* download);
    void SetTextSize(int size);

    CSurfpanePage* m_page = nullptr;
    std::unique_ptr<QPrinter> m_printer;  // while a page is being printed
    std::string m_downloadFolder;         // the folder the next Save dialog proposes
    CCookieStore* m_cookies = nullptr;
    QUrl m_formAddress;  // the last form's target, whose answer only the engine holds
    SaveDialogHook m_saveHook;
    DownloadHook m_downloadHook;
    std::function<void(const QString&)> m_openExternally;
};
