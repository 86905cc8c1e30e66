#pragma once
// The texts of the download list between their stored bytes and the widgets
// that show and edit them. A record's bytes are shown as UTF-8 when they are
// valid UTF-8 and as Windows-1252 otherwise; an edit stores exactly the bytes
// that were read unless the user changed the text, and a changed text as
// UTF-8 with every control character (a pasted line break, a TAB) made a space.

#include <QString>
#include <string>
#include <string_view>

// The stored bytes as the widgets show them.
QString ShownText(std::string_view bytes);

// A text the user typed or pasted, as it is stored: UTF-8, with control
// characters and line or paragraph separators made spaces.
std::string EditedText(const QString& text);

// The bytes to store for a field that showed original and now holds shown:
// the original bytes when the user left the text as it was shown, otherwise
// the edited text.
std::string KeptOrEdited(const QString& shown, std::string_view original);
