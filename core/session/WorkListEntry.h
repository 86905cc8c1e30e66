#pragma once
// One entry of the work list of a check-and-download session: a checked link
// with its completed address and local path. On disk (download.tmp) an entry
// is 660 bytes, little-endian, without padding:
//   0 length (int32), 4 date (double), 12 reserved (int32), 16 received
//   (int32), 20 address (256 bytes), 276 path (256), 532 text (128).
// Text fields are NUL-terminated and zero-filled after the terminator.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/Text.h"

namespace tvx {

constexpr std::size_t kWorkListEntrySize = 660;

struct WorkListEntry {
    std::int32_t length = 0;    // remote length, filled by the open step
    double date = 0;            // remote date number, filled by the open step
    std::int32_t reserved = 0;  // always 0
    std::int32_t received = 0;  // bytes of the file on disk
    char address[256] = {};
    char path[256] = {};
    char text[128] = {};

    std::string_view Address() const { return FieldText(address); }
    std::string_view Path() const { return FieldText(path); }
    std::string_view Text() const { return FieldText(text); }
};

void EncodeWorkListEntry(const WorkListEntry& entry, unsigned char (&out)[kWorkListEntrySize]);
WorkListEntry DecodeWorkListEntry(const unsigned char (&in)[kWorkListEntrySize]);

}  // namespace tvx
