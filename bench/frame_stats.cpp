#include "frame_stats.h"

#include <algorithm>
#include <cmath>

namespace frametimes {

std::vector<double> framesBetween(const std::vector<double>& deltas, double from, double to)
{
    std::vector<double> kept;
    double end = 0.0;
    for (double delta : deltas) {
        end += delta;
        if (end - delta >= from && end <= to) {
            kept.push_back(delta);
        }
    }
    return kept;
}

double quantile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const double position = p * static_cast<double>(values.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(position));
    const std::size_t above = std::min(below + 1, values.size() - 1);
    const double fraction = position - static_cast<double>(below);
    return values[below] + fraction * (values[above] - values[below]);
}

Summary summarise(const std::vector<double>& deltas)
{
    Summary summary;
    if (deltas.empty()) {
        return summary;
    }
    summary.frames = deltas.size();
    summary.p10 = quantile(deltas, 0.10);
    summary.median = quantile(deltas, 0.50);
    summary.p90 = quantile(deltas, 0.90);
    return summary;
}

}  // namespace frametimes
