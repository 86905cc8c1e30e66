#pragma once
// The log pane at the bottom of the main window. Session texts reach it as
// typed characters: each goes in at the insertion point (replacing a
// selection), CR and LF each break the line, BEL inserts nothing, and the
// pane scrolls to keep the insertion point in view. The log lives only here:
// it is never saved and never cleared by the program.

#include <QPlainTextEdit>
#include <string>

class CStatusView : public QPlainTextEdit {
    Q_OBJECT
public:
    // The pane takes no more text than this many characters (a line break
    // counting as two, as on the desktop the log format comes from).
    static constexpr int kTextLimit = 1048575;

    explicit CStatusView(QWidget* parent = nullptr);
    ~CStatusView() override;

    // Makes this the pane the session writes to and gives it the log font.
    void OnInitialUpdate();
    // Types the text's characters at the insertion point.
    void TypeText(const std::string& text);
    int TextLength() const;
};

// The program-wide pointer to the log pane, set by its initial update.
extern CStatusView* g_pStatusView;

// Writes a session text to the log pane, followed by a line end when lineEnd
// is set. Does nothing when there is no log pane.
void WriteLog(const std::string& text, bool lineEnd);
