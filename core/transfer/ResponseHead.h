#pragma once
// The header lines of HTTP responses, read without the network library so
// that the rules can be tested (and fuzzed) on their own: the status line,
// the lengths, the validators, the range and the redirection target of each
// response, interim (1xx) responses passed over, and the final response
// kept once its header block ends.

#include <cstdint>
#include <string>
#include <string_view>

#include "transfer/HttpRequest.h"

namespace tvx {

struct ResponseHeadParser {
    HttpResponse current;   // the response whose header lines are arriving
    std::string location;   // its Location header
    HttpResponse response;  // the final response
    bool headersDone = false;
    bool redirectPending = false;  // the block ended in a redirection to follow
    // The announced length, or -1 when there is none or it cannot be trusted
    // (unreadable, or contradicted): the body ends there.
    std::int64_t bodyLimit = -1;

    // One header line as received, with or without its CR LF.
    void Line(std::string_view raw);

private:
    void TakeContentLength(const std::string& value);
};

// The text without the blanks, TABs and line ends around it.
std::string_view TrimHeaderText(std::string_view text);

// The redirection statuses that are followed.
bool IsFollowedRedirect(long status);

// "bytes first-last/total" of a Content-Range header; false for anything
// else, an unknown total ("*") included, and for a range that does not lie
// inside its total. last, when given, receives the last byte.
bool ParseContentRange(const std::string& text, std::int64_t& first, std::int64_t& total,
                       std::int64_t* last = nullptr);

// An ETag that names one exact version (not a weak "W/" one).
bool IsStrongEtag(const std::string& etag);

}  // namespace tvx
