#pragma once
// Private-profile (INI) files, read and written the way the old desktop's
// profile functions did it:
// - "[Section]" lines open sections, "key=value" lines hold values; section and
//   key names are matched without regard to letter case, blanks around names
//   and values do not count, and a value quoted at both ends loses its quotes;
// - a read returns at most kProfileValueMax characters of the value, or the
//   default when the file, the section or the key is missing;
// - a write changes the key's line in place, or adds the key at the end of its
//   section, or adds the section at the end of the file, and keeps every other
//   line (other sections and keys, comments, blank lines) as it was; a missing
//   file is created. The file is replaced atomically (see WriteFileAtomically).

#include <string>
#include <string_view>

namespace tvx {

constexpr std::size_t kProfileValueMax = 4095;

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::string_view file);

// The value converted like atoi (leading blanks, sign, leading digits; 0 when
// there are none); defaultValue when the key is missing.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         std::string_view file);

// False when the file could not be written; it is then unchanged.
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, std::string_view file);

}  // namespace tvx
