#pragma once
// The log pane at the bottom of the main window.

#include <QPlainTextEdit>

class CStatusView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CStatusView(QWidget* parent = nullptr);
};

// The program-wide pointer to the log pane.
extern CStatusView* g_pStatusView;
