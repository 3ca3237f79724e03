#pragma once

// What the reliability tests share beyond the harness: the programs as test
// parameters, unbuffered runs whose frames can be followed, scratch space.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "gtest_harness.h"
#include "programs.h"
#include "x11_harness.h"

namespace reliability {

using namespace harness;

inline std::string subjectName(const testing::TestParamInfo<Subject>& info) { return info.param.name; }

// Unbuffered stdout, so every frame's record reaches the file at once and a
// test can follow the frames as they pass.
inline const std::vector<std::string> unbuffered{"stdbuf", "-o0"};

// Records written so far, the one being written included.
inline std::size_t recordsWritten(const Program& p)
{
    const std::string out = p.stdoutText();
    return static_cast<std::size_t>(std::count(out.begin(), out.end(), '\r'));
}

// Waits until `count` more records have been written (the program's stdout
// must be unbuffered), so at least count - 1 whole frames have started since
// the call. False if the program ended or the time ran out.
inline bool waitForRecords(Program& p, std::size_t count, Millis timeout)
{
    const std::size_t start = recordsWritten(p);
    return waitUntil([&] { return !p.running() || recordsWritten(p) >= start + count; }, timeout) && p.running();
}

// A private temporary directory, removed with everything in it when the test ends.
struct ScratchDir {
    std::string path = testing::TempDir() + "reliability-XXXXXX";
    ScratchDir() { EXPECT_NE(mkdtemp(path.data()), nullptr) << path; }
    ~ScratchDir() { std::filesystem::remove_all(path); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
};

}  // namespace reliability
