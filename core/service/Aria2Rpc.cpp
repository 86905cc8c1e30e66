#include "service/Aria2Rpc.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <stdexcept>

#include "app/Settings.h"
#include "app/Version.h"
#include "platform/Text.h"
#include "transfer/RateSchedule.h"

namespace tvx {

namespace {

using Json = nlohmann::json;

// JSON-RPC's own error codes; aria2 answers 1 for whatever a call cannot do.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kNoSuchMethod = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kCannot = 1;

struct RpcError : std::runtime_error {
    RpcError(int code, const std::string& message) : std::runtime_error(message), code(code) {}
    int code;
};

[[noreturn]] void BadParams(const std::string& message) {
    throw RpcError(kInvalidParams, message);
}

bool HasControl(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7f)
            return true;
    return false;
}

// Compares without telling by its time how much of the secret was right.
bool SameSecret(std::string_view given, std::string_view secret) {
    unsigned char differ = given.size() == secret.size() ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i)
        differ |= static_cast<unsigned char>(given[i] ^
                                             secret[i % std::max<std::size_t>(1, secret.size())]);
    return differ == 0 && !secret.empty();
}

// Folds "." and ".." and repeated separators of an absolute path.
std::string Lexical(std::string_view path) {
    std::vector<std::string> parts;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.emplace_back(part);
    }
    std::string result;
    for (const std::string& part : parts)
        result += "/" + part;
    return result.empty() ? "/" : result;
}

// The path with the symbolic links of its existing part resolved.
std::string Real(const std::string& path) {
    std::string rest;
    std::string head = path;
    for (;;) {
        if (char* real = realpath(head.c_str(), nullptr)) {
            std::string resolved = real;
            std::free(real);
            return Lexical(resolved + "/" + rest);
        }
        const std::size_t slash = head.rfind('/');
        if (slash == std::string::npos || head == "/")
            return path;
        rest = head.substr(slash + 1) + (rest.empty() ? "" : "/" + rest);
        head = slash == 0 ? "/" : head.substr(0, slash);
    }
}

bool Inside(const std::string& path, const std::string& root) {
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                            (root == "/" || path[root.size()] == '/'));
}

std::string Decimal(std::int64_t n) {
    return std::to_string(n);
}

// A text that is not UTF-8 (an engine's message quoting a server) is sent
// with U+FFFD in place of its bad bytes rather than failing the answer.
std::string Dump(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// An int given as a number or as a decimal text (aria2's clients send both).
long long Integer(const Json& value, const char* what) {
    if (value.is_number_integer())
        return value.get<long long>();
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        char* end = nullptr;
        const long long n = std::strtoll(text.c_str(), &end, 10);
        if (!text.empty() && *end == '\0')
            return n;
    }
    BadParams(std::string(what) + " must be a whole number");
}

std::string Text(const Json& value, const char* what) {
    if (!value.is_string())
        BadParams(std::string(what) + " must be a text");
    return value.get<std::string>();
}

bool WebAddress(const std::string& uri) {
    const std::string lower = AsciiLowered(uri.substr(0, 8));
    const std::size_t prefix = lower.rfind("http://", 0) == 0    ? 7
                               : lower.rfind("https://", 0) == 0 ? 8
                                                                 : 0;
    return prefix != 0 && uri.size() > prefix && uri[prefix] != '/' && !HasControl(uri) &&
           uri.find(' ') == std::string::npos;
}

Json Files(const QueueItem& item) {
    return Json::array(
        {{{"index", "1"},
          {"path", item.path},
          {"length", Decimal(item.totalLength)},
          {"completedLength", Decimal(item.completedLength)},
          {"selected", "true"},
          {"uris", Json::array({{{"uri", item.request.uri}, {"status", "used"}}})}}});
}

Json Status(const QueueItem& item, const Json& keys) {
    Json all = {{"gid", item.gid},
                {"status", QueueStatusName(item.status)},
                {"totalLength", Decimal(item.totalLength)},
                {"completedLength", Decimal(item.completedLength)},
                {"uploadLength", "0"},
                {"downloadSpeed", Decimal(item.speed)},
                {"uploadSpeed", "0"},
                {"connections", Decimal(item.connections)},
                {"numPieces", "1"},
                {"pieceLength", Decimal(item.totalLength)},
                {"dir", item.request.dir},
                {"files", Files(item)}};
    if (item.status == QueueStatus::Error || item.status == QueueStatus::Complete) {
        all["errorCode"] = Decimal(item.errorCode);
        all["errorMessage"] = item.errorMessage;
    }
    if (keys.is_null())
        return all;
    Json some = Json::object();
    for (const Json& key : keys) {
        const std::string name = Text(key, "a key");
        if (all.contains(name))
            some[name] = all[name];
    }
    return some;
}

// Items [offset, offset + num) of a list; a negative offset counts from
// the end and lists backwards, as aria2 does.
Json Window(const std::vector<QueueItem>& items, long long offset, long long num,
            const Json& keys) {
    if (num < 0)
        BadParams("num must not be negative");
    Json result = Json::array();
    const long long size = static_cast<long long>(items.size());
    const long long step = offset < 0 ? -1 : 1;
    for (long long i = offset < 0 ? size + offset : offset; i >= 0 && i < size && num > 0;
         i += step, --num)
        result.push_back(Status(items[static_cast<std::size_t>(i)], keys));
    return result;
}

const char* const kMethods[] = {
    "aria2.addUri",
    "aria2.remove",
    "aria2.forceRemove",
    "aria2.pause",
    "aria2.pauseAll",
    "aria2.forcePause",
    "aria2.forcePauseAll",
    "aria2.unpause",
    "aria2.unpauseAll",
    "aria2.tellStatus",
    "aria2.getUris",
    "aria2.getFiles",
    "aria2.tellActive",
    "aria2.tellWaiting",
    "aria2.tellStopped",
    "aria2.getOption",
    "aria2.getGlobalOption",
    "aria2.changeGlobalOption",
    "aria2.getGlobalStat",
    "aria2.purgeDownloadResult",
    "aria2.removeDownloadResult",
    "aria2.getVersion",
    "aria2.getSessionInfo",
    "aria2.saveSession",
    "system.multicall",
    "system.listMethods",
    "system.listNotifications",
    "tvx.runSession",
};

const char* const kNotifications[] = {"aria2.onDownloadStart", "aria2.onDownloadPause",
                                      "aria2.onDownloadStop",  "aria2.onDownloadComplete",
                                      "aria2.onDownloadError", "tvx.onSessionComplete"};

}  // namespace

// One call's parameters, taken from the front.
struct Aria2Rpc::Call {
    const Json& params;
    std::size_t next = 0;

    bool More() const { return next < params.size(); }
    const Json& Take(const char* what) {
        if (!More())
            BadParams(std::string("the parameter ") + what + " is missing");
        return params[next++];
    }
    const Json* Optional() { return More() ? &params[next++] : nullptr; }
    std::string Gid() { return Text(Take("gid"), "gid"); }
    Json Keys() {
        const Json* keys = Optional();
        if (keys == nullptr)
            return nullptr;
        if (!keys->is_array())
            BadParams("keys must be a list of texts");
        return *keys;
    }
};

Aria2Rpc::Aria2Rpc(DownloadQueue& queue, RpcConfig config, RunSession runSession)
    : m_queue(queue), m_config(std::move(config)), m_runSession(std::move(runSession)) {
    std::random_device random;
    char id[41];
    std::snprintf(id, sizeof id, "%08x%08x%08x%08x%08x", random(), random(), random(), random(),
                  random());
    m_sessionId = id;
}

std::string Aria2Rpc::FolderInsideRoot(std::string_view dir, std::string& problem) const {
    if (HasControl(dir) || dir.find('\\') != std::string_view::npos) {
        problem = "dir holds characters a folder name cannot hold";
        return {};
    }
    const std::string joined =
        dir.empty() ? m_config.root
                    : Lexical(dir.front() == '/' ? std::string(dir)
                                                 : m_config.root + "/" + std::string(dir));
    const std::string real = Real(joined);
    if (!Inside(real, m_config.root)) {
        problem = "dir " + std::string(dir) + " is outside the folder downloads may go to (" +
                  m_config.root + ")";
        return {};
    }
    return real;
}

std::string Aria2Rpc::Notification(const std::string& event, const std::string& gid) {
    return Json{
        {"jsonrpc", "2.0"}, {"method", "aria2." + event}, {"params", Json::array({{{"gid", gid}}})}}
        .dump();
}

std::string Aria2Rpc::Handle(std::string_view text, bool* authorized) {
    const Json request = Json::parse(text, nullptr, false);
    if (request.is_discarded()) {
        return Json{{"jsonrpc", "2.0"},
                    {"id", nullptr},
                    {"error", {{"code", kParseError}, {"message", "Parse error"}}}}
            .dump();
    }
    if (!request.is_array())
        return Answer(request, authorized);
    if (request.empty()) {
        return Json{{"jsonrpc", "2.0"},
                    {"id", nullptr},
                    {"error", {{"code", kInvalidRequest}, {"message", "Invalid Request"}}}}
            .dump();
    }
    std::string batch = "[";
    for (const Json& one : request)
        batch += (batch.size() > 1 ? "," : "") + Answer(one, authorized);
    return batch + "]";
}

std::string Aria2Rpc::Answer(const Json& request, bool* authorized) {
    Json answer = {{"jsonrpc", "2.0"}, {"id", nullptr}};
    try {
        if (!request.is_object() || !request.contains("method") || !request["method"].is_string())
            throw RpcError(kInvalidRequest, "Invalid Request");
        if (request.contains("id"))
            answer["id"] = request["id"];
        static const Json kNoParams = Json::array();
        const Json& params = request.contains("params") ? request["params"] : kNoParams;
        if (!params.is_array())
            throw RpcError(kInvalidParams, "params must be a list");
        const std::string method = request["method"].get<std::string>();

        // Each call of a multicall carries its own secret.
        std::function<Json(const std::string&, const Json&)> call = [&](const std::string& name,
                                                                        const Json& list) -> Json {
            Call c{list};
            if (name == "system.listMethods")
                return kMethods;
            if (name == "system.listNotifications")
                return kNotifications;
            if (name == "system.multicall") {
                const Json& calls = c.Take("calls");
                if (!calls.is_array())
                    BadParams("system.multicall takes a list of calls");
                Json results = Json::array();
                for (const Json& one : calls) {
                    try {
                        if (!one.is_object() || !one.contains("methodName") ||
                            !one["methodName"].is_string())
                            BadParams("each call needs a methodName");
                        const std::string inner = one["methodName"].get<std::string>();
                        if (inner == "system.multicall")
                            BadParams("system.multicall cannot be nested");
                        const Json innerParams = one.value("params", Json::array());
                        if (!innerParams.is_array())
                            BadParams("params must be a list");
                        results.push_back(Json::array({call(inner, innerParams)}));
                    } catch (const RpcError& e) {
                        results.push_back({{"code", e.code}, {"message", e.what()}});
                    }
                }
                return results;
            }
            if (std::find(std::begin(kMethods), std::end(kMethods), name) == std::end(kMethods))
                throw RpcError(kNoSuchMethod, "No such method: " + name);
            // The secret, always.
            const Json* token = c.More() ? &list[0] : nullptr;
            if (token == nullptr || !token->is_string() ||
                token->get<std::string>().rfind("token:", 0) != 0 ||
                !SameSecret(std::string_view(token->get_ref<const std::string&>()).substr(6),
                            m_config.secret))
                throw RpcError(kCannot, "Unauthorized");
            c.next = 1;
            if (authorized != nullptr)
                *authorized = true;

            const auto found = [&](DownloadQueue::Change change, const std::string& gid,
                                   const char* what) -> Json {
                if (change == DownloadQueue::Change::NoSuch)
                    throw RpcError(kCannot, "GID " + gid + " is not found");
                if (change == DownloadQueue::Change::NotNow)
                    throw RpcError(kCannot, "GID " + gid + " cannot be " + what + " now");
                return gid;
            };
            const auto item = [&](const std::string& gid) {
                const auto it = m_queue.Find(gid);
                if (!it)
                    throw RpcError(kCannot, "GID " + gid + " is not found");
                return *it;
            };
            const std::string verb = name.substr(name.find('.') + 1);
            if (verb == "addUri")
                return AddUri(c);
            if (verb == "remove" || verb == "forceRemove") {
                const std::string gid = c.Gid();
                return found(m_queue.Remove(gid), gid, "removed");
            }
            if (verb == "pause" || verb == "forcePause") {
                const std::string gid = c.Gid();
                return found(m_queue.Pause(gid), gid, "paused");
            }
            if (verb == "unpause") {
                const std::string gid = c.Gid();
                return found(m_queue.Unpause(gid), gid, "unpaused");
            }
            if (verb == "pauseAll" || verb == "forcePauseAll" || verb == "unpauseAll") {
                const bool pause = verb != "unpauseAll";
                for (const QueueItem& one : pause ? m_queue.Active() : std::vector<QueueItem>{})
                    m_queue.Pause(one.gid);
                for (const QueueItem& one : m_queue.Waiting())
                    pause ? m_queue.Pause(one.gid) : m_queue.Unpause(one.gid);
                return "OK";
            }
            if (verb == "removeDownloadResult") {
                const std::string gid = c.Gid();
                found(m_queue.RemoveResult(gid), gid, "removed from the results");
                return "OK";
            }
            if (verb == "purgeDownloadResult") {
                m_queue.PurgeResults();
                return "OK";
            }
            if (verb == "tellStatus") {
                const QueueItem one = item(c.Gid());
                return Status(one, c.Keys());
            }
            if (verb == "getFiles")
                return Files(item(c.Gid()));
            if (verb == "getUris")
                return Files(item(c.Gid()))[0]["uris"];
            if (verb == "tellActive") {
                const Json keys = c.Keys();
                Json result = Json::array();
                for (const QueueItem& one : m_queue.Active())
                    result.push_back(Status(one, keys));
                return result;
            }
            if (verb == "tellWaiting" || verb == "tellStopped") {
                const long long offset = Integer(c.Take("offset"), "offset");
                const long long num = Integer(c.Take("num"), "num");
                return Window(verb == "tellWaiting" ? m_queue.Waiting() : m_queue.Stopped(), offset,
                              num, c.Keys());
            }
            if (verb == "getOption") {
                const QueueItem one = item(c.Gid());
                Json options = {{"dir", one.request.dir},
                                {"out", one.path.substr(one.path.rfind('/') + 1)},
                                {"split", Decimal(one.request.split > 0
                                                      ? one.request.split
                                                      : m_queue.Settings().connectionsPerFile)}};
                if (!one.request.referer.empty())
                    options["referer"] = one.request.referer;
                if (!one.request.headers.empty())
                    options["header"] = one.request.headers;
                return options;
            }
            if (verb == "getGlobalOption") {
                return {{"dir", m_config.root},
                        {"max-concurrent-downloads", Decimal(m_queue.MaxConcurrent())},
                        {"max-overall-download-limit", Decimal(m_queue.OverallLimit())},
                        {"split", Decimal(m_queue.Settings().connectionsPerFile)},
                        {"rpc-listen-port", Decimal(m_config.listenPort)},
                        {"rpc-listen-all", m_config.listenAll ? "true" : "false"}};
            }
            if (verb == "changeGlobalOption")
                return ChangeGlobalOption(c);
            if (verb == "getGlobalStat") {
                const std::size_t stopped = m_queue.Stopped().size();
                return {
                    {"downloadSpeed", Decimal(m_queue.Speed())},
                    {"uploadSpeed", "0"},
                    {"numActive", Decimal(static_cast<std::int64_t>(m_queue.Active().size()))},
                    {"numWaiting", Decimal(static_cast<std::int64_t>(m_queue.Waiting().size()))},
                    {"numStopped", Decimal(static_cast<std::int64_t>(stopped))},
                    {"numStoppedTotal", Decimal(static_cast<std::int64_t>(stopped))}};
            }
            if (verb == "getVersion")
                return Json{{"version", std::string(kVersion)},
                            {"enabledFeatures", Json::array({"HTTPS", "Message Digest"})}};
            if (verb == "getSessionInfo")
                return {{"sessionId", m_sessionId}};
            if (verb == "saveSession") {
                const std::string problem = m_queue.SaveProblem();
                if (!problem.empty())
                    throw RpcError(kCannot, problem);
                return "OK";  // every change is saved when it is made
            }
            // tvx.runSession
            const Json* all = c.Optional();
            if (all != nullptr && !all->is_boolean())
                BadParams("tvx.runSession takes true to take every link of the list");
            if (!m_runSession)
                throw RpcError(kCannot, "this service runs no list session");
            const std::string refused = m_runSession(all != nullptr && all->get<bool>());
            if (!refused.empty())
                throw RpcError(kCannot, refused);
            return "OK";
        };
        answer["result"] = call(method, params);
    } catch (const RpcError& e) {
        answer["error"] = {{"code", e.code}, {"message", e.what()}};
    } catch (const Json::exception& e) {
        answer["error"] = {{"code", kInvalidParams}, {"message", e.what()}};
    } catch (const std::exception& e) {
        // Whatever else went wrong (memory, a thread that would not start)
        // is the call's error, never the service's end.
        answer["error"] = {{"code", kInternalError}, {"message", e.what()}};
    }
    return Dump(answer);
}

Json Aria2Rpc::AddUri(Call& c) {
    const Json& uris = c.Take("uris");
    if (!uris.is_array() || uris.empty())
        BadParams("uris must be a list of addresses");
    QueueRequest request;
    for (const Json& uri : uris) {
        const std::string text = Text(uri, "an address");
        if (!WebAddress(text))
            BadParams("only http and https addresses are fetched: " + text);
        if (request.uri.empty())
            request.uri = text;  // the others name the same file
    }
    const Json* options = c.Optional();
    if (options != nullptr && !options->is_object())
        BadParams("options must be an object");
    std::string problem;
    request.dir = FolderInsideRoot(options != nullptr ? options->value("dir", "") : "", problem);
    if (request.dir.empty())
        BadParams(problem);
    const Json none = Json::object();
    for (const auto& [key, value] : (options != nullptr ? *options : none).items()) {
        if (key == "out") {
            const std::string out = Text(value, "out");
            const std::string joined = Lexical(request.dir + "/" + out);
            if (out.empty() || out.front() == '/' || HasControl(out) ||
                out.find('\\') != std::string::npos || joined != request.dir + "/" + out ||
                !Inside(Real(joined), request.dir) || joined == request.dir)
                BadParams("out must be a file name inside dir: " + out);
            request.out = out;
        } else if (key == "header") {
            Json lines = value;
            if (!lines.is_array())
                lines = Json::array({value});
            for (const Json& line : lines) {
                const std::string text = Text(line, "a header");
                const std::size_t colon = text.find(':');
                if (colon == 0 || colon == std::string::npos || HasControl(text) ||
                    text.find_first_of(" \t") < colon)
                    BadParams("a header must be \"Name: value\" on one line: " + text);
                request.headers.push_back(text);
            }
        } else if (key == "referer") {
            request.referer = Text(value, "referer");
            if (request.referer == "*")
                request.referer = request.uri;
            if (HasControl(request.referer))
                BadParams("referer must be one line");
        } else if (key == "checksum") {
            Digest digest;
            if (!ParseChecksumOption(Text(value, "checksum"), digest))
                BadParams("checksum must be sha-256=HEX or sha-512=HEX");
            digest.source = "the checksum option";
            request.checksums.push_back(std::move(digest));
        } else if (key == "split") {
            const long long split = Integer(value, "split");
            if (split < 1 || split > kMaxConnectionsPerFile)
                BadParams("split must be from 1 to " + std::to_string(kMaxConnectionsPerFile));
            request.split = static_cast<int>(split);
        }
        // Other options of aria2's are passed over: clients send many.
    }
    int position = -1;
    if (const Json* at = c.Optional()) {
        const long long n = Integer(*at, "position");
        if (n < 0 || n > INT_MAX)
            BadParams("position must not be negative");
        position = static_cast<int>(n);
    }
    const std::string gid = m_queue.Add(std::move(request), position);
    if (gid.empty())
        throw RpcError(kCannot, "the download was not queued: " + m_queue.SaveProblem());
    return gid;
}

Json Aria2Rpc::ChangeGlobalOption(Call& c) {
    const Json& options = c.Take("options");
    if (!options.is_object())
        BadParams("options must be an object");
    // Every value is read before any is changed.
    std::int64_t limit = -1;
    long long concurrent = -1;
    for (const auto& [key, value] : options.items()) {
        if (key == "max-overall-download-limit") {
            limit = ParseRateText(value.is_number_integer() ? std::to_string(value.get<long long>())
                                                            : Text(value, key.c_str()));
            if (limit < 0)
                BadParams("max-overall-download-limit must be a number of bytes, K or M: " +
                          Dump(value));
        } else if (key == "max-concurrent-downloads") {
            concurrent = Integer(value, "max-concurrent-downloads");
            if (concurrent < 1 || concurrent > 64)
                BadParams("max-concurrent-downloads must be from 1 to 64");
        } else {
            BadParams("the option " + key +
                      " cannot be changed here (max-overall-download-limit, "
                      "max-concurrent-downloads can)");
        }
    }
    if (limit >= 0)
        m_queue.SetOverallLimit(limit);
    if (concurrent > 0)
        m_queue.SetMaxConcurrent(static_cast<int>(concurrent));
    return "OK";
}

}  // namespace tvx
