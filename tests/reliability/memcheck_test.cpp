// Each program under valgrind's memcheck in the real X server: a few seconds
// of frames, a resize, then the window closed as a window manager does it.
// Memcheck must find no invalid access and nothing definitely lost (a leak
// counts as an error here), apart from the library findings listed, with
// their reasons, in sanitizers/valgrind.supp.

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "programs.h"

using namespace reliability;

namespace {

// Memcheck's exit status when it found an error that is not suppressed.
const int memcheckFailed = 97;

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Memcheck : public testing::TestWithParam<Subject> {};

TEST_P(Memcheck, NoInvalidAccessOrLeakThroughARunAndAClose)
{
    const Subject& s = GetParam();
    const ScratchDir scratch;
    const std::string& logDir = scratch.path;

    LaunchOptions options;
    options.wrapper = {"stdbuf", "-o0", "valgrind", "--tool=memcheck", "--leak-check=full",
                       "--show-leak-kinds=definite", "--errors-for-leak-kinds=definite",
                       "--error-exitcode=" + std::to_string(memcheckFailed),
                       // Names the frames of libraries unloaded before exit, so suppressions can match them.
                       "--keep-debuginfo=yes", "--num-callers=40", "--gen-suppressions=all",
                       "--suppressions=" VALGRIND_SUPPRESSIONS, "--log-file=" + logDir + "/%p.log"};
    Program p(s.path, options);
    // Start-up alone takes many seconds under memcheck.
    ASSERT_TRUE(p.waitForWindow(s.caption, 180s));
    // quenzel draws every pixel through the noise; small, its frames come quickly.
    if (s.kind == Kind::Quenzel) {
        p.resize(64, 40);
    } else {
        p.resize(400, 300);
    }
    // A few seconds of frames; mobrix moves its block meanwhile.
    if (s.kind == Kind::Mobrix) {
        p.keyDown(XK_d);
    }
    EXPECT_TRUE(waitForRecords(p, s.kind == Kind::Quenzel ? 30 : 100, 120s)) << "frames under memcheck";
    if (s.kind == Kind::Mobrix) {
        p.keyUp(XK_d);
    }
    p.closeWindow();
    const auto status = p.waitExit(120s);

    const std::string log = readFile(logDir + "/" + std::to_string(p.pid()) + ".log");
    ASSERT_TRUE(status.has_value()) << "still running after the window was closed";
    EXPECT_EQ(*status, 0) << toString(*status) << (status->code == memcheckFailed ? ": memcheck found errors" : "")
                          << "\n" << log;
    EXPECT_NE(log.find("ERROR SUMMARY: 0 errors from 0 contexts"), std::string::npos) << log;
    std::cout << "[ memcheck ] " << s.name << ": " << parseRecords(s, p.stdoutText(), true).size() << " frames\n";
}

INSTANTIATE_TEST_SUITE_P(Programs, Memcheck, testing::Values(dravin, mobrix, quenzel), subjectName);

}  // namespace
