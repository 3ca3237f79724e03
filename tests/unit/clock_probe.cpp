// Test helper: ticks the frame clock once per line read from stdin and prints
// the clock's state, so a test can move the (faked) wall clock between ticks.

#include <cstdio>

#include "frame_clock.h"

int main()
{
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        calcDeltaTime();
        std::printf("%lld %lld %.17g\n", static_cast<long long>(CLOCK_OLD.count()),
                    static_cast<long long>(CLOCK_NEW.count()), CLOCK_DELTA);
        std::fflush(stdout);
    }
    return 0;
}
