#pragma once

// What the end-to-end tests share beyond the harness: a status stream read
// as records, a program's clean end, the programs and the sessions as test
// parameters, following the frames of an unbuffered run, and scratch space.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "programs.h"
#include "x11_harness.h"

namespace harness {

// A subject prints as its name in test parameters.
inline std::ostream& operator<<(std::ostream& out, const Subject& s) { return out << s.name; }
inline std::string subjectName(const testing::TestParamInfo<Subject>& info) { return info.param.name; }

// A test body for each session it is instantiated for, under the session's name
// as the prefix that ctest's entries pick it by. Where the compositor cannot
// run under an emulator, its runs are skipped with the reason; elsewhere they fail.
class SessionTest : public testing::TestWithParam<Session> {
protected:
    void SetUp() override
    {
        const std::string problem = compositorProblem(GetParam());
        if (!problem.empty() && TESTS_EMULATED) {
            GTEST_SKIP() << toString(GetParam()) << " left out under emulation: " << problem;
        }
        ASSERT_EQ(problem, "");
    }
    LaunchOptions on(LaunchOptions options = {}) const  // in this test's session
    {
        options.session = GetParam();
        return options;
    }
    bool onX11() const { return GetParam() == Session::X11; }
};
inline std::ostream& operator<<(std::ostream& out, Session s) { return out << toString(s); }

// Records written so far, the one being written included.
inline std::size_t recordsWritten(const Program& p)
{
    const std::string out = p.stdoutText();
    return static_cast<std::size_t>(std::count(out.begin(), out.end(), '\r'));
}

// Waits until `count` more records have been written (the program's stdout
// must be unbuffered), so at least count - 1 whole frames have started since
// the call. False if the program ended or the time ran out.
inline bool waitForRecords(Program& p, std::size_t count, Millis timeout = 30s)
{
    const std::size_t start = recordsWritten(p);
    return waitUntil([&] { return !p.running() || recordsWritten(p) >= start + count; }, timeout) && p.running();
}

// A private temporary directory, removed with everything in it when the test ends.
struct ScratchDir {
    std::string path = testing::TempDir() + "scratch-XXXXXX";
    ScratchDir() { EXPECT_NE(mkdtemp(path.data()), nullptr) << path; }
    ~ScratchDir() { std::filesystem::remove_all(path); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
};

// The records of a status stream; a malformed stream fails the test.
inline std::vector<Record> expectRecords(const Subject& s, const std::string& out, Stream stream = Stream::Finished)
{
    StatusStream parsed = parseStatus(s, out, stream);
    EXPECT_EQ(parsed.fault, "") << s.name << "'s status stream";
    return std::move(parsed.records);
}

// Waits up to `timeout` for the program to end after `cause`: it must end
// with status 0 and nothing on stderr. Returns its status records.
inline std::vector<Record> expectCleanEnd(Program& p, const Subject& s, const std::string& cause,
                                          Millis timeout = 10s)
{
    const std::optional<ExitStatus> status = p.waitExit(timeout);
    if (!status) {
        ADD_FAILURE() << s.name << " still running " << timeout.count() << " ms after " << cause;
        return {};
    }
    EXPECT_EQ(*status, 0) << toString(*status) << " after " << cause;
    EXPECT_EQ(p.stderrText(), "");
    return expectRecords(s, p.stdoutText());
}

}  // namespace harness
