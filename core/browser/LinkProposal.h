#pragma once
// The link the browser proposes for the download list when the user adds a
// link of a page to it (the page's context menu, or a link dropped on the
// list): the address as it is, a local path for its file and a list text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "downloadlist/LinkRecord.h"

namespace tvx {

// The longest address the link editor holds; a longer one would be cut.
constexpr std::size_t kProposedAddressMax = kLinkTextMax;
// The picture of a proposed link: the disk, a file to keep (picture 0 is the
// folder's).
constexpr std::uint8_t kProposedLinkPicture = 1;

// The file name an address names: the last part of its path, without query
// text or fragment. The host stands in when the path names no file
// ("http://h/", "http://h/dir/.."). A ':' becomes '_', so that the name can
// never read as a drive prefix.
std::string LinkFileName(std::string_view address);

// Fills record with a new link for the address. Its path is the file name
// below the list's disk directory (the header's path): joined to it when the
// disk directory is absolute, otherwise the bare name, which the list
// completes with its disk directory when it is loaded, as it does for its own
// relative paths. Its text is linkText with control characters made blanks
// and outer blanks removed (cut to whole UTF-8 characters), or the file name
// when nothing is left. False, and the record untouched, when the address is
// no http or https address or too long for the editor. The picture is
// kProposedLinkPicture.
bool ProposeLink(const LinkRecord& header, std::string_view address, std::string_view linkText,
                 LinkRecord& record);

}  // namespace tvx
