#include "transfer/Digest.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/Text.h"

namespace tvx {

namespace {

std::size_t DigestSize(DigestAlgorithm algorithm) {
    return algorithm == DigestAlgorithm::Sha256 ? 32 : 64;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// "sha-256" / "sha-512" (and the forms without the dash); false otherwise.
bool AlgorithmNamed(std::string_view name, DigestAlgorithm& algorithm) {
    if (SameNoCase(name, "sha-256") || SameNoCase(name, "sha256")) {
        algorithm = DigestAlgorithm::Sha256;
        return true;
    }
    if (SameNoCase(name, "sha-512") || SameNoCase(name, "sha512")) {
        algorithm = DigestAlgorithm::Sha512;
        return true;
    }
    return false;
}

// Standard base64 with its padding; false on any other character.
bool DecodeBase64(std::string_view text, std::string& out) {
    out.clear();
    while (!text.empty() && text.back() == '=')
        text.remove_suffix(1);
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+')
            v = 62;
        else if (c == '/')
            v = 63;
        else
            return false;
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xff));
        }
    }
    return true;
}

bool DecodeHex(std::string_view text, std::string& out) {
    out.clear();
    if (text.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int v = 0;
        for (const char c : text.substr(i, 2)) {
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= c - '0';
            else if (c >= 'a' && c <= 'f')
                v |= c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                v |= c - 'A' + 10;
            else
                return false;
        }
        out.push_back(static_cast<char>(v));
    }
    return true;
}

// A hexadecimal digest whose length names its algorithm (64 or 128 digits).
bool DigestOfHex(std::string_view hex, Digest& digest) {
    if (hex.size() == 64)
        digest.algorithm = DigestAlgorithm::Sha256;
    else if (hex.size() == 128)
        digest.algorithm = DigestAlgorithm::Sha512;
    else
        return false;
    return DecodeHex(hex, digest.bytes);
}

// Splits a list at its commas; each element trimmed.
template <typename Each>
void ForEachElement(std::string_view list, Each each) {
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        each(Trim(list.substr(0, comma)));
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
}

// The members "algorithm=value" of a digest field. structured: each value
// is a byte sequence ":BASE64:", perhaps with parameters after it (RFC
// 9530); otherwise plain base64 (RFC 3230).
std::vector<Digest> ParseMembers(std::string_view value, const std::string& source,
                                 bool structured) {
    std::vector<Digest> digests;
    ForEachElement(value, [&](std::string_view member) {
        const std::size_t eq = member.find('=');
        Digest digest;
        digest.source = source;
        if (eq == std::string_view::npos ||
            !AlgorithmNamed(Trim(member.substr(0, eq)), digest.algorithm))
            return;
        std::string_view item = Trim(member.substr(eq + 1));
        if (structured) {
            item = item.substr(0, item.find(';'));  // parameters say nothing of the bytes
            if (item.size() < 2 || item.front() != ':' || item.back() != ':')
                return;
            item = item.substr(1, item.size() - 2);
        }
        if (DecodeBase64(item, digest.bytes) && digest.bytes.size() == DigestSize(digest.algorithm))
            digests.push_back(std::move(digest));
    });
    return digests;
}

}  // namespace

const char* DigestName(DigestAlgorithm algorithm) {
    return algorithm == DigestAlgorithm::Sha256 ? "sha-256" : "sha-512";
}

std::string HexText(std::string_view bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 15]);
    }
    return text;
}

std::vector<Digest> ParseDigestField(std::string_view value, const std::string& source) {
    return ParseMembers(value, source, true);
}

std::vector<Digest> ParseInstanceDigest(std::string_view value, const std::string& source) {
    return ParseMembers(value, source, false);
}

bool ParseChecksumOption(std::string_view text, Digest& digest) {
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos || !AlgorithmNamed(text.substr(0, eq), digest.algorithm))
        return false;
    const DigestAlgorithm named = digest.algorithm;
    digest.source = "--checksum";
    return DigestOfHex(text.substr(eq + 1), digest) && digest.algorithm == named;
}

std::vector<Digest> DigestsListedFor(std::string_view sums, std::string_view name,
                                     const std::string& source) {
    std::vector<Digest> digests;
    const auto sameName = [name](std::string_view listed) {
        if (listed.substr(0, 2) == "./")
            listed.remove_prefix(2);
        return listed == name;
    };
    while (!sums.empty()) {
        const std::size_t end = sums.find('\n');
        std::string_view line = sums.substr(0, end);
        sums.remove_prefix(end == std::string_view::npos ? sums.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        Digest digest;
        digest.source = source;
        const std::size_t open = line.find(" (");
        const std::size_t close = line.rfind(") = ");
        if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
            // BSD: "SHA256 (name) = HEX"
            DigestAlgorithm tagged;
            if (AlgorithmNamed(line.substr(0, open), tagged) &&
                sameName(line.substr(open + 2, close - open - 2)) &&
                DigestOfHex(Trim(line.substr(close + 4)), digest) && digest.algorithm == tagged)
                digests.push_back(std::move(digest));
            continue;
        }
        // GNU: "HEX  name" (text mode) or "HEX *name" (binary mode); a
        // leading backslash marks a name with escapes, which no plain file
        // name of a link needs.
        if (!line.empty() && line.front() == '\\')
            continue;
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos || space + 1 >= line.size())
            continue;
        std::string_view listed = line.substr(space + 1);
        if (listed.front() == ' ' || listed.front() == '*')
            listed.remove_prefix(1);
        if (sameName(listed) && DigestOfHex(line.substr(0, space), digest))
            digests.push_back(std::move(digest));
    }
    return digests;
}

struct Hasher::State {
    EVP_MD_CTX* context = nullptr;
};

Hasher::Hasher(DigestAlgorithm algorithm)
    : m_algorithm(algorithm), m_state(std::make_unique<State>()) {
    m_state->context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(m_state->context,
                      algorithm == DigestAlgorithm::Sha256 ? EVP_sha256() : EVP_sha512(), nullptr);
}

Hasher::~Hasher() {
    EVP_MD_CTX_free(m_state->context);
}

void Hasher::Update(const char* data, std::size_t n) {
    EVP_DigestUpdate(m_state->context, data, n);
}

std::string Hasher::Final() {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_DigestFinal_ex(m_state->context, out, &size);
    return std::string(reinterpret_cast<const char*>(out), size);
}

FileDigest::FileDigest(std::vector<Digest> expected) : m_expected(std::move(expected)) {
    for (const Digest& d : m_expected) {
        bool have = false;
        for (const auto& h : m_hashers)
            have = have || h->Algorithm() == d.algorithm;
        if (!have)
            m_hashers.push_back(std::make_unique<Hasher>(d.algorithm));
    }
}

FileDigest::~FileDigest() = default;
FileDigest::FileDigest(FileDigest&&) noexcept = default;
FileDigest& FileDigest::operator=(FileDigest&&) noexcept = default;

void FileDigest::Written(std::int64_t offset, const char* data, std::size_t n) {
    if (m_hashers.empty() || offset > m_hashed || offset + std::int64_t(n) <= m_hashed)
        return;
    const std::size_t skip = static_cast<std::size_t>(m_hashed - offset);
    for (const auto& h : m_hashers)
        h->Update(data + skip, n - skip);
    m_hashed = offset + static_cast<std::int64_t>(n);
}

bool FileDigest::CatchUp(int fd, std::int64_t upTo, std::string& problem) {
    if (m_hashers.empty())
        return true;
    std::vector<char> buffer(1 << 20);
    while (m_hashed < upTo) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::int64_t>(upTo - m_hashed, buffer.size()));
        const ssize_t n = ::pread(fd, buffer.data(), want, static_cast<off_t>(m_hashed));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            problem = n < 0 ? Format("cannot read the file back to prove it: %s",
                                     std::strerror(errno))
                            : Format("the file ends at byte %lld, before it could be proved",
                                     static_cast<long long>(m_hashed));
            return false;
        }
        Written(m_hashed, buffer.data(), static_cast<std::size_t>(n));
    }
    return true;
}

FileDigest::Proof FileDigest::Prove(int fd, std::int64_t length, std::string& problem) {
    m_computed.clear();
    if (!CatchUp(fd, length, problem))
        return Proof::Unreadable;
    for (const auto& h : m_hashers)
        m_computed.push_back({h->Algorithm(), h->Final(), {}});
    m_hashers.clear();
    for (const Digest& expected : m_expected) {
        for (const Digest& got : m_computed) {
            if (got.algorithm != expected.algorithm || got.bytes == expected.bytes)
                continue;
            problem = Format("%s mismatch (%s): expected %s, got %s", DigestName(got.algorithm),
                             expected.source.c_str(), HexText(expected.bytes).c_str(),
                             HexText(got.bytes).c_str());
            return Proof::Mismatch;
        }
    }
    return Proof::Proved;
}

}  // namespace tvx
