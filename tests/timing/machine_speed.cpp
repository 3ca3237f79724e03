// Prints how many times as long as on the machine the suite's time limits
// were written for a fixed run of arithmetic takes here, on the wall clock:
// a slower core, a busy machine and a CPU quota all lengthen it, as they
// lengthen every test. Run once when the build is configured.

#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

// Steps of the loop below, and the seconds they took on the machine the
// limits were written for (one core of a 2-core x86-64 of 2026, otherwise idle).
const long steps = 40'000'000;
const double referenceSeconds = 0.10;

} // namespace

int main()
{
    const auto start = std::chrono::steady_clock::now();
    // One long dependency chain of multiplications and square roots, which
    // no compiler can shorten; the result is printed so none drops it.
    double x = 0.5;
    double sum = 0.0;
    for (long i = 0; i < steps; ++i) {
        x = 3.9 * x * (1.0 - x);
        sum += std::sqrt(x);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.2f %.0f\n", took.count() / referenceSeconds, sum);
    return 0;
}
