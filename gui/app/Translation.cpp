#include "app/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// Loads the catalogue name_<language>.qm from folder and installs it.
QTranslator* Install(const QLocale& language, const char* name, const QString& folder) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(language, QString::fromLatin1(name), QStringLiteral("_"), folder) &&
        QCoreApplication::installTranslator(translator)) {
        return translator;
    }
    delete translator;
    return nullptr;
}

}  // namespace

QList<QTranslator*> InstallTranslations(const QLocale& locale) {
    QList<QTranslator*> installed;
    // Only the first language counts: a person whose first choice is English
    // keeps the English window even when a later choice names German.
    const QStringList languages = locale.uiLanguages();
    if (languages.isEmpty())
        return installed;
    const QLocale first(languages.first());
    // The window's own texts are built into the program.
    QTranslator* own = Install(first, "tvx", QStringLiteral(":/i18n"));
    if (own == nullptr)
        return installed;
    installed << own;
    // The toolkit's come with the distribution's Qt translations, when they
    // are installed: the standard buttons and dialogs, and the browser
    // engine's context menu.
    const QString toolkit = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase", "qtwebengine"}) {
        if (QTranslator* translator = Install(first, name, toolkit))
            installed << translator;
    }
    return installed;
}
