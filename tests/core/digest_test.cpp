// Files proved by their publisher's digests, the attributes a finished file
// keeps, and checks that see a change by its ETag for the price of a 304.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <utime.h>

#include <cstdio>

#include "NginxServer.h"
#include "TestHttpServer.h"
#include "TransferHelpers.h"
#include "platform/Text.h"
#include "transfer/ChecksumFiles.h"
#include "transfer/Digest.h"

namespace {

using tvx::CTransfer;
using tvx::Digest;
using tvx::DigestAlgorithm;
using tvxtest::Pattern;
using tvxtest::ReadFile;
using tvxtest::WriteFile;

std::string Sha(DigestAlgorithm algorithm, const std::string& bytes) {
    tvx::Hasher h(algorithm);
    h.Update(bytes.data(), bytes.size());
    return h.Final();
}

std::string Base64(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string Attribute(const std::string& path, const char* name) {
    char value[4096];
    const ssize_t n = getxattr(path.c_str(), name, value, sizeof value);
    return n > 0 ? std::string(value, static_cast<std::size_t>(n)) : std::string();
}

// Every way a digest is written, and what is read from it.
TEST(DigestTexts, EverySourceIsReadAndAnythingElsePassedOver) {
    const std::string a = Sha(DigestAlgorithm::Sha256, "a");
    const std::string b = Sha(DigestAlgorithm::Sha512, "b");
    const std::string ha = tvx::HexText(a), hb = tvx::HexText(b);
    struct Case {
        const char* kind;  // field, legacy, option, sums
        std::string text;
        std::vector<std::string> found;  // "sha-256:" + hex
    };
    const std::vector<Case> cases = {
        {"field", "sha-256=:" + Base64(a) + ":", {"sha-256:" + ha}},
        {"field", "sha-512=:" + Base64(b) + ":, sha-256=:" + Base64(a) + ":;x=1",
         {"sha-512:" + hb, "sha-256:" + ha}},
        {"field", "md5=:AAAA:, sha-256=:" + Base64(b) + ":, sha-256=" + Base64(a), {}},
        {"field", "sha-256=:" + Base64(a).substr(4) + ":", {}},
        {"legacy", "MD5=AAAA, SHA-256=" + Base64(a), {"sha-256:" + ha}},
        {"option", "sha-256=" + ha, {"sha-256:" + ha}},
        {"option", "sha512=" + hb, {"sha-512:" + hb}},
        {"option", "sha-512=" + ha, {}},
        {"option", "sha-256=" + ha.substr(1) + "x", {}},
        {"sums", ha + "  f.bin\n" + hb + "  other.bin\n", {"sha-256:" + ha}},
        {"sums", hb + " *./f.bin\r\n", {"sha-512:" + hb}},
        {"sums", "SHA256 (f.bin) = " + ha + "\nSHA512 (f.bin) = " + hb + "\n",
         {"sha-256:" + ha, "sha-512:" + hb}},
        {"sums", "SHA512 (f.bin) = " + ha + "\n" + ha + "  sub/f.bin\n\\" + ha + "  f.bin\n", {}},
        {"sums", ha + "  f.bin.sig\n" + ha.substr(2) + "  f.bin\n", {}},
    };
    for (const Case& c : cases) {
        std::vector<Digest> got;
        const std::string kind = c.kind;
        if (kind == "field") {
            got = tvx::ParseDigestField(c.text, "Repr-Digest");
        } else if (kind == "legacy") {
            got = tvx::ParseInstanceDigest(c.text, "Digest");
        } else if (kind == "option") {
            Digest d;
            if (tvx::ParseChecksumOption(c.text, d))
                got.push_back(d);
        } else {
            got = tvx::DigestsListedFor(c.text, "f.bin", "SUMS");
        }
        std::vector<std::string> seen;
        for (const Digest& d : got)
            seen.push_back(std::string(tvx::DigestName(d.algorithm)) + ":" + tvx::HexText(d.bytes));
        EXPECT_EQ(seen, c.found) << kind << ": " << c.text;
    }
    std::string folder, name;
    ASSERT_TRUE(tvx::ChecksumFiles::SplitAddress("http://h:8/pub/a%20b.iso?x=/1", folder, name));
    EXPECT_EQ(folder, "http://h:8/pub/");
    EXPECT_EQ(name, "a b.iso");
    EXPECT_FALSE(tvx::ChecksumFiles::SplitAddress("http://h:8/pub/", folder, name));
}

// One file behind nginx in six folders, copies with one date (so that a
// record takes them for one version): /right/ and /wrong/ state a Repr-Digest
// of it and of other bytes, /cright/ and /cwrong/ the same as the
// Content-Digest of every answer (true only of whole answers), /sright/ and
// /swrong/ list them in a SHA256SUMS, /plain/ states nothing.
class Digests : public tvxtest::TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        if (!tvxtest::NginxServer::Available())
            GTEST_SKIP() << "nginx is not installed";
        settings.checksumFiles = true;
        body = Pattern(300000, 9);
        right = Sha(DigestAlgorithm::Sha256, body);
        wrong = Sha(DigestAlgorithm::Sha256, body + "x");
        ASSERT_EQ(mkdir(PathOf("www").c_str(), 0755), 0);
        std::string config;
        for (const std::string folder : {"right", "wrong", "cright", "cwrong", "sright", "swrong",
                                         "plain"}) {
            ASSERT_EQ(mkdir(PathOf("www/" + folder).c_str(), 0755), 0);
            const std::string file = PathOf("www/" + folder + "/f.bin");
            WriteFile(file, body);
            const utimbuf times{1700000000, 1700000000};
            ASSERT_EQ(utime(file.c_str(), &times), 0);
            const std::string& sum = folder.find("right") != std::string::npos ? right : wrong;
            if (folder[0] == 's')
                WriteFile(PathOf("www/" + folder + "/SHA256SUMS"), tvx::HexText(sum) + "  f.bin\n");
            else if (folder != "plain")
                config += "location /" + folder + "/ { add_header " +
                          (folder[0] == 'c' ? "Content-Digest" : "Repr-Digest") + " \"sha-256=:" +
                          Base64(sum) + ":\" always; }\n";
        }
        nginx = std::make_unique<tvxtest::NginxServer>(PathOf("www"), config);
        ASSERT_TRUE(nginx->Started()) << nginx->Error();
    }
    std::string body, right, wrong;
    std::unique_ptr<tvxtest::NginxServer> nginx;
};

TEST_F(Digests, EverySourceProvesTheFileWholeInSegmentsAndResumed) {
    enum class Shape { Whole, Segments, Resume };
    int n = 0;
    // The folder's prefix: Repr-Digest, Content-Digest, SHA256SUMS, the
    // user's digest ("p": /plain/ with the digest given).
    for (const std::string source : {"", "c", "s", "p"}) {
        for (const bool good : {true, false}) {
            for (const Shape shape : {Shape::Whole, Shape::Segments, Shape::Resume}) {
                // Parts of a segmented fetch are read whole only when the
                // first connection is slower than they are (the next test).
                if (source == "c" && shape == Shape::Segments)
                    continue;
                SCOPED_TRACE(source + (good ? " right" : " wrong") + " " + std::to_string(int(shape)));
                const std::string dest = "dl" + std::to_string(++n) + "/f.bin";
                const std::string url = nginx->Url(
                    source == "p" ? "/plain/f.bin" : "/" + source + (good ? "right" : "wrong") + "/f.bin");
                settings.minSplitSize = 4096;
                settings.connectionsPerFile = 1;
                if (shape == Shape::Resume)
                    BreakAfter(url, dest, 30);
                settings.connectionsPerFile = shape == Shape::Segments ? 4 : 1;
                ui = {};
                auto t = Make(tvx::ReportMode::SingleFile, false);
                if (source == "p")
                    t->SetExpectedDigests({{DigestAlgorithm::Sha256, good ? right : wrong, "--checksum"}});
                ASSERT_EQ(t->Open(url, dest), CTransfer::kOk);
                EXPECT_TRUE(shape != Shape::Segments || t->ConnectionCount() > 0);
                Drain(*t);
                tvx::ControlRecord record;
                const bool marked = ReadControl(PathOf("dl" + std::to_string(n) + "/CTL_f.bin"), record);
                std::string said;
                for (const std::string& text : ui.messages)
                    said += text + "\n";
                for (const std::string& text : ui.notices)
                    said += text + "\n";
                // nginx states the whole file's digest as the Content-Digest
                // of the rest a resume asks for: it does not hold.
                const bool restOfContent = source == "c" && shape == Shape::Resume;
                EXPECT_TRUE(restOfContent || ReadFile(PathOf(dest)) == body);  // every byte came
                if (good && !restOfContent) {
                    EXPECT_TRUE(t->Complete() && !marked) << said;
                    EXPECT_NE(said.find("sha-256 verified"), std::string::npos) << said;
                    continue;
                }
                EXPECT_TRUE(!t->Complete() && t->DigestFailed());
                EXPECT_NE(said.find(restOfContent ? "sha-256 mismatch (Content-Digest of "
                                                  : "expected " + tvx::HexText(wrong) + ", got " +
                                                        tvx::HexText(right)),
                          std::string::npos)
                    << said;
                // Marked to be fetched again from byte 0: a next run with a
                // digest that holds fetches it whole and proves it.
                ASSERT_TRUE(marked);
                EXPECT_EQ(record.received, 0u);
                auto again = Make(tvx::ReportMode::SingleFile, false);
                ASSERT_EQ(again->Open(nginx->Url("/right/f.bin"), dest), CTransfer::kOk);
                EXPECT_EQ(again->OnDisk(), 0);
                Drain(*again);
                EXPECT_TRUE(again->Complete());
            }
        }
    }
}

// Each part of a segmented fetch is held to its own Content-Digest once it
// is read whole; the whole answer trickles, so that the parts are.
TEST_F(Digests, APartThatFailsItsContentDigestEndsTheFetch) {
    const std::string date = "Sun, 06 Nov 1994 08:49:37 GMT";
    for (const bool good : {true, false}) {
        tvxtest::TestHttpServer server([&](const tvxtest::SeenRequest& req) {
            long long first = -1, last = -1;
            if (std::sscanf(req.Header("Range").c_str(), "bytes=%lld-%lld", &first, &last) != 2) {
                return tvxtest::Reply()
                    .Send(tvxtest::ResponseHead(
                        200, {{"Content-Length", std::to_string(body.size())},
                              {"Last-Modified", date},
                              {"Content-Digest", "sha-256=:" + Base64(right) + ":"}}))
                    .Trickle(body, 8192, 20);
            }
            const std::string part = body.substr(first, last - first + 1);
            const std::string sum = Sha(DigestAlgorithm::Sha256, good ? part : part + "x");
            return tvxtest::Reply().Send(
                tvxtest::ResponseHead(
                    206, {{"Content-Length", std::to_string(part.size())},
                          {"Content-Range", tvx::Format("bytes %lld-%lld/%zu", first, last,
                                                       body.size())},
                          {"Last-Modified", date},
                          {"Content-Digest", "sha-256=:" + Base64(sum) + ":"}}) +
                part);
        });
        settings.minSplitSize = 4096;
        settings.connectionsPerFile = 4;
        ui = {};
        const std::string dest = good ? "good.bin" : "bad.bin";
        auto t = Make(tvx::ReportMode::SingleFile, false);
        ASSERT_EQ(t->Open(server.Url("/f.bin"), dest), CTransfer::kOk);
        Drain(*t);
        EXPECT_TRUE(t->Complete() == good && t->DigestFailed() == !good);
        tvx::ControlRecord record;
        const bool marked = ReadControl(PathOf("CTL_" + dest), record);
        EXPECT_TRUE(good ? !marked : marked && record.received == 0);
        const std::string said = ui.messages.empty() ? "" : ui.messages[0];
        EXPECT_EQ(said.find("sha-256 mismatch (Content-Digest of " + server.Url("/f.bin") + ")") !=
                      std::string::npos,
                  !good)
            << said;
    }
}

TEST_F(Digests, AFinishedFileRemembersItsOriginAndAChangeOfETagIsAChange) {
    settings.referer = "http://example.test/page";
    auto t = Make(tvx::ReportMode::SingleFile, false);
    const std::string url = nginx->Url("/right/f.bin");
    ASSERT_EQ(t->Open(url, "f.bin"), CTransfer::kOk);
    Drain(*t);
    ASSERT_TRUE(t->Complete());
    t->StampDestination();
    const std::string file = PathOf("f.bin");
    if (Attribute(file, "user.xdg.origin.url").empty() && errno == ENOTSUP)
        GTEST_SKIP() << "the file system keeps no user attributes";
    EXPECT_EQ(Attribute(file, "user.xdg.origin.url"), url);
    EXPECT_EQ(Attribute(file, "user.xdg.referrer.url"), "http://example.test/page");
    EXPECT_EQ(Attribute(file, "user.tvx.sha-256"), tvx::HexText(right));
    EXPECT_EQ(Attribute(file, "user.tvx.last-modified"), "Tue, 14 Nov 2023 22:13:20 GMT");
    EXPECT_FALSE(Attribute(file, "user.tvx.etag").empty());

    // Unchanged: the check is conditional and costs a 304.
    ASSERT_EQ(t->Check(url, "f.bin"), CTransfer::kOk);
    EXPECT_EQ(t->StatusCode(), 304);
    EXPECT_TRUE(t->LocalCopyCurrent("f.bin"));

    // Replaced within the same minute by bytes of the same length: only the
    // ETag tells, and it does.
    const std::string served = PathOf("www/right/f.bin");
    WriteFile(served, Pattern(300000, 10));
    const utimbuf later{1700000007, 1700000007};
    ASSERT_EQ(utime(served.c_str(), &later), 0);
    ASSERT_EQ(t->Check(url, "f.bin"), CTransfer::kOk);
    EXPECT_EQ(t->StatusCode(), 200);
    EXPECT_EQ(t->ContentLength(), 300000);
    EXPECT_EQ(t->RemoteDate(), 202311142213.0);  // the same minute
    EXPECT_FALSE(t->LocalCopyCurrent("f.bin"));
    // Without a remembered ETag the old rule stands: same length, same minute.
    ASSERT_EQ(removexattr(file.c_str(), "user.tvx.etag"), 0);
    ASSERT_EQ(t->Check(url, "f.bin"), CTransfer::kOk);
    EXPECT_TRUE(t->LocalCopyCurrent("f.bin"));
}

}  // namespace
