#pragma once
// Makes a file's bytes durable while more of them arrive, on a thread of its
// own: every step of bytes written is synced (fdatasync) there, so the disk
// (and a virtual machine's host cache behind it) takes them in while the
// network delivers the next, the writer never waits for the disk, and the
// sync before the file is called complete finds almost nothing left.
//
// A sync may also be asked for (RequestSync): it is one begun after the
// request, so once it is done every byte written before the request is on
// the disk, which is what a record written then may count.
// The thread starts with the first step of bytes or the first sync asked
// for, so small files never have one.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tvx {

class Writeback {
public:
    // Bytes written between two syncs of the thread's own.
    static constexpr std::int64_t kStep = 8 << 20;

    explicit Writeback(int fd) : m_fd(fd) {}
    // Waits for a sync under way; the descriptor must stay open until then.
    ~Writeback() { Stop(); }
    Writeback(const Writeback&) = delete;
    Writeback& operator=(const Writeback&) = delete;

    // n more bytes were written to the file.
    void Wrote(std::int64_t n);

    enum class Sync { Pending, Done, Failed };
    // Asks for a sync of what was written so far; the ticket tells it.
    std::uint64_t RequestSync();
    // Where the sync of a ticket stands; error: errno of a failed sync
    // (any sync of the file that failed fails every ticket after it).
    Sync SyncOf(std::uint64_t ticket, int& error);
    // errno of the first sync of the thread's that failed, 0 for none. A
    // failure is told to one sync of the file only, and that may have been
    // the thread's: a sync of the writer's own must ask here too.
    int Error();
    // Waits for a sync under way and ends the thread; then as Error().
    int Stop();

private:
    void Run();
    void Wake();  // m_mutex held by the caller

    const int m_fd;
    std::int64_t m_sinceStep = 0;  // the writer's own count, never shared
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_due = false;  // a step of bytes waits for its sync
    bool m_stop = false;
    std::uint64_t m_syncsWanted = 0, m_syncsDone = 0;
    int m_syncError = 0;
    std::thread m_thread;
};

}  // namespace tvx
