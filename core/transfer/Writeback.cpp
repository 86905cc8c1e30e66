#include "transfer/Writeback.h"

#include <unistd.h>

#include <cerrno>

namespace tvx {

int Writeback::Stop() {
    if (m_thread.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    return Error();
}

void Writeback::Wrote(std::int64_t n) {
    m_sinceStep += n;
    if (m_sinceStep < kStep)
        return;
    m_sinceStep = 0;
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_due = true;
    Wake();
}

std::uint64_t Writeback::RequestSync() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    const std::uint64_t ticket = ++m_syncsWanted;
    Wake();
    return ticket;
}

Writeback::Sync Writeback::SyncOf(std::uint64_t ticket, int& error) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_syncError != 0) {
        error = m_syncError;
        return Sync::Failed;
    }
    return m_syncsDone >= ticket ? Sync::Done : Sync::Pending;
}

int Writeback::Error() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_syncError;
}

void Writeback::Wake() {
    if (m_thread.joinable())
        m_wake.notify_one();
    else
        m_thread = std::thread(&Writeback::Run, this);
}

void Writeback::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_due || m_syncsWanted > m_syncsDone || m_stop; });
        if (m_stop)
            return;
        // One sync answers every request made before it begins.
        const std::uint64_t ticket = m_syncsWanted;
        m_due = false;
        lock.unlock();
        const int error = ::fdatasync(m_fd) == 0 ? 0 : errno;
        lock.lock();
        m_syncsDone = ticket;
        if (error != 0 && m_syncError == 0)
            m_syncError = error;
    }
}

}  // namespace tvx
