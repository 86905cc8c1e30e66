#pragma once
// One entry of the work list of a check-and-download session: a checked link
// with its completed address and local path. On disk (download.tmp) an entry
// is 660 bytes, little-endian, without padding:
//   0 length (int32), 4 date (double), 12 reserved (int32), 16 received
//   (int32), 20 address (256 bytes), 276 path (256), 532 text (128).
// Text fields are NUL-terminated and zero-filled after the terminator.
// length and received are 64-bit in memory, where the open step fills them;
// on disk they are 0 when the work list is written, and a value beyond 32
// bits would be stored as length -1 and received 0.
//
// Texts are never cut. An entry whose texts do not fit their fields (address
// or path of 256 bytes or more, text of 128 or more) sets bit 0 of reserved,
// leaves its three text fields empty, and is followed directly by an
// extension: three int32 byte counts (address, path, text) and then the three
// texts whole, without terminators. Entries that fit keep the plain layout
// with reserved 0.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Text.h"

namespace tvx {

constexpr std::size_t kWorkListEntrySize = 660;
constexpr std::int32_t kWorkListExtended = 1;  // bit of reserved: an extension follows
constexpr std::size_t kWorkListExtensionHead = 12;

struct WorkListEntry {
    std::int64_t length = 0;    // remote length, filled by the open step
    double date = 0;            // remote date number, filled by the open step
    std::int32_t reserved = 0;  // 0 in memory; the extension bit is set on disk only
    std::int64_t received = 0;  // bytes of the file on disk
    std::string address;
    std::string path;
    std::string text;

    std::string_view Address() const { return address; }
    std::string_view Path() const { return path; }
    std::string_view Text() const { return text; }
    // True when the texts fit the fixed fields of the 660-byte layout.
    bool FitsFixedFields() const;
};

// The fixed 660 bytes of the entry (text fields empty and the extension bit
// set when the texts do not fit).
void EncodeWorkListEntry(const WorkListEntry& entry, unsigned char (&out)[kWorkListEntrySize]);
// The entry from its fixed 660 bytes alone (an extension is not read).
WorkListEntry DecodeWorkListEntry(const unsigned char (&in)[kWorkListEntrySize]);

// Appends the entry as it is stored: its 660 bytes and, when needed, its
// extension.
void AppendWorkListEntry(std::string& data, const WorkListEntry& entry);
// Reads the entry stored at offset at and moves at past it. False, with at
// unchanged, when no whole entry (with its extension) is there.
bool ReadWorkListEntry(std::string_view data, std::size_t& at, WorkListEntry& entry);

}  // namespace tvx
