#include "sdl_setup.h"

#include <cerrno>  // program_invocation_short_name
#include <cstdio>
#include <cstdlib>

void exitOnSetupFailure(const char* step)
{
    std::fprintf(stderr, "%s: %s failed: %s\n", program_invocation_short_name, step, SDL_GetError());
    std::exit(1);
}

SDL_Renderer* createRenderer(SDL_Window* window)
{
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
    if (renderer == nullptr) {
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (renderer == nullptr) {
        exitOnSetupFailure("SDL_CreateRenderer");
    }
    return renderer;
}
