#pragma once

// The three programs as the reliability tests see them: where they are, how
// their windows are called, and how their status records read.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "x11_harness.h"

namespace reliability {

using namespace harness;

enum class Kind { Dravin, Mobrix, Quenzel };

struct Subject {
    Kind kind;
    const char* name;     // also how its error messages start
    const char* path;
    const char* caption;
    const char* record;  // one status record; each group is a number, the first the delta
};

inline const Subject dravin{Kind::Dravin, "dravin", DRAVIN_PATH, "Dravin", R"(delta: (-?\d+\.\d{9}))"};
inline const Subject mobrix{Kind::Mobrix, "mobrix", MOBRIX_PATH, "Mobrix",
                            R"(delta: (-?\d+\.\d{9})   x: (\d+\.\d{6})   y: (\d+\.\d{6})   w: (\d+\.\d{6})   h: (\d+\.\d{6}))"};
inline const Subject quenzel{Kind::Quenzel, "quenzel", QUENZEL_PATH, "Quenzel",
                             R"(delta: (-?\d+\.\d{8}), \trotation: (-?\d+\.\d{8}))"};

inline std::ostream& operator<<(std::ostream& out, const Subject& s) { return out << s.name; }

inline std::string subjectName(const testing::TestParamInfo<Subject>& info) { return info.param.name; }

// Unbuffered stdout, so every frame's record reaches the file at once and a
// test can follow the frames as they pass.
inline const std::vector<std::string> unbuffered{"stdbuf", "-o0"};

// One status record: where it starts in stdout, and its numbers.
struct Record {
    std::size_t offset;
    std::vector<double> values;
    double delta() const { return values[0]; }
};

// Parses a status stream. Every record must match the subject's format; the
// stream starts with '\r' and has no newline, except that quenzel ends with
// one once it has quit. A live stream (the program still running) may end in
// a record being written, which is left out.
inline std::vector<Record> parseRecords(const Subject& s, std::string out, bool finished)
{
    std::vector<Record> records;
    if (out.empty()) {
        return records;
    }
    EXPECT_EQ(out.front(), '\r') << "the stream starts with a record";
    if (finished && s.kind == Kind::Quenzel) {
        EXPECT_EQ(out.back(), '\n') << "quenzel ends its status line when it quits";
        if (out.back() == '\n') {
            out.pop_back();
        }
    }
    if (!finished) {
        out.erase(out.rfind('\r'));
    }
    EXPECT_EQ(out.find('\n'), std::string::npos) << "a newline inside the status stream";
    const std::regex format(s.record);
    std::smatch m;
    std::size_t offset = 0;
    for (const std::string& text : statusRecords(out)) {
        if (!std::regex_match(text, m, format)) {
            ADD_FAILURE() << "record at byte " << offset << ": \"" << text << "\"";
            break;
        }
        Record r{offset, {}};
        for (std::size_t i = 1; i < m.size(); ++i) {
            r.values.push_back(std::stod(m[i]));
        }
        records.push_back(r);
        offset += text.size() + 1;
    }
    return records;
}

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
