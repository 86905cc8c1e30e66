#include "session/WorkListEntry.h"

#include <cstring>

#include "platform/ByteOrder.h"

namespace tvx {

void EncodeWorkListEntry(const WorkListEntry& entry, unsigned char (&out)[kWorkListEntrySize]) {
    std::memset(out, 0, sizeof out);
    PutInt32(out + 0, entry.length);
    PutDouble(out + 4, entry.date);
    PutInt32(out + 12, entry.reserved);
    PutInt32(out + 16, entry.received);
    std::memcpy(out + 20, entry.address, strnlen(entry.address, sizeof entry.address - 1));
    std::memcpy(out + 276, entry.path, strnlen(entry.path, sizeof entry.path - 1));
    std::memcpy(out + 532, entry.text, strnlen(entry.text, sizeof entry.text - 1));
}

WorkListEntry DecodeWorkListEntry(const unsigned char (&in)[kWorkListEntrySize]) {
    WorkListEntry entry;
    entry.length = GetInt32(in + 0);
    entry.date = GetDouble(in + 4);
    entry.reserved = GetInt32(in + 12);
    entry.received = GetInt32(in + 16);
    // Each text is taken up to its terminator; a field without one is cut so
    // that it always ends inside its own width.
    CopyField(entry.address,
              std::string_view(reinterpret_cast<const char*>(in + 20),
                               strnlen(reinterpret_cast<const char*>(in + 20), 256)));
    CopyField(entry.path, std::string_view(reinterpret_cast<const char*>(in + 276),
                                           strnlen(reinterpret_cast<const char*>(in + 276), 256)));
    CopyField(entry.text, std::string_view(reinterpret_cast<const char*>(in + 532),
                                           strnlen(reinterpret_cast<const char*>(in + 532), 128)));
    return entry;
}

}  // namespace tvx
