#pragma once
// The command lines of the three programs: the standard options --help and
// --version, answered alike by all of them, and the desktop program's
// document argument.

#include <optional>
#include <string>
#include <vector>

namespace tvx {

// The product the programs belong to, as their version lines name it.
inline constexpr char kProductName[] = "Tarvex Download Service";

// "PROGRAM (Tarvex Download Service) VERSION": what --version prints.
std::string VersionLine(const std::string& program);

// Looks for -h, --help and --version among argv[1..argc-1], up to a lone
// "--". For the first one found it prints the help text or the version line
// on standard output and returns true: the caller then exits with status 0.
// Returns false, printing nothing, when none of them was given.
bool AnswerStandardOption(int argc, const char* const* argv, const std::string& program,
                          const char* helpText);

// The document named on the desktop program's command line (the arguments
// after the program name), read as the framework's standard parser reads
// it: an argument beginning with "-" is an option and is left to whoever
// takes it (the toolkit, the browser engine), never opened as a document;
// every argument after "--webEngineArgs" belongs to the browser engine; a
// lone "--" ends the options, so that a file whose name begins with "-" can
// still be named. The first remaining argument is the document; nullopt when
// there is none.
std::optional<std::string> DocumentArgument(const std::vector<std::string>& arguments);

// Whether the desktop program's arguments tell the toolkit where to show the
// window (-platform NAME or -display DISPLAY, also spelt with "--"), so that
// it needs no display from the environment. Options end at a lone "--".
bool ChoosesDisplay(const std::vector<std::string>& arguments);

// The desktop program's own options, taken out of its arguments (before a
// lone "--"): --add ADDRESS and --download ADDRESS with --referrer URL and
// --text TEXT, and --last-folder (the menu's start: the folder used last).
// --add or --download without an address (a menu's action started without
// a link) only opens the window.
struct WindowOptions {
    std::string action;  // "add", "download", or "" for none
    std::string url, referrer, text;
    bool lastFolder = false;
    std::string error;  // why the options cannot be taken ("" when they can)
};
WindowOptions TakeWindowOptions(std::vector<std::string>& arguments);

}  // namespace tvx
