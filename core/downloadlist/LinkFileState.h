#pragma once
// What the download list tells about a link when the pointer rests on it: its
// complete address, its local path as the file system spells it, and how much
// of the file is on disk.

#include <cstdint>
#include <string>
#include <string_view>

#include "downloadlist/LinkRecord.h"

namespace tvx {

// The number in decimal with a comma between groups of three digits:
// 2500000 is "2,500,000", -1234 is "-1,234".
std::string FormatThousands(std::int64_t value);

// The state of the file at a native local path:
//   "not on disk"
//   "complete (2,500,000 bytes, 2026-12-08 11:30)"   size and local modification time
//   "incomplete (534,528 of 2,500,000 bytes)"        a transfer control file lies beside it
//   "incomplete (transfer record unreadable)"        the control file is there but damaged
// A file counts as incomplete whenever its control file exists, since the
// engine removes that file only when a transfer has ended complete.
std::string LocalFileStateText(const std::string& nativePath);

// The tooltip of a link: three lines, the completed address, the native local
// path by the start-directory rule (the path "Download this File now" writes
// and "Kill the downloaded File" removes), and LocalFileStateText of that path.
std::string LinkToolTipText(const LinkRecord& header, const LinkRecord& link);

}  // namespace tvx
