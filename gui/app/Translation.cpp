#include "app/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTranslator>
#include <vector>

#include "platform/Text.h"

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

// The core's texts that reach the window, listed here for the translation
// tools: the download list's menus, the dialogs' status words and the file
// states of the list's tool tips.
[[maybe_unused]] const char* const kCoreTexts[] = {
    QT_TRANSLATE_NOOP("CoreTexts", "Edit this Item"),
    QT_TRANSLATE_NOOP("CoreTexts", "Add and Edit a new Item"),
    QT_TRANSLATE_NOOP("CoreTexts", "Copy this Item"),
    QT_TRANSLATE_NOOP("CoreTexts", "Paste copyed or killed Item"),
    QT_TRANSLATE_NOOP("CoreTexts", "Kill and copy this Item"),
    QT_TRANSLATE_NOOP("CoreTexts", "Add and Edit a new DIR"),
    QT_TRANSLATE_NOOP("CoreTexts", "Kill the downloaded File from the HardDrive"),
    QT_TRANSLATE_NOOP("CoreTexts", "Download this File now"),
    QT_TRANSLATE_NOOP("CoreTexts", "Save this TreeControl"),
    QT_TRANSLATE_NOOP("CoreTexts", "Add and Edit a new Item for this DIR"),
    QT_TRANSLATE_NOOP("CoreTexts", "Paste copyed Item in this DIR"),
    QT_TRANSLATE_NOOP("CoreTexts", "Edit this DIR"),
    QT_TRANSLATE_NOOP("CoreTexts", "Copy this DIR"),
    QT_TRANSLATE_NOOP("CoreTexts", "Paste copyed or killed DIR"),
    QT_TRANSLATE_NOOP("CoreTexts", "Kill and copy this DIR"),
    QT_TRANSLATE_NOOP("CoreTexts", "Kill  this DIR incl. all items (no copy)"),
    QT_TRANSLATE_NOOP("CoreTexts", "Save The TreeControl as ...."),
    QT_TRANSLATE_NOOP("CoreTexts", "Check the TreeControl"),
    QT_TRANSLATE_NOOP("CoreTexts", "Check and Download"),
    QT_TRANSLATE_NOOP("CoreTexts", "Check the files"),
    QT_TRANSLATE_NOOP("CoreTexts", "DOWNLOAD"),
    QT_TRANSLATE_NOOP("CoreTexts", "TEST CONNECT"),
    QT_TRANSLATE_NOOP("CoreTexts", "Check if update"),
    QT_TRANSLATE_NOOP("CoreTexts", "DownLoding"),
    QT_TRANSLATE_NOOP("CoreTexts", "not on disk"),
    QT_TRANSLATE_NOOP("CoreTexts", "incomplete (transfer record unreadable)"),
    QT_TRANSLATE_NOOP("CoreTexts", "Directory not empty"),
    QT_TRANSLATE_NOOP("CoreTexts", "KILL this DIR complett ? shure ? then press OK"),
};

// The core's texts with figures or names in them, %1, %2 ... standing for
// those: the dialogs' captions, the progress line under their bars and the
// file's state in the list's tool tips.
const char* const kCoreTemplates[] = {
    QT_TRANSLATE_NOOP("CoreTexts", "check the file: %1"),
    QT_TRANSLATE_NOOP("CoreTexts", "Load Max %1 Byte Download Data"),
    QT_TRANSLATE_NOOP("CoreTexts", "Download update check file: %1"),
    QT_TRANSLATE_NOOP("CoreTexts", "Download: %1 Byte %2"),
    QT_TRANSLATE_NOOP("CoreTexts", "%1 of %2  %3%  %4/s  %5 left"),
    QT_TRANSLATE_NOOP("CoreTexts", "%1 of %2  %3%  %4/s"),
    QT_TRANSLATE_NOOP("CoreTexts", "%1 of %2  %3/s"),
    QT_TRANSLATE_NOOP("CoreTexts", "incomplete (%1 of %2 bytes)"),
    QT_TRANSLATE_NOOP("CoreTexts", "complete (%1 bytes, %2)"),
    QT_TRANSLATE_NOOP("CoreTexts", "This link cannot be downloaded here: its address or its "
                                   "local path (%1) contains a comma."),
    QT_TRANSLATE_NOOP("CoreTexts", "There is no downloaded file %1 to delete."),
    QT_TRANSLATE_NOOP("CoreTexts", "Delete the downloaded file %1 (%2 Byte) from the disk?"),
};

// A template as a pattern that takes its figures and names back out of a
// text: each %N matches anything, the rest only itself.
struct Template {
    const char* source;
    QRegularExpression pattern;
};

const std::vector<Template>& Templates() {
    static const std::vector<Template> templates = [] {
        std::vector<Template> all;
        static const QRegularExpression placeholder(QStringLiteral("%\\d"));
        for (const char* source : kCoreTemplates) {
            const QStringList literals = QString::fromLatin1(source).split(placeholder);
            QStringList escaped;
            for (const QString& literal : literals)
                escaped << QRegularExpression::escape(literal);
            all.push_back({source, QRegularExpression(QLatin1Char('^') +
                                                      escaped.join(QStringLiteral("(.*?)")) +
                                                      QLatin1Char('$'))});
        }
        return all;
    }();
    return templates;
}

}  // namespace

QString CoreText(const std::string& text) {
    const QString source = QString::fromUtf8(text.c_str());
    const QString translated = QCoreApplication::translate("CoreTexts", text.c_str());
    if (translated != source)
        return translated;
    const QString shown = QString::fromStdString(tvx::DisplayText(text));
    for (const Template& t : Templates()) {
        const QRegularExpressionMatch match = t.pattern.match(shown);
        if (!match.hasMatch())
            continue;
        // In one pass, so a name that holds "%2" stays as it is.
        const QString translation = QCoreApplication::translate("CoreTexts", t.source);
        QString filled;
        for (qsizetype i = 0; i < translation.size(); ++i) {
            const int n = i + 1 < translation.size() && translation[i] == QLatin1Char('%')
                              ? translation[i + 1].digitValue()
                              : -1;
            if (n >= 1 && n <= match.lastCapturedIndex()) {
                filled += match.captured(n);
                ++i;
            } else {
                filled += translation[i];
            }
        }
        return filled;
    }
    return shown;
}

QString ConnectionsText(int connections) {
    return connections > 1 ? QStringLiteral("  ") +
                                 QCoreApplication::translate("CoreTexts", "%n connections",
                                                             nullptr, connections)
                           : QString();
}

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
