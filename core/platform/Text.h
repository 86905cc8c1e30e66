#pragma once
// Small text helpers shared by the core: fixed-size character fields,
// ASCII case folding, printf-style formatting into std::string, and the
// rules for texts that are stored as bytes but shown as Unicode.

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace tvx {

// Copies at most N-1 characters of src into the fixed field dst and zero-fills
// the rest, so a field never holds stale characters after its terminator.
template <std::size_t N>
void CopyField(char (&dst)[N], std::string_view src) {
    const std::size_t n = src.size() < N - 1 ? src.size() : N - 1;
    std::memcpy(dst, src.data(), n);
    std::memset(dst + n, 0, N - n);
}

// The text of a fixed field up to its terminator (or its full width).
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}

inline char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string AsciiLowered(std::string_view text);

// True when needle occurs in haystack, ASCII letters compared without case.
bool ContainsNoCase(std::string_view haystack, std::string_view needle);

// Compares two texts with ASCII letters folded to lower case first and the
// bytes then compared as unsigned values: <0, 0 or >0.
int CompareNoCase(std::string_view a, std::string_view b);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// The bytes of a stored text as UTF-8 for display: valid UTF-8 as it is,
// anything else decoded as Windows-1252 (its five unassigned bytes become
// U+FFFD). The stored bytes themselves are never changed by showing them.
std::string DisplayText(std::string_view bytes);

// The text with every control character (bytes below 32, and 127) made a
// space. Such bytes never occur inside a multi-byte UTF-8 character, so the
// result is valid UTF-8 whenever the input was.
std::string WithoutControls(std::string_view text);

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tvx
