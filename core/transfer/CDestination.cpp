#include "transfer/CDestination.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

#include "platform/Paths.h"
#include "platform/Text.h"
#include "transfer/Digest.h"
#include "transfer/FileTime.h"

namespace tvx {

namespace {

// The lock covers the control file's bytes up to here. One byte beyond it
// carries a second, per-process lock whose only use is to tell a waiting run
// the holder's process id (the first kind of lock does not record one).
constexpr off_t kPidByte = off_t(1) << 30;

// Control files locked by this process, so that a second transfer here can
// name the holder too.
std::mutex g_heldMutex;
std::set<std::pair<unsigned long long, unsigned long long>> g_held;

// A byte count as people read it: "4.2 GB", "512.0 KB", "900 bytes".
std::string HumanBytes(std::int64_t n) {
    const double v = static_cast<double>(n);
    if (n >= 1000LL * 1000 * 1000)
        return Format("%.1f GB", v / 1e9);
    if (n >= 1000LL * 1000)
        return Format("%.1f MB", v / 1e6);
    if (n >= 1000)
        return Format("%.1f KB", v / 1e3);
    return Format("%lld bytes", static_cast<long long>(n));
}

bool WriteAll(int fd, const char* data, std::size_t n, std::size_t& written) {
    written = 0;
    while (written < n) {
        const ssize_t w = ::write(fd, data + written, n - written);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        written += static_cast<std::size_t>(w);
    }
    return true;
}

// Whether the file's first bytes could be a control file of this program.
bool StartsLikeControlFile(int fd) {
    unsigned char head[kControlRecordSize + 4];
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    return n > 0 && LooksLikeControlFile(head, static_cast<std::size_t>(n));
}

struct flock LockRange(short type, off_t start, off_t length) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = start;
    range.l_len = length;
    return range;
}

long HolderPid(int fd, const struct stat& st) {
    {
        std::lock_guard<std::mutex> lock(g_heldMutex);
        if (g_held.count({st.st_dev, st.st_ino}) != 0)
            return static_cast<long>(::getpid());
    }
    struct flock probe = LockRange(F_WRLCK, kPidByte, 1);
    if (::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK && probe.l_pid > 0)
        return static_cast<long>(probe.l_pid);
    return -1;
}

}  // namespace

std::int64_t CDestination::FreeBytes(const std::string& folder) {
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0)
        return -1;
    return static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize);
}

std::string CDestination::Judge(const std::string& resolved) {
    Release(false);
    m_path = ToNativePath(resolved);
    m_controlPath = ControlFilePath(resolved);
    struct stat st {};
    const bool exists = ::lstat(m_path.c_str(), &st) == 0;
    if (m_path.empty() || m_path.back() == '/' || (exists && S_ISDIR(st.st_mode)))
        return "the local path " + m_path + " names a folder, not a file";
    if (m_controlPath.empty())
        return "the local path " + m_path + " names no file in a folder";
    if (exists && !S_ISREG(st.st_mode))
        return m_path + " is not a regular file";
    // A destination under the control file's name of a download beside it.
    const std::size_t slash = m_path.rfind('/');
    const std::string name = m_path.substr(slash + 1);
    if (exists && name.rfind("CTL_", 0) == 0) {
        const std::string sibling = m_path.substr(0, slash + 1) + name.substr(4);
        const int fd = ::open(m_path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        const bool looksLikeOne = fd >= 0 && StartsLikeControlFile(fd);
        if (fd >= 0)
            ::close(fd);
        struct stat ss {};
        if (looksLikeOne && ::lstat(sibling.c_str(), &ss) == 0 && S_ISREG(ss.st_mode))
            return m_path + " is the control file of " + sibling + "; it is left alone";
    }
    return {};
}

bool CDestination::Claim(std::string& problem) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int fd = ::open(m_controlPath.c_str(),
                              O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd < 0) {
            problem =
                errno == ELOOP
                    ? "the control file " + m_controlPath + " is a symbolic link; it is left alone"
                    : Format("cannot create %s: %s", m_controlPath.c_str(), std::strerror(errno));
            return false;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            problem = m_controlPath + " is not a regular file";
            return false;
        }
        struct flock lock = LockRange(F_WRLCK, 0, kPidByte);
        // A file system without locks (some network mounts) still downloads.
        if (::fcntl(fd, F_OFD_SETLK, &lock) != 0 && (errno == EAGAIN || errno == EACCES)) {
            const long holder = HolderPid(fd, st);
            ::close(fd);
            problem = m_path + " is being downloaded by another run" +
                      (holder > 0 ? Format(" (process %ld)", holder) : std::string());
            return false;
        }
        // A run that ended meanwhile may have removed the name: the lock must
        // be on the file the name leads to now.
        struct stat now {};
        if (::stat(m_controlPath.c_str(), &now) != 0 || now.st_ino != st.st_ino ||
            now.st_dev != st.st_dev) {
            ::close(fd);
            continue;
        }
        if (st.st_size > 0 && !StartsLikeControlFile(fd)) {
            ::close(fd);
            problem = m_controlPath + " is no control file of this program; it is left alone";
            return false;
        }
        struct flock tell = LockRange(F_RDLCK, kPidByte, 1);
        ::fcntl(fd, F_SETLK, &tell);
        {
            std::lock_guard<std::mutex> held(g_heldMutex);
            g_held.insert({st.st_dev, st.st_ino});
        }
        m_control = fd;
        m_controlSize = static_cast<std::size_t>(st.st_size);
        m_controlFresh = st.st_size == 0;
        m_touched = false;
        m_controlDevice = st.st_dev;
        m_controlInode = st.st_ino;
        m_written = 0;
        return true;
    }
    problem = "cannot lock " + m_controlPath;
    return false;
}

bool CDestination::ReadRecord(ControlState& state) const {
    return m_control >= 0 && ReadControlFd(m_control, state);
}

bool CDestination::WriteRecord(const ControlState& state) {
    if (m_control < 0)
        return false;
    const std::vector<unsigned char> bytes = EncodeControlFile(state);
    // One positioned write that reaches the file at once.
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(m_control, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    if (bytes.size() != m_controlSize) {
        if (::ftruncate(m_control, static_cast<off_t>(bytes.size())) != 0)
            return false;
        m_controlSize = bytes.size();
    }
    return true;
}

std::int64_t CDestination::ExistingSize() const {
    struct stat st {};
    if (::lstat(m_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool CDestination::OpenFile(std::int64_t offset, std::int64_t length, const FreeSpaceProbe& probe,
                            std::string& problem, bool keep) {
    // The whole file must fit: the free space and the blocks the file holds
    // now (the holes of a partial fetched in segments hold none).
    const std::size_t slash = m_path.rfind('/');
    const std::string folder = slash == 0 ? "/" : m_path.substr(0, slash);
    const std::int64_t free = probe ? probe(folder) : FreeBytes(folder);
    struct stat held {};
    const std::int64_t allocated =
        ::lstat(m_path.c_str(), &held) == 0 && S_ISREG(held.st_mode)
            ? std::min<std::int64_t>(held.st_size, static_cast<std::int64_t>(held.st_blocks) * 512)
            : 0;
    const std::int64_t needed = length - std::min(allocated, length);
    if (free >= 0 && needed > free) {
        problem = Format("not enough space for %s: needs %s, %s free", m_path.c_str(),
                         HumanBytes(needed).c_str(), HumanBytes(free).c_str());
        return false;
    }
    // Read and write: a file proved by a digest is read back where it was
    // written out of order.
    constexpr int kFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    m_file = ::open(m_path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
    m_created = m_file >= 0;
    if (m_file < 0 && errno == EEXIST)
        m_file = ::open(m_path.c_str(), kFlags);
    struct stat st {};
    if (m_file < 0 || ::fstat(m_file, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno;
        problem = m_file >= 0 || error == ELOOP || error == ENXIO
                      ? m_path + " is not a regular file"
                      : Format("cannot open %s: %s", m_path.c_str(), std::strerror(error));
        CloseFile();
        return false;
    }
    m_device = st.st_dev;
    m_inode = st.st_ino;
    m_cutPending = offset == 0 && !keep;
    m_position = offset;
    // Bytes beyond the count were never confirmed; they go so that the file
    // holds exactly what the record says.
    if (offset > 0 && !keep &&
        (::ftruncate(m_file, offset) != 0 || ::lseek(m_file, offset, SEEK_SET) != offset)) {
        problem = Format("cannot go to byte %lld of %s: %s", static_cast<long long>(offset),
                         m_path.c_str(), std::strerror(errno));
        CloseFile();
        return false;
    }
    m_touched = m_touched || (offset > 0 && !keep);
    return true;
}

bool CDestination::CutOnce() {
    m_touched = true;  // whatever happens now, the file may not be as it was
    if (!m_cutPending)
        return true;
    // The first byte of the new version is in hand: only now do the old
    // bytes go. An empty file is not cut: cutting it would make the file
    // system write the whole new file back at close (its guard for files
    // replaced by truncation), which costs a large transfer seconds.
    struct stat st {};
    const bool empty = ::fstat(m_file, &st) == 0 && st.st_size == 0;
    const bool ok = (empty || ::ftruncate(m_file, 0) == 0) && ::lseek(m_file, 0, SEEK_SET) == 0;
    m_cutPending = !ok;
    m_position = 0;
    return ok;
}

bool CDestination::WriteAt(std::int64_t offset, const char* data, std::size_t n,
                           std::size_t& written, std::string& problem) {
    written = 0;
    bool ok = m_file >= 0 && CutOnce();
    while (ok && written < n) {
        const ssize_t w = ::pwrite(m_file, data + written, n - written,
                                   static_cast<off_t>(offset) + static_cast<off_t>(written));
        if (w < 0 && errno == EINTR)
            continue;
        ok = w > 0;
        if (ok)
            written += static_cast<std::size_t>(w);
    }
    Wrote(written);
    if (m_digest != nullptr)
        m_digest->Written(offset, data, written);
    if (!ok) {
        problem = Format("cannot write %s: %s", m_path.c_str(),
                         m_file < 0 ? "it is not open" : std::strerror(errno));
    }
    return ok;
}

bool CDestination::Write(const char* data, std::size_t n, std::size_t& written,
                         std::string& problem) {
    written = 0;
    bool ok = m_file >= 0 && CutOnce();
    ok = ok && WriteAll(m_file, data, n, written);
    Wrote(written);
    if (m_digest != nullptr)
        m_digest->Written(m_position, data, written);
    m_position += static_cast<std::int64_t>(written);
    if (!ok) {
        problem = Format("cannot write %s: %s", m_path.c_str(),
                         m_file < 0 ? "it is not open" : std::strerror(errno));
    }
    return ok;
}

void CDestination::Wrote(std::size_t n) {
    m_written += static_cast<std::int64_t>(n);
    if (m_file >= 0)
        Syncer().Wrote(static_cast<std::int64_t>(n));
}

Writeback& CDestination::Syncer() {
    if (!m_writeback)
        m_writeback = std::make_unique<Writeback>(m_file);
    return *m_writeback;
}

bool CDestination::StillOurs() const {
    struct stat st {};
    return ::stat(m_path.c_str(), &st) == 0 && st.st_dev == m_device && st.st_ino == m_inode;
}

bool CDestination::SyncData(std::string& problem) {
    if (m_file < 0)
        return true;
    int error = ::fdatasync(m_file) == 0 ? 0 : errno;
    if (error == 0 && m_writeback)
        error = m_writeback->Error();
    if (error == 0)
        return true;
    problem = Format("cannot write %s: %s", m_path.c_str(), std::strerror(error));
    return false;
}

std::uint64_t CDestination::StartSync() {
    return m_file < 0 ? 0 : Syncer().RequestSync();
}

bool CDestination::SyncOf(std::uint64_t ticket, bool& done, std::string& problem) {
    int error = EBADF;
    const Writeback::Sync sync =
        m_writeback ? m_writeback->SyncOf(ticket, error) : Writeback::Sync::Failed;
    done = sync == Writeback::Sync::Done;
    if (sync != Writeback::Sync::Failed)
        return true;
    problem = Format("cannot write %s: %s", m_path.c_str(), std::strerror(error));
    return false;
}

bool CDestination::Commit(std::string& problem) {
    if (m_file < 0) {
        problem = Format("cannot write %s: it is not open", m_path.c_str());
        return false;
    }
    // The thread's syncs end first; one that failed fails the file.
    int error = m_writeback ? m_writeback->Stop() : 0;
    m_writeback.reset();
    bool ok = ::fsync(m_file) == 0 && error == 0;
    if (error == 0 && !ok)
        error = errno;
    const int fd = m_file;
    m_file = -1;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok)
        problem = Format("cannot write %s: %s", m_path.c_str(), std::strerror(error));
    return ok;
}

void CDestination::CloseFile() {
    m_writeback.reset();
    if (m_file >= 0)
        ::close(m_file);
    m_file = -1;
}

void CDestination::Release(bool complete) {
    CloseFile();
    if (m_control >= 0) {
        struct stat now {};
        const bool stillNamed = ::lstat(m_controlPath.c_str(), &now) == 0 &&
                                now.st_dev == m_controlDevice && now.st_ino == m_controlInode;
        if (stillNamed && (complete || (m_controlFresh && !m_touched) || ExistingSize() < 0))
            ::unlink(m_controlPath.c_str());
        {
            std::lock_guard<std::mutex> held(g_heldMutex);
            g_held.erase({m_controlDevice, m_controlInode});
        }
        ::close(m_control);  // lets go of the lock
        m_control = -1;
        if (!complete && m_written == 0 && m_created && ExistingSize() == 0)
            ::unlink(m_path.c_str());
    }
    m_created = false;
    m_cutPending = false;
    m_controlFresh = false;
    m_touched = false;
}

void CDestination::Stamp(double date) const {
    if (!m_path.empty())
        StampFileTime(m_path, date);
}

}  // namespace tvx
