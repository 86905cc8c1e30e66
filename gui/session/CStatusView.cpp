#include "session/CStatusView.h"

#include <QFontDatabase>

CStatusView* g_pStatusView = nullptr;

CStatusView::CStatusView(QWidget* parent) : QPlainTextEdit(parent) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(11);
    setFont(font);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    g_pStatusView = this;
}
