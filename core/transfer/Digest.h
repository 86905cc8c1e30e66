#pragma once
// Digests that prove a file: what publishers state about their files
// (sha-256 and sha-512) and the running hashes that check them.
//
// Sources of a digest, each read here without the network:
// - the header fields of RFC 9530, Repr-Digest and Content-Digest, members
//   "sha-256=:BASE64:" of a dictionary;
// - the older Digest field of RFC 3230, "SHA-256=BASE64";
// - a checksum the user gives, "sha-256=HEX";
// - the lines of a SHA256SUMS or SHA512SUMS file, GNU ("HEX  name",
//   "HEX *name") or BSD tagged ("SHA256 (name) = HEX").
// Unknown algorithms and malformed members are passed over: a digest that
// cannot be read proves nothing and refutes nothing.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tvx {

enum class DigestAlgorithm { Sha256, Sha512 };

// "sha-256" or "sha-512", as the header fields name them.
const char* DigestName(DigestAlgorithm algorithm);

// A digest some source states for the bytes of a file (or of one answer).
struct Digest {
    DigestAlgorithm algorithm = DigestAlgorithm::Sha256;
    std::string bytes;   // the raw digest (32 or 64 bytes)
    std::string source;  // where it was stated: "Repr-Digest", "--checksum", an address
};

// The digest in lower-case hexadecimal.
std::string HexText(std::string_view bytes);

// Repr-Digest or Content-Digest (several fields joined by commas).
std::vector<Digest> ParseDigestField(std::string_view value, const std::string& source);
// The Digest field of RFC 3230.
std::vector<Digest> ParseInstanceDigest(std::string_view value, const std::string& source);
// "sha-256=HEX" or "sha-512=HEX" ("sha256", "sha512" too); false for
// anything else, a digest of the wrong length included.
bool ParseChecksumOption(std::string_view text, Digest& digest);

// The digests a SHA256SUMS / SHA512SUMS text states for the file called
// name (a plain file name; entries "./name" count as well). The algorithm
// follows from the BSD tag or from the length of the hexadecimal digest.
std::vector<Digest> DigestsListedFor(std::string_view sums, std::string_view name,
                                     const std::string& source);

// One running hash.
class Hasher {
public:
    explicit Hasher(DigestAlgorithm algorithm);
    ~Hasher();
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;

    DigestAlgorithm Algorithm() const { return m_algorithm; }
    void Update(const char* data, std::size_t n);
    // The digest of everything given; the hasher is spent then.
    std::string Final();

private:
    struct State;
    DigestAlgorithm m_algorithm;
    std::unique_ptr<State> m_state;
};

// The proof of a whole file against every digest stated for it. Bytes are
// hashed as they are written when they come in order; whatever was written
// ahead of that point (by a segment) is read back from the file once, when
// the file is proved. Nothing is hashed when no digest is expected.
class FileDigest {
public:
    FileDigest() = default;
    explicit FileDigest(std::vector<Digest> expected);
    ~FileDigest();
    FileDigest(FileDigest&&) noexcept;
    FileDigest& operator=(FileDigest&&) noexcept;

    bool Wanted() const { return !m_expected.empty(); }
    const std::vector<Digest>& Expected() const { return m_expected; }
    // Bytes written at offset.
    void Written(std::int64_t offset, const char* data, std::size_t n);
    // The bytes from the hashed point up to `upTo`, read back from the file.
    // False with the reason when they cannot be read.
    bool CatchUp(int fd, std::int64_t upTo, std::string& problem);
    // Hashes the rest up to length (read back) and compares every expected
    // digest. problem says why it is no proof: the read error, or the
    // mismatch with the algorithm, the source, the expected and the
    // computed value.
    enum class Proof { Proved, Mismatch, Unreadable };
    Proof Prove(int fd, std::int64_t length, std::string& problem);
    // The computed digests after a successful Prove, one per algorithm.
    const std::vector<Digest>& Computed() const { return m_computed; }

private:
    std::vector<Digest> m_expected;
    std::vector<std::unique_ptr<Hasher>> m_hashers;
    std::vector<Digest> m_computed;
    std::int64_t m_hashed = 0;  // every byte before it went into the hashers
};

}  // namespace tvx
