// What the browser hands to the transfer and to the download list: the
// browser's cookies and the page as Referer on every request, and the link
// proposed for the list.

#include <gtest/gtest.h>

#include "TestHttpServer.h"
#include "browser/LinkProposal.h"
#include "transfer/HttpRequest.h"

namespace {

using tvxtest::Reply;
using tvxtest::ResponseHead;
using tvxtest::SeenRequest;
using tvxtest::TestHttpServer;

TEST(BrowserHandoff, CookiesGoOnlyWhereTheyBelongAlsoAfterARedirection) {
    TestHttpServer server([](const SeenRequest& r) {
        if (r.target == "/go")
            return Reply().Send(ResponseHead(302, {{"Location", "/files/b.zip"}}));
        return Reply().Send(ResponseHead(200, {{"Content-Length", "2"}}) + "ok");
    });
    tvx::HttpSettings settings;
    settings.referer = "http://127.0.0.1/page.html";
    settings.cookies = {
        "127.0.0.1\tFALSE\t/files\tFALSE\t0\tsession\tabc",
        "127.0.0.1\tFALSE\t/\tFALSE\t4102444800\tlasting\tyes",
        "localhost\tFALSE\t/\tFALSE\t0\tforeign\tx",      // another host
        "127.0.0.1\tFALSE\t/\tFALSE\t1000\texpired\tx",   // expired in 1970
        ".example.com\tTRUE\t/\tFALSE\t0\telsewhere\tx",  // another domain
    };
    struct Case {
        const char* target;
        const char* cookie;  // the Cookie header of the last request
    } const cases[] = {
        {"/files/a.zip", "session=abc; lasting=yes"},
        {"/other/a.zip", "lasting=yes"},
        {"/go", "session=abc; lasting=yes"},  // /files/b.zip after the redirection
    };
    for (const Case& c : cases) {
        tvx::HttpRequest request(settings);
        ASSERT_TRUE(request.Send(server.Url(c.target))) << request.ErrorText();
        const SeenRequest last = server.Requests().back();
        // curl orders cookies by path length, the longest first.
        EXPECT_EQ(last.Header("Cookie"), c.cookie) << c.target;
        EXPECT_EQ(last.Header("Referer"), settings.referer) << c.target;
    }
    EXPECT_EQ(server.Requests().at(2).target, "/go");
    EXPECT_EQ(server.Requests().at(2).Header("Cookie"), "lasting=yes");

    // Without them nothing of the kind is sent.
    tvx::HttpRequest plain{tvx::HttpSettings{}};
    ASSERT_TRUE(plain.Send(server.Url("/files/a.zip")));
    EXPECT_FALSE(server.Requests().back().HasHeader("Cookie"));
    EXPECT_FALSE(server.Requests().back().HasHeader("Referer"));
}

TEST(BrowserHandoff, ProposedLinkForTheList) {
    struct Case {
        const char* disk;
        const char* address;
        const char* text;
        const char* path;      // nullptr: refused
        const char* listText;  // the text the link gets
    } const cases[] = {
        {"downloads", "http://h/pub/Tool-1.0.zip?x=1#top", " Tool\n1.0 ", "Tool-1.0.zip",
         "Tool 1.0"},
        {"c:\\dl", "https://h/get/a.exe", "", "c:\\dl\\a.exe", "a.exe"},
        {"/srv/mirror", "http://h/", "\t", "/srv/mirror\\h", "h"},
        {"", "HTTP://H:8080/dir/..", "x", "H_8080", "x"},
        {"dl", "http://h/c:evil", "y", "c_evil", "y"},
        {"dl", "ftp://h/a.zip", "a", nullptr, nullptr},
        {"dl", "javascript:alert(1)", "a", nullptr, nullptr},
        {"dl", "", "a", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        tvx::LinkRecord header{};
        header.kind = tvx::LinkRecord::kHeader;
        header.SetPath(c.disk);
        tvx::LinkRecord record{};
        record.SetText("untouched");
        const bool ok = tvx::ProposeLink(header, c.address, c.text, record);
        ASSERT_EQ(ok, c.path != nullptr) << c.address;
        if (!ok) {
            EXPECT_EQ(record.Text(), "untouched");
            continue;
        }
        EXPECT_TRUE(record.IsLink());
        EXPECT_EQ(record.picture, tvx::kProposedLinkPicture);
        EXPECT_EQ(record.Address(), c.address);
        EXPECT_EQ(record.Path(), c.path) << c.address;
        EXPECT_EQ(record.Text(), c.listText) << c.address;
    }
    // An address the editor cannot hold whole is refused; a long text is cut
    // between characters.
    tvx::LinkRecord header{}, record{};
    EXPECT_FALSE(tvx::ProposeLink(header, "http://h/" + std::string(2039, 'a'), "", record));
    ASSERT_TRUE(tvx::ProposeLink(header, "http://h/" + std::string(2038, 'a'),
                                 std::string(2046, 'x') + "\xC3\xA4", record));
    EXPECT_EQ(record.Address().size(), 2047u);
    EXPECT_EQ(record.Text(), std::string(2046, 'x'));
}

}  // namespace
