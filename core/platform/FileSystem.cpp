#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Paths.h"

namespace tvx {

bool FileExists(std::string_view path) {
    const std::string native = ToNativePath(path);
    return !native.empty() && access(native.c_str(), F_OK) == 0;
}

bool IsRegularFile(std::string_view path, long long* size) {
    const std::string native = ToNativePath(path);
    struct stat st {};
    if (native.empty() || stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (size != nullptr)
        *size = static_cast<long long>(st.st_size);
    return true;
}

bool IsWriteProtected(std::string_view path) {
    const std::string native = ToNativePath(path);
    struct stat st {};
    if (native.empty() || stat(native.c_str(), &st) != 0)
        return false;
    return access(native.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0;
}

bool MakeDirectory(std::string_view path) {
    const std::string native = ToNativePath(path);
    return !native.empty() && mkdir(native.c_str(), 0777) == 0;
}

bool RemoveFile(std::string_view path) {
    const std::string native = ToNativePath(path);
    return !native.empty() && std::remove(native.c_str()) == 0;
}

bool ReadWholeFile(std::string_view path, std::string& contents) {
    const std::string native = ToNativePath(path);
    std::FILE* file = std::fopen(native.c_str(), "rb");
    if (file == nullptr)
        return false;
    std::string data;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        data.append(buffer, n);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    if (ok)
        contents = std::move(data);
    return ok;
}

namespace {

bool Fail(std::string* error, const std::string& what) {
    if (error != nullptr)
        *error = what + ": " + std::strerror(errno);
    return false;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(std::string_view path, std::string_view contents, std::string* error) {
    std::string target = ToNativePath(path);
    if (target.empty()) {
        errno = ENOENT;
        return Fail(error, "empty file name");
    }
    struct stat st {};
    bool existed = false;
    if (lstat(target.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            char resolved[PATH_MAX];
            if (realpath(target.c_str(), resolved) != nullptr)
                target = resolved;
        }
        existed = stat(target.c_str(), &st) == 0;
    }

    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp =
        (slash == std::string::npos ? std::string() : folder) + "." + name + ".XXXXXX";
    std::vector<char> temp_buffer(temp.begin(), temp.end());
    temp_buffer.push_back('\0');

    const int fd = mkstemp(temp_buffer.data());
    if (fd < 0)
        return Fail(error, "cannot create a file in " + folder);
    temp = temp_buffer.data();

    // Keep the old file's permissions; a new file gets the usual 0666 less umask.
    mode_t mode = 0;
    if (existed) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    const bool written = WriteAll(fd, contents) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
    const int saved_errno = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        if (!written)
            errno = saved_errno;
        Fail(error, "cannot write " + temp);
        std::remove(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        Fail(error, "cannot replace " + target);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

std::string CurrentDirectory() {
    std::vector<char> buffer(PATH_MAX + 1);
    if (getcwd(buffer.data(), buffer.size()) == nullptr)
        return {};
    return buffer.data();
}

}  // namespace tvx
