#include "downloadlist/ControlReceived.h"

#include "transfer/ControlFile.h"

namespace tvx {

bool ReadControlReceived(const std::string& controlPath, std::int64_t& received,
                         std::int64_t& length) {
    ControlState state;
    if (!ReadControlFile(controlPath, state))
        return false;
    if (state.length < 0 || state.received < 0 || state.received > state.length)
        return false;
    received = state.received;
    length = state.length;
    return true;
}

}  // namespace tvx
