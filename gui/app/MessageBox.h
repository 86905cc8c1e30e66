#pragma once
// Message boxes and beeps of the desktop program. Texts may hold BEL
// characters (code 7) as alarms: a box never shows them but sounds one beep
// when a text had any. Tests replace the box and the beep with recorders.

#include <functional>
#include <string>

class QWidget;

enum class MessageButtons { Ok, OkCancel };

// Shows a modal box titled with the program's name; true when OK was pressed.
bool ShowMessageBox(const std::string& text, MessageButtons buttons = MessageButtons::Ok,
                    QWidget* parent = nullptr);
void Beep();

using MessageBoxHandler = std::function<bool(const std::string& text, MessageButtons buttons)>;
// Replaces every message box (an empty handler restores the real one).
void SetMessageBoxHandler(MessageBoxHandler handler);
void SetBeepHandler(std::function<void()> handler);
