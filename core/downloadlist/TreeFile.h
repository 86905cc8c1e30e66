#pragma once
// The tree control file tvx_downctrl.htm: reading it into the link table,
// building the tree from the table, and writing the tree back.
//
// The file is 8-bit text with CR LF line ends, read line by line whole. The
// first line is the header; after it every line is classified by its first
// character: "{" opens a folder (the rest of the line is its name), "}" closes
// the folder opened last, "/" ends the list ("//END"), anything else is a
// link: a picture digit, a comma and the fields. A field runs to the next
// comma, whatever its length, and is never cut; a first field that holds an
// absolute address is followed by a path field, otherwise the path is the
// address itself. The rest of the line is the text.
//
// Whatever the writer writes reads back as the same list: every record is one
// line without control characters, and folders nest to any depth.

#include <string>
#include <string_view>

#include "downloadlist/LinkRecord.h"
#include "downloadlist/TreeControl.h"

namespace tvx {

constexpr char kTreeControlFileName[] = "tvx_downctrl.htm";

// "%s\tvx_downctrl.htm" with the start directory.
std::string TreeControlFilePath();

// Parses the text of a tree control file into the table (count, records and
// linksLeftOut; the modified flag is not touched). Once all 1024 slots are in
// use, the link lines up to the end of the list are counted in linksLeftOut.
void ParseTreeControlText(LinkTable& table, std::string_view data);

// Reads the file into the table. False when the file cannot be read; the
// table then keeps its records and only notes in fileUnread whether a file
// was there (one that exists but cannot be read is never overwritten).
bool ReadTreeControlFile(LinkTable& table, std::string_view file);

// Reads the file and, on success, rebuilds every item of the tree from the
// table in file order. A link's check box is set when its local file exists
// (load-time rule). False, with tree and records untouched, when the file
// cannot be read (see ReadTreeControlFile).
bool LoadTree(LinkTable& table, TreeControl& tree, std::string_view file);

// Rebuilds every item of the tree from the table in file order (what
// LoadTree does after reading).
void BuildTree(const LinkTable& table, TreeControl& tree);

// The file text for the tree and its records.
std::string FormatTreeControlText(const LinkTable& table, const TreeControl& tree);

// The report of links that found no slot (linksLeftOut), or the empty text
// when every link of the file was read.
std::string LinksLeftOutText(const LinkTable& table);

// Why the list file must be left as it is, or empty when it may be replaced:
// it exists but could not be read at the last load, it holds links the table
// had no room for, or it is write-protected (this user may not write it, or
// nobody has write permission on it).
std::string ListFileProtection(const LinkTable& table, std::string_view file);

// Writes the file if the table's modified flag is set, and clears the flag.
// A protected file (ListFileProtection) is never replaced: false, with the
// reason in error.
// The file is replaced atomically: a save that fails leaves the old file whole,
// keeps the flag set and returns false (error, when given, says why). True when
// the file was written or there was nothing to write.
bool SaveTree(LinkTable& table, const TreeControl& tree, std::string_view file,
              std::string* error = nullptr);

}  // namespace tvx
