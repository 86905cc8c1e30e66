#include "browser/HandOff.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace tvx {

namespace {

// A JSON value, as much of JSON as requests need: every type is read, and
// whatever a request does not use is checked and dropped.
struct Json {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;        // an array's items, or an object's values
    std::vector<std::string> keys;  // an object's keys, one for each of items

    const Json* Field(const char* name) const {
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (keys[i] == name)
                return &items[i];
        }
        return nullptr;
    }
};

class JsonReader {
public:
    explicit JsonReader(const std::string& text) : m_text(text) {}

    bool Document(Json& value) {
        if (!Value(value, 0))
            return false;
        Blanks();
        return m_pos == m_text.size();
    }

private:
    static constexpr int kMaxDepth = 16;

    void Blanks() {
        while (m_pos < m_text.size() && std::strchr(" \t\r\n", m_text[m_pos]) != nullptr &&
               m_text[m_pos] != '\0')
            ++m_pos;
    }
    bool Take(char c) {
        Blanks();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool Word(const char* word) {
        const std::size_t n = std::strlen(word);
        if (m_text.compare(m_pos, n, word) != 0)
            return false;
        m_pos += n;
        return true;
    }

    bool Value(Json& value, int depth) {
        if (depth > kMaxDepth)
            return false;
        Blanks();
        if (m_pos >= m_text.size())
            return false;
        const char c = m_text[m_pos];
        if (c == '"') {
            value.type = Json::Type::String;
            return String(value.text);
        }
        if (c == '{') {
            ++m_pos;
            value.type = Json::Type::Object;
            if (Take('}'))
                return true;
            do {
                std::string key;
                Blanks();
                if (m_pos >= m_text.size() || m_text[m_pos] != '"' || !String(key) || !Take(':'))
                    return false;
                value.keys.push_back(std::move(key));
                value.items.emplace_back();
                if (!Value(value.items.back(), depth + 1))
                    return false;
            } while (Take(','));
            return Take('}');
        }
        if (c == '[') {
            ++m_pos;
            value.type = Json::Type::Array;
            if (Take(']'))
                return true;
            do {
                value.items.emplace_back();
                if (!Value(value.items.back(), depth + 1))
                    return false;
            } while (Take(','));
            return Take(']');
        }
        if (Word("true") || Word("false")) {
            value.type = Json::Type::Bool;
            value.boolean = m_text[m_pos - 1] == 'e' && m_text[m_pos - 2] == 'u';
            return true;
        }
        if (Word("null"))
            return true;
        return Number(value);
    }

    bool Number(Json& value) {
        const char* start = m_text.c_str() + m_pos;
        if (*start != '-' && (*start < '0' || *start > '9'))
            return false;
        char* end = nullptr;
        value.number = std::strtod(start, &end);
        if (end == start || !std::isfinite(value.number))
            return false;
        value.type = Json::Type::Number;
        m_pos += static_cast<std::size_t>(end - start);
        return true;
    }

    static void Utf8(unsigned code, std::string& out) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool Hex4(unsigned& code) {
        if (m_text.size() - m_pos < 4)
            return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = m_text[m_pos++];
            code <<= 4;
            if (h >= '0' && h <= '9')
                code |= static_cast<unsigned>(h - '0');
            else if (h >= 'a' && h <= 'f')
                code |= static_cast<unsigned>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                code |= static_cast<unsigned>(h - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    bool String(std::string& out) {
        ++m_pos;  // the opening quote
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size())
                return false;
            const char e = m_text[m_pos++];
            const char* plain = std::strchr("\"\\/bfnrt", e);
            if (plain != nullptr && e != '\0') {
                out += "\"\\/\b\f\n\r\t"[plain - "\"\\/bfnrt"];
                continue;
            }
            unsigned code = 0;
            if (e != 'u' || !Hex4(code))
                return false;
            if (code >= 0xD800 && code < 0xDC00) {  // a pair for one character
                unsigned low = 0;
                if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF)
                    return false;
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            } else if (code >= 0xDC00 && code < 0xE000) {
                return false;
            }
            Utf8(code, out);
        }
        return false;
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
};

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\t') {
            out += "\\t";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += Format("\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
        } else {
            out += c;
        }
    }
    return out + '"';
}

bool HasControl(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

// A cookie of the extension API as a Netscape line; "" when it cannot be one.
std::string CookieLine(const Json& cookie) {
    if (cookie.type != Json::Type::Object)
        return {};
    const auto text = [&](const char* name, const char* fallback) -> std::string {
        const Json* f = cookie.Field(name);
        return f != nullptr && f->type == Json::Type::String ? f->text : fallback;
    };
    const auto flag = [&](const char* name) {
        const Json* f = cookie.Field(name);
        return f != nullptr && f->type == Json::Type::Bool && f->boolean;
    };
    std::string domain = text("domain", ""), path = text("path", "/");
    const std::string name = text("name", ""), value = text("value", "");
    for (const std::string& field : {domain, path, name, value}) {
        if (HasControl(field))
            return {};
    }
    if (domain.empty() || name.empty())
        return {};
    // A cookie for the domain and its subdomains is written with a leading
    // dot; one of its host alone without.
    const bool hostOnly = flag("hostOnly");
    if (hostOnly && domain.front() == '.')
        domain.erase(0, 1);
    if (!hostOnly && domain.front() != '.')
        domain.insert(0, ".");
    const Json* expiry = cookie.Field("expirationDate");
    const long long seconds = expiry != nullptr && expiry->type == Json::Type::Number &&
                                      expiry->number > 0 && expiry->number < 1e15
                                  ? static_cast<long long>(expiry->number)
                                  : 0;
    return domain + '\t' + (hostOnly ? "FALSE" : "TRUE") + '\t' + path + '\t' +
           (flag("secure") ? "TRUE" : "FALSE") + '\t' + std::to_string(seconds) + '\t' + name +
           '\t' + value;
}

bool IsWebAddress(const std::string& url) {
    const auto starts = [&](const char* scheme) {
        return url.size() > std::strlen(scheme) &&
               CompareNoCase(url.substr(0, std::strlen(scheme)), scheme) == 0;
    };
    return (starts("http://") || starts("https://")) && !HasControl(url) &&
           url.find(' ') == std::string::npos;
}

std::uint64_t Fnv64(const std::string& text) {
    std::uint64_t h = 14695981039346656037ull;
    for (const unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string RuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/')
        return runtime;
    // /tmp is shared: the folder counts only when it is this user's own,
    // not a link, and closed to others; else one in the home folder.
    const auto owned = [](const std::string& dir) {
        ::mkdir(dir.c_str(), 0700);
        struct stat st {};
        return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
               (st.st_mode & 077) == 0;
    };
    const std::string own = "/tmp/tvx-" + std::to_string(::getuid());
    if (owned(own))
        return own;
    const char* home = std::getenv("HOME");
    const std::string cache = std::string(home != nullptr ? home : "") + "/.cache";
    ::mkdir(cache.c_str(), 0700);
    owned(cache + "/tvx-run");
    return cache + "/tvx-run";
}

std::string WindowName(const std::string& folder) {
    return Format("%s/tvx-%016llx", RuntimeFolder().c_str(),
                  static_cast<unsigned long long>(Fnv64(folder)));
}

std::string ConfigFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string folder = config != nullptr && config[0] == '/'
                             ? std::string(config)
                             : std::string(home != nullptr ? home : "") + "/.config";
    return folder + "/tvx/last-folder";
}

}  // namespace

bool ParseHandOff(const std::string& json, CookieForm cookies, HandOffRequest& request,
                  std::string& error) {
    Json root;
    if (!JsonReader(json).Document(root) || root.type != Json::Type::Object) {
        error = "the request is no JSON object";
        return false;
    }
    request = {};
    for (std::size_t i = 0; i < root.keys.size(); ++i) {
        const std::string& key = root.keys[i];
        const Json& value = root.items[i];
        std::string* target = key == "action"     ? &request.action
                              : key == "url"      ? &request.url
                              : key == "referrer" ? &request.referrer
                              : key == "text"     ? &request.text
                              : key == "filename" ? &request.filename
                              : key == "folder"   ? &request.folder
                                                  : nullptr;
        if (target != nullptr) {
            if (value.type != Json::Type::String && value.type != Json::Type::Null) {
                error = "\"" + key + "\" must be a text";
                return false;
            }
            *target = value.text;
        } else if (key == "cookies") {
            if (value.type != Json::Type::Array) {
                error = "\"cookies\" must be a list";
                return false;
            }
            for (const Json& cookie : value.items) {
                std::string line =
                    cookies == CookieForm::Objects
                        ? CookieLine(cookie)
                        : (cookie.type == Json::Type::String &&
                                   std::count(cookie.text.begin(), cookie.text.end(), '\t') == 6 &&
                                   cookie.text.find_first_of("\r\n") == std::string::npos
                               ? cookie.text
                               : std::string());
                if (!line.empty())
                    request.cookies.push_back(std::move(line));
            }
        }
    }
    if (request.action == "show" && cookies == CookieForm::Lines)
        return true;  // a second start of the window without a link
    if (request.action != "download" && request.action != "add") {
        error = "the action must be \"download\" or \"add\"";
        return false;
    }
    if (!IsWebAddress(request.url)) {
        error = "the address must be an http or https address: " + request.url.substr(0, 200);
        return false;
    }
    if (!request.referrer.empty() && !IsWebAddress(request.referrer))
        request.referrer.clear();  // a page that is not on the web is no referrer to send
    if (HasControl(request.filename) || request.filename.find('/') != std::string::npos)
        request.filename.clear();
    for (char& c : request.text) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return true;
}

std::string EncodeHandOff(const HandOffRequest& request) {
    std::string out = "{\"action\":" + Quote(request.action) + ",\"url\":" + Quote(request.url) +
                      ",\"referrer\":" + Quote(request.referrer) +
                      ",\"text\":" + Quote(request.text) +
                      ",\"filename\":" + Quote(request.filename) + ",\"cookies\":[";
    for (std::size_t i = 0; i < request.cookies.size(); ++i)
        out += (i == 0 ? "" : ",") + Quote(request.cookies[i]);
    return out + "]}";
}

std::string HandOffAnswer(bool ok, const std::string& error) {
    return ok ? "{\"ok\":true}" : "{\"ok\":false,\"error\":" + Quote(error) + "}";
}

bool ParseHandOffAnswer(const std::string& line, std::string& error) {
    Json root;
    const Json* ok = nullptr;
    if (!JsonReader(line).Document(root) || (ok = root.Field("ok")) == nullptr ||
        ok->type != Json::Type::Bool) {
        error = "the window gave no answer that can be read";
        return false;
    }
    if (ok->boolean)
        return true;
    const Json* why = root.Field("error");
    error = why != nullptr && why->type == Json::Type::String ? why->text : "refused";
    return false;
}

std::string WindowSocketPath(const std::string& folder) {
    return WindowName(folder) + ".sock";
}

std::string WindowLockPath(const std::string& folder) {
    return WindowName(folder) + ".lock";
}

bool SendToWindow(const std::string& socketPath, const std::string& line, std::string& answer,
                  std::string& error, int timeoutMs, bool* delivered) {
    if (delivered != nullptr)
        *delivered = false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        error = "the socket path is too long: " + socketPath;
        return false;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = "no window runs there";
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    const std::string out = line + "\n";
    bool ok = ::send(fd, out.data(), out.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(out.size());
    if (delivered != nullptr)
        *delivered = ok;
    answer.clear();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (ok && answer.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            ok = false;
            break;
        }
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0 || answer.size() > 65536)
            ok = false;
        else
            answer.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!ok) {
        error = delivered != nullptr && *delivered ? "the window took the request but did not answer"
                                                   : "the window did not answer";
        return false;
    }
    answer.resize(answer.find('\n'));
    return true;
}

std::string LastFolder() {
    std::string text;
    if (!ReadWholeFile(ConfigFile(), text))
        return {};
    text = text.substr(0, text.find('\n'));
    struct stat st {};
    return !text.empty() && text[0] == '/' && ::stat(text.c_str(), &st) == 0 && S_ISDIR(st.st_mode)
               ? text
               : std::string();
}

std::string DefaultFolder() {
    std::string folder = LastFolder();
    if (folder.empty()) {
        const char* home = std::getenv("HOME");
        folder = std::string(home != nullptr && *home != '\0' ? home : "/tmp") + "/Downloads";
        ::mkdir(folder.c_str(), 0755);
    }
    return folder;
}

void RememberFolder(const std::string& folder) {
    const std::string file = ConfigFile();
    const std::size_t slash = file.rfind('/');
    const std::string dir = file.substr(0, slash);
    ::mkdir(dir.substr(0, dir.rfind('/')).c_str(), 0700);
    ::mkdir(dir.c_str(), 0700);
    WriteFileAtomically(file, folder + "\n");
}

}  // namespace tvx
