#pragma once
// The browser's cookies as the transfer sends them. The store follows the
// profile's cookie store (every cookie a page sets or drops) and hands the
// cookies out as lines of the Netscape cookie file, for HttpSettings::cookies.

#include <QList>
#include <QNetworkCookie>
#include <QObject>
#include <string>
#include <vector>

class QWebEngineCookieStore;

class CCookieStore : public QObject {
    Q_OBJECT
public:
    // Follows store from now on and asks it for the cookies it holds already.
    explicit CCookieStore(QWebEngineCookieStore* store, QObject* parent = nullptr);

    // Every cookie held, one Netscape line each (cookies that cannot be
    // written as one are left out).
    std::vector<std::string> NetscapeLines() const;
    // The Netscape line of one cookie; empty when it has no domain or its
    // name or value holds a TAB or a line break.
    static std::string NetscapeLine(const QNetworkCookie& cookie);

private:
    void OnCookieAdded(const QNetworkCookie& cookie);
    void OnCookieRemoved(const QNetworkCookie& cookie);

    QList<QNetworkCookie> m_cookies;
};
