#pragma once

// Thin GoogleTest adapters over the harness's checks, which report faults as
// values.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "programs.h"

namespace harness {

// The records of a status stream; a malformed stream fails the test.
inline std::vector<Record> expectRecords(const Subject& s, const std::string& out, Stream stream = Stream::Finished)
{
    StatusStream parsed = parseStatus(s, out, stream);
    EXPECT_EQ(parsed.fault, "") << s.name << "'s status stream";
    return std::move(parsed.records);
}

}  // namespace harness
