#pragma once
// The download service's answers: JSON-RPC 2.0 with aria2's method names,
// parameters and result shapes, so that the front ends, extensions and
// scripts written for aria2 drive tvx. One text in, one text out; the
// transport (HTTP POST, WebSocket) is the caller's.
//
// Every aria2.* and tvx.* call carries the secret as "token:SECRET" in its
// first parameter. Files are written only inside the root folder, and only
// http and https addresses are fetched.

#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

#include "service/DownloadQueue.h"

namespace tvx {

struct RpcConfig {
    std::string secret;
    std::string root;  // an absolute path without symbolic links; downloads stay inside it
    int listenPort = 6800;
    bool listenAll = false;
};

class Aria2Rpc {
public:
    // Starts the start directory's list session; returns "" when it began,
    // otherwise why it did not.
    using RunSession = std::function<std::string(bool all)>;

    Aria2Rpc(DownloadQueue& queue, RpcConfig config, RunSession runSession);

    // Answers a request or a batch of them. *authorized becomes true when
    // a call carried the right secret (notifications go only to those
    // connections).
    std::string Handle(std::string_view text, bool* authorized = nullptr);

    // The notification of an event of the queue ("onDownloadStart", ...).
    static std::string Notification(const std::string& event, const std::string& gid);

    // The folder a request names, absolute and inside the root (a relative
    // one is taken inside the root); "" with the reason otherwise.
    std::string FolderInsideRoot(std::string_view dir, std::string& problem) const;

private:
    struct Call;
    std::string Answer(const nlohmann::json& request, bool* authorized);
    nlohmann::json AddUri(Call& call);
    nlohmann::json ChangeGlobalOption(Call& call);

    DownloadQueue& m_queue;
    RpcConfig m_config;
    RunSession m_runSession;
    std::string m_sessionId;  // told to clients that ask; new with every start
};

}  // namespace tvx
