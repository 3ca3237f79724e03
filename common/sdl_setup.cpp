#include "sdl_setup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Points into argv[0], which lives as long as the process.
const char* programName = "";

}  // namespace

void setProgramName(const char* argv0)
{
    if (argv0 == nullptr) {
        programName = "";
        return;
    }
    const char* slash = std::strrchr(argv0, '/');
    programName = slash != nullptr ? slash + 1 : argv0;
}

void exitOnSetupFailure(const char* step)
{
    // One write, so the line cannot be split by anything else on stderr.
    std::fprintf(stderr, "%s%s%s failed: %s\n", programName, *programName != '\0' ? ": " : "", step,
                 SDL_GetError());
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
