#pragma once

#include <chrono>

// Wall-clock frame timer shared by all programs.
//
// Two readings are taken before main runs. Each calcDeltaTime() call shifts
// them forward by one reading and publishes the interval between the two
// latest readings, in seconds, in CLOCK_DELTA. The value is never smoothed or
// clamped: a wall-clock step shows up whole in the next delta.

extern std::chrono::nanoseconds CLOCK_OLD;  // the reading before the latest one
extern std::chrono::nanoseconds CLOCK_NEW;  // the latest reading
extern double CLOCK_DELTA;                  // CLOCK_NEW - CLOCK_OLD in seconds; 0.0 until the first tick

// Nanoseconds since the epoch of std::chrono::system_clock.
std::chrono::nanoseconds getTime();

// Advances the clock by one reading and updates CLOCK_DELTA.
void calcDeltaTime();
