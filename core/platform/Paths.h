#pragma once
// Paths and addresses as the download list stores them, and their meaning on
// this desktop.
//
// The list keeps local paths with backslash separators and may hold a drive
// prefix ("c:\dl\setup.exe"). Those texts stay as they are everywhere in the
// core; only ToNativePath turns one into a path for the file system, at the
// moment a file is touched.

#include <string>
#include <string_view>

namespace tvx {

// A local path is absolute when its second character is ':' (a drive prefix)
// or when it begins with '\' or '/'. Every rule that completes a relative path
// uses this one predicate.
bool IsAbsolutePath(std::string_view path);

// The file-system path for a stored path text: every '\' becomes '/', and a
// drive prefix stands for the root, so "c:\dl\setup.exe" is "/dl/setup.exe".
// A relative text stays relative (to the process's current directory).
std::string ToNativePath(std::string_view path);

// "%s\%s": a directory and a relative path joined by one backslash.
std::string JoinPath(std::string_view directory, std::string_view relative);

// Where a local path lands: the path itself when it is absolute, otherwise
// joined to the directory it is relative to. Every place that looks at a
// destination (the transfer, the check, the list) resolves it this one way.
std::string ResolveLocalPath(std::string_view directory, std::string_view path);

// The position of the last '\' or '/' in path, searching from the end down to
// the second character (a separator in the first character never counts);
// npos when there is none.
std::size_t LastSeparator(std::string_view path);

// True when the text holds an absolute web address: "http://" or "https://"
// anywhere in it, letters compared without regard to case.
bool HasAbsoluteAddress(std::string_view address);

// Lowers the scheme and the host of an address ("HTTP://Example.COM:80/Dir/A.zip"
// becomes "http://example.com:80/Dir/A.zip"). Paths and query texts keep their
// case because servers and file systems here distinguish it. A text without
// "scheme://" is returned unchanged.
std::string LowerSchemeAndHost(std::string_view address);

}  // namespace tvx
