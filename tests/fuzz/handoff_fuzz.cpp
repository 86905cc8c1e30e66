// Requests handed over by other programs (the browser extension's host, a
// second tvx): reading must never crash, and a request it accepts must read
// back the same after it is written for the window.

#include <cstddef>
#include <cstdint>
#include <string>

#include "Require.h"
#include "browser/HandOff.h"

using tvxfuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string json(reinterpret_cast<const char*>(data), size);
    for (const tvx::CookieForm form : {tvx::CookieForm::Objects, tvx::CookieForm::Lines}) {
        tvx::HandOffRequest request, back;
        std::string error;
        if (!tvx::ParseHandOff(json, form, request, error)) {
            Require(!error.empty());
            continue;
        }
        Require(
            tvx::ParseHandOff(tvx::EncodeHandOff(request), tvx::CookieForm::Lines, back, error));
        Require(back.action == request.action && back.url == request.url &&
                back.referrer == request.referrer && back.text == request.text &&
                back.filename == request.filename && back.cookies == request.cookies);
    }
    std::string error;
    tvx::ParseHandOffAnswer(json, error);
    return 0;
}
