// Set-up without a usable display. Under SDL's dummy video driver no
// accelerated renderer exists, so a program must fall back to the software
// renderer and run as usual. Under a video driver that does not exist it must
// say which step failed in one line on stderr, print no status line and exit
// with status 1. dravin's own tests cover both, mobrix's the second.

#include <gtest/gtest.h>
#include <signal.h>

#include <regex>
#include <string>

#include "programs.h"

using namespace reliability;

namespace {

class DummyVideoDriver : public testing::TestWithParam<Subject> {};

TEST_P(DummyVideoDriver, RunsOnTheSoftwareRendererUntilTerminated)
{
    const Subject& s = GetParam();
    LaunchOptions options{{{"SDL_VIDEODRIVER", "dummy"}}, {"DISPLAY"}};
    options.wrapper = unbuffered;
    Program p(s.path, options);
    ASSERT_TRUE(waitForRecords(p, 3, 60s)) << p.stderrText();
    p.sendSignal(SIGTERM);
    const auto status = p.waitExit(30s);
    ASSERT_TRUE(status.has_value()) << "SIGTERM did not end it";
    EXPECT_EQ(*status, 0) << toString(*status);
    EXPECT_EQ(p.stderrText(), "");
    EXPECT_GE(parseRecords(s, p.stdoutText(), true).size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Programs, DummyVideoDriver, testing::Values(mobrix, quenzel), subjectName);

class MissingVideoDriver : public testing::TestWithParam<Subject> {};

TEST_P(MissingVideoDriver, FailsWithOneLineAndStatusOne)
{
    const Subject& s = GetParam();
    Program p(s.path, {{{"SDL_VIDEODRIVER", "doesnotexist"}}, {}});
    const auto status = p.waitExit(30s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 1) << toString(*status);
    EXPECT_EQ(p.stdoutText(), "");
    EXPECT_TRUE(std::regex_match(p.stderrText(), std::regex(std::string(s.name) + R"(: SDL_\w+ failed: [^\n]+\n)")))
        << p.stderrText();
}

INSTANTIATE_TEST_SUITE_P(Programs, MissingVideoDriver, testing::Values(quenzel), subjectName);

}  // namespace
