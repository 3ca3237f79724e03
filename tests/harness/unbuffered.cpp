// Preloaded into a program under test (LD_PRELOAD) to make its standard
// output unbuffered, as `stdbuf -o0` does, so that every status record
// reaches the test as it is written. Built with the tests, it has the
// programs' architecture also where cross-built programs run under an
// emulator and stdbuf's own library is the machine's.
#include <cstdio>

__attribute__((constructor)) static void unbufferStandardOutput()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
}
