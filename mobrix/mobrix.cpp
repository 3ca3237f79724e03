// mobrix: a white block on black. W, A, S and D move it, 1 to 4 resize it,
// and no key can take it out of the window. Q, Escape or closing the window
// ends the program.

#include <SDL.h>

#include <cstdio>

#include "block.h"
#include "frame_clock.h"
#include "globals.h"
#include "sdl_setup.h"

int windowWidth = 1000;
int windowHeight = 500;
double speed = 100.0;
SDL_Window* sdlWindow = nullptr;
SDL_Renderer* sdlRenderer = nullptr;

namespace {

// Drains the event queue. Quitting only raises the flag, which the frame
// loop reads at its top, so the current frame still finishes.
void handleEvents(bool& quit)
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) {
            quit = true;
        } else if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_RESIZED) {
            windowWidth = event.window.data1;
            windowHeight = event.window.data2;
        } else if (event.type == SDL_KEYDOWN && (event.key.keysym.scancode == SDL_SCANCODE_Q ||
                                                 event.key.keysym.scancode == SDL_SCANCODE_ESCAPE)) {
            quit = true;
        }
    }
}

// Applies every held key once, in a fixed order, each to the block as the
// previous one left it. Scancodes, so the keys sit in the same place on any
// layout.
void applyKeys(Block& block, double step)
{
    const Uint8* keys = SDL_GetKeyboardState(nullptr);
    if (keys[SDL_SCANCODE_W]) block.translateY(-step);   // up
    if (keys[SDL_SCANCODE_S]) block.translateY(step);    // down
    if (keys[SDL_SCANCODE_A]) block.translateX(-step);   // left
    if (keys[SDL_SCANCODE_D]) block.translateX(step);    // right
    if (keys[SDL_SCANCODE_1]) block.scaleWidth(step);    // wider
    if (keys[SDL_SCANCODE_2]) block.scaleWidth(-step);   // narrower
    if (keys[SDL_SCANCODE_3]) block.scaleHeight(step);   // taller
    if (keys[SDL_SCANCODE_4]) block.scaleHeight(-step);  // shorter
}

}  // namespace

void init()
{
    // Only the timer is asked for here; creating the window starts video.
    if (SDL_Init(SDL_INIT_TIMER) != 0) {
        exitOnSetupFailure("SDL_Init");
    }
    sdlWindow = SDL_CreateWindow("Mobrix", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                 windowWidth, windowHeight, SDL_WINDOW_RESIZABLE);
    if (sdlWindow == nullptr) {
        exitOnSetupFailure("SDL_CreateWindow");
    }
    exitIfNoDisplay();  // video has started only now
    sdlRenderer = createRenderer(sdlWindow);
}

void render(Block* block)
{
    SDL_SetRenderDrawColor(sdlRenderer, 0, 0, 0, 255);
    SDL_RenderClear(sdlRenderer);
    block->render();
    SDL_RenderPresent(sdlRenderer);
}

void run()
{
    Block block(0, 0, 20, 20);
    bool quit = false;

    while (!quit) {
        // Tick first: this frame's steps use the previous frame's length.
        calcDeltaTime();
        handleEvents(quit);

        // Motion scales with measured time, so its pace does not depend on
        // the frame rate.
        applyKeys(block, speed * CLOCK_DELTA);

        render(&block);

        std::printf("\rdelta: %.9f   x: %f   y: %f   w: %f   h: %f", CLOCK_DELTA, block.getX(),
                    block.getY(), block.getWidth(), block.getHeight());
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
