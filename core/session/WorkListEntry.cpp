#include "session/WorkListEntry.h"

#include <cstdint>
#include <cstring>

#include "platform/ByteOrder.h"

namespace tvx {

namespace {

constexpr std::size_t kAddressAt = 20, kAddressSize = 256;
constexpr std::size_t kPathAt = 276, kPathSize = 256;
constexpr std::size_t kTextAt = 532, kTextSize = 128;

bool FitsField(std::string_view text, std::size_t size) {
    return text.size() < size && text.find('\0') == std::string_view::npos;
}

std::string FixedText(const unsigned char* in, std::size_t size) {
    // A field without a terminator is taken up to its last byte but one, as
    // the writer never fills a field completely.
    const char* text = reinterpret_cast<const char*>(in);
    return std::string(text, strnlen(text, size - 1));
}

}  // namespace

bool WorkListEntry::FitsFixedFields() const {
    return FitsField(address, kAddressSize) && FitsField(path, kPathSize) &&
           FitsField(text, kTextSize);
}

void EncodeWorkListEntry(const WorkListEntry& entry, unsigned char (&out)[kWorkListEntrySize]) {
    std::memset(out, 0, sizeof out);
    const bool fits = entry.FitsFixedFields();
    // The counts are 64-bit in memory. A length beyond 32 bits is written as
    // -1 with a count of 0, which no reader can take for a real file.
    const bool large = entry.length > INT32_MAX || entry.length < INT32_MIN ||
                       entry.received > INT32_MAX || entry.received < 0;
    PutInt32(out + 0, large ? -1 : static_cast<std::int32_t>(entry.length));
    PutDouble(out + 4, entry.date);
    PutInt32(out + 12,
             fits ? entry.reserved & ~kWorkListExtended : entry.reserved | kWorkListExtended);
    PutInt32(out + 16, large ? 0 : static_cast<std::int32_t>(entry.received));
    if (fits) {
        std::memcpy(out + kAddressAt, entry.address.data(), entry.address.size());
        std::memcpy(out + kPathAt, entry.path.data(), entry.path.size());
        std::memcpy(out + kTextAt, entry.text.data(), entry.text.size());
    }
}

WorkListEntry DecodeWorkListEntry(const unsigned char (&in)[kWorkListEntrySize]) {
    WorkListEntry entry;
    entry.length = GetInt32(in + 0);
    entry.date = GetDouble(in + 4);
    entry.reserved = GetInt32(in + 12);
    entry.received = GetInt32(in + 16);
    entry.address = FixedText(in + kAddressAt, kAddressSize);
    entry.path = FixedText(in + kPathAt, kPathSize);
    entry.text = FixedText(in + kTextAt, kTextSize);
    return entry;
}

void AppendWorkListEntry(std::string& data, const WorkListEntry& entry) {
    unsigned char bytes[kWorkListEntrySize];
    EncodeWorkListEntry(entry, bytes);
    data.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
    if (entry.FitsFixedFields())
        return;
    unsigned char head[kWorkListExtensionHead];
    PutInt32(head + 0, static_cast<std::int32_t>(entry.address.size()));
    PutInt32(head + 4, static_cast<std::int32_t>(entry.path.size()));
    PutInt32(head + 8, static_cast<std::int32_t>(entry.text.size()));
    data.append(reinterpret_cast<const char*>(head), sizeof head);
    data += entry.address;
    data += entry.path;
    data += entry.text;
}

bool ReadWorkListEntry(std::string_view data, std::size_t& at, WorkListEntry& entry) {
    if (at > data.size() || data.size() - at < kWorkListEntrySize)
        return false;
    unsigned char bytes[kWorkListEntrySize];
    std::memcpy(bytes, data.data() + at, sizeof bytes);
    WorkListEntry read = DecodeWorkListEntry(bytes);
    std::size_t next = at + kWorkListEntrySize;
    if ((read.reserved & kWorkListExtended) != 0) {
        if (data.size() - next < kWorkListExtensionHead)
            return false;
        const auto* head = reinterpret_cast<const unsigned char*>(data.data() + next);
        const std::uint32_t sizes[3] = {static_cast<std::uint32_t>(GetInt32(head + 0)),
                                        static_cast<std::uint32_t>(GetInt32(head + 4)),
                                        static_cast<std::uint32_t>(GetInt32(head + 8))};
        next += kWorkListExtensionHead;
        std::string* texts[3] = {&read.address, &read.path, &read.text};
        for (int i = 0; i < 3; ++i) {
            if (data.size() - next < sizes[i])
                return false;
            texts[i]->assign(data.data() + next, sizes[i]);
            next += sizes[i];
        }
        read.reserved &= ~kWorkListExtended;
    }
    entry = std::move(read);
    at = next;
    return true;
}

}  // namespace tvx
