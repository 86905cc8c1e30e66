#include "app/MessageBox.h"

#include <QApplication>
#include <QMessageBox>

#include "app/Translation.h"
#include "platform/Text.h"
#include "transfer/Owner.h"

namespace {
MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}
std::function<void()>& BeepHandler() {
    static std::function<void()> handler;
    return handler;
}
}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) {
    Handler() = std::move(handler);
}
void SetBeepHandler(std::function<void()> handler) {
    BeepHandler() = std::move(handler);
}

void Beep() {
    if (BeepHandler()) {
        BeepHandler()();
    } else {
        QApplication::beep();
    }
}

bool ShowMessageBox(const std::string& text, MessageButtons buttons, QWidget* parent) {
    if (Handler())
        return Handler()(text, buttons);
    bool bell = false;
    const std::string shown = tvx::WithoutBells(text, &bell);
    if (bell)
        Beep();
    QMessageBox box(
        buttons == MessageButtons::OkCancel ? QMessageBox::Question : QMessageBox::Warning,
        QStringLiteral("Tarvex Download Service"), CoreText(shown),
        buttons == MessageButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                            : QMessageBox::Ok,
        parent);
    return box.exec() == QMessageBox::Ok;
}
