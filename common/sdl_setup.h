#pragma once

#include <SDL.h>

// Start-up helpers shared by the programs.
//
// A program that went on with a null window or renderer would draw nothing
// while reporting success, so a failed set-up step ends the process instead:
// one line on standard error naming the step and SDL's reason, exit status 1,
// and no status line.

// Remembers the name the failure line starts with: the last part of
// `argv0` (the program's argv[0]), as the shell showed it to the user.
// Called first thing in main. With a null or empty argv0 there is no name.
void setProgramName(const char* argv0);

// Prints "<program>: <step> failed: <SDL_GetError()>" to stderr and exits
// with 1; without a program name, the line starts at "<step>".
[[noreturn]] void exitOnSetupFailure(const char* step);

// Call once video has started (after SDL_Init(SDL_INIT_VIDEO), or after the
// first window where video starts with it). Where no display can be reached
// (no DISPLAY or WAYLAND_DISPLAY, or an X server that is not running), SDL
// may fall back by itself to its offscreen driver: windows and renderers are
// created but nobody sees them, and the program would run on for ever. If the
// current video driver is one that shows nothing (offscreen or dummy) and
// the user did not ask for a driver (SDL_VIDEODRIVER or the video-driver hint
// unset), prints "<program>: no display: ..." with what to do to stderr and
// exits with 1. With a real display, or a driver named by the user, it does
// nothing.
void exitIfNoDisplay();

// Creates an accelerated renderer without vertical sync. Where none can be
// had (no GPU driver, or a video driver without OpenGL), falls back to SDL's
// software renderer, which draws the same picture on the CPU. Exits through
// exitOnSetupFailure() if neither can be created.
SDL_Renderer* createRenderer(SDL_Window* window);
