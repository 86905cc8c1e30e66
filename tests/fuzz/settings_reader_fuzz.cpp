// The settings file reader (private-profile INI) on any file, with the
// property that a value written is the value read: after a key is written
// into any file, reading it gives that value, and a key of another section
// reads as it did before.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Profile.h"
#include "platform/Text.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A name or value that the file can hold as it is: no line break, no blanks
// at either end (they do not count when reading).
bool Plain(const std::string& text) {
    return text.find_first_of("\r\n") == std::string::npos &&
           (text.empty() || (!IsBlank(text.front()) && !IsBlank(text.back())));
}

// The settings file of this run, in a folder of its own that is removed at
// exit. Memory-backed when the system has /dev/shm, so that the flush of every
// atomic write costs nothing.
const std::string& FilePath() {
    static std::string folder;
    static const std::string path = [] {
        for (const char* base : {"/dev/shm", "/tmp"}) {
            std::string pattern = std::string(base) + "/tvx-fuzz-settings-XXXXXX";
            if (mkdtemp(pattern.data()) != nullptr) {
                folder = pattern;
                std::atexit([] {
                    std::remove((folder + "/download.ini").c_str());
                    rmdir(folder.c_str());
                });
                return folder + "/download.ini";
            }
        }
        std::abort();
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(64);
    const std::string key = input.ConsumeRandomLengthString(64);
    const std::string value = input.ConsumeRandomLengthString(256);
    const std::string other = input.ConsumeRandomLengthString(64);
    const std::string contents = input.ConsumeRemainingBytesAsString();
    const std::string& file = FilePath();
    if (!tvx::WriteFileAtomically(file, contents))
        std::abort();

    // Reading never fails on any file.
    const std::string otherBefore = tvx::GetPrivateProfileString(other, key, "-", file);
    (void)tvx::GetPrivateProfileInt(section, key, 7, file);

    // The property holds for names and values a settings file can express.
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    if (section.empty() || key.empty() || !Plain(section) || !Plain(key) || !Plain(value) ||
        quoted || section.find_first_of("[]") != std::string::npos || key.front() == '[' ||
        key.find('=') != std::string::npos || other.empty() || !Plain(other) ||
        other.find_first_of("[]") != std::string::npos) {
        return 0;
    }
    if (!tvx::WritePrivateProfileString(section, key, value, file))
        std::abort();
    const std::string read = tvx::GetPrivateProfileString(section, key, "-", file);
    if (read != value) {
        std::fprintf(stderr, "broken property: wrote [%s] %s=%s, read %s\n", section.c_str(),
                     key.c_str(), value.c_str(), read.c_str());
        std::abort();
    }
    if (tvx::CompareNoCase(other, section) != 0 &&
        tvx::GetPrivateProfileString(other, key, "-", file) != otherBefore) {
        std::fprintf(stderr, "broken property: writing [%s] %s changed [%s]\n", section.c_str(),
                     key.c_str(), other.c_str());
        std::abort();
    }
    return 0;
}
