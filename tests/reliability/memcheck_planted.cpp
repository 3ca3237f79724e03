// Faults planted on purpose, for the memory-check verdict's own test: sets
// SDL up as the programs do and draws one frame, so the libraries leave
// their usual findings, then reads one element past the end of a heap array
// and drops the last pointer to a block made with new. Ends with status 0.

#include <SDL.h>

#include "sdl_setup.h"

namespace {

// volatile: the compiler must keep the read and the allocation.
volatile int sink = 0;
int* volatile lost = nullptr;

}  // namespace

int main(int, char**)
{
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

    volatile int* array = new int[4]{1, 2, 3, 4};
    const volatile int end = 4;
    sink = array[end];  // out of bounds
    delete[] array;

    lost = new int[8]{};
    lost = nullptr;  // leaked

    return 0;
}
