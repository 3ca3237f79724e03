// Test helper: prints the frame clock's state as it was at load time, then,
// for each argument, waits 100 ms, ticks the clock once and prints the state
// again. An argument other than "-" is first written to the file that
// CLOCK_FILE names, which libfaketime reads as the wall clock's offset, so a
// test can step the clock between two ticks.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame_clock.h"

namespace {

void printState()
{
    std::printf("%lld %lld %.17g\n", static_cast<long long>(CLOCK_OLD.count()),
                static_cast<long long>(CLOCK_NEW.count()), CLOCK_DELTA);
}

}  // namespace

int main(int argc, char** argv)
{
    printState();
    for (int i = 1; i < argc; ++i) {
        usleep(100 * 1000);  // keeps the ticks apart in time
        const char* clockFile = std::getenv("CLOCK_FILE");
        if (clockFile != nullptr && std::strcmp(argv[i], "-") != 0) {
            std::FILE* file = std::fopen(clockFile, "w");
            std::fprintf(file, "%s\n", argv[i]);
            std::fclose(file);
        }
        calcDeltaTime();
        printState();
    }
    return 0;
}
