// The command lines: --help and --version answered alike by the three
// programs, and which argument of the desktop program is its document.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "Process.h"
#include "Sandbox.h"
#include "app/CommandLine.h"
#include "app/Version.h"
#include "browser/HandOff.h"

namespace {

TEST(CommandLine, OptionsAreNeverTheDocument) {
    struct Case {
        std::vector<std::string> arguments;
        std::optional<std::string> document;
    };
    const Case cases[] = {
        {{}, std::nullopt},
        {{"list.txt"}, "list.txt"},
        {{"--disable-gpu"}, std::nullopt},
        {{"--disable-gpu", "-reverse", "list.txt"}, "list.txt"},
        {{"list.txt", "--disable-gpu", "other.txt"}, "list.txt"},
        {{"-"}, std::nullopt},
        {{"--", "-odd name"}, "-odd name"},
        {{"--disable-gpu", "--", "--"}, "--"},
        {{"--webEngineArgs", "--remote-debugging-port=9222", "value"}, std::nullopt},
        {{"doc", "--webEngineArgs", "--x"}, "doc"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.arguments)
            shown += "[" + a + "]";
        EXPECT_EQ(tvx::DocumentArgument(c.arguments), c.document) << shown;
    }
}

TEST(CommandLine, PlatformAndDisplayOptionsStandForADisplay) {
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{}, false},
        {{"--disable-gpu", "list.txt"}, false},
        {{"-platform", "offscreen"}, true},
        {{"--platform", "xcb"}, true},
        {{"list.txt", "-display", ":1"}, true},
        {{"-platform"}, false},
        {{"--", "-platform", "offscreen"}, false},
        {{"--webEngineArgs", "-display", ":1"}, false},
    };
    for (const auto& [arguments, chooses] : cases)
        EXPECT_EQ(tvx::ChoosesDisplay(arguments), chooses) << ::testing::PrintToString(arguments);
}

class StandardOptions : public tvxtest::Sandbox {};

// Every program answers --help and --version on standard output with exit
// status 0, in one style, before anything else: tvx needs no display for it.
TEST_F(StandardOptions, HelpAndVersionInOneStyle) {
    std::vector<std::pair<std::string, std::string>> programs = {{"tvx-get", TVX_GET_PATH},
                                                                 {"tvx-session", TVX_SESSION_PATH}};
#ifdef TVX_PATH
    programs.emplace_back("tvx", TVX_PATH);
#endif
    for (const auto& [name, path] : programs) {
        const tvxtest::ProcessResult version =
            tvxtest::RunProcess(path, {"--version"}, Dir(), 20000);
        EXPECT_EQ(version.exitCode, 0) << name << version.err;
        // tvx names its browser engine too, on a line of its own.
        EXPECT_EQ(version.out.substr(0, version.out.find('\n') + 1),
                  name + " (Tarvex Download Service) " + tvx::kVersion + "\n");
        EXPECT_EQ(version.out.find("Browser engine: Qt WebEngine ") != std::string::npos,
                  name == "tvx")
            << version.out;

        for (const char* help : {"--help", "-h"}) {
            const tvxtest::ProcessResult r =
                tvxtest::RunProcess(path, {"--paced", help, "x,y"}, Dir(), 20000);
            EXPECT_EQ(r.exitCode, 0) << name << " " << help << r.err;
            EXPECT_EQ(r.out.rfind("Usage: " + name + " [OPTIONS]", 0), 0u) << r.out;
            for (const char* part : {"--version ", "\nExit status:\n"})
                EXPECT_NE(r.out.find(part), std::string::npos) << name << " lacks " << part;
            EXPECT_NE(r.out.find("See " + name + "(1).\n"), std::string::npos) << r.out;
            EXPECT_EQ(r.err, "");
        }
    }
    EXPECT_FALSE(tvxtest::Exists(PathOf("download.tmp")));  // no session ran
    // After "--" nothing is an option any more (tvx would take it as its
    // document and open a window, so only the commands are run here).
    for (const char* path : {TVX_GET_PATH, TVX_SESSION_PATH}) {
        const tvxtest::ProcessResult ended = tvxtest::RunProcess(path, {"--", "--version"}, Dir());
        EXPECT_EQ(ended.out.find("(Tarvex Download Service)"), std::string::npos) << path;
    }
}

// One window per folder: a second tvx there hands its link to the running
// window, which judges it as any request from outside; the window's
// options are read before anything else.
TEST_F(StandardOptions, ASecondTvxHandsItsLinkToTheFoldersWindow) {
#ifndef TVX_PATH
    GTEST_SKIP() << "built without the window";
#else
    EXPECT_EQ(tvxtest::RunProcess(TVX_PATH, {"--text", "T"}, Dir()).exitCode, 2);
    EXPECT_EQ(tvxtest::RunProcess(TVX_PATH, {"--add", "http://h/a", "--referrer"}, Dir()).exitCode,
              2);
    ::mkdir(PathOf("run").c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", PathOf("run").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 1);
    char* real = ::realpath(Dir().c_str(), nullptr);
    const std::string socket = tvx::WindowSocketPath(real);
    std::free(real);
    const pid_t window = tvxtest::StartProcess(TVX_PATH, {}, Dir());
    for (int i = 0; i < 600 && !tvxtest::Exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(tvxtest::Exists(socket));
    const auto add = tvxtest::RunProcess(
        TVX_PATH, {"--add", "http://127.0.0.1:9/a.zip", "--text", "A file"}, Dir());
    EXPECT_EQ(add.exitCode, 0) << add.err;
    const auto shown = tvxtest::RunProcess(TVX_PATH, {}, Dir());
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    const auto refused = tvxtest::RunProcess(TVX_PATH, {"--download", "ftp://host/a.zip"}, Dir());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("refused: the address must be an http or https address"),
              std::string::npos)
        << refused.err;
    kill(window, SIGKILL);
    tvxtest::WaitProcess(window, Dir());
    ::unsetenv("XDG_RUNTIME_DIR");
#endif
}

}  // namespace
