#include "transfer/ChecksumFiles.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace tvx {

namespace {

// The sums files looked for in a folder, the stronger digest first.
constexpr const char* kSumsFiles[] = {"SHA256SUMS", "SHA512SUMS"};

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace

bool LooksLikeChecksums(std::string_view text) {
    if (!text.empty() && text.front() == '\\')
        text.remove_prefix(1);  // a GNU line whose name has escapes
    if (text.rfind("SHA256 (", 0) == 0 || text.rfind("SHA512 (", 0) == 0)
        return true;
    std::size_t digits = 0;
    while (digits < text.size() && HexValue(text[digits]) >= 0)
        ++digits;
    return (digits == 64 || digits == 128) && digits < text.size() && text[digits] == ' ';
}

bool FetchText(const std::string& url, const HttpSettings& settings, std::size_t limit,
               std::string& text, std::string& problem, bool (*plausible)(std::string_view)) {
    text.clear();
    HttpRequest request(settings);
    if (!request.Send(url)) {
        problem = request.ErrorText();
        return false;
    }
    const HttpResponse& response = request.Response();
    if (response.status != 200) {
        problem = Format("%s: HTTP %ld", url.c_str(), response.status);
        return false;
    }
    if (response.hasContentLength && ParseContentLength(response.contentLength) >
                                         static_cast<std::int64_t>(limit)) {
        problem = Format("%s is longer than %zu bytes", url.c_str(), limit);
        return false;
    }
    constexpr std::size_t kJudgeAfter = 300;
    bool judged = plausible == nullptr;
    char buffer[16384];
    while (true) {
        const long n = request.Read(buffer, sizeof buffer, 1000);
        if (n == HttpRequest::kNothingYet)
            continue;
        if (n == HttpRequest::kError) {
            problem = request.ErrorText();
            return false;
        }
        if (n == HttpRequest::kEnd)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (!judged && (text.size() >= kJudgeAfter || text.find('\n') != std::string::npos)) {
            judged = true;
            if (!plausible(text)) {
                problem = url + " is no list of digests";
                return false;
            }
        }
        if (text.size() > limit) {
            problem = Format("%s is longer than %zu bytes", url.c_str(), limit);
            return false;
        }
    }
    const std::int64_t announced = request.Response().hasContentLength
                                       ? ParseContentLength(request.Response().contentLength)
                                       : -1;
    if (announced >= 0 && static_cast<std::int64_t>(text.size()) != announced) {
        problem = Format("%s ended after %zu of %lld bytes", url.c_str(), text.size(),
                         static_cast<long long>(announced));
        return false;
    }
    if (!judged && !text.empty() && !plausible(text)) {
        problem = url + " is no list of digests";
        return false;
    }
    return true;
}

bool ChecksumFiles::SplitAddress(const std::string& address, std::string& folder,
                                 std::string& name) {
    const std::size_t scheme = address.find("://");
    if (scheme == std::string::npos)
        return false;
    const std::string_view whole(address);
    const std::string_view noQuery = whole.substr(0, whole.find_first_of("?#"));
    const std::size_t pathStart = noQuery.find('/', scheme + 3);
    const std::size_t slash = noQuery.rfind('/');
    if (pathStart == std::string_view::npos || slash + 1 >= noQuery.size())
        return false;
    folder = std::string(noQuery.substr(0, slash + 1));
    name = PercentDecoded(noQuery.substr(slash + 1));
    return !name.empty() && name.find('/') == std::string::npos;
}

bool ChecksumFiles::Use(const std::string& where, const HttpSettings& settings,
                        std::string& problem) {
    std::string text;
    if (HasAbsoluteAddress(where)) {
        if (!FetchText(where, settings, kMaxSize, text, problem, LooksLikeChecksums))
            return false;
    } else if (!ReadWholeFile(where, text)) {
        problem = "cannot read " + where;
        return false;
    } else if (text.size() > kMaxSize) {
        problem = Format("%s is longer than %zu bytes", where.c_str(), kMaxSize);
        return false;
    } else if (!LooksLikeChecksums(text)) {
        problem = where + " is no list of digests";
        return false;
    }
    m_explicitSource = where;
    m_explicitText = std::move(text);
    return true;
}

std::vector<ChecksumFiles::Listing>& ChecksumFiles::FolderListings(const std::string& folder,
                                                                   const HttpSettings& settings) {
    auto found = m_folders.find(folder);
    if (found != m_folders.end())
        return found->second;
    std::vector<Listing>& listings = m_folders[folder];
    for (const char* file : kSumsFiles) {
        Listing listing{folder + file, {}};
        std::string problem;
        if (!FetchText(listing.source, settings, kMaxSize, listing.text, problem,
                       LooksLikeChecksums))
            listing.text.clear();  // no such file here: nothing to check against
        listings.push_back(std::move(listing));
    }
    return listings;
}

std::vector<Digest> ChecksumFiles::For(const std::string& address, const HttpSettings& settings) {
    std::string folder, name;
    if (!SplitAddress(address, folder, name) && !Explicit())
        return {};
    if (Explicit()) {
        if (name.empty())
            name = address.substr(address.rfind('/') + 1);
        return DigestsListedFor(m_explicitText, name, m_explicitSource);
    }
    std::vector<Digest> digests;
    for (const Listing& listing : FolderListings(folder, settings)) {
        for (Digest& d : DigestsListedFor(listing.text, name, listing.source))
            digests.push_back(std::move(d));
    }
    return digests;
}

}  // namespace tvx
