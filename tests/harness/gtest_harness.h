#pragma once

// GoogleTest checks the end-to-end tests share: a status stream read as
// records, and a program's clean end.

#include <gtest/gtest.h>

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
