#include "app/CommandIds.h"

#include <QCoreApplication>

namespace {

// The English prompts, marked for translation in the context "Command".
const char* PromptSource(int command) {
    switch (command) {
        case ID_STOP:
            return QT_TRANSLATE_NOOP("Command", "Stops loading the page.\nStop");
        case ID_REFRESH:
            return QT_TRANSLATE_NOOP("Command", "Loads the page again.\nRefresh");
        case ID_FONT_LARGEST:
            return QT_TRANSLATE_NOOP("Command", "Shows the text in the largest size.\nLargest");
        case ID_FONT_LARGE:
            return QT_TRANSLATE_NOOP("Command", "Shows the text larger.\nLarger");
        case ID_FONT_MEDIUM:
            return QT_TRANSLATE_NOOP("Command", "Shows the text in its normal size.\nMedium");
        case ID_FONT_SMALL:
            return QT_TRANSLATE_NOOP("Command", "Shows the text smaller.\nSmaller");
        case ID_FONT_SMALLEST:
            return QT_TRANSLATE_NOOP("Command", "Shows the text in the smallest size.\nSmallest");
        case ID_GO_BACK:
            return QT_TRANSLATE_NOOP("Command", "Goes back one step.\nBack");
        case ID_GO_FORWARD:
            return QT_TRANSLATE_NOOP("Command", "Goes forward one step.\nForward");
        case ID_GO_START_PAGE:
            return QT_TRANSLATE_NOOP("Command", "Goes to the home page.\nHome");
        case ID_GO_SEARCH_THE_WEB:
            return QT_TRANSLATE_NOOP("Command", "Opens a page to search the Web.\nSearch");
        case ID_FAVORITES_DROPDOWN:
            return QT_TRANSLATE_NOOP("Command", "Shows the favorites.\nFavorites");
        case ID_FONT_DROPDOWN:
            return QT_TRANSLATE_NOOP("Command", "Changes the size of the text.\nFont");
        case ID_HELP_WEB_TUTORIAL:
            return QT_TRANSLATE_NOOP("Command",
                                     "Opens a tutorial of the browser engine.\nWeb Tutorial");
        case ID_HELP_ONLINE_SUPPORT:
            return QT_TRANSLATE_NOOP(
                "Command", "Opens the support pages of the browser engine.\nOnline Support");
        case ID_HELP_ENGINE_FREE_STUFF:
            return QT_TRANSLATE_NOOP("Command",
                                     "Opens the free downloads of the browser engine.\nFree Stuff");
        case ID_HELP_ENGINE_FASTER_ACCESS:
            return QT_TRANSLATE_NOOP(
                "Command", "Opens the notes on a fast browser engine.\nGet Faster Internet Access");
        case ID_HELP_ENGINE_FAQ:
            return QT_TRANSLATE_NOOP(
                "Command",
                "Opens the frequently asked questions of the browser engine.\nFrequently Asked "
                "Questions");
        case ID_HELP_ENGINE_FEEDBACK:
            return QT_TRANSLATE_NOOP(
                "Command", "Opens the page for reports on the browser engine.\nSend Feedback");
        case ID_HELP_ENGINE_BEST_OF_WEB:
            return QT_TRANSLATE_NOOP("Command",
                                     "Opens the news of the browser engine.\nBest of the Web");
        case ID_HELP_ENGINE_SEARCH_WEB:
            return QT_TRANSLATE_NOOP("Command", "Opens a page to search the Web.\nSearch the Web");
        case ID_HELP_ENGINE_HOME_PAGE:
            return QT_TRANSLATE_NOOP(
                "Command", "Opens the home page of the browser engine.\nBrowser Engine Home Page");
        case ID_HELP_ENGINE_START_PAGE:
            return QT_TRANSLATE_NOOP("Command",
                                     "Opens an Internet start page.\nInternet Start Page");
        case ID_DOWNLOAD:
            return QT_TRANSLATE_NOOP(
                "Command",
                "Checks the checked links and downloads what is new, changed or "
                "incomplete.\nDownload");
        case ID_GO_TARVEX_HOME:
            return QT_TRANSLATE_NOOP("Command", "Goes to the Tarvex home page.\nTarvex Home Page");
        case ID_FILE_OPEN:
            return QT_TRANSLATE_NOOP("Command", "Opens a file in the browser.\nOpen");
        case ID_FILE_PRINT:
            return QT_TRANSLATE_NOOP("Command", "Prints the page.\nPrint");
        case ID_APP_ABOUT:
            return QT_TRANSLATE_NOOP(
                "Command",
                "Display program information, version number and copyright\nAbout Tarvex "
                "Download Service");
        case ID_APP_EXIT:
            return QT_TRANSLATE_NOOP("Command", "Closes the window and ends the program.\nClose");
        case ID_VIEW_TOOLBAR:
            return QT_TRANSLATE_NOOP("Command", "Shows or hides the toolbar.\nToggle Toolbar");
        case ID_VIEW_STATUS_BAR:
            return QT_TRANSLATE_NOOP("Command",
                                     "Shows or hides the status bar.\nToggle Status Bar");
        case ID_VIEW_IN_WEB_BROWSER:
            return QT_TRANSLATE_NOOP(
                "Command", "Opens the page in your own web browser.\nOpen in your web browser");
        default:
            return "";
    }
}

}  // namespace

QString CommandPrompt(int command) {
    return QCoreApplication::translate("Command", PromptSource(command));
}

bool IsBrowserCommand(int command) {
    switch (command) {
        case ID_STOP:
        case ID_REFRESH:
        case ID_FONT_LARGEST:
        case ID_FONT_LARGE:
        case ID_FONT_MEDIUM:
        case ID_FONT_SMALL:
        case ID_FONT_SMALLEST:
        case ID_GO_BACK:
        case ID_GO_FORWARD:
        case ID_GO_START_PAGE:
        case ID_GO_SEARCH_THE_WEB:
        case ID_HELP_WEB_TUTORIAL:
        case ID_HELP_ONLINE_SUPPORT:
        case ID_HELP_ENGINE_FREE_STUFF:
        case ID_HELP_ENGINE_FASTER_ACCESS:
        case ID_HELP_ENGINE_FAQ:
        case ID_HELP_ENGINE_FEEDBACK:
        case ID_HELP_ENGINE_BEST_OF_WEB:
        case ID_HELP_ENGINE_SEARCH_WEB:
        case ID_HELP_ENGINE_HOME_PAGE:
        case ID_HELP_ENGINE_START_PAGE:
        case ID_GO_TARVEX_HOME:
        case ID_FILE_PRINT:
        case ID_VIEW_IN_WEB_BROWSER:
            return true;
        default:
            return false;
    }
}
