#pragma once
// A temporary start directory for widget tests: created, made current and
// captured as the start directory; removed again at the end.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class GuiSandbox {
public:
    GuiSandbox();
    ~GuiSandbox();
    QString PathOf(const QString& name) const { return m_dir.filePath(name); }
    QString ReadFile(const QString& name) const;
    void WriteFile(const QString& name, const QByteArray& contents) const;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

class QWidget;

// The controls of a window a screen reader would announce without a name or
// a description: every widget that takes the keyboard focus, every progress
// bar and the window itself (scroll bars and the insides of scroll areas and
// of the browser engine are left to their owners). Each as "class: what is
// missing".
QStringList ControlsWithoutAccessibleText(QWidget* window);

// The places where Tab moves focus against the reading order (top to bottom,
// then left to right) among a window's visible controls.
QStringList FocusOrderFaults(QWidget* window);
