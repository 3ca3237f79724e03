// The status parser every test reads the programs' output with:
// the three formats accepted with their numbers, and streams that are not
// status lines rejected.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "programs.h"

using namespace harness;

namespace {

struct StreamCase {
    const char* name;
    const Subject* subject;
    const char* text;
    Stream stream;
    bool wellFormed;
    std::vector<double> deltas;  // of the records read, whether or not the stream is well formed
};

std::ostream& operator<<(std::ostream& out, const StreamCase& c) { return out << c.name; }

const std::string mobrixRecord = "   x: 12.000000   y: 0.000000   w: 20.000000   h: 20.000000";

const StreamCase streamCases[] = {
    {"Dravin", &dravin, "\rdelta: 0.500000000\rdelta: 0.250000000", Stream::Finished, true, {0.5, 0.25}},
    {"DravinBackwards", &dravin, "\rdelta: -3600.000000000", Stream::Finished, true, {-3600.0}},
    {"Mobrix", &mobrix, "\rdelta: 0.001000000   x: 12.000000   y: 0.000000   w: 20.000000   h: 20.000000"
                       "\rdelta: 0.002000000   x: 12.200000   y: 0.000000   w: 20.000000   h: 20.000000",
     Stream::Finished, true, {0.001, 0.002}},
    {"QuenzelEndsWithNewline", &quenzel,
     "\rdelta: 0.12500000, \trotation: 0.00000000\rdelta: 0.06250000, \trotation: 0.62500000\n", Stream::Finished,
     true, {0.125, 0.0625}},
    {"LiveLeavesOutTheRecordBeingWritten", &dravin, "\rdelta: 0.500000000\rdelta: 0.2", Stream::Live, true, {0.5}},
    {"LiveQuenzelHasNoNewline", &quenzel, "\rdelta: 0.12500000, \trotation: 0.00000000\rdel", Stream::Live, true,
     {0.125}},
    {"Empty", &dravin, "", Stream::Finished, false, {}},
    {"NoLeadingCarriageReturn", &dravin, "delta: 0.500000000", Stream::Finished, false, {}},
    {"ForeignRecord", &dravin, "\rdelta: 0.500000000\rwarning: something", Stream::Finished, false, {0.5}},
    {"NotANumber", &dravin, "\rdelta: fast", Stream::Finished, false, {}},
    {"Nan", &dravin, "\rdelta: 0.500000000\rdelta: nan", Stream::Finished, false, {0.5}},
    {"EightDecimalsForDravin", &dravin, "\rdelta: 0.50000000", Stream::Finished, false, {}},
    {"NewlineInside", &dravin, "\rdelta: 0.500000000\n\rdelta: 0.250000000", Stream::Finished, false, {}},
    {"MobrixShortField", &mobrix, "\rdelta: 0.001000000   x: 12.0   y: 0.000000   w: 20.000000   h: 20.000000",
     Stream::Finished, false, {}},
    {"QuenzelQuitWithoutNewline", &quenzel, "\rdelta: 0.12500000, \trotation: 0.00000000", Stream::Finished, false,
     {}},
    {"QuenzelWithoutTab", &quenzel, "\rdelta: 0.12500000, rotation: 0.00000000\n", Stream::Finished, false, {}},
};

class StatusParse : public testing::TestWithParam<StreamCase> {};

TEST_P(StatusParse, AcceptsOnlyTheProgramsFormat)
{
    const StreamCase& c = GetParam();
    const StatusStream parsed = parseStatus(*c.subject, c.text, c.stream);
    EXPECT_EQ(parsed.fault.empty(), c.wellFormed) << parsed.fault;
    std::vector<double> deltas;
    for (const Record& r : parsed.records) {
        deltas.push_back(r.delta());
    }
    EXPECT_EQ(deltas, c.deltas);
}

INSTANTIATE_TEST_SUITE_P(Streams, StatusParse, testing::ValuesIn(streamCases),
                         [](const testing::TestParamInfo<StreamCase>& row) { return row.param.name; });

TEST(StatusParse, RecordsKnowWhereTheyStartAndEveryNumber)
{
    const std::string second = "\rdelta: 0.002000000   x: 12.200000   y: 0.000000   w: 21.500000   h: 20.000000";
    const std::string first = "\rdelta: 0.001000000" + mobrixRecord;
    const StatusStream parsed = parseStatus(mobrix, first + second, Stream::Finished);
    ASSERT_EQ(parsed.fault, "");
    ASSERT_EQ(parsed.records.size(), 2u);
    EXPECT_EQ(parsed.records[0].offset, 0u);
    EXPECT_EQ(parsed.records[1].offset, first.size());
    EXPECT_EQ(parsed.records[1].values, (std::vector<double>{0.002, 12.2, 0.0, 21.5, 20.0}));
}

}  // namespace
