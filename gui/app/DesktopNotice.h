#pragma once
// A desktop notification for work that ended while the person looked
// elsewhere: a download or session that ran longer than g_desktopNoticeAfter
// and ended while no window of the program was the active one. It goes to
// the freedesktop notification service over the session D-Bus; without one
// nothing happens.

#include <QString>
#include <chrono>
#include <functional>

// How long work must have run before its end is worth a notification.
extern std::chrono::milliseconds g_desktopNoticeAfter;

// Replaces the D-Bus call (tests record notices); an empty sink restores it.
using DesktopNoticeSink = std::function<void(const QString& summary, const QString& body)>;
void SetDesktopNoticeSink(DesktopNoticeSink sink);

// Sends the notice when the work took long enough and the program's window
// is not the active one.
void NoticeWorkEnded(std::chrono::steady_clock::duration took, const QString& summary,
                     const QString& body);
