#pragma once
// The download list in memory: one fixed table of link records. Slot 0 is the
// header record (web reference, disk directory, window text); the following
// slots hold the file's lines in file order, and records added later are
// appended after the highest slot in use. A removed record keeps its slot with
// kind NUL; slots are never reused or compacted while the program runs. Every
// tree item carries its slot number.

#include <cstdint>
#include <string_view>

#include "platform/Text.h"

namespace tvx {

constexpr std::size_t kLinkFieldSize = 128;  // 127 characters and the terminator

struct LinkRecord {
    static constexpr char kHeader = 'R';
    static constexpr char kFolder = '{';
    static constexpr char kFolderEnd = '}';
    static constexpr char kLink = 'F';
    static constexpr char kRemoved = '\0';

    char kind;
    std::uint8_t picture;          // picture number of a link; 0 for folders as read
    char address[kLinkFieldSize];  // link: remote address; header: web reference
    char path[kLinkFieldSize];     // link: local path; header: disk directory
    char text[kLinkFieldSize];     // link: list text; folder: name; header: window text

    std::string_view Address() const { return FieldText(address); }
    std::string_view Path() const { return FieldText(path); }
    std::string_view Text() const { return FieldText(text); }
    void SetAddress(std::string_view value) { CopyField(address, value); }
    void SetPath(std::string_view value) { CopyField(path, value); }
    void SetText(std::string_view value) { CopyField(text, value); }
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
