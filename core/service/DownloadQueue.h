#pragma once
// The download service's queue: downloads other programs add while the
// service runs, each fetched by the engine of the single-file download
// (check, resume, segments, digests, file locks) on a thread of its own, at
// most a given number at once. Every change of a download's state is written
// to a state file at once (a new file renamed over the old), so that a
// service that is killed and started again finds its queue, its gids and its
// half-fetched files and resumes them.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "transfer/Digest.h"
#include "transfer/HttpRequest.h"

namespace tvx {

enum class QueueStatus { Active, Waiting, Paused, Error, Complete, Removed };

// "active", "waiting", ... as the RPC answers it.
const char* QueueStatusName(QueueStatus status);

// What a program asks to be fetched. The directory is absolute and was
// checked by whoever took the request.
struct QueueRequest {
    std::string uri;
    std::string dir;
    std::string out;                   // a name inside dir; "" takes it from the address
    std::vector<std::string> headers;  // "Name: value"
    std::string referer;
    std::vector<Digest> checksums;
    int split = 0;  // connections for the file at most; 0 as the settings say
};

struct QueueItem {
    std::string gid;  // 16 hexadecimal digits
    QueueRequest request;
    QueueStatus status = QueueStatus::Waiting;
    std::string path;  // the local file
    std::int64_t totalLength = 0;
    std::int64_t completedLength = 0;
    std::int64_t speed = 0;  // bytes a second, while active
    int connections = 0;
    int errorCode = 0;  // aria2's exit codes: 1 unknown, 3 not found, 6 network, 32 digest
    std::string errorMessage;
};

// The file name a download gets when none is asked for: the address's last
// path element, decoded; "index.html" when it has none.
std::string NameFromAddress(const std::string& uri);

class DownloadQueue {
public:
    // Called on a download's thread with "onDownloadStart", "onDownloadPause",
    // "onDownloadComplete", "onDownloadError" or "onDownloadStop" and the gid.
    using Notify = std::function<void(const std::string& event, const std::string& gid)>;

    DownloadQueue(HttpSettings settings, std::string stateFile, Notify notify);
    // Breaks off the downloads under way; they stay active in the state file
    // and are resumed by the next service.
    ~DownloadQueue();
    DownloadQueue(const DownloadQueue&) = delete;
    DownloadQueue& operator=(const DownloadQueue&) = delete;

    // Reads the state file (none is an empty queue) and starts what was
    // active or waiting. False with the reason when it cannot be read; the
    // file is then left as it is.
    bool Load(std::string& problem);

    // Queues a download at position (-1: at the end of the waiting ones)
    // and returns its gid.
    std::string Add(QueueRequest request, int position = -1);

    enum class Change { Done, NoSuch, NotNow };
    Change Pause(const std::string& gid);
    Change Unpause(const std::string& gid);
    Change Remove(const std::string& gid);
    Change RemoveResult(const std::string& gid);  // a stopped one only
    void PurgeResults();

    std::optional<QueueItem> Find(const std::string& gid) const;
    std::vector<QueueItem> Active() const;
    std::vector<QueueItem> Waiting() const;  // waiting and paused, in queue order
    std::vector<QueueItem> Stopped() const;  // complete, error, removed; oldest first
    std::int64_t Speed() const;

    int MaxConcurrent() const;
    void SetMaxConcurrent(int n);
    std::int64_t OverallLimit() const;  // bytes a second, 0 for none
    void SetOverallLimit(std::int64_t bytesPerSecond);
    const HttpSettings& Settings() const { return m_settings; }

    // Why the last change could not be written to the state file; empty
    // when it was.
    std::string SaveProblem() const;

    // Breaks off every download under way and waits for their threads;
    // what they had stays active in the state file.
    void Stop();

private:
    struct Entry;
    void Schedule();  // with m_mutex held
    void Run(std::shared_ptr<Entry> entry);
    void Save();  // with m_mutex held
    std::string NewGid() const;
    std::shared_ptr<Entry> Get(const std::string& gid) const;
    void Emit(const char* event, const std::string& gid);

    HttpSettings m_settings;
    std::string m_stateFile;
    Notify m_notify;
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<Entry>> m_entries;  // queue order; stopped ones in order of ending
    std::condition_variable m_idle;                 // a download's thread has ended
    int m_threads = 0;                              // download threads that have not yet ended
    int m_maxConcurrent = 5;
    std::atomic<std::int64_t> m_overallLimit{0};
    std::atomic<int> m_running{0};
    bool m_stopping = false;
    std::string m_saveProblem;
};

}  // namespace tvx
