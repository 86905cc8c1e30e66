#include "transfer/RemoteVersion.h"

#include "platform/Text.h"
#include "transfer/ResponseHead.h"

namespace tvx {

bool NamesVersion(const RemoteVersion& version) {
    return IsStrongEtag(version.etag) || !version.lastModified.empty();
}

std::string RangeHeaders(std::int64_t first, std::int64_t last, const RemoteVersion& version) {
    std::string headers = Format("Range: bytes=%lld-", static_cast<long long>(first));
    if (last >= 0)
        headers += std::to_string(last);
    headers += "\r\nAccept-Encoding: identity\r\n";
    if (IsStrongEtag(version.etag))
        headers += "If-Range: " + version.etag + "\r\n";
    else if (!version.lastModified.empty())
        headers += "If-Range: " + version.lastModified + "\r\n";
    return headers;
}

bool StatesVersion(const HttpResponse& answer, const RemoteVersion& version) {
    return (version.lastModified.empty() || answer.lastModified == version.lastModified) &&
           (version.etag.empty() || answer.etag == version.etag);
}

RangeAnswer JudgeRangeAnswer(const HttpResponse& answer, std::int64_t first,
                             const RemoteVersion& version, std::int64_t* last) {
    if (!answer.contentEncoding.empty() && CompareNoCase(answer.contentEncoding, "identity") != 0)
        return RangeAnswer::Encoded;
    if (!StatesVersion(answer, version))
        return RangeAnswer::OtherVersion;
    std::int64_t from = -1, total = -1;
    if (!ParseContentRange(answer.contentRange, from, total, last) || from != first ||
        total != version.length) {
        return RangeAnswer::Elsewhere;
    }
    return RangeAnswer::Right;
}

}  // namespace tvx
