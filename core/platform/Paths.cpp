#include "platform/Paths.h"

#include "platform/Text.h"

namespace tvx {

bool IsAbsolutePath(std::string_view path) {
    if (path.size() >= 2 && path[1] == ':')
        return true;
    return !path.empty() && (path[0] == '\\' || path[0] == '/');
}

std::string ToNativePath(std::string_view path) {
    std::string native(path);
    if (native.size() >= 2 && native[1] == ':') {
        native.erase(0, 2);
        // "c:" and "c:dir" (relative to the drive's current folder on the old
        // platform) both mean the root here.
        if (native.empty() || (native[0] != '\\' && native[0] != '/'))
            native = "/" + native;
    }
    for (char& c : native) {
        if (c == '\\')
            c = '/';
    }
    return native;
}

std::string JoinPath(std::string_view directory, std::string_view relative) {
    std::string joined(directory);
    joined += '\\';
    joined += relative;
    return joined;
}

std::size_t LastSeparator(std::string_view path) {
    for (std::size_t i = path.size(); i-- > 1;) {
        if (path[i] == '\\' || path[i] == '/')
            return i;
    }
    return std::string_view::npos;
}

bool HasAbsoluteAddress(std::string_view address) {
    return ContainsNoCase(address, "http://") || ContainsNoCase(address, "https://");
}

std::string LowerSchemeAndHost(std::string_view address) {
    std::string out(address);
    const std::size_t scheme_end = out.find("://");
    if (scheme_end == std::string::npos || scheme_end == 0)
        return out;
    for (std::size_t i = 0; i < scheme_end; ++i) {
        const char c = out[i];
        const bool scheme_char = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                 (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!scheme_char)
            return out;
    }
    std::size_t host_end = out.find_first_of("/?#\\", scheme_end + 3);
    if (host_end == std::string::npos)
        host_end = out.size();
    for (std::size_t i = 0; i < scheme_end; ++i)
        out[i] = AsciiLower(out[i]);
    // User name and password before an '@' are case-sensitive; only the host is folded.
    const std::size_t at = out.rfind('@', host_end - 1);
    std::size_t host_begin = scheme_end + 3;
    if (at != std::string::npos && at >= host_begin)
        host_begin = at + 1;
    for (std::size_t i = host_begin; i < host_end; ++i)
        out[i] = AsciiLower(out[i]);
    return out;
}

}  // namespace tvx

namespace tvx {

std::string ResolveLocalPath(std::string_view directory, std::string_view path) {
    return IsAbsolutePath(path) ? std::string(path) : JoinPath(directory, path);
}

}  // namespace tvx
