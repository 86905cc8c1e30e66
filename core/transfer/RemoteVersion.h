#pragma once
// One version of a source, as an answer states it, and the rules every phase
// of a transfer judges answers by: a range is asked of exactly one version,
// and only an answer that states that version, unencoded, from the byte
// asked for, may add bytes to it.

#include <cstdint>
#include <string>

#include "transfer/HttpRequest.h"

namespace tvx {

struct RemoteVersion {
    std::int64_t length = 0;
    double date = 0;           // date number, to the minute
    std::string lastModified;  // exact text, "" when none
    std::string etag;          // exact text, "" when none
};

// Whether a version can be asked for in parts: something names it exactly
// (a strong ETag, or a Last-Modified date).
bool NamesVersion(const RemoteVersion& version);

// The header lines that ask for bytes first to last (-1: to the end) of
// exactly this version: a range of an encoded body would be a range of other
// bytes, and If-Range makes a server that has another version send it whole.
std::string RangeHeaders(std::int64_t first, std::int64_t last, const RemoteVersion& version);

// Every validator the version has is stated by the answer, and the same.
bool StatesVersion(const HttpResponse& answer, const RemoteVersion& version);

// How a 206 answer to a request for bytes from `first` stands.
enum class RangeAnswer { Right, OtherVersion, Encoded, Elsewhere };
// last receives the answer's last byte when it is Right.
RangeAnswer JudgeRangeAnswer(const HttpResponse& answer, std::int64_t first,
                             const RemoteVersion& version, std::int64_t* last = nullptr);

}  // namespace tvx
