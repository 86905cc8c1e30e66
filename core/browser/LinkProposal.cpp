#include "browser/LinkProposal.h"

#include <algorithm>

#include "platform/Paths.h"
#include "platform/Text.h"

namespace tvx {

namespace {

// The longest list text the editor shows.
constexpr std::size_t kTextMax = kLinkTextMax;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           CompareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

// The text cut to at most max bytes without splitting a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, std::size_t max) {
    if (text.size() <= max)
        return text;
    std::size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

}  // namespace

std::string LinkFileName(std::string_view address) {
    std::string_view rest = address;
    const std::size_t scheme = rest.find("://");
    if (scheme != std::string_view::npos)
        rest.remove_prefix(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("?#"));
    const std::size_t hostEnd = rest.find_first_of("/\\");
    const std::string_view host = rest.substr(0, hostEnd);
    std::string_view name;
    if (hostEnd != std::string_view::npos)
        name = rest.substr(rest.find_last_of("/\\") + 1);
    std::string out(name.empty() || name == "." || name == ".." ? host : name);
    std::replace(out.begin(), out.end(), ':', '_');
    return out;
}

bool ProposeLink(const LinkRecord& header, std::string_view address, std::string_view linkText,
                 LinkRecord& record) {
    if (!(StartsWithNoCase(address, "http://") || StartsWithNoCase(address, "https://")) ||
        address.size() > kProposedAddressMax) {
        return false;
    }
    const std::string name = LinkFileName(address);
    const std::string_view disk = header.Path();
    std::string text(linkText);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    const std::size_t first = text.find_first_not_of(' ');
    text = first == std::string::npos ? std::string()
                                      : text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (text.empty())
        text = name;
    record = LinkRecord{};
    record.kind = LinkRecord::kLink;
    record.picture = kProposedLinkPicture;
    record.SetAddress(address);
    record.SetPath(IsAbsolutePath(disk) ? JoinPath(disk, name) : name);
    record.SetText(CutUtf8(text, kTextMax));
    return true;
}

}  // namespace tvx
