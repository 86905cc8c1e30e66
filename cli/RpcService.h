#pragma once
// tvx-session --enable-rpc: the download service. A queue of downloads that
// other programs drive over aria2's JSON-RPC (HTTP POST and WebSocket on
// /jsonrpc), until SIGTERM or Ctrl+C ends it cleanly.

#include <functional>
#include <string>

#include "transfer/HttpRequest.h"

namespace tvxcli {

struct RpcOptions {
    bool enabled = false;
    int port = 6800;
    bool listenAll = false;  // every address, not only the loopback
    std::string secret;      // "" reads or makes the secret file
    std::string dir;         // downloads stay inside it; "" is ~/Downloads
};

// Reads the [RPC] keys of download.ini (ListenPort, ListenAll, Secret,
// Dir); the command line's options, read later, take their place.
void LoadRpcSettings(RpcOptions& options, const std::string& iniPath);

// Runs the service; returns the exit status. listSession runs the start
// directory's list session (tvx.runSession) and returns its exit status.
int RunRpcService(int argc, char** argv, const RpcOptions& options, tvx::HttpSettings settings,
                  std::function<int(bool all)> listSession);

}  // namespace tvxcli
