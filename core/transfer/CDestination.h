#pragma once
// The local side of a transfer: the destination file and its control file
// CTL_<name>. Every rule about touching them lives here:
//
// - One writer per file. Claim takes an advisory lock on the control file
//   and holds it until Release. It is an open-file-description lock, so it
//   holds against other runs and against a second transfer in this process
//   alike, no other open or close of the file in this process drops it, and
//   the kernel drops it when its holder dies. A run that meets it touches
//   nothing and is told which process holds it.
// - Plain files only. Neither file is opened through a symbolic link, and
//   anything but a regular file (a FIFO, a device, a folder) is refused at
//   once instead of being written into or waited on. A file under a control
//   file's name that is no control file of this program is never written.
// - The old bytes go only when the first new byte is in hand (or, on a
//   resume, at once down to the recorded count); a destination counts as
//   complete only after its bytes are synced to the disk and it closed
//   without an error.
// - A partial stays marked: the control file goes only with a complete
//   file, or when this run made it and never touched the destination (which
//   is then as the run found it). A partial file has only the length its
//   bytes give it, never the whole length ahead of them.
// - The control file is removed while the lock is still held, so the next
//   run never locks a name that is about to vanish.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "transfer/ControlFile.h"
#include "transfer/Writeback.h"

namespace tvx {

class FileDigest;

class CDestination {
public:
    // Free bytes of the file system that holds a folder, or -1 when unknown.
    using FreeSpaceProbe = std::function<std::int64_t(const std::string& folder)>;

    CDestination() = default;
    ~CDestination() { Release(false); }
    CDestination(const CDestination&) = delete;
    CDestination& operator=(const CDestination&) = delete;

    // Names the destination (a stored path text, absolute) and judges it
    // before anything is asked of the source: "" when it may be written,
    // otherwise why not (a folder, not a regular file, the control file of
    // another download).
    std::string Judge(const std::string& resolved);

    // Takes the lock, creating the control file when there is none. False
    // with the reason when another run holds it or the control file cannot
    // be used; nothing was changed then.
    bool Claim(std::string& problem);
    bool Claimed() const { return m_control >= 0; }

    // The control file's record, read through the lock.
    bool ReadRecord(ControlState& state) const;
    // Rewrites the record in place. The caller writes it after the bytes it
    // counts, so the count on disk never exceeds the file.
    bool WriteRecord(const ControlState& state);

    // The destination's size now, or -1 when there is none.
    std::int64_t ExistingSize() const;

    // Opens the destination for writing at offset: checks that a file of
    // `length` bytes fits on its disk (the blocks the file has count, its
    // holes do not), creates the file or cuts it back to offset (a cut to 0
    // waits for the first byte). keep: every byte the file holds belongs to
    // segments of its record, and none is cut.
    bool OpenFile(std::int64_t offset, std::int64_t length, const FreeSpaceProbe& probe,
                  std::string& problem, bool keep = false);
    bool FileOpen() const { return m_file >= 0; }
    // Writes at the end of what the file holds; written receives the count
    // that reached it, also on failure.
    bool Write(const char* data, std::size_t n, std::size_t& written, std::string& problem);
    // Writes at a position, for a file fetched in segments (once the old
    // bytes are cut). Bytes beyond the end leave a hole before them.
    bool WriteAt(std::int64_t offset, const char* data, std::size_t n, std::size_t& written,
                 std::string& problem);
    // Every byte written from now on is shown to the digest (in the order
    // written, with its offset); nullptr stops it.
    void Watch(FileDigest* digest) { m_digest = digest; }
    // The open destination, for reading back what was written and for its
    // attributes; -1 when it is not open.
    int Descriptor() const { return m_file; }
    // False when the file at the path is no longer the one being written.
    bool StillOurs() const;
    // Makes what was written durable, so that a record may count it.
    bool SyncData(std::string& problem);
    // The same without waiting: a sync of what was written so far begins
    // off this thread, and SyncOf tells when it is done (the ticket tells
    // which; false with the reason when a sync failed).
    std::uint64_t StartSync();
    bool SyncOf(std::uint64_t ticket, bool& done, std::string& problem);
    // Syncs the file to the disk and closes it; false with the reason when
    // either fails (the bytes cannot be trusted then).
    bool Commit(std::string& problem);

    // Closes everything and lets go of the lock. The control file goes when
    // the transfer is complete, when there is no destination, or when this
    // run made it and left the destination as it was; a destination this
    // transfer created and never wrote to goes too.
    void Release(bool complete);

    // Gives the destination the source's date (a date number).
    void Stamp(double date) const;

    const std::string& Path() const { return m_path; }  // native
    const std::string& ControlPath() const { return m_controlPath; }
    // The free space of the destination's folder (statvfs).
    static std::int64_t FreeBytes(const std::string& folder);

private:
    void CloseFile();
    // Counts n bytes written and lets the writeback know of them.
    void Wrote(std::size_t n);
    // The open file's sync thread, made when first wanted.
    Writeback& Syncer();
    // The first byte of a new version is in hand: the old bytes go.
    bool CutOnce();

    std::string m_path, m_controlPath;
    int m_control = -1;
    std::size_t m_controlSize = 0;
    bool m_controlFresh = false;  // this run made the control file (it was empty)
    bool m_touched = false;       // this run cut or wrote the destination
    unsigned long long m_controlDevice = 0, m_controlInode = 0;
    int m_file = -1;
    bool m_cutPending = false;
    bool m_created = false;
    std::int64_t m_written = 0;
    std::int64_t m_position = 0;  // where Write writes next
    FileDigest* m_digest = nullptr;
    std::unique_ptr<Writeback> m_writeback;  // of the open file; goes before it closes
    unsigned long long m_device = 0, m_inode = 0;
};

}  // namespace tvx
