#include "transfer/FileOrigin.h"

#include <sys/types.h>
#include <sys/xattr.h>

#include <cerrno>

namespace tvx {

namespace {

constexpr char kUrl[] = "user.xdg.origin.url";
constexpr char kReferrer[] = "user.xdg.referrer.url";
constexpr char kEtag[] = "user.tvx.etag";
constexpr char kLastModified[] = "user.tvx.last-modified";

std::string DigestAttribute(DigestAlgorithm algorithm) {
    return std::string("user.tvx.") + DigestName(algorithm);
}

// False when the file system keeps no user attributes at all.
bool Put(int fd, const std::string& name, const std::string& value) {
    if (value.empty()) {
        ::fremovexattr(fd, name.c_str());
        return true;
    }
    return ::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) == 0 ||
           (errno != ENOTSUP && errno != EPERM);
}

std::string Get(const std::string& path, const std::string& name) {
    char value[8192];
    const ssize_t n = ::getxattr(path.c_str(), name.c_str(), value, sizeof value);
    return n > 0 ? std::string(value, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

void WriteFileOrigin(int fd, const FileOrigin& origin) {
    if (!Put(fd, kUrl, origin.url))
        return;  // nowhere to keep any of it
    Put(fd, kReferrer, origin.referrer);
    Put(fd, kEtag, origin.etag);
    Put(fd, kLastModified, origin.lastModified);
    for (const DigestAlgorithm algorithm : {DigestAlgorithm::Sha256, DigestAlgorithm::Sha512}) {
        std::string hex;
        for (const Digest& d : origin.digests)
            hex = d.algorithm == algorithm ? HexText(d.bytes) : hex;
        Put(fd, DigestAttribute(algorithm), hex);
    }
}

FileOrigin ReadFileOrigin(const std::string& path) {
    FileOrigin origin;
    origin.url = Get(path, kUrl);
    origin.referrer = Get(path, kReferrer);
    origin.etag = Get(path, kEtag);
    origin.lastModified = Get(path, kLastModified);
    return origin;
}

}  // namespace tvx
