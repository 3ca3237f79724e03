#pragma once

// Frame-time figures from a program's status stream.
//
// Every status record starts with "\rdelta: " followed by the frame's length
// in seconds. The records come in frame order, so their running sum is the
// time since the program was loaded at which each frame's tick happened.
// That lets a run be cut to a window of time (after a resize, before the
// window was closed) without any other timing from inside the program.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace frametimes {

// The deltas of all records, in order. nullopt if any record does not start
// with "delta: " and a number, or the stream does not start with '\r'.
std::optional<std::vector<double>> parseDeltas(const std::string& statusStream);

// The deltas of the frames that began at or after `from` and ended at or
// before `to`, both in seconds since load. A frame's end is the running sum
// of the deltas up to and including it; its beginning is that minus its delta.
std::vector<double> framesBetween(const std::vector<double>& deltas, double from, double to);

// The p-quantile (0 <= p <= 1) of `values`, interpolating linearly between
// the two nearest order statistics. `values` must not be empty.
double quantile(std::vector<double> values, double p);

struct Summary {
    std::size_t frames = 0;
    double p10 = 0.0;
    double median = 0.0;
    double p90 = 0.0;
};

// Count, 10th percentile, median and 90th percentile. All zero when empty.
Summary summarise(const std::vector<double>& deltas);

}  // namespace frametimes
