#pragma once
// The transfer control file CTL_<name>: it stands beside a destination while
// the destination holds only part of its source, and says how many bytes of
// which version of the source are there.
//
// Layout, little-endian, no padding:
//
//   base record (16 bytes), which every reader of the format understands
//     0  int32   length    the source's length when the transfer began
//     4  double  date      its date number (YYYYMMDDhhmm, to the minute)
//    12  int32   received  bytes of the source the destination holds
//   extension (written by this program, ignored by 16-byte readers)
//    16  char[4] "TVXe"
//    20  uint16  version   1
//    22  uint16  flags     0
//    24  int64   length    the source's length, whole
//    32  int64   received  bytes the destination holds, whole
//    40  uint16  n, then n bytes: the Last-Modified text exactly as sent
//        uint16  m, then m bytes: the ETag exactly as sent ("" when none)
//      version 2 only (a file fetched over several connections):
//        uint16  k, then k segments of three int64: start, end (one past its
//                last byte) and the bytes on disk from its start
//        uint32  FNV-1a checksum of every byte before it
//
// The count (in the base record and the extension alike) is always the run of
// bytes from byte 0 on that is on disk without a gap, so a reader that knows
// nothing of segments resumes correctly from there. A record without
// segments is written as version 1, which the program's earlier versions read.
//
// A source below 2 GiB has its true length and count in the base record, so
// a 16-byte reader still resumes it by its own rule. A larger source has
// length -1 and received 0 there: no answer's length is ever -1, so a 16-byte
// reader never takes the record for a match and starts over instead of
// splicing; the extension holds the real figures.
//
// The Last-Modified text (to the second) and the ETag tell versions apart
// that the minute-wide date number cannot: a resume goes on only when the
// server still states exactly the same version. A record without an
// extension (written by an older program) is judged by the base record alone.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/SegmentMap.h"

namespace tvx {

// The 16-byte base record as it stands in the file.
struct ControlRecord {
    std::int32_t length = 0;
    double date = 0;
    std::int32_t received = 0;
};
constexpr std::size_t kControlRecordSize = 16;
void EncodeControlRecord(const ControlRecord& record, unsigned char (&out)[kControlRecordSize]);
ControlRecord DecodeControlRecord(const unsigned char (&in)[kControlRecordSize]);

// Everything a control file says, whichever form it has.
struct ControlState {
    std::int64_t length = 0;
    double date = 0;
    // The prefix: bytes from byte 0 on that are on disk without a gap (what
    // the 16-byte record calls "received").
    std::int64_t prefix = 0;
    std::string lastModified;  // exact text; empty without an extension
    std::string etag;          // exact text; empty when the server sent none
    bool extended = false;     // false: only the base record was there
    // The segments of a file fetched over several connections (version 2);
    // empty for one stream from the start.
    std::vector<Segment> segments;
};

// Bytes of the source a record says are on disk, in all its segments.
std::int64_t OnDisk(const ControlState& state);

// Validator texts longer than this are not recorded (the record stays small).
constexpr std::size_t kMaxValidatorSize = 1024;

// The bytes of a control file for the state (base record and extension).
std::vector<unsigned char> EncodeControlFile(const ControlState& state);

// Reads a control file's bytes. False when they are no usable record: fewer
// than 16 bytes, or an extension whose checksum, version or sizes are wrong
// (a damaged record must never decide a resume).
bool DecodeControlFile(const unsigned char* data, std::size_t size, ControlState& state);

// "<folder>/CTL_<name>" for a destination, split at its last separator (never
// at the first character); empty when there is none. A name too long to take
// the prefix within the file system's 255 bytes gets a shortened control name:
// "CTL_", as much of the name as fits (cut between characters), "~" and 16
// hexadecimal digits of a hash of the whole name.
std::string ControlFilePath(std::string_view destination);

// Whether the local file at a path (a stored path text; a relative one is
// taken below baseDirectory, as a transfer resolves it) is the part of a
// download: a control record stands beside it. Such a file is never up to
// date, whatever its length and date say.
bool IsPartialDownload(std::string_view path, std::string_view baseDirectory);

// Reads the control file at a native path without following a symbolic link.
// False when there is none or it is no usable record.
bool ReadControlFile(const std::string& path, ControlState& state);
// The same from an open file, read from its start.
bool ReadControlFd(int fd, ControlState& state);

// Whether bytes at the start of a file could be a control file of this
// program (a 16-byte record, or a record followed by the extension's mark),
// damaged or not. Anything else under a control file's name is someone's own
// file and is never written over.
bool LooksLikeControlFile(const unsigned char* data, std::size_t size);

}  // namespace tvx
