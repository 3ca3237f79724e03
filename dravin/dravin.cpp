// dravin: a light-green figure (an inset rectangle and two diagonals) drawn at
// fixed fractions of the window, so it follows every resize.

#include <SDL.h>

#include <cstdio>

#include "frame_clock.h"
#include "sdl_setup.h"

int windowWidth = 1000;
int windowHeight = 500;
SDL_Window* sdlWindow = nullptr;
SDL_Renderer* sdlRenderer = nullptr;

namespace {

// One line of the figure, as fractions of the window's width (x) and height (y).
struct FigureLine {
    double x1, y1, x2, y2;
};

// Drawing order: the two diagonals, then the rectangle clockwise from the top side.
const FigureLine figureLines[] = {
    {0.2, 0.2, 0.8, 0.8},  // diagonal, top-left to bottom-right
    {0.8, 0.2, 0.2, 0.8},  // diagonal, top-right to bottom-left
    {0.1, 0.1, 0.9, 0.1},  // top side
    {0.9, 0.1, 0.9, 0.9},  // right side
    {0.9, 0.9, 0.1, 0.9},  // bottom side
    {0.1, 0.9, 0.1, 0.1},  // left side
};

// Scales a fraction to pixels, truncating toward zero as SDL needs ints.
int toPixels(double fraction, int size)
{
    return static_cast<int>(fraction * size);
}

}  // namespace

void init()
{
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        exitOnSetupFailure("SDL_Init");
    }
    exitIfNoDisplay();
    sdlWindow = SDL_CreateWindow("Dravin", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                 windowWidth, windowHeight, SDL_WINDOW_RESIZABLE);
    if (sdlWindow == nullptr) {
        exitOnSetupFailure("SDL_CreateWindow");
    }
    sdlRenderer = createRenderer(sdlWindow);
}

void render()
{
    SDL_SetRenderDrawColor(sdlRenderer, 0, 0, 0, 255);
    SDL_RenderClear(sdlRenderer);

    SDL_SetRenderDrawColor(sdlRenderer, 99, 255, 99, 255);
    for (const FigureLine& line : figureLines) {
        SDL_RenderDrawLine(sdlRenderer,
                           toPixels(line.x1, windowWidth), toPixels(line.y1, windowHeight),
                           toPixels(line.x2, windowWidth), toPixels(line.y2, windowHeight));
    }

    SDL_RenderPresent(sdlRenderer);
}

void run()
{
    bool quit = false;
    SDL_Event event;

    while (!quit) {
        // Tick first: the delta printed below is the previous frame's length.
        calcDeltaTime();

        // Drain every queued event; the quit flag is only read at the top of
        // the loop, so this frame still finishes. Keys are ignored.
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT) {
                quit = true;
            } else if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_RESIZED) {
                windowWidth = event.window.data1;
                windowHeight = event.window.data2;
            }
        }

        render();

        std::printf("\rdelta: %.9f", CLOCK_DELTA);
    }
}

int main(int argc, char** argv)
{
    // The name the failure line of a failed set-up starts with.
    setProgramName(argc > 0 ? argv[0] : nullptr);
    init();
    run();
    return 0;
}
