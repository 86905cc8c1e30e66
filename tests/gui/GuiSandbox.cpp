#include "GuiSandbox.h"

#include <QDir>
#include <QFile>

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
