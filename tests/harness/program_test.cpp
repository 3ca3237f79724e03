// The harness's Program when it cannot start the program: the test fails,
// and no other child of the test process is waited for in its place.

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "x11_harness.h"

namespace {

bool programRunning = true;

// No temporary directory can be made under a TMPDIR that does not exist.
void launchWithoutTemporaryDirectory()
{
    harness::Program program("/bin/true");
    programRunning = program.running();
}

TEST(Program, ThatCouldNotStartWaitsForNoOtherChild)
{
    harness::XServer::instance();
    // Another child of the test process that has ended, as the X server
    // might, and is still to be waited for.
    const pid_t other = fork();
    if (other == 0) {
        _exit(0);
    }
    ASSERT_GT(other, 0);
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(other), &info, WEXITED | WNOWAIT), 0);

    setenv("TMPDIR", "/nonexistent", 1);
    EXPECT_NONFATAL_FAILURE(launchWithoutTemporaryDirectory(), "mkdtemp failed");
    unsetenv("TMPDIR");

    EXPECT_FALSE(programRunning);
    EXPECT_EQ(waitpid(other, nullptr, WNOHANG), other) << "the other child was waited for by the Program";
}

}  // namespace
