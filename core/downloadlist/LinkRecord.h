#pragma once
// The download list in memory: one fixed table of link records. Slot 0 is the
// header record (web reference, disk directory, window text); the following
// slots hold the file's lines in file order, and records added later are
// appended after the highest slot in use. A removed record keeps its slot with
// kind NUL; slots are never reused or compacted while the program runs. Every
// tree item carries its slot number.
//
// Texts are bytes as the list file holds them (UTF-8 or an older single-byte
// code page) and are kept whole: a record never cuts an address, a path or a
// text. No control character (line break, TAB, ...) is ever stored: the
// setters make each one a space, so that every record can be written as one
// line and reads back the same.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Text.h"

namespace tvx {

// The longest text the editors offer room for (characters). Records, the list
// file and the work list keep longer texts whole; an editor that opens such a
// text makes room for all of it.
constexpr int kLinkTextMax = 2047;

struct LinkRecord {
    static constexpr char kHeader = 'R';
    static constexpr char kFolder = '{';
    static constexpr char kFolderEnd = '}';
    static constexpr char kLink = 'F';
    static constexpr char kRemoved = '\0';

    char kind = kRemoved;
    std::uint8_t picture = 0;  // picture number of a link; 0 for folders as read
    std::string address;       // link: remote address; header: web reference
    std::string path;          // link: local path; header: disk directory
    std::string text;          // link: list text; folder: name; header: window text

    std::string_view Address() const { return address; }
    std::string_view Path() const { return path; }
    std::string_view Text() const { return text; }
    void SetAddress(std::string_view value) { address = WithoutControls(value); }
    void SetPath(std::string_view value) { path = WithoutControls(value); }
    void SetText(std::string_view value) { text = WithoutControls(value); }
    bool IsFolder() const { return kind == kFolder; }
    bool IsLink() const { return kind == kLink; }
};

constexpr int kLinkTableSlots = 1024;
// The pane adds nothing once this many slots are in use.
constexpr int kLinkTableFull = 1023;
constexpr int kPictureCount = 9;

struct LinkTable {
    LinkRecord records[kLinkTableSlots] = {};
    int count = 0;          // slots in use, the header included
    bool modified = false;  // set by every change, cleared when the file is written
    // Set by the reader: link lines of the file that found no slot because
    // the table was full. Such a list is shown without them and never
    // written back, so that saving cannot drop them from the file.
    int linksLeftOut = 0;
    // Set by the last load: the list file exists but could not be read. The
    // table then does not hold the file's list, and the file is never
    // replaced with it.
    bool fileUnread = false;

    const LinkRecord& Header() const { return records[0]; }
    LinkRecord& Header() { return records[0]; }
    bool IsFull() const { return count >= kLinkTableFull; }
    // The record of a slot number taken from a tree item, or nullptr when the
    // number is outside the table.
    const LinkRecord* Record(int slot) const {
        return slot >= 0 && slot < kLinkTableSlots ? &records[slot] : nullptr;
    }
    LinkRecord* Record(int slot) {
        return slot >= 0 && slot < kLinkTableSlots ? &records[slot] : nullptr;
    }
};

// The program-wide download list.
extern LinkTable g_linkTable;

}  // namespace tvx
