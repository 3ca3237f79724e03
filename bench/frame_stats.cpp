#include "frame_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace frametimes {

std::optional<std::vector<double>> parseDeltas(const std::string& statusStream)
{
    static const std::string prefix = "delta: ";
    if (statusStream.empty() || statusStream.front() != '\r') {
        return std::nullopt;
    }
    std::vector<double> deltas;
    std::size_t start = 1;
    while (start < statusStream.size()) {
        std::size_t end = statusStream.find('\r', start);
        if (end == std::string::npos) {
            end = statusStream.size();
        }
        const std::string record = statusStream.substr(start, end - start);
        if (record.compare(0, prefix.size(), prefix) != 0) {
            return std::nullopt;
        }
        const char* number = record.c_str() + prefix.size();
        char* rest = nullptr;
        const double delta = std::strtod(number, &rest);
        if (rest == number || !std::isfinite(delta)) {
            return std::nullopt;
        }
        deltas.push_back(delta);
        start = end + 1;
    }
    return deltas;
}

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
