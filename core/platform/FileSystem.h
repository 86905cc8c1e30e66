#pragma once
// File-system operations of the core. Every function takes a path text as the
// download list stores it (backslashes, drive prefix allowed) and converts it
// with ToNativePath itself, so callers never deal with native paths.

#include <string>
#include <string_view>

namespace tvx {

// True when something exists at the path (file or folder).
bool FileExists(std::string_view path);

// True when a regular file is at the path (a symbolic link counts as its
// target); size, when given, receives its length.
bool IsRegularFile(std::string_view path, long long* size = nullptr);

// True when something is at the path that this user may not write, or on
// which nobody has write permission (a file marked read-only stays so even
// for a user whom the system would let write).
bool IsWriteProtected(std::string_view path);

// Creates one folder; false when it could not be made (it may already exist).
bool MakeDirectory(std::string_view path);

// Deletes a file; false when there was none or it could not be deleted.
bool RemoveFile(std::string_view path);

// Reads a whole file; false (and contents untouched) when it cannot be read.
bool ReadWholeFile(std::string_view path, std::string& contents);

// Replaces the file with the given contents so that readers only ever see the
// old or the new file, never a truncated one: the data is written to a
// temporary file in the same folder, flushed to the disk, and renamed over the
// old file. A symbolic link is followed and its target replaced. On failure the
// old file is left as it was, the temporary file is removed, false is returned
// and, when error is given, it receives the reason.
bool WriteFileAtomically(std::string_view path, std::string_view contents,
                         std::string* error = nullptr);

// The process's current working directory, or the empty text when it cannot
// be determined (for example when it has been deleted).
std::string CurrentDirectory();

}  // namespace tvx
