#pragma once

// Frame-time figures from the deltas of a program's status stream.
//
// The deltas come in frame order, so their running sum is the time since
// the program was loaded at which each frame's tick happened.
// That lets a run be cut to a window of time (after a resize, before the
// window was closed) without any other timing from inside the program.

#include <cstddef>
#include <vector>

namespace frametimes {

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
