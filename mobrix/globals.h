#pragma once

#include <SDL.h>

// Program-wide state of mobrix, defined in mobrix.cpp. Block reads the window
// size and the renderer through these at every call.

extern int windowWidth;             // current window width in pixels; follows resizes
extern int windowHeight;            // current window height in pixels; follows resizes
extern double speed;                // pixels per second for moving and resizing
extern SDL_Window* sdlWindow;       // the window, set by init()
extern SDL_Renderer* sdlRenderer;   // its renderer, set by init()
