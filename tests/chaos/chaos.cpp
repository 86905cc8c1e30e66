// tvx_chaos: a seeded chaos run. tvx-get, short tvx-session runs and the
// download service (tvx-session --enable-rpc, driven over JSON-RPC) fetch files
// from a server that misbehaves the way real ones do (ranges ignored or
// refused, bodies cut, stalls, shifted ranges, answers without validators,
// chunked or encoded bodies, a new version mid-way, resets), over every form
// of local path and 1 to 8 connections per file, and some runs are killed at
// a random byte. Then the server behaves and one more run must finish.
//
// The oracle:
//  - a run that exits 0 leaves each of its files exactly one whole version
//    the server held during that run, and no control file;
//  - after any run, killed or not, a file with no control record beside it is
//    one whole version the server held (a partial is always marked);
//  - no run outlives its bound (every wait of the program is bounded);
//  - once the server behaves, the next run exits 0 with the current version
//    exactly and no control file;
//  - a fresh file from a server that behaves costs no sliver requests: every
//    range asked for is at least the smallest segment.
//
// A service "run" starts the service, adds every file that has no download
// under way (those it had resume by themselves), waits until each is complete
// or failed, and stops the service with SIGTERM; it counts as exit 0 when every
// download reports complete and the service exits 0.
//
// Scenario i of a run with --seed S has the seed S + i; a failure prints it,
// and `tvx_chaos --seed <that> --scenarios 1` replays the scenario.

#include <openssl/evp.h>
#include <openssl/sha.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Process.h"
#include "TestHttpServer.h"

namespace {

using tvxtest::HeaderList;
using tvxtest::Reply;
using tvxtest::SeenRequest;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kMinSplit = 16 * 1024;  // the smallest segment the runs use

struct Rng {
    std::mt19937_64 engine;
    explicit Rng(std::uint64_t seed) : engine(seed) {}
    std::uint64_t Below(std::uint64_t n) { return n == 0 ? 0 : engine() % n; }
    bool Chance(double p) { return static_cast<double>(engine() % 1000000) < p * 1e6; }
    std::string Bytes(std::size_t n) {
        std::string s(n, '\0');
        for (char& c : s)
            c = static_cast<char>(engine() >> 56);
        return s;
    }
};

// clang-format off
enum Fault { kNone, kStatus503, kStatus500, kStatus429, kStatus416, kCut, kReset, kStall, kShift,
             kNoValidators206, kEncoded206, kChunked, kWholeForRange, kTrickle, kFaultCount };
// clang-format on
const char* const kFaultNames[] = {"none",     "503",     "500",           "429",     "416",
                                   "cut",      "reset",   "stall",         "shifted", "206-novalid",
                                   "206-gzip", "chunked", "200-for-range", "trickle"};

// How the server states a version.
enum Validators { kDateAndEtag, kDateOnly, kEtagOnly, kWeakEtag, kNoValidators, kValidatorKinds };
const char* const kValidatorNames[] = {"date+etag", "date", "etag", "date+weak-etag", "none"};

struct Version {
    std::string body, lastModified, etag;
};

std::string Sha256(const std::string& bytes) {
    unsigned char out[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out);
    return std::string(reinterpret_cast<const char*>(out), sizeof out);
}

// "sha-256=:BASE64:", as Repr-Digest and Content-Digest state it.
std::string DigestField(const std::string& bytes) {
    const std::string sum = Sha256(bytes);
    unsigned char text[64];
    const int n = EVP_EncodeBlock(text, reinterpret_cast<const unsigned char*>(sum.data()),
                                  static_cast<int>(sum.size()));
    return "sha-256=:" + std::string(reinterpret_cast<const char*>(text), n) + ":";
}

std::string Hex(const std::string& bytes) {
    std::string hex;
    char two[3];
    for (const char c : bytes)
        hex.append(two, std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(c)));
    return hex;
}

// The digests a file's answers state: the whole file's, each body's, both.
enum Digests { kReprDigest = 1, kContentDigest = 2 };

struct File {
    std::string target;             // "/f0"
    std::string path;               // as given to the program
    std::string native;             // where it lands
    std::vector<Version> versions;  // every version the server ever held
    std::size_t current = 0;
    std::vector<std::size_t> heldThisRun;
    Validators validators = kDateAndEtag;
    bool ignoresRanges = false;
    int digests = 0;  // Digests bits
};

// The server's whole state for one scenario; the handler runs on connection threads.
struct ChaosServer {
    std::mutex mutex;
    Rng rng{0};
    std::vector<File> files;
    double faultRate = 0;
    // The first range of a run (the request for the rest, on a resume) is
    // refused; and the first whole answer of a run after the first stalls
    // (so that the start of a file may get nothing while its other parts come).
    bool refuseFirstRange = false, stallFirstWhole = false;
    int rangeAnswers = 0, wholeAnswers = 0;
    int switchAtRequest = -1;  // the request before which a new version appears
    int requests = 0;
    pid_t victim = 0;
    // The run is killed when the body of its killAtRequest-th request reaches
    // killAtShare (0 to 1) of its length.
    int killAtRequest = 0;
    double killAtShare = 0;
    bool killed = false;
    int paceMs = 0;  // a pause after every 16 KiB of a body, so that connections overlap
    bool sums = false;  // /SHA256SUMS lists the current versions
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;  // asked for in this run
    int faultTally[kFaultCount] = {};
    std::time_t epoch = 0;

    Version MakeVersion(std::size_t length, int index) {
        const std::time_t t = epoch + 3600 * index + 60 * static_cast<std::time_t>(rng.Below(50));
        return {rng.Bytes(length), tvxtest::HttpDate(t),
                "\"v" + std::to_string(index) + "-" + std::to_string(rng.Below(1 << 20)) + "\""};
    }

    void NewVersion(File& f) {
        const std::size_t old = f.versions[f.current].body.size();
        const std::size_t length = rng.Chance(0.5) ? old : RandomLength();
        f.versions.push_back(MakeVersion(length, static_cast<int>(f.versions.size())));
        f.current = f.versions.size() - 1;
        f.heldThisRun.push_back(f.current);
    }

    std::size_t RandomLength() {
        const std::uint64_t kind = rng.Below(20);
        if (kind < 3)
            return 1 + rng.Below(3000);
        if (kind < 6)
            return 4096 + rng.Below(200000);
        return 16 * kMinSplit + rng.Below(1400000);  // cut into segments
    }

    HeaderList Validators(const File& f, const Version& v) const {
        HeaderList h;
        if (f.validators != kEtagOnly && f.validators != kNoValidators)
            h.emplace_back("Last-Modified", v.lastModified);
        if (f.validators == kDateAndEtag || f.validators == kEtagOnly)
            h.emplace_back("ETag", v.etag);
        if (f.validators == kWeakEtag)
            h.emplace_back("ETag", "W/" + v.etag);
        return h;
    }

    // Sends the body in pieces; the victim is killed at its share of the body.
    // Some bodies keep their last byte back a moment, as a network may.
    void Body(Reply& reply, const std::string& bytes, bool killHere, int trickleMs = 0) {
        constexpr std::size_t kPiece = 16 * 1024;
        const auto killAt =
            static_cast<std::size_t>(killAtShare * static_cast<double>(bytes.size()));
        const bool lastLate = bytes.size() > 1 && rng.Chance(0.3);
        const std::size_t end = bytes.size() - (lastLate ? 1 : 0);
        for (std::size_t at = 0; at <= end; at += kPiece) {
            const std::size_t piece = std::min(kPiece, end - at);
            if (killHere && killAt >= at && killAt < at + piece) {
                reply.Send(bytes.substr(at, killAt - at));
                reply.Call([this] { Kill(); });
                reply.Send(bytes.substr(killAt, at + piece - killAt));
            } else {
                reply.Send(bytes.substr(at, piece));
            }
            if (trickleMs + paceMs > 0)
                reply.Sleep(trickleMs + paceMs);
        }
        if (lastLate)
            reply.Sleep(5).Send(bytes.substr(end));
    }

    void Kill() {
        std::lock_guard<std::mutex> lock(mutex);
        if (victim > 0)
            ::kill(victim, SIGKILL);
        victim = 0;
        killed = true;
    }

    Reply Answer(const SeenRequest& req) {
        std::lock_guard<std::mutex> lock(mutex);
        const bool killHere = ++requests == killAtRequest;
        if (requests == switchAtRequest)
            NewVersion(files[rng.Below(files.size())]);
        if (sums && req.target == "/SHA256SUMS") {
            std::string text;
            for (const File& f : files)
                text += Hex(Sha256(f.versions[f.current].body)) + "  " + f.target.substr(1) + "\n";
            return Reply().Send(tvxtest::ResponseHead(
                                    200, {{"Content-Length", std::to_string(text.size())}}) +
                                text);
        }
        File* file = nullptr;
        for (File& f : files)
            file = f.target == req.target ? &f : file;
        if (file == nullptr)
            return Reply().Send(tvxtest::ResponseHead(404, {{"Content-Length", "0"}}));
        const Version& v = file->versions[file->current];
        const auto total = static_cast<std::int64_t>(v.body.size());

        // What a correct server answers.
        std::int64_t first = -1, last = -1;
        const std::string range = req.Header("Range");
        long long a = -1, b = -1;
        const int fields = std::sscanf(range.c_str(), "bytes=%lld-%lld", &a, &b);
        if (fields >= 1 && a >= 0) {
            first = a;
            last = fields == 2 ? std::min<long long>(b, total - 1) : total - 1;
            ranges.emplace_back(first, fields == 2 ? b : -1);
        }
        const std::string ifRange = req.Header("If-Range");
        const bool strongEtag = file->validators == kDateAndEtag || file->validators == kEtagOnly;
        const bool dated = file->validators != kEtagOnly && file->validators != kNoValidators;
        const bool rangeHolds = first >= 0 && !file->ignoresRanges &&
                                (ifRange.empty() || (strongEtag && ifRange == v.etag) ||
                                 (dated && ifRange == v.lastModified));
        int status = 200;
        if (rangeHolds && first >= total)
            status = 416;
        else if (rangeHolds)
            status = 206;

        Fault fault = kNone;
        bool stallEarly = false;  // after at most a few bytes
        if (status == 206 && ++rangeAnswers == 1 && refuseFirstRange) {
            static const Fault kRefusals[] = {kStatus503,     kStatus500,       kStatus416, kShift,
                                              kWholeForRange, kNoValidators206, kEncoded206};
            fault = kRefusals[rng.Below(std::size(kRefusals))];
        } else if (status == 200 && ++wholeAnswers == 2 && stallFirstWhole) {
            fault = kStall;
            stallEarly = true;
        } else if (rng.Chance(faultRate)) {
            // Faults of range answers only where a range is answered.
            static const Fault kAny[] = {kStatus503, kStatus500, kStatus429, kCut,
                                         kReset,     kStall,     kChunked,   kTrickle};
            fault = status == 206 ? static_cast<Fault>(1 + rng.Below(kFaultCount - 1))
                                  : kAny[rng.Below(std::size(kAny))];
        }
        ++faultTally[fault];
        if (std::getenv("TVX_CHAOS_TRACE") != nullptr)
            std::fprintf(stderr, "%d %s %s -> %d %s%s pace %d\n", requests, req.target.c_str(),
                         range.c_str(), status, kFaultNames[fault], killHere ? " kill" : "",
                         paceMs);
        // Refusals carry no body.
        if (fault == kStatus503 || fault == kStatus500 || fault == kStatus429)
            status = fault == kStatus503 ? 503 : fault == kStatus500 ? 500 : 429;
        if (fault == kStatus416)
            status = 416;
        if (fault == kWholeForRange)
            status = 200;
        if (status >= 400) {
            HeaderList head = {{"Content-Length", "0"}};
            if (status == 416)
                head.emplace_back("Content-Range", "bytes */" + std::to_string(total));
            if (status == 429)
                head.emplace_back("Retry-After", "1");
            return Reply().Send(tvxtest::ResponseHead(status, head));
        }
        std::int64_t from = status == 206 ? first : 0, to = status == 206 ? last : total - 1;
        if (fault == kShift) {
            const std::int64_t shift = 1 + static_cast<std::int64_t>(rng.Below(4000));
            from =
                rng.Chance(0.5) || from < shift ? std::min(from + shift, total - 1) : from - shift;
            to = std::min(to, total - 1);
            if (from > to)
                from = to;
        }
        const std::string body = total == 0 ? std::string() : v.body.substr(from, to - from + 1);
        HeaderList head = fault == kNoValidators206 ? HeaderList() : Validators(*file, v);
        if (!file->ignoresRanges)
            head.emplace_back("Accept-Ranges", "bytes");
        if (status == 206)
            head.emplace_back("Content-Range", "bytes " + std::to_string(from) + "-" +
                                                   std::to_string(to) + "/" +
                                                   std::to_string(total));
        if (fault == kEncoded206)
            head.emplace_back("Content-Encoding", "gzip");
        if (file->digests & kReprDigest)
            head.emplace_back("Repr-Digest", DigestField(v.body));
        if (file->digests & kContentDigest)
            head.emplace_back("Content-Digest", DigestField(body));
        head.emplace_back("Connection", "close");
        Reply reply;
        if (fault == kChunked) {
            head.emplace_back("Transfer-Encoding", "chunked");
            reply.Send(tvxtest::ResponseHead(status, head));
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", body.size());
            reply.Send(size);
            Body(reply, body, killHere);
            reply.Send(body.empty() ? "\r\n" : "\r\n0\r\n\r\n");
            return reply;
        }
        head.emplace_back("Content-Length", std::to_string(body.size()));
        reply.Send(tvxtest::ResponseHead(status, head));
        const std::size_t part =
            body.empty()
                ? 0
                : rng.Below(stallEarly ? std::min<std::size_t>(body.size(), 4096) : body.size());
        switch (fault) {
            case kCut:
                Body(reply, body.substr(0, part), killHere);
                break;
            case kReset:
                Body(reply, body.substr(0, part), killHere);
                reply.Sleep(5).Reset();
                break;
            case kStall:
                Body(reply, body.substr(0, part), killHere);
                reply.Hang();
                break;
            case kTrickle:
                Body(reply, body, killHere, 1 + static_cast<int>(rng.Below(20)));
                break;
            default:
                Body(reply, body, killHere);
                break;
        }
        return reply;
    }
};

enum class Tool { Get, Session, Service };

struct Options {
    std::string get, session, root;
    std::uint64_t seed = 0;
    int scenarios = 100, jobs = 4;
    int boundSec = 20;
    bool keep = false;
};

struct Totals {
    std::mutex mutex;
    int scenarios = 0, runs = 0, killed = 0, exits0 = 0, lies = 0, hangs = 0, unrecovered = 0,
        slivers = 0;
    int verified = 0, mismatches = 0;  // files proved by a digest, and refuted
    int faults[kFaultCount] = {};
    std::vector<std::string> reports;
};

std::string ReadAll(const std::string& path, bool* exists = nullptr) {
    std::ifstream in(path, std::ios::binary);
    if (exists != nullptr)
        *exists = static_cast<bool>(in);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string ControlPath(const std::string& native) {
    const std::size_t slash = native.rfind('/');
    return native.substr(0, slash + 1) + "CTL_" + native.substr(slash + 1);
}

class Scenario {
public:
    Scenario(const Options& options, std::uint64_t seed, Totals& totals)
        : m_options(options), m_seed(seed), m_rng(seed), m_totals(totals) {}

    void Run() {
        m_dir = m_options.root + "/s" + std::to_string(m_seed);
        std::system(("rm -rf '" + m_dir + "' && mkdir -p '" + m_dir + "/sub'").c_str());
        Build();
        if (std::getenv("TVX_CHAOS_TRACE") != nullptr)
            std::fprintf(stderr, "%s\n", m_description.c_str());
        bool clean = m_rng.Chance(0.1);
        const int chaosRuns = clean ? 1 : 1 + static_cast<int>(m_rng.Below(3));
        for (int run = 0; run < chaosRuns && m_failures.empty(); ++run) {
            m_server.faultRate = clean ? 0 : std::vector<double>{0, 0.1, 0.3, 0.6}[m_rng.Below(4)];
            m_server.refuseFirstRange = !clean && m_rng.Chance(0.35);
            m_server.stallFirstWhole = !clean && m_rng.Chance(0.15);
            m_server.killAtRequest =
                !clean && m_rng.Chance(0.6)
                    ? 1 + static_cast<int>(m_rng.Chance(0.7) ? m_rng.Below(3) : m_rng.Below(10))
                    : 0;
            m_server.killAtShare = static_cast<double>(m_rng.Below(1000)) / 1000.0;
            m_server.switchAtRequest =
                !clean && m_rng.Chance(0.3) ? 1 + static_cast<int>(m_rng.Below(12)) : -1;
            Execute("run " + std::to_string(run + 1), clean);
        }
        if (m_failures.empty()) {
            // No stalls now: a busy machine must not fail the run for a slow second.
            WriteSettings(5);
            m_server.faultRate = 0;
            m_server.refuseFirstRange = m_server.stallFirstWhole = false;
            m_server.killAtRequest = 0;
            m_server.switchAtRequest = -1;
            Execute("once the server behaves", false, true);
        }
        m_http.reset();
        std::lock_guard<std::mutex> lock(m_totals.mutex);
        ++m_totals.scenarios;
        for (int i = 0; i < kFaultCount; ++i)
            m_totals.faults[i] += m_server.faultTally[i];
        for (const std::string& f : m_failures)
            m_totals.reports.push_back("seed " + std::to_string(m_seed) + ": " + m_description +
                                       "\n  " + f);
        if (m_failures.empty() && !m_options.keep)
            std::system(("rm -rf '" + m_dir + "'").c_str());
    }

private:
    std::int64_t Below(std::int64_t n) { return static_cast<std::int64_t>(m_rng.Below(n)); }

    void Build() {
        m_server.rng = Rng(m_seed * 7919 + 1);
        m_server.paceMs = m_rng.Chance(0.2) ? 0 : 2 << m_rng.Below(4);  // 0: at loopback speed
        m_server.sums = m_rng.Chance(0.2);
        m_server.epoch = 1500000000 + static_cast<std::time_t>(m_rng.Below(100000000));
        const std::uint64_t tool = m_rng.Below(20);
        m_tool = tool < 5 ? Tool::Session : tool < 8 ? Tool::Service : Tool::Get;
        m_perFile = 1 + static_cast<int>(m_rng.Below(8));
        m_jobs = 1 + static_cast<int>(m_rng.Below(8));
        const int count = m_tool == Tool::Get ? 1 : 2 + static_cast<int>(m_rng.Below(3));
        static const char* const kForms[] = {"name", "./name", "sub/name", "sub\\name", "absolute"};
        const int form = static_cast<int>(m_rng.Below(5));
        m_oneText = m_rng.Chance(0.5);
        m_description = m_tool == Tool::Get ? Text("tvx-get -x %d, path %s%s", m_perFile,
                                                   kForms[form], m_oneText ? ", one text" : "")
                        : m_tool == Tool::Session
                            ? Text("tvx-session -j %d -x %d", m_jobs, m_perFile)
                            : Text("the service, %d at once, -x %d", m_jobs, m_perFile);
        if (m_server.sums)
            m_description += ", SHA256SUMS";
        for (int i = 0; i < count; ++i) {
            File f;
            f.target = "/f" + std::to_string(i);
            f.validators = static_cast<Validators>(m_rng.Below(kValidatorKinds));
            f.ignoresRanges = m_rng.Chance(0.15);
            f.digests = m_rng.Chance(0.5) ? 0 : 1 + static_cast<int>(m_rng.Below(3));
            if (m_tool == Tool::Get) {
                const std::string name = "f" + std::to_string(i) + ".bin";
                f.path = form == 0   ? name
                         : form == 1 ? "./" + name
                         : form == 2 ? "sub/" + name
                         : form == 3 ? "sub\\" + name
                                     : m_dir + "/" + name;
                f.native = m_dir + (form >= 2 && form <= 3 ? "/sub/" : "/") + name;
            } else {
                f.path = "f" + std::to_string(i);
                f.native = m_dir + "/dl/" + f.path;
            }
            m_server.files.push_back(f);
            File& held = m_server.files.back();
            // A server that ignores ranges gets a larger file: it must end
            // in good time all the same.
            const std::size_t length =
                f.ignoresRanges ? (2 << 20) + m_server.rng.Below(2 << 20) : m_server.RandomLength();
            held.versions.push_back(m_server.MakeVersion(length, 0));
            m_description +=
                Text(", %s %zu bytes %s%s", f.target.c_str(), held.versions[0].body.size(),
                     kValidatorNames[f.validators], f.ignoresRanges ? " ranges-ignored" : "");
            static const char* const kDigestNames[] = {"", " repr-digest", " content-digest",
                                                       " both digests"};
            m_description += kDigestNames[f.digests];
            // Some start from an older whole copy on disk.
            if (m_rng.Chance(0.2)) {
                std::system(("mkdir -p \"$(dirname '" + held.native + "')\"").c_str());
                std::ofstream(held.native, std::ios::binary) << held.versions[0].body;
                m_server.NewVersion(held);
                m_description += " (an older copy on disk)";
            }
        }
        WriteSettings(1);
        m_http = std::make_unique<tvxtest::TestHttpServer>(
            [this](const SeenRequest& req) { return m_server.Answer(req); });
        if (m_tool == Tool::Session) {
            std::string list = m_http->Url("/") + ",dl,Chaos\r\n";
            for (const File& f : m_server.files)
                list += "1," + f.path + "," + f.path + "\r\n";
            std::ofstream(m_dir + "/tvx_downctrl.htm", std::ios::binary) << list << "//END\r\n";
        }
    }

    // A stall ends after lowSpeedTime seconds without a byte.
    void WriteSettings(int lowSpeedTime) const {
        std::ofstream ini(m_dir + "/download.ini", std::ios::binary);
        ini << "[Transfer]\r\nLowSpeedTime=" << lowSpeedTime << "\r\nMinSplitSize=" << kMinSplit
            << "\r\nConnectionsPerFile=" << m_perFile << "\r\nConnections=" << m_jobs << "\r\n";
    }

    template <typename... Args>
    static std::string Text(const char* pattern, Args... args) {
        char text[512];
        std::snprintf(text, sizeof text, pattern, args...);
        return text;
    }

    std::vector<std::string> Arguments() const {
        if (m_tool == Tool::Session)
            return {"--all", "-j", std::to_string(m_jobs)};
        const File& f = m_server.files[0];
        const std::string url = m_http->Url(f.target);
        if (m_oneText)
            return {"-x", std::to_string(m_perFile), url + "," + f.path};
        return {"-x", std::to_string(m_perFile), url, f.path};
    }

    void Fail(const std::string& what, int& counter, const std::string& run) {
        m_failures.push_back(run + ": " + what + "\n  what the runs said:\n" +
                             m_said.substr(0, 4000));
        std::lock_guard<std::mutex> lock(m_totals.mutex);
        ++counter;
    }

    void Execute(const std::string& run, bool clean, bool recovery = false) {
        {
            std::lock_guard<std::mutex> lock(m_server.mutex);
            m_server.requests = m_server.rangeAnswers = m_server.wholeAnswers = 0;
            m_server.killed = false;
            m_server.ranges.clear();
            for (File& f : m_server.files)
                f.heldThisRun = {f.current};
        }
        const auto began = Clock::now();
        const int bound = m_options.boundSec * (m_tool == Tool::Get ? 1 : 2);
        const tvxtest::ProcessResult result =
            m_tool == Tool::Service ? RunService(bound) : RunCommand(bound);
        const bool hung = Clock::now() - began >= std::chrono::seconds(bound);
        m_said += result.err + result.out;
        bool killed;
        std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
        {
            std::lock_guard<std::mutex> lock(m_server.mutex);
            m_server.victim = 0;
            killed = m_server.killed;
            ranges = m_server.ranges;
        }
        const int exitCode = result.exitCode;
        {
            std::lock_guard<std::mutex> lock(m_totals.mutex);
            const std::string said = result.err + result.out;
            for (std::size_t at = 0; (at = said.find(" verified (", at)) != std::string::npos; ++at)
                ++m_totals.verified;
            for (std::size_t at = 0; (at = said.find(" mismatch (", at)) != std::string::npos; ++at)
                ++m_totals.mismatches;
            ++m_totals.runs;
            m_totals.killed += killed;
            m_totals.exits0 += exitCode == 0;
        }
        if (hung)
            return Fail(Text("ran longer than %d s", bound), m_totals.hangs, run);
        if (!killed && result.signal != 0)
            return Fail(Text("ended by signal %d", result.signal), m_totals.lies, run);
        if (!killed && exitCode != 0 && exitCode != 1)
            return Fail(Text("exit status %d", exitCode), m_totals.lies, run);
        for (const File& f : m_server.files) {
            bool exists = false;
            const std::string bytes = ReadAll(f.native, &exists);
            bool marked = false;
            struct stat st {};
            if (::stat(ControlPath(f.native).c_str(), &st) == 0)
                marked = st.st_size > 0;
            const bool controlLeft = ::lstat(ControlPath(f.native).c_str(), &st) == 0;
            auto versionOf = [&](const std::vector<std::size_t>& among) {
                for (std::size_t i : among)
                    if (f.versions[i].body == bytes)
                        return static_cast<int>(i);
                return -1;
            };
            std::vector<std::size_t> ever(f.versions.size());
            for (std::size_t i = 0; i < ever.size(); ++i)
                ever[i] = i;
            const std::string name = f.target + " (" + f.path + ")";
            if (exists && !marked && versionOf(ever) < 0)
                Fail(Text("%s holds %zu bytes that are no version the server held, and no "
                          "control record marks it as partial",
                          name.c_str(), bytes.size()),
                     m_totals.lies, run);
            else if (exitCode == 0 && !killed &&
                     (controlLeft || !exists || versionOf(f.heldThisRun) < 0))
                Fail(Text("exit 0, but %s %s", name.c_str(),
                          controlLeft ? "still has its control file"
                          : !exists   ? "is missing"
                                      : "is not a version the server held during the run"),
                     m_totals.lies, run);
            else if (recovery && (exitCode != 0 || versionOf({f.current}) < 0 || controlLeft))
                Fail(Text("the server behaves, but the run exited %d, and %s %s", exitCode,
                          name.c_str(),
                          controlLeft                  ? "has a control file"
                          : versionOf({f.current}) < 0 ? "is not the current version"
                                                       : "is the current version"),
                     m_totals.unrecovered, run);
            if (!m_failures.empty())
                break;
        }
        if (clean && m_failures.empty() && exitCode == 0) {
            for (const auto& [first, last] : ranges) {
                if (last >= 0 && last - first + 1 < kMinSplit) {
                    Fail(Text("a server that behaves was asked for a sliver: bytes=%lld-%lld",
                              static_cast<long long>(first), static_cast<long long>(last)),
                         m_totals.slivers, run);
                    break;
                }
            }
        }
    }

    tvxtest::ProcessResult RunCommand(int bound) {
        const pid_t pid = tvxtest::StartProcess(
            m_tool == Tool::Get ? m_options.get : m_options.session, Arguments(), m_dir);
        {
            std::lock_guard<std::mutex> lock(m_server.mutex);
            m_server.victim = m_server.killed ? 0 : pid;
        }
        return tvxtest::WaitProcess(pid, m_dir, bound * 1000);
    }

    // One call to the service with curl; null when it did not answer.
    nlohmann::json Call(const std::string& method, nlohmann::json params) const {
        params.insert(params.begin(), "token:chaos");
        const std::string body = nlohmann::json{
            {"jsonrpc", "2.0"},
            {"id", 1},
            {"method", method},
            {"params", params}}.dump();
        const std::string command = "curl -s -m 5 -d '" + body +
                                    "' http://127.0.0.1:" + std::to_string(m_rpcPort) +
                                    "/jsonrpc 2>/dev/null";
        std::string answer;
        if (FILE* out = popen(command.c_str(), "r")) {
            char buffer[4096];
            for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
                answer.append(buffer, n);
            pclose(out);
        }
        const nlohmann::json parsed = nlohmann::json::parse(answer, nullptr, false);
        return parsed.is_object() ? parsed : nlohmann::json();
    }

    // A download's status; "" when the service did not answer, "unknown"
    // when it answered with an error (no such download).
    std::string StatusOf(const std::string& gid) const {
        const nlohmann::json answer = Call("aria2.tellStatus", {gid, {"status"}});
        if (answer.contains("error"))
            return "unknown";
        const nlohmann::json* result = answer.contains("result") ? &answer["result"] : nullptr;
        return result != nullptr && result->is_object() ? result->value("status", "") : "";
    }

    // The gid of the service's download to path under way or waiting; "" for none.
    std::string GidOf(const std::string& path) const {
        for (const auto& [method, params] :
             {std::pair<const char*, nlohmann::json>{"aria2.tellActive", nlohmann::json::array()},
              {"aria2.tellWaiting", {0, 1000}}}) {
            const nlohmann::json answer = Call(method, params);
            if (!answer.contains("result") || !answer["result"].is_array())
                continue;
            for (const nlohmann::json& item : answer["result"]) {
                const nlohmann::json files = item.value("files", nlohmann::json::array());
                if (!files.empty() && files[0].value("path", "") == path)
                    return item.value("gid", "");
            }
        }
        return "";
    }

    // A service run, as the comment at the top says; its "exit status" is 0
    // when every download reported complete and the service exited 0 on
    // SIGTERM, 1 otherwise.
    tvxtest::ProcessResult RunService(int bound) {
        if (m_rpcPort == 0)
            m_rpcPort = tvxtest::UnusedLoopbackPort();
        const pid_t pid =
            tvxtest::StartProcess(m_options.session,
                                  {"--enable-rpc", "--rpc-listen-port", std::to_string(m_rpcPort),
                                   "--rpc-secret", "chaos", "--dir", m_dir + "/dl"},
                                  m_dir, {{"HOME", m_dir}, {"XDG_STATE_HOME", std::nullopt}});
        {
            std::lock_guard<std::mutex> lock(m_server.mutex);
            m_server.victim = m_server.killed ? 0 : pid;
        }
        // Past the bound the run counts as hung; the service is stopped then.
        const auto end = Clock::now() + std::chrono::seconds(bound);
        // Running: not ended (looked at without reaping it, which WaitProcess does).
        const auto alive = [&] {
            siginfo_t info{};
            return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                   info.si_pid == 0 && Clock::now() < end;
        };
        while (alive() && Call("aria2.getVersion", nlohmann::json::array()).is_null())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // Every file without a download under way is added (again).
        for (std::size_t i = 0; i < m_server.files.size() && alive(); ++i) {
            if (i < m_gids.size()) {
                // A kill between removing a result and adding the file again
                // leaves a download the service rightly no longer knows.
                const std::string status = StatusOf(m_gids[i]);
                if (status != "complete" && status != "error" && status != "removed" &&
                    status != "unknown")
                    continue;
                if (status != "unknown")
                    Call("aria2.removeDownloadResult", {m_gids[i]});
            }
            const File& f = m_server.files[i];
            // A kill after the service saved an addUri but before it
            // answered leaves a download of the file under a gid not known
            // here: it is the one to wait for, not a second one.
            if (const std::string held = GidOf(f.native); !held.empty()) {
                m_gids.resize(std::max(m_gids.size(), i + 1));
                m_gids[i] = held;
                continue;
            }
            const nlohmann::json added =
                Call("aria2.addUri", {{m_http->Url(f.target)}, {{"out", f.path}}});
            const nlohmann::json gid =
                added.is_object() ? added.value("result", nlohmann::json()) : nlohmann::json();
            if (!gid.is_string())
                continue;  // killed meanwhile
            m_gids.resize(std::max(m_gids.size(), i + 1));
            m_gids[i] = gid.get<std::string>();
        }
        bool complete = false;
        std::string statuses;
        while (alive()) {
            int done = 0, ended = 0;
            statuses.clear();
            for (const std::string& gid : m_gids) {
                const std::string status = StatusOf(gid);
                done += status == "complete";
                ended += status == "complete" || status == "error" || status == "removed";
                statuses += " " + (status.empty() ? "?" : status);
            }
            if (ended == static_cast<int>(m_server.files.size())) {
                complete = done == ended;
                if (!complete) {
                    for (const std::string& gid : m_gids)
                        statuses +=
                            "\n" +
                            Call("aria2.tellStatus", {gid, {"status", "errorMessage"}}).dump();
                }
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ::kill(pid, SIGTERM);
        tvxtest::ProcessResult result = tvxtest::WaitProcess(pid, m_dir, 10000);
        result.err += "the downloads:" + statuses + "\n";
        if (result.exitCode == 0 && !complete)
            result.exitCode = 1;
        return result;
    }

    const Options& m_options;
    std::uint64_t m_seed;
    Rng m_rng;
    Totals& m_totals;
    ChaosServer m_server;
    std::unique_ptr<tvxtest::TestHttpServer> m_http;
    std::string m_dir, m_description;
    Tool m_tool = Tool::Get;
    int m_perFile = 1, m_jobs = 1;
    bool m_oneText = false;
    std::vector<std::string> m_failures;
    std::string m_said;  // what the runs wrote
    int m_rpcPort = 0;                // the service's, once it has run
    std::vector<std::string> m_gids;  // the service's download of each file
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    options.seed = static_cast<std::uint64_t>(std::time(nullptr)) * 1000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--keep") {
            options.keep = true;
        } else if (i + 1 < argc && (arg == "--get" || arg == "--session")) {
            char* absolute = realpath(argv[++i], nullptr);  // the runs start in other folders
            (arg == "--get" ? options.get : options.session) = absolute ? absolute : "";
            std::free(absolute);
        } else if (i + 1 < argc && (arg == "--scenarios" || arg == "--jobs" || arg == "--bound")) {
            const int n = std::max(1, std::atoi(argv[++i]));
            (arg == "--scenarios" ? options.scenarios
             : arg == "--jobs"    ? options.jobs
                                  : options.boundSec) = n;
        } else if (i + 1 < argc && arg == "--seed") {
            options.seed = std::strtoull(argv[++i], nullptr, 10);
        } else {
            options.get.clear();
            break;
        }
    }
    if (options.get.empty() || options.session.empty()) {
        std::fprintf(stderr,
                     "usage: tvx_chaos --get TVX_GET --session TVX_SESSION [--scenarios N] "
                     "[--seed S] [--jobs J] [--bound SECONDS] [--keep]\n");
        return 2;
    }
    char root[] = "/tmp/tvx-chaos-XXXXXX";
    if (mkdtemp(root) == nullptr)
        return 2;
    options.root = root;
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("chaos: seed %llu, %d scenarios, %d at once, in %s\n",
                static_cast<unsigned long long>(options.seed), options.scenarios, options.jobs,
                root);
    std::fflush(stdout);
    const auto began = Clock::now();
    Totals totals;
    std::atomic<int> next{0};
    std::vector<std::thread> workers;
    for (int j = 0; j < options.jobs; ++j) {
        workers.emplace_back([&] {
            for (int i; (i = next++) < options.scenarios;)
                Scenario(options, options.seed + static_cast<std::uint64_t>(i), totals).Run();
        });
    }
    for (std::thread& w : workers)
        w.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    for (const std::string& r : totals.reports)
        std::printf("FAILED %s\n", r.c_str());
    std::printf(
        "chaos: %d scenarios, %d runs (%d killed, %d exit 0): %d lies, %d hangs, %d runs "
        "that failed to recover, %d sliver requests; %.1f s\nfaults injected:",
        totals.scenarios, totals.runs, totals.killed, totals.exits0, totals.lies, totals.hangs,
        totals.unrecovered, totals.slivers, seconds);
    for (int i = 1; i < kFaultCount; ++i)
        std::printf(" %s %d", kFaultNames[i], totals.faults[i]);
    std::printf("\ndigests: %d files verified, %d mismatches\n", totals.verified,
                totals.mismatches);
    if (totals.reports.empty() && !options.keep)
        std::system(("rm -rf '" + options.root + "'").c_str());
    return totals.reports.empty() ? 0 : 1;
}
