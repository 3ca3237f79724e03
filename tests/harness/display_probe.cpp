// Fills a window titled "display probe" with one known colour through the
// renderer the programs under test create (sdl_setup), until it is closed
// or ended. The harness reads the window back to learn whether the
// way from SDL to the X server keeps colours as they were drawn.

#include <SDL.h>

#include "display_probe.h"
#include "sdl_setup.h"

int main(int, char** argv)
{
    setProgramName(argv[0]);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        exitOnSetupFailure("SDL_Init");
    }
    SDL_Window* window = SDL_CreateWindow("display probe", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 64, 64, 0);
    if (window == nullptr) {
        exitOnSetupFailure("SDL_CreateWindow");
    }
    SDL_Renderer* renderer = createRenderer(window);
    for (bool running = true; running;) {
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) {
            running = running && event.type != SDL_QUIT;
        }
        SDL_SetRenderDrawColor(renderer, probeRed, probeGreen, probeBlue, 255);
        SDL_RenderClear(renderer);
        SDL_RenderPresent(renderer);
        SDL_Delay(10);
    }
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
