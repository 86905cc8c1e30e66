#include "app/TitleFit.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHash>
#include <QLayout>
#include <QSpacerItem>

namespace {

class TitleFit : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show || event->type() == QEvent::WindowTitleChange) {
            auto* dialog = qobject_cast<QDialog*>(watched);
            // Qt's own dialogs size themselves (a message box measures its
            // title) or are wide anyway; only the program's own are widened.
            if (dialog != nullptr && dialog->isWindow() &&
                !QByteArray(dialog->metaObject()->className()).startsWith('Q'))
                Fit(dialog);
        }
        return false;
    }

private:
    void Fit(QDialog* dialog) {
        const int need = TitleWidth(*dialog);
        QLayout* layout = dialog->layout();
        if (layout == nullptr) {
            dialog->setMinimumWidth(need);
            return;
        }
        // A fixed-size layout sets the dialog's size from its items, so the
        // width goes in as an item of its own: an empty strip as wide as the
        // title needs.
        QSpacerItem*& strip = m_strips[dialog];
        if (strip == nullptr) {
            strip = new QSpacerItem(need, 0, QSizePolicy::Fixed, QSizePolicy::Fixed);
            if (auto* grid = qobject_cast<QGridLayout*>(layout))
                grid->addItem(strip, grid->rowCount(), 0, 1, grid->columnCount());
            else
                layout->addItem(strip);
            connect(dialog, &QObject::destroyed, this,
                    [this, dialog] { m_strips.remove(dialog); });
        } else {
            strip->changeSize(need, 0, QSizePolicy::Fixed, QSizePolicy::Fixed);
        }
        layout->invalidate();
        layout->activate();
    }

    QHash<QDialog*, QSpacerItem*> m_strips;
};

}  // namespace

int TitleWidth(const QWidget& window) {
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    // The frame's icon, its three buttons and the space between them take
    // about six lines' height beside the text.
    return metrics.horizontalAdvance(window.windowTitle()) + 6 * metrics.height();
}

void InstallTitleFit(QApplication& app) {
    static TitleFit* fit = nullptr;
    if (fit == nullptr) {
        fit = new TitleFit(&app);
        app.installEventFilter(fit);
    }
}
