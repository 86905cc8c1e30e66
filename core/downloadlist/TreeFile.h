#pragma once
// The tree control file tvx_downctrl.htm: reading it into the link table,
// building the tree from the table, and writing the tree back.
//
// The file is single-byte text with CR LF line ends. The first line is the
// header; after it every line is classified by its first character: "{" opens
// a folder (the rest of the line is its name), "}" closes the folder opened
// last, "/" ends the list ("//END"), anything else is a link: a picture digit,
// a comma and the fields. Fields run to the next comma, at most 127 characters;
// a first field that holds an absolute address is followed by a path field,
// otherwise the path is the address itself. The rest of the line is the text.

#include <string>
#include <string_view>

#include "downloadlist/LinkRecord.h"
#include "downloadlist/TreeControl.h"

namespace tvx {

constexpr char kTreeControlFileName[] = "tvx_downctrl.htm";

// "%s\tvx_downctrl.htm" with the start directory.
std::string TreeControlFilePath();

// Parses the text of a tree control file into the table (count and records;
// the modified flag is not touched).
void ParseTreeControlText(LinkTable& table, std::string_view data);

// Reads the file into the table. False, with the table untouched, when the
// file cannot be read.
bool ReadTreeControlFile(LinkTable& table, std::string_view file);

// Reads the file and, on success, rebuilds every item of the tree from the
// table in file order. A link's check box is set when its local file exists
// (load-time rule). False, with tree and table untouched, when the file cannot
// be read.
bool LoadTree(LinkTable& table, TreeControl& tree, std::string_view file);

// The file text for the tree and its records.
std::string FormatTreeControlText(const LinkTable& table, const TreeControl& tree);

// Writes the file if the table's modified flag is set, and clears the flag.
// The file is replaced atomically: a save that fails leaves the old file whole,
// keeps the flag set and returns false (error, when given, says why). True when
// the file was written or there was nothing to write.
bool SaveTree(LinkTable& table, const TreeControl& tree, std::string_view file,
              std::string* error = nullptr);

}  // namespace tvx
