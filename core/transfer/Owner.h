#pragma once
// What the owner of a transfer shows: the small interfaces that the desktop
// dialogs and the headless commands implement, so that one engine serves both.

#include <cstdint>
#include <string>

namespace tvx {

// A progress bar.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void SetRange(int low, int high) = 0;
    virtual void SetPos(int pos) = 0;
};

// The running animation of a dialog.
class Animation {
public:
    virtual ~Animation() = default;
    virtual void Play() = 0;  // from the first frame, repeating
    virtual void Stop() = 0;  // stopped, showing its first frame
};

// Message boxes with an OK button. Texts may hold BEL characters (code 7),
// which a box does not show; it sounds one alert where a text had any.
class Ui {
public:
    virtual ~Ui() = default;
    virtual void MessageBox(const std::string& text) = 0;
    // A remark on the way that needs no answer (a transfer that starts over,
    // for instance). Owners without a place for it drop it.
    virtual void Notice(const std::string& /*text*/) {}
};

// The session log: the text, followed by a line end when lineEnd is set.
class Log {
public:
    virtual ~Log() = default;
    virtual void Write(const std::string& text, bool lineEnd) = 0;
};

// x * 100 / total without overflow, 0 for an empty total, kept within 0..100.
int Percent(std::int64_t x, std::int64_t total);

// The text without its BEL characters, and whether it had any.
std::string WithoutBells(const std::string& text, bool* hadBell = nullptr);

}  // namespace tvx
