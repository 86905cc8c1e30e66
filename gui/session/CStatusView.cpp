#include "session/CStatusView.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>

#include "platform/Text.h"
CStatusView* g_pStatusView = nullptr;

namespace {
// The log font, made once for the whole run.
const QFont& LogFont() {
    static const QFont font = [] {
        QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setStyleHint(QFont::TypeWriter);
        f.setFixedPitch(true);
        f.setPixelSize(11);
        return f;
    }();
    return font;
}
}  // namespace

CStatusView::CStatusView(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUndoRedoEnabled(false);
    // A change of the log never counts as a change of a document.
    connect(document(), &QTextDocument::contentsChanged, this,
            [this] { document()->setModified(false); });
}

CStatusView::~CStatusView() {
    if (g_pStatusView == this)
        g_pStatusView = nullptr;
}

void CStatusView::OnInitialUpdate() {
    g_pStatusView = this;
    setFont(LogFont());
}

int CStatusView::TextLength() const {
    // Characters plus one more for each line break (counted as CR LF).
    const QTextDocument* doc = document();
    return (doc->characterCount() - 1) + (doc->blockCount() - 1);
}

void CStatusView::TypeText(const std::string& text) {
    QString typed;
    typed.reserve(static_cast<qsizetype>(text.size()));
    // Texts are bytes: UTF-8, or an older list's single-byte code page.
    for (const QChar c : QString::fromStdString(tvx::DisplayText(text))) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            typed += QLatin1Char('\n');
        } else if (c == QLatin1Char('\t') || c.unicode() >= 32) {
            typed += c;
        }
        // BEL and the other control characters insert nothing.
    }
    QTextCursor cursor = textCursor();
    const QString selected = cursor.selectedText();
    const int freed = static_cast<int>(selected.size()) +
                      static_cast<int>(selected.count(QChar::ParagraphSeparator));
    int room = kTextLimit - (TextLength() - freed);
    qsizetype fits = 0;
    for (; fits < typed.size(); ++fits) {
        const int cost = typed[fits] == QLatin1Char('\n') ? 2 : 1;
        if (room < cost)
            break;
        room -= cost;
    }
    if (fits == 0 && !cursor.hasSelection())
        return;
    cursor.insertText(typed.left(fits));
    setTextCursor(cursor);
    ensureCursorVisible();
}

void WriteLog(const std::string& text, bool lineEnd) {
    if (g_pStatusView == nullptr)
        return;
    g_pStatusView->TypeText(lineEnd ? text + "\n" : text);
}
