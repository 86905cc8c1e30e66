#pragma once
// The window's language. The window shows German texts when the locale's
// first language is German and its own English texts otherwise; the toolkit's
// standard buttons and dialogs follow it. Only what the window shows is
// translated: the log, the files the program writes and the command-line
// programs keep their English texts, which scripts read.

#include <QList>
#include <QLocale>
#include <QString>
#include <string>

class QTranslator;

// Installs the window's translation for the first language of locale, with
// the toolkit's own translations for that language, into the application.
// Returns the translators installed (children of the application); none when
// the program has no translation for that language.
QList<QTranslator*> InstallTranslations(const QLocale& locale);

// A text of the core that the window shows as it is (a menu entry, a status
// word), in the window's language; unknown texts are shown as they come.
QString CoreText(const std::string& text);

// "  4 connections" when a transfer reads from more than one; "" else.
QString ConnectionsText(int connections);
