#pragma once
// What a finished file remembers of where it came from, in its extended
// attributes: its address and referrer under the freedesktop names that
// browsers and wget use (user.xdg.origin.url, user.xdg.referrer.url), and
// the version it is (user.tvx.etag, user.tvx.last-modified) with the digests
// it was proved by (user.tvx.sha-256, user.tvx.sha-512, hexadecimal). A file
// system without user attributes keeps none of it, and nothing else changes.

#include <string>
#include <vector>

#include "transfer/Digest.h"

namespace tvx {

struct FileOrigin {
    std::string url;
    std::string referrer;
    std::string etag;
    std::string lastModified;
    std::vector<Digest> digests;  // only their algorithm and bytes are kept
};

// Writes the attributes on an open file; those of an empty field (or of an
// algorithm not proved) are removed, so that none of an older version stays.
void WriteFileOrigin(int fd, const FileOrigin& origin);

// The attributes of the file at path; empty fields where there are none.
FileOrigin ReadFileOrigin(const std::string& path);

}  // namespace tvx
