#include "downloadlist/ControlReceived.h"

#include <cstdio>

#include "transfer/CTransfer.h"

namespace tvx {

bool ReadControlReceived(const std::string& controlPath, std::int64_t& received,
                         std::int64_t& length) {
    std::FILE* file = std::fopen(controlPath.c_str(), "rb");
    if (file == nullptr)
        return false;
    unsigned char bytes[kControlRecordSize];
    const bool whole = std::fread(bytes, 1, sizeof bytes, file) == sizeof bytes;
    std::fclose(file);
    if (!whole)
        return false;
    const ControlRecord record = DecodeControlRecord(bytes);
    if (record.length < 0 || record.received < 0 || record.received > record.length)
        return false;
    received = record.received;
    length = record.length;
    return true;
}

}  // namespace tvx
