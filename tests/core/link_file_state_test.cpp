// What the download list tells about a link's local file: the numbers, the
// state read from the file and its transfer control file, and the tooltip.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>

#include "Sandbox.h"
#include "downloadlist/LinkFileState.h"
#include "transfer/CTransfer.h"
#include "transfer/ControlFile.h"
#include "transfer/FileTime.h"

namespace {

std::string ControlBytes(std::int32_t length, std::int32_t received) {
    unsigned char bytes[tvx::kControlRecordSize];
    tvx::EncodeControlRecord({length, 202612081130.0, received}, bytes);
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

std::string Extended(std::int64_t length, std::int64_t received) {
    const std::vector<unsigned char> bytes = tvx::EncodeControlFile(
        {length, 202612081130.0, received, "Tue, 08 Dec 2026 11:30:00 GMT", "", true, {}});
    return std::string(bytes.begin(), bytes.end());
}

TEST(FormatThousands, GroupsOfThreeDigits) {
    const struct {
        std::int64_t value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {999, "999"},
        {1000, "1,000"},
        {534528, "534,528"},
        {2500000, "2,500,000"},
        {-1234, "-1,234"},
        {std::numeric_limits<std::int64_t>::min(), "-9,223,372,036,854,775,808"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tvx::FormatThousands(c.value), c.text) << c.value;
}

class LinkFileStateTest : public tvxtest::Sandbox {};

TEST_F(LinkFileStateTest, StateFromTheFileAndItsControlFile) {
    const struct {
        const char* name;
        std::optional<std::string> file;     // the local file, if any
        std::optional<std::string> control;  // CTL_<name> beside it, if any
        const char* state;
    } cases[] = {
        {"missing", std::nullopt, std::nullopt, "not on disk"},
        // A control file left behind without its file says nothing.
        {"stale control", std::nullopt, ControlBytes(2500000, 534528), "not on disk"},
        {"complete", std::string(1234567, 'x'), std::nullopt,
         "complete (1,234,567 bytes, 2026-12-08 11:30)"},
        {"incomplete", std::string(534528, 'x'), ControlBytes(2500000, 534528),
         "incomplete (534,528 of 2,500,000 bytes)"},
        // The record with the version it came from, and one of a file above
        // 4 GiB whose counts only the extension holds.
        {"extended record", std::string(10, 'x'), Extended(2500000, 10),
         "incomplete (10 of 2,500,000 bytes)"},
        {"large record", std::string(10, 'x'), Extended(5LL << 30, 3LL << 30),
         "incomplete (3,221,225,472 of 5,368,709,120 bytes)"},
        {"damaged extension", std::string(10, 'x'), ControlBytes(2500000, 10) + "more",
         "incomplete (transfer record unreadable)"},
        {"short record", std::string(10, 'x'), std::string(15, '\0'),
         "incomplete (transfer record unreadable)"},
        {"more received than long", std::string(10, 'x'), ControlBytes(5, 10),
         "incomplete (transfer record unreadable)"},
        {"negative count", std::string(10, 'x'), ControlBytes(100, -1),
         "incomplete (transfer record unreadable)"},
    };
    for (const auto& c : cases) {
        const std::string path = PathOf(std::string(c.name) + ".zip");
        if (c.file) {
            tvxtest::WriteFile(path, *c.file);
            ASSERT_TRUE(tvx::StampFileTime(path, tvx::MakeDateNumber(2026, 12, 8, 11, 30)));
        }
        if (c.control)
            tvxtest::WriteFile(tvx::ControlFilePath(path), *c.control);
        EXPECT_EQ(tvx::LocalFileStateText(path), c.state) << c.name;
    }
    // A folder where the file should be is no file on disk.
    EXPECT_EQ(tvx::LocalFileStateText(Dir()), "not on disk");
}

TEST_F(LinkFileStateTest, ToolTipNamesAddressNativePathAndState) {
    tvx::LinkRecord header{};
    header.kind = tvx::LinkRecord::kHeader;
    header.SetAddress("http://127.0.0.1:8080/");
    header.SetPath("d:\\elsewhere");
    tvx::LinkRecord relative{};
    relative.kind = tvx::LinkRecord::kLink;
    relative.SetAddress("archives/tools-1.0.zip");
    relative.SetPath("programs\\tools-1.0.zip");
    tvx::LinkRecord absolute = relative;
    absolute.SetAddress("https://example.org/a%20b/setup.exe");
    absolute.SetPath("c:\\dl\\setup.exe");

    EXPECT_EQ(tvx::LinkToolTipText(header, relative),
              "http://127.0.0.1:8080/archives/tools-1.0.zip\n" + Dir() +
                  "/programs/tools-1.0.zip\nnot on disk");
    EXPECT_EQ(tvx::LinkToolTipText(header, absolute),
              "https://example.org/a%20b/setup.exe\n/dl/setup.exe\nnot on disk");
}

}  // namespace
