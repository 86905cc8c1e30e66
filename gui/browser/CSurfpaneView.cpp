#include "browser/CSurfpaneView.h"

CSurfpaneView::CSurfpaneView(QWidget* parent) : QTextBrowser(parent) {
    setHtml(
        QStringLiteral("<h2>Tarvex Download Service</h2>"
                       "<p>The download list is on the left; the log is below.</p>"));
}
