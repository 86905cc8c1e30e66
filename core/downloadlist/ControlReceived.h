#pragma once
// How much of a file an unfinished transfer has put on disk, as its transfer
// control file CTL_<name> records it. This is the one place outside the engine
// that reads a control file, so a change of the file's layout touches only
// this function.

#include <cstdint>
#include <string>

namespace tvx {

// Reads the control file at the native path: the bytes the destination holds
// and the source's length when the transfer began. False (the outputs
// untouched) when the file is missing, shorter than a record, or holds
// counts that cannot be true (negative, or more received than the length).
bool ReadControlReceived(const std::string& controlPath, std::int64_t& received,
                         std::int64_t& length);

}  // namespace tvx
