// Faults planted on purpose, for the memory-check verdict's own test: reads
// one element past the end of a heap array and drops the last pointers to
// blocks made with new, then sets SDL up as the programs do and draws one
// frame, so the libraries leave their usual findings. Ends with status 0.
//
// The faults come first so SDL's deep call chains overwrite any stale copy
// of the dropped pointers, and eight blocks are dropped, not one: a copy of
// a pointer left in some register or buffer makes memcheck count that block
// as reachable, and a single block was missed that way now and then.

#include <SDL.h>

#include "sdl_setup.h"

namespace {

// volatile: the compiler must keep the read and the allocation.
volatile int sink = 0;

__attribute__((noinline)) void readPastTheEnd()
{
    volatile int* array = new int[4]{1, 2, 3, 4};
    const volatile int end = 4;
    sink = array[end];
    delete[] array;
}

__attribute__((noinline)) void leakBlocks()
{
    for (int i = 0; i < 8; ++i) {
        int* volatile block = new int[8]{};
        static_cast<void>(block);
    }
}

// Overwrites the stack below main, so no stale copy of the dropped pointers
// is left there for the leak check to find.
__attribute__((noinline)) void scrubStack()
{
    volatile char junk[16384];
    for (volatile char& c : junk) {
        c = 0;
    }
}

}  // namespace

int main(int, char**)
{
    readPastTheEnd();
    leakBlocks();
    scrubStack();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        exitOnSetupFailure("SDL_Init");
    }
    SDL_Window* window = SDL_CreateWindow("Planted", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 64, 64, 0);
    if (window == nullptr) {
        exitOnSetupFailure("SDL_CreateWindow");
    }
    SDL_Renderer* renderer = createRenderer(window);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);

    return 0;
}
