#include "transfer/ResponseHead.h"

#include <algorithm>
#include <cstdlib>

#include "platform/Text.h"

namespace tvx {

namespace {

bool AllDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A run of at most 18 digits (far above any file size) as a number.
bool ReadNumber(std::string_view s, std::int64_t& value) {
    if (!AllDigits(s) || s.size() > 18)
        return false;
    value = 0;
    for (char c : s)
        value = value * 10 + (c - '0');
    return true;
}

}  // namespace

std::string_view TrimHeaderText(std::string_view s) {
    while (!s.empty() &&
           (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

std::int64_t ParseContentLength(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        constexpr std::int64_t kCeiling = std::int64_t(1) << 60;
        value = value >= kCeiling / 10 ? kCeiling : value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

bool IsContentLengthText(const std::string& text) {
    return AllDigits(TrimHeaderText(text));
}

bool IsFollowedRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsStrongEtag(const std::string& etag) {
    return !etag.empty() && etag.rfind("W/", 0) != 0;
}

bool ParseContentRange(const std::string& text, std::int64_t& first, std::int64_t& total,
                       std::int64_t* last) {
    std::string_view s = TrimHeaderText(text);
    if (s.size() < 6 || CompareNoCase(s.substr(0, 6), "bytes ") != 0)
        return false;
    s = TrimHeaderText(s.substr(6));
    const std::size_t dash = s.find('-');
    const std::size_t slash = s.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return false;
    std::int64_t a = 0, b = 0, t = 0;
    if (!ReadNumber(s.substr(0, dash), a) || !ReadNumber(s.substr(dash + 1, slash - dash - 1), b) ||
        !ReadNumber(s.substr(slash + 1), t) || a > b || b >= t) {
        return false;
    }
    first = a;
    total = t;
    if (last != nullptr)
        *last = b;
    return true;
}

void ResponseHeadParser::Line(std::string_view raw) {
    const std::string_view line = TrimHeaderText(raw);
    if (raw.size() >= 5 && raw.substr(0, 5) == "HTTP/") {
        current = HttpResponse{};
        location.clear();
        const std::size_t space = line.find(' ');
        if (space != std::string_view::npos)
            current.status = std::atol(std::string(line.substr(space + 1, 3)).c_str());
        return;
    }
    if (line.empty()) {  // the end of one response's header lines
        if (current.status >= 100 && current.status < 200)
            return;  // another follows
        headersDone = true;
        if (IsFollowedRedirect(current.status) && !location.empty()) {
            redirectPending = true;
        } else {
            if (!current.transferEncoding.empty()) {
                // The coding ends the body; a length beside it is not the body's.
                current.hasContentLength = false;
                current.contentLength.clear();
                current.conflictingLength.clear();
            }
            response = current;
            bodyLimit = current.hasContentLength && current.conflictingLength.empty() &&
                                IsContentLengthText(current.contentLength)
                            ? ParseContentLength(current.contentLength)
                            : -1;
        }
        return;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || line.front() == ' ' || line.front() == '\t')
        return;
    const std::string_view name = TrimHeaderText(line.substr(0, colon));
    const std::string value(TrimHeaderText(line.substr(colon + 1)));
    if (CompareNoCase(name, "Content-Length") == 0) {
        TakeContentLength(value);
    } else if (CompareNoCase(name, "ETag") == 0) {
        current.etag = value;
    } else if (CompareNoCase(name, "Last-Modified") == 0) {
        current.lastModified = value;
    } else if (CompareNoCase(name, "Content-Range") == 0) {
        current.contentRange = value;
    } else if (CompareNoCase(name, "Location") == 0) {
        location = value;
    } else if (CompareNoCase(name, "Content-Encoding") == 0) {
        current.contentEncoding = value;
    } else if (CompareNoCase(name, "Repr-Digest") == 0) {
        current.reprDigest += (current.reprDigest.empty() ? "" : ", ") + value;
    } else if (CompareNoCase(name, "Content-Digest") == 0) {
        current.contentDigest += (current.contentDigest.empty() ? "" : ", ") + value;
    } else if (CompareNoCase(name, "Digest") == 0) {
        current.digest += (current.digest.empty() ? "" : ", ") + value;
    } else if (CompareNoCase(name, "Retry-After") == 0) {
        current.retryAfter = value;
    } else if (CompareNoCase(name, "Transfer-Encoding") == 0 && CompareNoCase(value, "identity") != 0) {
        current.transferEncoding += (current.transferEncoding.empty() ? "" : ", ") + value;
    }
}

// A length may come in several headers or as a list ("100, 100"); equal
// values count as one, differing ones make the length unknown.
void ResponseHeadParser::TakeContentLength(const std::string& value) {
    std::string_view rest = value;
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string element(TrimHeaderText(rest.substr(0, comma)));
        if (!current.hasContentLength) {
            current.hasContentLength = true;
            current.contentLength = element;
        } else if (element != current.contentLength && current.conflictingLength.empty()) {
            current.conflictingLength = element;
        }
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
}

}  // namespace tvx
