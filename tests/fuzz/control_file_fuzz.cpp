// Control files as a crash, a full disk or another program may leave them:
// reading must never crash, and a record it accepts must make sense and
// must read back the same after it is written again.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Require.h"
#include "transfer/ControlFile.h"

using tvxfuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvx::ControlState state;
    if (!tvx::DecodeControlFile(data, size, state))
        return 0;
    if (!state.extended)
        return 0;  // a 16-byte record: any values, judged by the engine
    Require(state.length >= 0 && state.prefix >= 0 && state.prefix <= state.length);
    const std::vector<unsigned char> again = tvx::EncodeControlFile(state);
    tvx::ControlState back;
    Require(tvx::DecodeControlFile(again.data(), again.size(), back));
    Require(back.length == state.length && back.prefix == state.prefix &&
            back.lastModified == state.lastModified && back.etag == state.etag &&
            back.segments == state.segments &&
            (back.date == state.date || (back.date != back.date && state.date != state.date)));
    return 0;
}
