#pragma once
// The browser pane: shows web pages, carries out the browser commands, and
// watches every navigation. A navigation to an address that ends in ".zip",
// ".exe", ".dll", ".arj" or ".rar" is not shown: the user picks where to store
// the file and the single-file download dialog fetches it. Downloads the
// browser engine would start by itself (attachments, types it cannot show)
// take the same way.

#include <QString>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>
#include <memory>
#include <string>

class QPrinter;
class QWebEngineDownloadRequest;

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
    // download and has been handled).
    bool OnBeforeNavigate2(const QString& address);
    // The browser commands of the menus and the toolbar.
    void OnCommand(int command);
    void OnFileOpen();
    // The address of the fixed page a string id names.
    static QString FixedPage(int stringId);

    const std::string& DownloadFolder() const { return m_downloadFolder; }

    // Replace the Save dialog (returns the chosen native path, empty for
    // cancel) and the single-file download dialog, for tests.
    using SaveDialogHook = std::function<QString(const QString& proposal, const QString& filter)>;
    using DownloadHook = std::function<void(const std::string& webnameFilename)>;
    void SetSaveDialogHook(SaveDialogHook hook) { m_saveHook = std::move(hook); }
    void SetDownloadHook(DownloadHook hook) { m_downloadHook = std::move(hook); }

signals:
    void StartActivityAnimation();
    void ShowAddress(const QString& address);
    void DocumentTitleChanged(const QString& title);
    void StatusTextChanged(const QString& text);

private:
    void DownloadAddress(const QString& address);
    void OnDownloadRequested(QWebEngineDownloadRequest* download);
    void SetTextSize(int size);

    CSurfpanePage* m_page = nullptr;
    std::unique_ptr<QPrinter> m_printer;  // while a page is being printed
    std::string m_downloadFolder;         // the folder the next Save dialog proposes
    SaveDialogHook m_saveHook;
    DownloadHook m_downloadHook;
};
