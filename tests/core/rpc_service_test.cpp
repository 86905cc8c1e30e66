// The download service's answers (Aria2Rpc) and its queue (DownloadQueue)
// against a loopback server: what each request gets, how downloads end, and
// a queue that outlives its service.

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "Sandbox.h"
#include "TestHttpServer.h"
#include "service/Aria2Rpc.h"
#include "service/DownloadQueue.h"
#include "transfer/Digest.h"

namespace {

using nlohmann::json;
using tvxtest::ReadFile;
using tvxtest::Reply;
using tvxtest::SeenRequest;
using tvxtest::TestHttpServer;

const std::string kDate = "Tue, 01 Dec 2026 10:00:00 GMT";

std::string Pattern(std::size_t size, unsigned seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 131 + seed * 7 + i / 251) & 0xff);
    return s;
}

class Rpc : public tvxtest::Sandbox {
protected:
    void SetUp() override {
        Sandbox::SetUp();
        mkdir(PathOf("root").c_str(), 0700);
        StartService();
    }
    void TearDown() override {
        rpc.reset();
        queue.reset();
        Sandbox::TearDown();
    }
    void StartService() {
        queue = std::make_unique<tvx::DownloadQueue>(
            tvx::HttpSettings{}, PathOf("state.json"),
            [this](const std::string& event, const std::string& gid) {
                std::lock_guard<std::mutex> lock(mutex);
                events.push_back(event + " " + gid);
            });
        std::string problem;
        ASSERT_TRUE(queue->Load(problem)) << problem;
        rpc = std::make_unique<tvx::Aria2Rpc>(*queue, tvx::RpcConfig{"s3cret", PathOf("root")},
                                              nullptr);
    }
    // One call with the secret; the whole answer.
    json Call(const std::string& method, json params = json::array()) {
        params.insert(params.begin(), "token:s3cret");
        return json::parse(rpc->Handle(
            json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}}.dump()));
    }
    std::string Add(const std::string& uri, json options = json::object()) {
        const json answer = Call("aria2.addUri", {{uri}, options});
        EXPECT_TRUE(answer.contains("result")) << answer.dump();
        return answer.value("result", "");
    }
    json Status(const std::string& gid) { return Call("aria2.tellStatus", {gid})["result"]; }
    void WaitForStatus(const std::string& gid, const std::string& status) {
        for (int i = 0; i < 1500 && Status(gid).value("status", "") != status; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_EQ(Status(gid).value("status", ""), status) << Status(gid).dump();
    }
    bool Saw(const std::string& event) {
        std::lock_guard<std::mutex> lock(mutex);
        return std::find(events.begin(), events.end(), event) != events.end();
    }

    std::unique_ptr<tvx::DownloadQueue> queue;
    std::unique_ptr<tvx::Aria2Rpc> rpc;
    std::mutex mutex;
    std::vector<std::string> events;
};

TEST_F(Rpc, EachRequestGetsItsAnswer) {
    symlink("/tmp", PathOf("root/away").c_str());
    const std::string file = "http://127.0.0.1:9/a.zip";
    const auto addUri = [](const std::string& uri, const std::string& options) {
        return R"({"jsonrpc":"2.0","id":1,"method":"aria2.addUri","params":["token:s3cret",[")" +
               uri + R"("],)" + options + "]}";
    };
    const std::string multicall =
        R"({"jsonrpc":"2.0","id":"m","method":"system.multicall","params":[[)"
        R"({"methodName":"aria2.getGlobalStat","params":["token:s3cret"]},)"
        R"({"methodName":"aria2.getGlobalStat","params":["token:nope"]}]]})";
    const struct {
        std::string request;
        int code;  // 0: a result
        std::string says;
    } cases[] = {
        {R"({"jsonrpc":"2.0","id":1,"method":"system.listMethods"})", 0, "aria2.tellStopped"},
        {R"({"jsonrpc":"2.0","id":1,"method":"aria2.getVersion"})", 1, "Unauthorized"},
        {R"({"jsonrpc":"2.0","id":1,"method":"aria2.getVersion","params":["token:s3cre"]})", 1,
         "Unauthorized"},
        {R"({"jsonrpc":"2.0","id":1,"method":"aria2.getVersion","params":["s3cret"]})", 1,
         "Unauthorized"},
        {R"({"jsonrpc":"2.0","id":1,"method":"aria2.getVersion","params":["token:s3cret"]})", 0,
         "\"version\""},
        {"{not json", -32700, "Parse error"},
        {"[]", -32600, "Invalid Request"},
        {R"({"jsonrpc":"2.0","id":1,"method":5})", -32600, "Invalid Request"},
        {R"({"jsonrpc":"2.0","id":1,"method":"aria2.getVersion","params":{"a":1}})", -32602,
         "list"},
        {R"({"jsonrpc":"2.0","id":1,"method":"aria2.shutdown","params":["token:s3cret"]})", -32601,
         "No such method: aria2.shutdown"},
        {R"({"jsonrpc":"2.0","id":1,"method":"aria2.tellWaiting","params":["token:s3cret",0]})",
         -32602, "num is missing"},
        {R"({"jsonrpc":"2.0","id":1,"method":"aria2.tellStatus","params":["token:s3cret","00ff"]})",
         1, "GID 00ff is not found"},
        {addUri("file:///etc/passwd", "{}"), -32602, "only http and https"},
        {addUri("ftp://127.0.0.1/a", "{}"), -32602, "only http and https"},
        {addUri(file, R"({"dir":"/etc"})"), -32602, "dir /etc is outside"},
        {addUri(file, R"({"dir":"sub/../../x"})"), -32602, "outside"},
        {addUri(file, R"({"dir":")" + PathOf("root2") + R"("})"), -32602, "outside"},
        {addUri(file, R"({"dir":"away/x"})"), -32602, "outside"},
        {addUri(file, R"({"out":"../escape"})"), -32602, "out must be a file name inside dir"},
        {addUri(file, R"({"out":"away/x"})"), -32602, "inside dir"},
        {addUri(file, R"({"header":"X: 1\r\nEvil: 2"})"), -32602, "one line"},
        {addUri(file, R"({"checksum":"md5=00"})"), -32602, "checksum must be"},
        {addUri(file, R"({"split":"17"})"), -32602, "split must be from 1 to 16"},
        {R"({"jsonrpc":"2.0","id":1,"method":"aria2.changeGlobalOption","params":["token:s3cret",{"dir":"/"}]})",
         -32602, "cannot be changed here"},
        {R"({"jsonrpc":"2.0","id":1,"method":"aria2.changeGlobalOption","params":["token:s3cret",{"max-concurrent-downloads":"0"}]})",
         -32602, "from 1 to 64"},
        {R"({"jsonrpc":"2.0","id":1,"method":"aria2.changeGlobalOption","params":["token:s3cret",)"
         R"({"max-concurrent-downloads":"2","max-overall-download-limit":"1M"}]})",
         0, "OK"},
        {R"({"jsonrpc":"2.0","id":1,"method":"aria2.getGlobalOption","params":["token:s3cret"]})",
         0, R"("max-concurrent-downloads":"2","max-overall-download-limit":"1048576")"},
        {R"({"jsonrpc":"2.0","id":1,"method":"tvx.runSession","params":["token:s3cret"]})", 1,
         "runs no list session"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        const json answer = json::parse(rpc->Handle(c.request));
        EXPECT_EQ(answer.value("jsonrpc", ""), "2.0");
        if (c.code == 0) {
            ASSERT_TRUE(answer.contains("result")) << answer.dump();
            EXPECT_NE(answer["result"].dump().find(c.says), std::string::npos) << answer.dump();
        } else {
            ASSERT_TRUE(answer.contains("error")) << answer.dump();
            EXPECT_EQ(answer["error"]["code"], c.code) << answer.dump();
            EXPECT_NE(answer["error"].value("message", "").find(c.says), std::string::npos)
                << answer.dump();
        }
    }
    // A batch answers each call; a multicall each of its calls, by its own secret.
    const json batch = json::parse(
        rpc->Handle(R"([{"jsonrpc":"2.0","id":1,"method":"x"},)"
                    R"({"jsonrpc":"2.0","id":2,"method":"system.listNotifications"}])"));
    ASSERT_EQ(batch.size(), 2u);
    EXPECT_EQ(batch[0]["error"]["code"], -32601);
    EXPECT_EQ(batch[1]["id"], 2);
    const json multi = json::parse(rpc->Handle(multicall));
    EXPECT_EQ(multi["result"][0][0]["numActive"], "0") << multi.dump();
    EXPECT_EQ(multi["result"][1]["message"], "Unauthorized") << multi.dump();
    EXPECT_TRUE(queue->Waiting().empty() && queue->Active().empty() && queue->Stopped().empty());
    EXPECT_FALSE(tvxtest::Exists("/tmp/x/a.zip"));
}

TEST_F(Rpc, DownloadsEndAsTheirBytesSay) {
    const std::string good = Pattern(700000, 1), other = Pattern(50000, 2);
    TestHttpServer server([&](const SeenRequest& r) {
        if (r.target == "/good.bin")
            return tvxtest::FileReply(r, good, kDate);
        if (r.target == "/other.bin")
            return tvxtest::FileReply(r, other, kDate);
        return Reply().Send(tvxtest::ResponseHead(404, {{"Content-Length", "0"}}));
    });
    tvx::Hasher hasher(tvx::DigestAlgorithm::Sha256);
    hasher.Update(good.data(), good.size());
    const std::string sha = tvx::HexText(hasher.Final());
    const std::string proven = Add(server.Url("/good.bin"), {{"checksum", "sha-256=" + sha},
                                                             {"header", {"X-Token: 42"}},
                                                             {"referer", "http://127.0.0.1/page"},
                                                             {"dir", "in/here"},
                                                             {"out", "proven.bin"}});
    const std::string refuted =
        Add(server.Url("/other.bin"), {{"checksum", "sha-256=" + std::string(64, '0')}});
    const std::string missing = Add(server.Url("/missing.bin"));
    for (const std::string& gid : {proven, refuted, missing})
        ASSERT_FALSE(gid.empty());
    WaitForStatus(proven, "complete");
    WaitForStatus(refuted, "error");
    WaitForStatus(missing, "error");
    EXPECT_TRUE(ReadFile(PathOf("root/in/here/proven.bin")) == good);
    const json done = Status(proven);
    EXPECT_EQ(done["completedLength"], "700000");
    EXPECT_EQ(done["files"][0]["path"], PathOf("root/in/here/proven.bin"));
    EXPECT_EQ(Status(refuted)["errorCode"], "32") << Status(refuted).dump();
    EXPECT_NE(Status(missing).value("errorMessage", ""), "");
    for (const SeenRequest& r : server.Requests()) {
        if (r.target == "/good.bin") {
            EXPECT_EQ(r.Header("X-Token"), "42");
            EXPECT_EQ(r.Header("Referer"), "http://127.0.0.1/page");
        }
    }
    EXPECT_TRUE(Saw("onDownloadStart " + proven) && Saw("onDownloadComplete " + proven));
    EXPECT_TRUE(Saw("onDownloadError " + refuted));
    // Stopped ones by keys, newest last; a negative offset counts back.
    const json stopped = Call("aria2.tellStopped", {0, 10, {"gid", "status"}})["result"];
    ASSERT_EQ(stopped.size(), 3u);
    EXPECT_EQ(stopped[0].size(), 2u);
    EXPECT_EQ(Call("aria2.tellStopped", {-1, 1})["result"][0]["gid"], stopped[2]["gid"]);
    EXPECT_EQ(Call("aria2.getGlobalStat")["result"]["numStopped"], "3");
    EXPECT_EQ(Call("aria2.removeDownloadResult", {missing})["result"], "OK");
    EXPECT_EQ(Call("aria2.tellStopped", {0, 10})["result"].size(), 2u);
    EXPECT_EQ(Call("aria2.pause", {proven})["error"]["message"],
              "GID " + proven + " cannot be paused now");
}

// A file whose whole answer trickles; a range comes at once.
Reply SlowFile(const SeenRequest& r, const std::string& body) {
    if (!r.Header("Range").empty())
        return tvxtest::FileReply(r, body, kDate);
    return Reply()
        .Send(tvxtest::ResponseHead(200, {{"Content-Length", std::to_string(body.size())},
                                          {"Last-Modified", kDate},
                                          {"Accept-Ranges", "bytes"}}))
        .Trickle(body, 16384, 20);
}

TEST_F(Rpc, TheQueueOutlivesItsServiceAndPausedOnesWait) {
    const std::string body = Pattern(3000000, 3);
    TestHttpServer server([&](const SeenRequest& r) { return SlowFile(r, body); });
    ASSERT_EQ(Call("aria2.changeGlobalOption", {{{"max-concurrent-downloads", "1"}}})["result"],
              "OK");
    const std::string first = Add(server.Url("/first.bin"), {{"split", "1"}});
    const std::string second = Add(server.Url("/second.bin"));
    const std::string third = Add(server.Url("/third.bin"));
    EXPECT_EQ(Status(second)["status"], "waiting");
    EXPECT_EQ(Call("aria2.pause", {second})["result"], second);
    EXPECT_EQ(Call("aria2.remove", {third})["result"], third);
    EXPECT_EQ(Call("aria2.tellWaiting", {0, 10, {"gid", "status"}})["result"],
              json::parse(R"([{"gid":")" + second + R"(","status":"paused"}])"));
    for (int i = 0; i < 500 && std::stoll(Status(first).value("completedLength", "0")) < 100000;
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_GT(std::stoll(Status(first).value("completedLength", "0")), 0);

    // The service ends with the first under way; the next one resumes it.
    rpc.reset();
    queue.reset();
    const std::size_t before = server.Requests().size();
    StartService();
    EXPECT_EQ(Status(second)["status"], "paused");
    EXPECT_EQ(Status(third)["status"], "removed");
    WaitForStatus(first, "complete");
    EXPECT_TRUE(ReadFile(PathOf("root/first.bin")) == body);
    const auto requests = server.Requests();
    EXPECT_TRUE(std::any_of(requests.begin() + static_cast<long>(before), requests.end(),
                            [](const SeenRequest& r) {
                                return r.target == "/first.bin" &&
                                       r.Header("Range").rfind("bytes=0-", 0) != 0 &&
                                       !r.Header("Range").empty();
                            }))
        << "the resumed file started over";
    EXPECT_EQ(Status(second)["status"], "paused");
    EXPECT_EQ(Call("aria2.unpause", {second})["result"], second);
    WaitForStatus(second, "complete");
    EXPECT_TRUE(ReadFile(PathOf("root/second.bin")) == body);
    EXPECT_FALSE(tvxtest::Exists(PathOf("root/third.bin")));
}

}  // namespace

namespace {

// The overall limit holds for the downloads under way together.
TEST_F(Rpc, TheOverallLimitHoldsForAllDownloadsTogether) {
    const std::string body = Pattern(300000, 4);
    TestHttpServer server([&](const SeenRequest& r) { return tvxtest::FileReply(r, body, kDate); });
    ASSERT_EQ(
        Call("aria2.changeGlobalOption", {{{"max-overall-download-limit", "256K"}}})["result"],
        "OK");
    const auto start = std::chrono::steady_clock::now();
    const std::string a = Add(server.Url("/a.bin")), b = Add(server.Url("/b.bin"));
    WaitForStatus(a, "complete");
    WaitForStatus(b, "complete");
    // 600000 bytes at 262144 a second, less what may come at once.
    EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1800));
    EXPECT_TRUE(ReadFile(PathOf("root/a.bin")) == body && ReadFile(PathOf("root/b.bin")) == body);
}

}  // namespace

namespace {

TEST(RpcNames, AFileIsNamedByItsAddressUnlessThatNamesNoFile) {
    const struct {
        const char* uri;
        const char* name;
    } cases[] = {
        {"http://h/dir/a%20b.zip?x=1#y", "a b.zip"},
        {"https://h", "index.html"},
        {"http://h/dir/", "index.html"},
        {"http://h/%2e%2e", "index.html"},
        {"http://h/a%2Fb", "index.html"},
        {"http://h/a%5Cb", "index.html"},
        {"http://h/%FF.bin", "%FF.bin"},  // not UTF-8 once decoded
    };
    for (const auto& c : cases)
        EXPECT_EQ(tvx::NameFromAddress(c.uri), c.name) << c.uri;
}

}  // namespace
