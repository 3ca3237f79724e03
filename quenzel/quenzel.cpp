// quenzel: a yellow cross on blue, textured with 3D Perlin noise whose
// sampling direction turns at 5 degrees per second of measured time.

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

#include "frame_clock.h"
#include "globals.h"
#include "noise_scene.h"
#include "sdl_setup.h"

int width = 500;
int height = 300;

namespace {

// Degrees the sampling direction turns per second.
const double rotationSpeed = 5.0;

}  // namespace

// Orderly shutdown: the SDL objects in reverse order of creation, then exit.
[[noreturn]] void stop(SDL_Renderer* renderer, SDL_Window* window)
{
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    SDL_Quit();
    std::exit(0);
}

int main(int argc, char** argv)
{
    // The name the failure line of a failed set-up starts with.
    setProgramName(argc > 0 ? argv[0] : nullptr);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        exitOnSetupFailure("SDL_Init");
    }
    exitIfNoDisplay();
    SDL_Window* window = SDL_CreateWindow("Quenzel", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                          width, height, SDL_WINDOW_RESIZABLE);
    if (window == nullptr) {
        exitOnSetupFailure("SDL_CreateWindow");
    }
    SDL_Renderer* renderer = createRenderer(window);

    // Seeded from the wall clock so every run shows another texture; the seed
    // is the low 32 bits of the nanosecond count.
    noise::module::Perlin perlin;
    perlin.SetSeed(static_cast<int>(getTime().count()));

    double angle = 0.0;
    bool quit = false;
    SDL_Event event;

    while (!quit) {
        // Drain every queued event; the quit flag is only read at the top of
        // the loop, so this frame still finishes.
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT) {
                quit = true;
            } else if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_RESIZED) {
                width = event.window.data1;
                height = event.window.data2;
            } else if (event.type == SDL_KEYDOWN && (event.key.keysym.scancode == SDL_SCANCODE_Q ||
                                                     event.key.keysym.scancode == SDL_SCANCODE_ESCAPE)) {
                quit = true;
            }
        }

        // Turn by the previous frame's duration; one wrap is enough at any
        // realistic frame time.
        angle = rotationSpeed * CLOCK_DELTA + angle;
        if (angle > 360.0) {
            angle = angle - 360.0;
        }

        renderNoiseScene(perlin, renderer, angle);

        // Tick after drawing: the delta printed is this frame's own duration.
        calcDeltaTime();

        std::printf("\rdelta: %8.8f, \trotation: %3.8f", CLOCK_DELTA, angle);
    }

    // End the status line so the shell prompt starts on a fresh line.
    std::putchar('\n');
    stop(renderer, window);
}
