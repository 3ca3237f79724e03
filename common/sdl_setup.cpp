#include "sdl_setup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

namespace {

// Writes "<program>: <text>" (just <text> without a program name) to stderr
// in one write, so nothing else on stderr can split the line, and exits with 1.
[[noreturn]] void exitWithLine(const std::string& text)
{
    const std::string prefix = *programName != '\0' ? std::string(programName) + ": " : "";
    std::fprintf(stderr, "%s%s\n", prefix.c_str(), text.c_str());
    std::exit(1);
}

}  // namespace

void exitOnSetupFailure(const char* step)
{
    exitWithLine(std::string(step) + " failed: " + SDL_GetError());
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
        exitWithLine("no display: set DISPLAY or WAYLAND_DISPLAY (or SDL_VIDEODRIVER=dummy to run without one)");
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
