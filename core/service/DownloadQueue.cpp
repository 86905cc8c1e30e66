#include "service/DownloadQueue.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "transfer/CFileDownload.h"

namespace tvx {

namespace {

using Json = nlohmann::json;

constexpr QueueStatus kStatuses[] = {QueueStatus::Active,   QueueStatus::Waiting,
                                     QueueStatus::Paused,   QueueStatus::Error,
                                     QueueStatus::Complete, QueueStatus::Removed};

bool IsStopped(QueueStatus status) {
    return status == QueueStatus::Error || status == QueueStatus::Complete ||
           status == QueueStatus::Removed;
}

// Why a download's thread is asked to end.
enum Halt : int { kGoOn = 0, kPause, kRemove, kServiceStops };

// The download dialog's messages, kept as the download's error text.
class ServiceUi : public DownloadDialogUi {
public:
    void MessageBox(const std::string& text) override {
        messages += (messages.empty() ? "" : "\n") + WithoutBells(text);
    }
    void SetStatusText(const std::string&) override {}
    void SetFileLine(const std::string&) override {}
    Progress& FileProgress() override { return m_progress; }
    Animation& RunningAnimation() override { return m_animation; }
    std::string messages;

private:
    struct : Progress {
        void SetRange(int, int) override {}
        void SetPos(int) override {}
    } m_progress;
    struct : Animation {
        void Play() override {}
        void Stop() override {}
    } m_animation;
};

// aria2's exit codes for what went wrong.
int ErrorCode(DownloadOutcome outcome) {
    switch (outcome) {
        case DownloadOutcome::NoConnection:
        case DownloadOutcome::Short:
            return 6;
        case DownloadOutcome::NothingToFetch:
            return 3;
        case DownloadOutcome::Corrupt:
            return 32;
        default:
            return 1;
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

}  // namespace

const char* QueueStatusName(QueueStatus status) {
    static const char* const names[] = {"active", "waiting",  "paused",
                                        "error",  "complete", "removed"};
    return names[static_cast<int>(status)];
}

std::string NameFromAddress(const std::string& uri) {
    std::string path = uri.substr(0, uri.find_first_of("?#"));
    const std::size_t scheme = path.find("://");
    const std::size_t start = path.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    path = start == std::string::npos ? "" : path.substr(start);
    std::string name = path.substr(path.rfind('/') + 1), decoded;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size() && HexValue(name[i + 1]) >= 0 &&
            HexValue(name[i + 2]) >= 0) {
            decoded += static_cast<char>(HexValue(name[i + 1]) * 16 + HexValue(name[i + 2]));
            i += 2;
        } else {
            decoded += name[i];
        }
    }
    // A decoded name that names a folder or holds a separator is not used;
    // one that is not UTF-8 keeps its escapes (the state file holds UTF-8).
    if (decoded.empty() || decoded == "." || decoded == ".." ||
        decoded.find_first_of(std::string("/\\\0", 3)) != std::string::npos)
        return "index.html";
    return IsValidUtf8(decoded) ? decoded : name;
}

struct DownloadQueue::Entry {
    QueueItem item;
    std::atomic<int> halt{kGoOn};
};

DownloadQueue::DownloadQueue(HttpSettings settings, std::string stateFile, Notify notify)
    : m_settings(std::move(settings)),
      m_stateFile(std::move(stateFile)),
      m_notify(std::move(notify)) {}

DownloadQueue::~DownloadQueue() {
    Stop();
}

bool DownloadQueue::Load(std::string& problem) {
    std::string text;
    if (!ReadWholeFile(m_stateFile, text))
        return true;  // none yet
    std::lock_guard<std::mutex> lock(m_mutex);
    try {
        const Json state = Json::parse(text);
        m_maxConcurrent = std::clamp(state.value("maxConcurrent", 5), 1, 64);
        m_overallLimit = std::max<std::int64_t>(0, state.value("overallLimit", std::int64_t{0}));
        for (const Json& j : state.at("downloads")) {
            auto entry = std::make_shared<Entry>();
            QueueItem& item = entry->item;
            item.gid = j.at("gid").get<std::string>();
            QueueRequest& request = item.request;
            request.uri = j.at("uri").get<std::string>();
            request.dir = j.at("dir").get<std::string>();
            request.out = j.value("out", "");
            request.headers = j.value("headers", std::vector<std::string>{});
            request.referer = j.value("referer", "");
            for (const std::string& text : j.value("checksums", std::vector<std::string>{})) {
                Digest digest;
                if (ParseChecksumOption(text, digest)) {
                    digest.source = "the checksum option";
                    request.checksums.push_back(std::move(digest));
                }
            }
            request.split = j.value("split", 0);
            const std::string status = j.at("status").get<std::string>();
            const auto known =
                std::find_if(std::begin(kStatuses), std::end(kStatuses),
                             [&](QueueStatus s) { return status == QueueStatusName(s); });
            if (known == std::end(kStatuses))
                throw std::runtime_error("a download has the unknown state \"" + status + "\"");
            // What was under way when the service ended waits for its turn.
            item.status = *known == QueueStatus::Active ? QueueStatus::Waiting : *known;
            item.path = j.at("path").get<std::string>();
            item.totalLength = j.value("totalLength", std::int64_t{0});
            item.completedLength = j.value("completedLength", std::int64_t{0});
            item.errorCode = j.value("errorCode", 0);
            item.errorMessage = j.value("errorMessage", "");
            if (Get(item.gid) != nullptr)
                throw std::runtime_error("the gid " + item.gid + " is there twice");
            m_entries.push_back(std::move(entry));
        }
    } catch (const std::exception& e) {
        m_entries.clear();
        problem = m_stateFile + " cannot be read: " + e.what();
        return false;
    }
    Schedule();
    return true;
}

std::string DownloadQueue::NewGid() const {
    static std::mt19937_64 random{std::random_device{}()};
    for (;;) {
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(random()));
        if (Get(text) == nullptr)
            return text;
    }
}

std::shared_ptr<DownloadQueue::Entry> DownloadQueue::Get(const std::string& gid) const {
    for (const auto& entry : m_entries)
        if (entry->item.gid == gid)
            return entry;
    return nullptr;
}

std::string DownloadQueue::Add(QueueRequest request, int position) {
    auto entry = std::make_shared<Entry>();
    std::lock_guard<std::mutex> lock(m_mutex);
    QueueItem& item = entry->item;
    item.gid = NewGid();
    item.path =
        request.dir + "/" + (request.out.empty() ? NameFromAddress(request.uri) : request.out);
    item.request = std::move(request);
    auto at = m_entries.end();
    if (position >= 0) {
        // Among the waiting ones, as aria2 counts.
        int waiting = 0;
        at = std::find_if(m_entries.begin(), m_entries.end(), [&](const auto& e) {
            const QueueStatus s = e->item.status;
            return (s == QueueStatus::Waiting || s == QueueStatus::Paused) && waiting++ == position;
        });
    }
    m_entries.insert(at, entry);
    Save();
    if (!m_saveProblem.empty()) {
        // A download that would not survive a restart is not taken.
        m_entries.erase(std::find(m_entries.begin(), m_entries.end(), entry));
        return {};
    }
    Schedule();
    return item.gid;
}

void DownloadQueue::Schedule() {
    if (m_stopping)
        return;
    for (const auto& entry : m_entries) {
        if (m_running >= m_maxConcurrent)
            break;
        if (entry->item.status != QueueStatus::Waiting)
            continue;
        entry->item.status = QueueStatus::Active;
        entry->item.errorCode = 0;
        entry->item.errorMessage.clear();
        entry->halt = kGoOn;
        ++m_running;
        ++m_threads;
        std::thread([this, entry] { Run(entry); }).detach();
    }
    Save();
}

void DownloadQueue::Run(std::shared_ptr<Entry> entry) {
    QueueRequest request;
    std::string path;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        request = entry->item.request;
        path = entry->item.path;
    }
    HttpSettings settings = m_settings;
    settings.headers = request.headers;
    if (!request.referer.empty())
        settings.referer = request.referer;
    if (request.split > 0)
        settings.connectionsPerFile = request.split;
    settings.pool = nullptr;
    // The overall limit is shared by the downloads under way.
    const std::int64_t ownLimit = m_settings.maxBytesPerSecond;
    settings.rateLimit = [this, ownLimit] {
        const std::int64_t overall = m_overallLimit;
        if (overall <= 0)
            return ownLimit;
        const std::int64_t share =
            std::max<std::int64_t>(1, overall / std::max(1, m_running.load()));
        return ownLimit > 0 ? std::min(ownLimit, share) : share;
    };
    settings.interrupted = [entry] { return entry->halt != kGoOn; };
    Emit("onDownloadStart", entry->item.gid);

    ServiceUi ui;
    const std::string folder = path.substr(0, path.rfind('/'));
    CFileDownload download(ui, settings, folder, false);
    download.SetReadWait(200);
    download.SetParameters(request.uri, path);
    download.Transfer().SetExpectedDigests(request.checksums);
    // The transfer makes the folders on the way to its file.
    if (download.Start()) {
        auto measured = std::chrono::steady_clock::now();
        std::int64_t measuredBytes = download.Transfer().OnDisk();
        for (;;) {
            if (entry->halt != kGoOn) {
                download.Close(CFileDownload::kResultBroken);
                break;
            }
            if (download.Tick(200) == CFileDownload::TickResult::Close)
                break;
            const CTransfer& transfer = download.Transfer();
            const auto now = std::chrono::steady_clock::now();
            std::lock_guard<std::mutex> lock(m_mutex);
            QueueItem& item = entry->item;
            item.totalLength = std::max<std::int64_t>(0, transfer.ContentLength());
            item.completedLength = transfer.OnDisk();
            item.connections = transfer.ConnectionCount();
            const double seconds = std::chrono::duration<double>(now - measured).count();
            if (seconds >= 1) {
                item.speed = static_cast<std::int64_t>(
                    static_cast<double>(item.completedLength - measuredBytes) / seconds);
                measured = now;
                measuredBytes = item.completedLength;
            }
        }
    }

    const char* event = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        QueueItem& item = entry->item;
        const DownloadOutcome outcome = download.Outcome();
        const int halt = entry->halt;
        item.speed = 0;
        item.connections = 0;
        long long size = 0;
        if (outcome == DownloadOutcome::Complete || outcome == DownloadOutcome::UpToDate) {
            item.status = QueueStatus::Complete;
            IsRegularFile(path, &size);
            item.totalLength = item.completedLength = size;
            event = "onDownloadComplete";
        } else if (halt == kServiceStops) {
            item.status = QueueStatus::Active;  // resumed by the next service
        } else if (halt == kPause) {
            item.status = QueueStatus::Paused;
            event = "onDownloadPause";
        } else if (halt == kRemove) {
            item.status = QueueStatus::Removed;
            event = "onDownloadStop";
        } else {
            item.status = QueueStatus::Error;
            item.errorCode = ErrorCode(outcome);
            item.errorMessage = !ui.messages.empty() ? ui.messages
                                : !download.Transfer().Problem().empty()
                                    ? download.Transfer().Problem()
                                    : "the download ended short";
            event = "onDownloadError";
        }
        if (IsStopped(item.status)) {
            // Stopped ones are listed in the order they ended.
            auto self = std::find(m_entries.begin(), m_entries.end(), entry);
            std::rotate(self, self + 1, m_entries.end());
        }
        --m_running;
        Schedule();
    }
    if (event != nullptr)
        Emit(event, entry->item.gid);
    // The last touch of the queue: Stop waits for it before the queue goes.
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_threads;
    m_idle.notify_all();
}

void DownloadQueue::Emit(const char* event, const std::string& gid) {
    if (m_notify)
        m_notify(event, gid);
}

DownloadQueue::Change DownloadQueue::Pause(const std::string& gid) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto entry = Get(gid);
    if (entry == nullptr)
        return Change::NoSuch;
    if (entry->item.status == QueueStatus::Active) {
        entry->halt = kPause;  // the thread says when it has stopped
        return Change::Done;
    }
    if (entry->item.status != QueueStatus::Waiting)
        return Change::NotNow;
    entry->item.status = QueueStatus::Paused;
    Save();
    return Change::Done;
}

DownloadQueue::Change DownloadQueue::Unpause(const std::string& gid) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto entry = Get(gid);
    if (entry == nullptr)
        return Change::NoSuch;
    if (entry->item.status != QueueStatus::Paused)
        return Change::NotNow;
    entry->item.status = QueueStatus::Waiting;
    Schedule();
    return Change::Done;
}

DownloadQueue::Change DownloadQueue::Remove(const std::string& gid) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto entry = Get(gid);
    if (entry == nullptr)
        return Change::NoSuch;
    if (entry->item.status == QueueStatus::Active) {
        entry->halt = kRemove;
        return Change::Done;
    }
    if (IsStopped(entry->item.status))
        return Change::NotNow;
    entry->item.status = QueueStatus::Removed;
    auto self = std::find(m_entries.begin(), m_entries.end(), entry);
    std::rotate(self, self + 1, m_entries.end());
    Save();
    return Change::Done;
}

DownloadQueue::Change DownloadQueue::RemoveResult(const std::string& gid) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto entry = Get(gid);
    if (entry == nullptr)
        return Change::NoSuch;
    if (!IsStopped(entry->item.status))
        return Change::NotNow;
    m_entries.erase(std::find(m_entries.begin(), m_entries.end(), entry));
    Save();
    return Change::Done;
}

void DownloadQueue::PurgeResults() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [](const auto& e) { return IsStopped(e->item.status); }),
                    m_entries.end());
    Save();
}

std::optional<QueueItem> DownloadQueue::Find(const std::string& gid) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto entry = Get(gid);
    if (entry == nullptr)
        return std::nullopt;
    return entry->item;
}

namespace {

template <typename Entries, typename Keep>
std::vector<QueueItem> Select(const Entries& entries, Keep keep) {
    std::vector<QueueItem> items;
    for (const auto& entry : entries)
        if (keep(entry->item.status))
            items.push_back(entry->item);
    return items;
}

}  // namespace

std::vector<QueueItem> DownloadQueue::Active() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return Select(m_entries, [](QueueStatus s) { return s == QueueStatus::Active; });
}

std::vector<QueueItem> DownloadQueue::Waiting() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return Select(m_entries, [](QueueStatus s) {
        return s == QueueStatus::Waiting || s == QueueStatus::Paused;
    });
}

std::vector<QueueItem> DownloadQueue::Stopped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return Select(m_entries, [](QueueStatus s) { return IsStopped(s); });
}

std::int64_t DownloadQueue::Speed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::int64_t sum = 0;
    for (const auto& entry : m_entries)
        sum += entry->item.status == QueueStatus::Active ? entry->item.speed : 0;
    return sum;
}

int DownloadQueue::MaxConcurrent() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_maxConcurrent;
}

void DownloadQueue::SetMaxConcurrent(int n) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_maxConcurrent = std::max(1, n);
    Schedule();  // more may start; fewer: those under way finish first
}

std::string DownloadQueue::SaveProblem() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_saveProblem;
}

std::int64_t DownloadQueue::OverallLimit() const {
    return m_overallLimit;
}

void DownloadQueue::SetOverallLimit(std::int64_t bytesPerSecond) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_overallLimit = std::max<std::int64_t>(0, bytesPerSecond);
    Save();
}

void DownloadQueue::Stop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_stopping = true;
    for (const auto& entry : m_entries)
        if (entry->item.status == QueueStatus::Active)
            entry->halt = kServiceStops;
    m_idle.wait(lock, [this] { return m_threads == 0; });
    Save();
}

void DownloadQueue::Save() {
    Json downloads = Json::array();
    for (const auto& entry : m_entries) {
        const QueueItem& item = entry->item;
        Json checksums = Json::array();
        for (const Digest& digest : item.request.checksums)
            checksums.push_back(std::string(DigestName(digest.algorithm)) + "=" +
                                HexText(digest.bytes));
        downloads.push_back({{"gid", item.gid},
                             {"uri", item.request.uri},
                             {"dir", item.request.dir},
                             {"out", item.request.out},
                             {"headers", item.request.headers},
                             {"referer", item.request.referer},
                             {"checksums", checksums},
                             {"split", item.request.split},
                             {"status", QueueStatusName(item.status)},
                             {"path", item.path},
                             {"totalLength", item.totalLength},
                             {"completedLength", item.completedLength},
                             {"errorCode", item.errorCode},
                             {"errorMessage", item.errorMessage}});
    }
    const Json state = {{"maxConcurrent", m_maxConcurrent},
                        {"overallLimit", m_overallLimit.load()},
                        {"downloads", downloads}};
    std::string error;
    m_saveProblem.clear();
    if (!WriteFileAtomically(m_stateFile, state.dump(1, ' ', false, Json::error_handler_t::replace),
                             &error))
        m_saveProblem = m_stateFile + " cannot be written: " + error;
}

}  // namespace tvx
