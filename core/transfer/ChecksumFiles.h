#pragma once
// The checksum files publishers put beside their releases: SHA256SUMS and
// SHA512SUMS in a link's remote folder, fetched once per folder for as long
// as the object lives (a session, one tvx-get run) and used for every link
// of that folder. A folder without them costs one request per missing file,
// remembered. A file the user names (an address or a local file) takes the
// place of the folders' files.

#include <map>
#include <string_view>
#include <string>
#include <vector>

#include "transfer/Digest.h"
#include "transfer/HttpRequest.h"

namespace tvx {

class ChecksumFiles {
public:
    // A checksum file longer than this is no list of a release's files.
    static constexpr std::size_t kMaxSize = 4 << 20;

    // Uses the checksum file at `where` (an http(s) address or a local file)
    // for every file from now on; false with the reason when it cannot be
    // read.
    bool Use(const std::string& where, const HttpSettings& settings, std::string& problem);
    bool Explicit() const { return !m_explicitSource.empty(); }
    const std::string& ExplicitSource() const { return m_explicitSource; }

    // The digests stated for the file the address names.
    std::vector<Digest> For(const std::string& address, const HttpSettings& settings);

    // The folder of an address ("http://host/pub/") and the file's name in
    // it, decoded ("a b.iso"); false when the address names no file.
    static bool SplitAddress(const std::string& address, std::string& folder, std::string& name);

private:
    struct Listing {
        std::string source;  // the address it came from
        std::string text;    // "" when there is none
    };
    std::vector<Listing>& FolderListings(const std::string& folder, const HttpSettings& settings);

    std::map<std::string, std::vector<Listing>> m_folders;
    std::string m_explicitSource, m_explicitText;
};

// Fetches a short text (at most limit bytes); false with the reason when the
// answer is no 200 with such a body. plausible, when given, judges the text
// once its first line is in (or the first few hundred bytes): an answer that
// is plainly something else (a page a server sends for every address) is
// given up at once instead of read to its end.
bool FetchText(const std::string& url, const HttpSettings& settings, std::size_t limit,
               std::string& text, std::string& problem,
               bool (*plausible)(std::string_view) = nullptr);

// The text begins as a SHA256SUMS / SHA512SUMS file does.
bool LooksLikeChecksums(std::string_view text);

}  // namespace tvx
