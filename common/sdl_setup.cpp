#include "sdl_setup.h"

#include <cerrno>  // program_invocation_short_name
#include <cstdio>
#include <cstdlib>
#include <cstring>

void exitOnSetupFailure(const char* step)
{
    std::fprintf(stderr, "%s: %s failed: %s\n", program_invocation_short_name, step, SDL_GetError());
    std::exit(1);
}

void exitIfNoDisplay()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr) {
        return;  // video has not started; the failing step reports itself
    }
    const bool invisible = std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
    // SDL reads SDL_VIDEODRIVER through this hint; an empty value names no driver.
    const char* requested = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    const bool userChose = requested != nullptr && requested[0] != '\0';
    if (invisible && !userChose) {
        std::fprintf(stderr,
                     "%s: no display: set DISPLAY or WAYLAND_DISPLAY (or SDL_VIDEODRIVER=dummy to run without one)\n",
                     program_invocation_short_name);
        std::exit(1);
    }
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
