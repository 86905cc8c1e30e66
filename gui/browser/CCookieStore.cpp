#include "browser/CCookieStore.h"

#include <QDateTime>
#include <QWebEngineCookieStore>

CCookieStore::CCookieStore(QWebEngineCookieStore* store, QObject* parent) : QObject(parent) {
    connect(store, &QWebEngineCookieStore::cookieAdded, this, &CCookieStore::OnCookieAdded);
    connect(store, &QWebEngineCookieStore::cookieRemoved, this, &CCookieStore::OnCookieRemoved);
    store->loadAllCookies();
}

void CCookieStore::OnCookieAdded(const QNetworkCookie& cookie) {
    // A cookie set again replaces the one with the same name, domain and path.
    OnCookieRemoved(cookie);
    m_cookies.append(cookie);
}

void CCookieStore::OnCookieRemoved(const QNetworkCookie& cookie) {
    m_cookies.removeIf([&](const QNetworkCookie& held) { return held.hasSameIdentifier(cookie); });
}

std::vector<std::string> CCookieStore::NetscapeLines() const {
    std::vector<std::string> lines;
    for (const QNetworkCookie& cookie : m_cookies) {
        std::string line = NetscapeLine(cookie);
        if (!line.empty())
            lines.push_back(std::move(line));
    }
    return lines;
}

std::string CCookieStore::NetscapeLine(const QNetworkCookie& cookie) {
    const QByteArray domain = cookie.domain().toUtf8();
    const QByteArray path = cookie.path().isEmpty() ? QByteArray("/") : cookie.path().toUtf8();
    for (const QByteArray& field : {domain, path, cookie.name(), cookie.value()}) {
        if (field.contains('\t') || field.contains('\n') || field.contains('\r'))
            return {};
    }
    if (domain.isEmpty() || cookie.name().isEmpty())
        return {};
    // A domain with a leading dot was set for the domain and its subdomains;
    // one without belongs to its host alone.
    const bool subdomains = domain.startsWith('.');
    const qint64 expiry = cookie.isSessionCookie() ? 0 : cookie.expirationDate().toSecsSinceEpoch();
    QByteArray line = domain + '\t' + (subdomains ? "TRUE" : "FALSE") + '\t' + path + '\t' +
                      (cookie.isSecure() ? "TRUE" : "FALSE") + '\t' + QByteArray::number(expiry) +
                      '\t' + cookie.name() + '\t' + cookie.value();
    return line.toStdString();
}
