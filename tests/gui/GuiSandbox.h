#pragma once
// A temporary start directory for widget tests: created, made current and
// captured as the start directory; removed again at the end.

#include <QString>
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
