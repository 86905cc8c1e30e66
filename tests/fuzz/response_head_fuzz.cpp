// Response header lines from a hostile server: the parser must never crash,
// and whatever it accepts must be consistent. A length it trusts is a
// well-formed, non-negative number; a range it accepts lies inside its
// total; a date it reads has fields a calendar has; a digest it reads (from
// a digest field or a checksum file) has its algorithm's size.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Require.h"
#include "transfer/Digest.h"
#include "transfer/ResponseHead.h"

using tvxfuzz::Require;

namespace {

void RequireWhole(const std::vector<tvx::Digest>& digests) {
    for (const tvx::Digest& d : digests)
        Require(d.bytes.size() == (d.algorithm == tvx::DigestAlgorithm::Sha256 ? 32u : 64u));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    tvx::ResponseHeadParser head;
    std::size_t start = 0;
    while (start <= input.size()) {
        const std::size_t end = input.find('\n', start);
        head.Line(input.substr(start, end == std::string_view::npos ? end : end - start + 1));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    head.Line("\r\n");

    for (const tvx::HttpResponse* r : {&head.current, &head.response}) {
        if (tvx::IsContentLengthText(r->contentLength))
            Require(tvx::ParseContentLength(r->contentLength) >= 0);
        if (!r->conflictingLength.empty())
            Require(r->hasContentLength && r->conflictingLength != r->contentLength);
        std::int64_t first = -1, total = -1;
        if (tvx::ParseContentRange(r->contentRange, first, total))
            Require(first >= 0 && first < total);
        tvx::HttpDateFields f;
        if (tvx::ParseHttpDate(r->lastModified, f)) {
            Require(f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= 31);
            Require(f.hour >= 0 && f.hour < 24 && f.minute >= 0 && f.minute < 60);
        }
    }
    if (head.bodyLimit >= 0) {
        Require(head.response.hasContentLength && head.response.conflictingLength.empty());
        Require(head.bodyLimit == tvx::ParseContentLength(head.response.contentLength));
    }
    // The same texts taken apart as free text, not only as header values.
    const std::string text(input);
    std::int64_t first = -1, total = -1;
    if (tvx::ParseContentRange(text, first, total))
        Require(first >= 0 && first < total);
    if (tvx::IsContentLengthText(text))
        Require(tvx::ParseContentLength(text) >= 0);
    for (const tvx::HttpResponse* r : {&head.current, &head.response}) {
        RequireWhole(tvx::ParseDigestField(r->reprDigest, "Repr-Digest"));
        RequireWhole(tvx::ParseDigestField(r->contentDigest, "Content-Digest"));
        RequireWhole(tvx::ParseInstanceDigest(r->digest, "Digest"));
    }
    RequireWhole(tvx::ParseDigestField(text, "text"));
    RequireWhole(tvx::ParseInstanceDigest(text, "text"));
    RequireWhole(tvx::DigestsListedFor(text, "f.bin", "text"));
    tvx::Digest given;
    if (tvx::ParseChecksumOption(text, given))
        RequireWhole({given});
    return 0;
}
