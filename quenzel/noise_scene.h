#pragma once

#include <SDL.h>

// libnoise; cmake/FindLibNoise.cmake finds its directory on either layout.
#include <noise.h>

// The noise flag: every pixel of the window (width x height from globals.h)
// takes its brightness from 3D Perlin noise and is tinted yellow inside an
// off-centre cross and blue elsewhere.

// Point at distance `radius` from (100, 100) along direction `angle` (degrees).
double calculateXPosition(double radius, double angle);
double calculateYPosition(double radius, double angle);

// Clears to black, draws one point per pixel and presents. The module comes
// by value: the caller's generator is never touched.
void renderNoiseScene(noise::module::Perlin perlin, SDL_Renderer* renderer, double angle);
