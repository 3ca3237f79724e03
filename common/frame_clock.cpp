#include "frame_clock.h"

std::chrono::nanoseconds CLOCK_OLD;
std::chrono::nanoseconds CLOCK_NEW;
double CLOCK_DELTA = 0.0;

std::chrono::nanoseconds getTime()
{
    // The wall clock, not a steady clock: deltas follow the system time,
    // steps included.
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch());
}

void calcDeltaTime()
{
    CLOCK_OLD = CLOCK_NEW;
    CLOCK_NEW = getTime();
    const std::chrono::nanoseconds elapsed = CLOCK_NEW - CLOCK_OLD;
    CLOCK_DELTA = 1e-9 * static_cast<double>(elapsed.count());
}

namespace {

// Takes the two start readings before main, so the first frame of a run is
// measured from program load. CLOCK_DELTA keeps its initial 0.0.
struct ClockStart {
    ClockStart()
    {
        CLOCK_OLD = getTime();
        CLOCK_NEW = getTime();
    }
};

const ClockStart clockStart;

}  // namespace
