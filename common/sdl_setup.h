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

// Creates an accelerated renderer without vertical sync. Where none can be
// had (no GPU driver, or a video driver without OpenGL), falls back to SDL's
// software renderer, which draws the same picture on the CPU. Exits through
// exitOnSetupFailure() if neither can be created.
SDL_Renderer* createRenderer(SDL_Window* window);
