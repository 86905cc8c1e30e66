#pragma once
// Links handed to the window of a start directory from outside: by a second
// `tvx --add/--download`, or by the native messaging host of the browser
// extension. One window runs per start directory; it listens on a local
// socket whose name follows from the folder, and takes one request a
// connection: a line of JSON, answered by a line {"ok": true} or
// {"ok": false, "error": "..."}. A download is answered only once it is
// under way in a file the person chose (ok), or was declined, cancelled or
// could not start (not ok, with the reason): a browser keeps its own copy
// until then.
//
//   {"action": "download" | "add", "url": "http(s)://...", "referrer": "...",
//    "text": "...", "filename": "...", "cookies": [...]}
//
// From the browser, cookies come as the extension API describes them
// (objects with name, value, domain, path, secure, hostOnly,
// expirationDate); to the window they go as lines of the Netscape cookie file,
// the form the transfers take them in, so each is sent only to its own host
// and path.

#include <cstdint>
#include <string>
#include <vector>

namespace tvx {

struct HandOffRequest {
    std::string action;  // "download" or "add"
    std::string url;
    std::string referrer;
    std::string text;                  // the link's text, for "add"
    std::string filename;              // the name the browser proposes, for "download"
    std::string folder;                // the start directory to hand to ("" for the last used)
    std::vector<std::string> cookies;  // Netscape lines
};

enum class CookieForm { Objects, Lines };

// Reads a request; false with the reason for anything that is not one (broken
// JSON, another action, an address that is not http or https, a field of the
// wrong type, a control character where it does not belong).
bool ParseHandOff(const std::string& json, CookieForm cookies, HandOffRequest& request,
                  std::string& error);
// The line a window takes (cookies as Netscape lines), without its line end.
std::string EncodeHandOff(const HandOffRequest& request);

// {"ok":true} or {"ok":false,"error":"..."}.
std::string HandOffAnswer(bool ok, const std::string& error = {});
// Reads an answer line: true for ok; false with the error otherwise.
bool ParseHandOffAnswer(const std::string& line, std::string& error);

// The socket and lock files of the window of a start directory: in
// $XDG_RUNTIME_DIR (else /tmp/tvx-<uid>), named after a hash of the folder.
std::string WindowSocketPath(const std::string& folder);
std::string WindowLockPath(const std::string& folder);

// Sends one request line to the window at socketPath and reads its answer
// line, waiting at most timeoutMs. False with the reason when no window
// listens there or it does not answer. delivered, when given, tells the two
// apart: it is true once the line went out. A request that went out is the
// window's: it is never sent again (the window would act on it twice).
// A window answers a download only once the person has accepted where it
// goes and the transfer is under way (or declined it), so callers that hand
// over downloads wait long (kDecisionWaitMs).
bool SendToWindow(const std::string& socketPath, const std::string& line, std::string& answer,
                  std::string& error, int timeoutMs = 10000, bool* delivered = nullptr);
constexpr int kDecisionWaitMs = 60 * 60 * 1000;

// The start directory used last by the window (~/.config/tvx/last-folder),
// "" when none is remembered or it is gone.
std::string LastFolder();
// The folder a link goes to when none is named: the one used last, else
// ~/Downloads, made when it is missing (as the menu entry's window does).
std::string DefaultFolder();
void RememberFolder(const std::string& folder);

}  // namespace tvx
