#pragma once
// The work list of a check-and-download session: every checked link of the
// download list as a work list entry, and the file download.tmp that holds
// them (660 bytes an entry and an extension for long texts, see
// WorkListEntry.h; no header; in the current directory).

#include <string>
#include <string_view>
#include <vector>

#include "downloadlist/LinkRecord.h"
#include "downloadlist/TreeControl.h"
#include "session/WorkListEntry.h"

namespace tvx {

constexpr char kWorkListFileName[] = "download.tmp";
// A file of this name is removed around every session; nothing writes it.
constexpr char kSessionMarkerFileName[] = "dnlctrl.tmp";

// The entry of one link: the completed address (the link's own when it is
// absolute, otherwise the web reference followed by it), the local path by
// the load-time rule, and the list text; the working fields are 0.
WorkListEntry MakeWorkListEntry(const LinkRecord& header, const LinkRecord& link);

// Every link item with a set check box, depth-first in display order: an
// item's subtree comes before the item itself. Folders never count, checked
// or not, and neither do items whose record is no link.
std::vector<WorkListEntry> CollectCheckedLinks(const LinkTable& table, const TreeControl& tree);

// Writes the entries (replacing the file). False when it cannot be written.
bool WriteWorkListFile(std::string_view path, const std::vector<WorkListEntry>& entries,
                       std::string* error = nullptr);

// Reads every whole entry (a cut last entry is left out); false when the file
// cannot be read.
bool ReadWorkListFile(std::string_view path, std::vector<WorkListEntry>& entries);

}  // namespace tvx
