#pragma once
// Command identifiers of the main window's menus, toolbar and accelerators,
// with the texts the status bar and the tooltips show for them.

#include <QString>

enum Command : int {
    ID_STOP = 32778,
    ID_REFRESH = 32779,
    ID_FONT_LARGEST = 32782,
    ID_FONT_LARGE = 32783,
    ID_FONT_MEDIUM = 32784,
    ID_FONT_SMALL = 32785,
    ID_FONT_SMALLEST = 32786,
    ID_GO_BACK = 32787,
    ID_GO_FORWARD = 32788,
    ID_GO_START_PAGE = 32789,
    ID_GO_SEARCH_THE_WEB = 32790,
    ID_FAVORITES_DROPDOWN = 32792,
    ID_FONT_DROPDOWN = 32793,
    ID_HELP_WEB_TUTORIAL = 32798,
    ID_HELP_ONLINE_SUPPORT = 32800,
    ID_HELP_ENGINE_FREE_STUFF = 32801,
    ID_HELP_ENGINE_FASTER_ACCESS = 32802,
    ID_HELP_ENGINE_FAQ = 32803,
    ID_HELP_ENGINE_FEEDBACK = 32804,
    ID_HELP_ENGINE_BEST_OF_WEB = 32805,
    ID_HELP_ENGINE_SEARCH_WEB = 32806,
    ID_HELP_ENGINE_HOME_PAGE = 32807,
    ID_HELP_ENGINE_START_PAGE = 32812,
    ID_DOWNLOAD = 32819,
    ID_GO_TARVEX_HOME = 32820,
    ID_VIEW_IN_WEB_BROWSER = 32821,
    ID_FILE_OPEN = 57601,
    ID_FILE_PRINT = 57607,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
    ID_FAVORITES_FIRST = 3584,
    ID_FAVORITES_LAST = 4095,
};

// The command's prompt: the status bar text before the line feed and the
// tooltip after it, in the window's language. Empty for commands without one.
QString CommandPrompt(int command);

// True for the commands only the browser view carries out; they are available
// only while it is the active pane.
bool IsBrowserCommand(int command);
