#include "GuiSandbox.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QProgressBar>
#include <QScrollBar>

#include "app/Settings.h"
#include "downloadlist/LinkRecord.h"

GuiSandbox::GuiSandbox() : m_previous(QDir::currentPath()) {
    QDir::setCurrent(m_dir.path());
    tvx::CaptureStartDirectory();
    tvx::g_linkTable = tvx::LinkTable{};
}

GuiSandbox::~GuiSandbox() {
    QDir::setCurrent(m_previous);
}

QString GuiSandbox::ReadFile(const QString& name) const {
    QFile file(PathOf(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll());
}

void GuiSandbox::WriteFile(const QString& name, const QByteArray& contents) const {
    QFile file(PathOf(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(contents);
}

namespace {

QList<QWidget*> Controls(QWidget* window) {
    QList<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || qobject_cast<QScrollBar*>(w) != nullptr ||
            qobject_cast<QMenu*>(w) != nullptr)
            continue;
        // A scroll area's viewport, a combo box's editor, the browser
        // engine's own widgets: their owner speaks for them.
        bool inside = false;
        for (QWidget* p = w->parentWidget(); p != nullptr && p != window; p = p->parentWidget())
            inside = inside || qobject_cast<QAbstractScrollArea*>(p) != nullptr ||
                     qobject_cast<QComboBox*>(p) != nullptr || p->inherits("QWebEngineView");
        if (!inside && ((w->focusPolicy() & Qt::TabFocus) || w->inherits("QWebEngineView") ||
                        qobject_cast<QProgressBar*>(w) || qobject_cast<QAbstractButton*>(w)))
            controls << w;
    }
    return controls;
}

}  // namespace

QStringList ControlsWithoutAccessibleText(QWidget* window) {
    QStringList missing;
    QList<QWidget*> all = Controls(window);
    all.prepend(window);
    for (QWidget* w : all) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
        const QString what = QString::fromLatin1(w->metaObject()->className()) + " " +
                             w->objectName() + ": ";
        if (face == nullptr) {
            missing << what + "no interface";
            continue;
        }
        if (face->text(QAccessible::Name).trimmed().isEmpty())
            missing << what + "name";
        if (face->text(QAccessible::Description).trimmed().isEmpty())
            missing << what + "description (" + face->text(QAccessible::Name) + ")";
    }
    return missing;
}

QStringList FocusOrderFaults(QWidget* window) {
    QList<QWidget*> controls;
    for (QWidget* w : Controls(window)) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled())
            controls << w;
    }
    QList<QWidget*> chain;
    for (QWidget* w = window->nextInFocusChain(); w != window && chain.size() < 1000;
         w = w->nextInFocusChain()) {
        if (controls.contains(w) && !chain.contains(w))
            chain << w;
    }
    const auto name = [](const QWidget* w) {
        return w->accessibleName().isEmpty() ? QString(w->metaObject()->className())
                                             : w->accessibleName();
    };
    QStringList faults;
    for (qsizetype i = 1; i < chain.size(); ++i) {
        const QRect a(chain[i - 1]->mapTo(window, QPoint()), chain[i - 1]->size());
        const QRect b(chain[i]->mapTo(window, QPoint()), chain[i]->size());
        // Beside each other when they share most of a row; then left to right.
        const bool sameRow = b.top() < a.center().y() && a.top() < b.center().y();
        const bool forward = sameRow ? b.left() >= a.left() : b.top() >= a.center().y();
        if (!forward)
            faults << name(chain[i - 1]) + " -> " + name(chain[i]);
    }
    return faults;
}
