// Test helper: prints the frame clock's state as it was at load time, then
// ticks the clock once per line read from stdin and prints the state again,
// so a test can check the load-time readings in a fresh process and move the
// (faked) wall clock between ticks.

#include <cstdio>

#include "frame_clock.h"

namespace {

void printState()
{
    std::printf("%lld %lld %.17g\n", static_cast<long long>(CLOCK_OLD.count()),
                static_cast<long long>(CLOCK_NEW.count()), CLOCK_DELTA);
    std::fflush(stdout);
}

}  // namespace

int main()
{
    printState();
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        calcDeltaTime();
        printState();
    }
    return 0;
}
