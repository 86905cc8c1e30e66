#pragma once
// How a link's remote address and local path are completed from the header
// record (web reference, disk directory) or the start directory.

#include <string>

#include "downloadlist/LinkRecord.h"

namespace tvx {

// The link's address when it is absolute (HasAbsoluteAddress), otherwise the
// header's web reference immediately followed by the address (no separator is
// added, so a web reference ends with "/").
std::string CompleteAddress(const LinkRecord& header, const LinkRecord& link);

// Load-time rule (tree loading and the session): the link's path when it is
// absolute, otherwise "%s\%s" with the header's disk directory. A relative disk
// directory is relative to the current directory; an empty one yields a path
// beginning with "\", at the root.
std::string LoadTimeLocalPath(const LinkRecord& header, const LinkRecord& link);

// Start-directory rule ("Download this File now", deleting the local file):
// the link's path when it is absolute, otherwise "%s\%s" with the start
// directory.
std::string StartDirectoryLocalPath(const LinkRecord& link);

}  // namespace tvx
