#pragma once
// The browser pane at the upper right of the main window.

#include <QTextBrowser>

class CSurfpaneView : public QTextBrowser {
    Q_OBJECT
public:
    explicit CSurfpaneView(QWidget* parent = nullptr);
};
