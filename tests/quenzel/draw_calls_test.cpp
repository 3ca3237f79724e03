// The SDL calls the scene makes per pixel, seen through linker wrappers
// (-Wl,--wrap) that record them and pass them on. Clearing and presenting
// are covered by the picture tests: without them no pixel would match.

#include <gtest/gtest.h>

#include <SDL.h>

#include <vector>

#include "globals.h"
#include "noise_scene.h"

namespace {

// A colour change (isPoint false, alpha in x) or a point (isPoint true).
struct Recorded {
    bool isPoint;
    int x, y;
};

bool recording = false;
std::vector<Recorded> calls;

}  // namespace

extern "C" {
int __real_SDL_SetRenderDrawColor(SDL_Renderer*, Uint8, Uint8, Uint8, Uint8);
int __real_SDL_RenderDrawPoint(SDL_Renderer*, int, int);

int __wrap_SDL_SetRenderDrawColor(SDL_Renderer* renderer, Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    if (recording) {
        calls.push_back({false, a, 0});
    }
    return __real_SDL_SetRenderDrawColor(renderer, r, g, b, a);
}

int __wrap_SDL_RenderDrawPoint(SDL_Renderer* renderer, int x, int y)
{
    if (recording) {
        calls.push_back({true, x, y});
    }
    return __real_SDL_RenderDrawPoint(renderer, x, y);
}
}

namespace {

// After the colour for the clear: per pixel, in row-major order, one opaque
// colour and then one point. No batching, no skipped pixels.
TEST(NoiseScene, OneColourAndOnePointPerPixelRowByRow)
{
    struct Size {
        int w, h;
    };
    for (const Size size : {Size{37, 23}, Size{0, 5}, Size{5, 0}}) {
        SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 40, 30, 32, SDL_PIXELFORMAT_ARGB8888);
        ASSERT_NE(surface, nullptr) << SDL_GetError();
        SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(surface);
        ASSERT_NE(renderer, nullptr) << SDL_GetError();
        width = size.w;
        height = size.h;

        calls.clear();
        recording = true;
        renderNoiseScene(noise::module::Perlin(), renderer, 12.0);
        recording = false;
        SDL_DestroyRenderer(renderer);
        SDL_FreeSurface(surface);

        const int pixels = size.w * size.h;
        ASSERT_EQ(calls.size(), 1 + 2 * static_cast<std::size_t>(pixels)) << size.w << " x " << size.h;
        for (int i = 0; i < pixels; ++i) {
            const Recorded& colour = calls[static_cast<std::size_t>(1 + 2 * i)];
            const Recorded& point = calls[static_cast<std::size_t>(2 + 2 * i)];
            ASSERT_FALSE(colour.isPoint) << "pixel " << i;
            ASSERT_EQ(colour.x, 255) << "alpha of pixel " << i;
            ASSERT_TRUE(point.isPoint) << "pixel " << i;
            ASSERT_EQ(point.x, i % size.w) << "pixel " << i;
            ASSERT_EQ(point.y, i / size.w) << "pixel " << i;
        }
    }
}

}  // namespace
