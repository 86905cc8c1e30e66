#include "transfer/ControlFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/ByteOrder.h"
#include "platform/Paths.h"

namespace tvx {

namespace {

constexpr unsigned char kMagic[4] = {'T', 'V', 'X', 'e'};
constexpr std::uint16_t kVersion = 1;
constexpr std::uint16_t kSegmentedVersion = 2;
constexpr std::size_t kMaxSegments = 4096;
constexpr std::size_t kFixedExtension = 4 + 2 + 2 + 8 + 8;  // magic .. received
// Far more than any record holds; a larger file is no control file.
constexpr std::size_t kMaxControlFileSize =
    16 + kFixedExtension + 4 + 2 * kMaxValidatorSize + 2 + 24 * kMaxSegments + 4;

void PutUint16(std::vector<unsigned char>& out, std::uint16_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

std::uint16_t GetUint16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void PutInt64(std::vector<unsigned char>& out, std::int64_t value) {
    const auto v = static_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

std::int64_t GetInt64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    return static_cast<std::int64_t>(v);
}

std::uint32_t Fnv1a(const unsigned char* data, std::size_t n) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < n; ++i) {
        h ^= data[i];
        h *= 16777619u;
    }
    return h;
}

void PutText(std::vector<unsigned char>& out, const std::string& text) {
    const std::string_view kept =
        text.size() <= kMaxValidatorSize ? std::string_view(text) : std::string_view();
    PutUint16(out, static_cast<std::uint16_t>(kept.size()));
    out.insert(out.end(), kept.begin(), kept.end());
}

bool GetText(const unsigned char* data, std::size_t end, std::size_t& pos, std::string& text) {
    if (end - pos < 2)
        return false;
    const std::size_t n = GetUint16(data + pos);
    pos += 2;
    if (n > kMaxValidatorSize || end - pos < n)
        return false;
    text.assign(reinterpret_cast<const char*>(data + pos), n);
    pos += n;
    return true;
}

}  // namespace

void EncodeControlRecord(const ControlRecord& record, unsigned char (&out)[kControlRecordSize]) {
    PutInt32(out + 0, record.length);
    PutDouble(out + 4, record.date);
    PutInt32(out + 12, record.received);
}

ControlRecord DecodeControlRecord(const unsigned char (&in)[kControlRecordSize]) {
    return {GetInt32(in + 0), GetDouble(in + 4), GetInt32(in + 12)};
}

std::vector<unsigned char> EncodeControlFile(const ControlState& state) {
    constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
    const bool large = state.length > kInt32Max || state.length < 0;
    ControlRecord base{-1, state.date, 0};
    if (!large) {
        base.length = static_cast<std::int32_t>(state.length);
        base.received = static_cast<std::int32_t>(std::min(state.prefix, state.length));
    }
    unsigned char record[kControlRecordSize];
    EncodeControlRecord(base, record);
    std::vector<unsigned char> out;
    out.reserve(kControlRecordSize + kFixedExtension + 8 + state.lastModified.size() +
                state.etag.size());
    for (unsigned char c : record)
        out.push_back(c);
    for (unsigned char c : kMagic)
        out.push_back(c);
    const bool segmented = !state.segments.empty() && state.segments.size() <= kMaxSegments;
    PutUint16(out, segmented ? kSegmentedVersion : kVersion);
    PutUint16(out, 0);
    PutInt64(out, state.length);
    PutInt64(out, state.prefix);
    PutText(out, state.lastModified);
    PutText(out, state.etag);
    if (segmented) {
        PutUint16(out, static_cast<std::uint16_t>(state.segments.size()));
        for (const Segment& s : state.segments) {
            PutInt64(out, s.start);
            PutInt64(out, s.end);
            PutInt64(out, s.done);
        }
    }
    const std::uint32_t sum = Fnv1a(out.data(), out.size());
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(sum >> (8 * i)));
    return out;
}

bool DecodeControlFile(const unsigned char* data, std::size_t size, ControlState& state) {
    if (size < kControlRecordSize)
        return false;
    unsigned char record[kControlRecordSize];
    std::memcpy(record, data, sizeof record);
    const ControlRecord base = DecodeControlRecord(record);
    ControlState result;
    result.date = base.date;
    if (size == kControlRecordSize) {
        result.length = base.length;
        result.prefix = base.received;
        state = result;
        return true;
    }
    const std::uint16_t version = size >= 22 ? GetUint16(data + 20) : 0;
    if (size < kControlRecordSize + kFixedExtension + 4 + 4 ||
        std::memcmp(data + kControlRecordSize, kMagic, sizeof kMagic) != 0 ||
        (version != kVersion && version != kSegmentedVersion)) {
        return false;
    }
    const std::size_t end = size - 4;
    const std::uint32_t stored = static_cast<std::uint32_t>(GetInt32(data + end));
    if (Fnv1a(data, end) != stored)
        return false;
    result.length = GetInt64(data + 24);
    result.prefix = GetInt64(data + 32);
    std::size_t pos = kControlRecordSize + kFixedExtension;
    if (!GetText(data, end, pos, result.lastModified) || !GetText(data, end, pos, result.etag))
        return false;
    if (version == kSegmentedVersion) {
        if (end - pos < 2)
            return false;
        const std::size_t k = GetUint16(data + pos);
        pos += 2;
        if (k == 0 || (end - pos) / 24 < k)
            return false;
        for (std::size_t i = 0; i < k; ++i, pos += 24)
            result.segments.push_back(
                {GetInt64(data + pos), GetInt64(data + pos + 8), GetInt64(data + pos + 16)});
        CSegmentMap map;
        if (!map.Assign(result.segments, result.length) || map.Prefix() != result.prefix)
            return false;
    }
    if (pos != end)
        return false;
    if (result.length < 0 || result.prefix < 0 || result.prefix > result.length)
        return false;
    result.extended = true;
    state = result;
    return true;
}

std::int64_t OnDisk(const ControlState& state) {
    if (state.segments.empty())
        return state.prefix;
    std::int64_t done = 0;
    for (const Segment& s : state.segments)
        done += s.done;
    return done;
}

std::string ControlFilePath(std::string_view destination) {
    const std::string native = ToNativePath(destination);
    const std::size_t slash = LastSeparator(native);
    if (slash == std::string::npos)
        return {};
    std::string name = native.substr(slash + 1);
    constexpr std::size_t kNameMax = 255, kPrefix = 4, kHashPart = 17;
    if (kPrefix + name.size() > kNameMax) {
        std::uint64_t h = 14695981039346656037ull;
        for (unsigned char c : name) {
            h ^= c;
            h *= 1099511628211ull;
        }
        std::size_t keep = kNameMax - kPrefix - kHashPart;
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
            --keep;  // never in the middle of a UTF-8 character
        char hash[kHashPart + 1];
        std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(h));
        name = name.substr(0, keep) + hash;
    }
    return native.substr(0, slash) + "/CTL_" + name;
}

bool LooksLikeControlFile(const unsigned char* data, std::size_t size) {
    return size == kControlRecordSize ||
           (size >= kControlRecordSize + sizeof kMagic &&
            std::memcmp(data + kControlRecordSize, kMagic, sizeof kMagic) == 0);
}

bool ReadControlFd(int fd, ControlState& state) {
    std::vector<unsigned char> bytes(kMaxControlFileSize + 1);
    std::size_t size = 0;
    while (size < bytes.size()) {
        const ssize_t n =
            ::pread(fd, bytes.data() + size, bytes.size() - size, static_cast<off_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        size += static_cast<std::size_t>(n);
    }
    return size <= kMaxControlFileSize && DecodeControlFile(bytes.data(), size, state);
}

bool IsPartialDownload(std::string_view path, std::string_view baseDirectory) {
    const std::string control = ControlFilePath(ResolveLocalPath(baseDirectory, path));
    ControlState state;
    return !control.empty() && ReadControlFile(control, state);
}

bool ReadControlFile(const std::string& path, ControlState& state) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadControlFd(fd, state);
    ::close(fd);
    return ok;
}

}  // namespace tvx
