// Set-up without a usable display. Under SDL's dummy video driver no
// accelerated renderer exists, so a program must fall back to the software
// renderer and run as usual. Under a video driver that does not exist, or
// with no display to reach (none set, or an X server that is not running),
// it must say so in one line on stderr, print no status line and exit with
// status 1. Each case is asserted here alone, for all three programs.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <tuple>

#include "gtest_harness.h"

using namespace harness;

namespace {

class DummyVideoDriver : public testing::TestWithParam<Subject> {};

TEST_P(DummyVideoDriver, RunsOnTheSoftwareRendererUntilTerminated)
{
    const Subject& s = GetParam();
    LaunchOptions options{{{"SDL_VIDEODRIVER", "dummy"}}, {"DISPLAY"}};
    options.unbuffered = true;
    Program p(s.path, options);
    ASSERT_TRUE(waitForRecords(p, 3, 60s)) << p.stderrText();
    p.sendSignal(SIGTERM);
    EXPECT_GE(expectCleanEnd(p, s, "SIGTERM", 30s).size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Programs, DummyVideoDriver, testing::Values(dravin, mobrix, quenzel), subjectName);

// How a start finds no usable video driver.
enum class Start {
    UnknownDriver,  // SDL_VIDEODRIVER names a driver that does not exist
    NoDisplay,      // no DISPLAY, no WAYLAND_DISPLAY and no SDL_VIDEODRIVER
    DeadDisplay,    // DISPLAY names an X server that is not running
};

using FailedStart = std::tuple<Subject, Start>;

std::string failedStartName(const testing::TestParamInfo<FailedStart>& info)
{
    const char* start[] = {"UnknownDriver", "NoDisplay", "DeadDisplay"};
    return std::string(std::get<0>(info.param).name) + "_" + start[static_cast<int>(std::get<1>(info.param))];
}

// A DISPLAY no X server answers: a high display number with no socket, in
// the file system or in the abstract namespace.
std::string deadDisplay()
{
    std::ifstream unixSockets("/proc/net/unix");
    const std::string sockets{std::istreambuf_iterator<char>(unixSockets), {}};
    for (int n = 4711;; ++n) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        if (!std::filesystem::exists(socket) && sockets.find(socket + "\n") == std::string::npos) {
            return ":" + std::to_string(n);
        }
    }
}

class MissingVideoDriver : public testing::TestWithParam<FailedStart> {};

// A driver that does not exist fails the step that starts video: SDL_Init,
// or SDL_CreateWindow for mobrix, whose video starts with its window. With no
// display, SDL 2.26 falls back by itself to its offscreen driver, and the
// program's own check must end the start with its no-display line; newer SDL
// (sdl2-compat over SDL3) refuses to start video instead, which the program
// reports as that same failed step. All are one line and status 1. Anything
// else, above all a program still running after a few seconds, is the fault.
TEST_P(MissingVideoDriver, FailsWithOneLineAndStatusOne)
{
    const auto& [s, start] = GetParam();
    const std::string name = s.name;
    const std::string videoStartFailed =
        name + (s.kind == Kind::Mobrix ? ": SDL_CreateWindow" : ": SDL_Init") + R"( failed: [^\n]+\n)";
    const std::string noDisplay =
        name + R"(: no display: set DISPLAY or WAYLAND_DISPLAY \(or SDL_VIDEODRIVER=dummy to run without one\)\n)";

    // A runtime directory of the test's own (the harness would give one too),
    // so libwayland stays quiet and the test can see that nothing is left there.
    const ScratchDir runtimeDir;
    LaunchOptions options{{{"XDG_RUNTIME_DIR", runtimeDir.path}}, {"WAYLAND_DISPLAY"}};
    std::string expected;
    switch (start) {
    case Start::UnknownDriver:
        options.env["SDL_VIDEODRIVER"] = "doesnotexist";
        expected = videoStartFailed;
        break;
    case Start::NoDisplay:
        options.unset.insert(options.unset.end(), {"DISPLAY", "SDL_VIDEODRIVER"});
        expected = noDisplay + "|" + videoStartFailed;
        break;
    case Start::DeadDisplay:
        options.env["DISPLAY"] = deadDisplay();
        options.unset.push_back("SDL_VIDEODRIVER");
        expected = noDisplay + "|" + videoStartFailed;
        break;
    }

    Program p(s.path, options);
    const auto status = p.waitExit(5s);
    ASSERT_TRUE(status.has_value()) << "still running after 5 s; stderr: " << p.stderrText();
    EXPECT_EQ(*status, 1) << toString(*status);
    EXPECT_EQ(p.stdoutText(), "");
    EXPECT_TRUE(std::regex_match(p.stderrText(), std::regex(expected))) << p.stderrText();
    EXPECT_TRUE(std::filesystem::is_empty(runtimeDir.path)) << "left behind in " << runtimeDir.path;
}

INSTANTIATE_TEST_SUITE_P(Programs, MissingVideoDriver,
                         testing::Combine(testing::Values(dravin, mobrix, quenzel),
                                          testing::Values(Start::UnknownDriver, Start::NoDisplay, Start::DeadDisplay)),
                         failedStartName);

}  // namespace
