// The order and number of SDL calls the scene makes, seen through linker
// wrappers (-Wl,--wrap) around the renderer functions. Every wrapper passes
// the call on, so the picture tests in the same binary draw as usual.

#include <gtest/gtest.h>

#include <SDL.h>

#include <vector>

#include "globals.h"
#include "noise_scene.h"

namespace {

enum class Call { SetColour, Clear, Point, Present };

struct Recorded {
    Call call;
    int x, y;                // Point
    Uint8 r, g, b, a;        // SetColour
};

bool recording = false;
std::vector<Recorded> calls;

}  // namespace

extern "C" {
int __real_SDL_SetRenderDrawColor(SDL_Renderer*, Uint8, Uint8, Uint8, Uint8);
int __real_SDL_RenderClear(SDL_Renderer*);
int __real_SDL_RenderDrawPoint(SDL_Renderer*, int, int);
void __real_SDL_RenderPresent(SDL_Renderer*);

int __wrap_SDL_SetRenderDrawColor(SDL_Renderer* renderer, Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    if (recording) {
        calls.push_back({Call::SetColour, 0, 0, r, g, b, a});
    }
    return __real_SDL_SetRenderDrawColor(renderer, r, g, b, a);
}
int __wrap_SDL_RenderClear(SDL_Renderer* renderer)
{
    if (recording) {
        calls.push_back({Call::Clear, 0, 0, 0, 0, 0, 0});
    }
    return __real_SDL_RenderClear(renderer);
}
int __wrap_SDL_RenderDrawPoint(SDL_Renderer* renderer, int x, int y)
{
    if (recording) {
        calls.push_back({Call::Point, x, y, 0, 0, 0, 0});
    }
    return __real_SDL_RenderDrawPoint(renderer, x, y);
}
void __wrap_SDL_RenderPresent(SDL_Renderer* renderer)
{
    if (recording) {
        calls.push_back({Call::Present, 0, 0, 0, 0, 0, 0});
    }
    __real_SDL_RenderPresent(renderer);
}
}

namespace {

// One frame: black clear, then per pixel in row-major order one opaque colour
// and one point, then one present. Nothing else reaches the renderer.
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

        const std::size_t pixels = static_cast<std::size_t>(size.w) * static_cast<std::size_t>(size.h);
        ASSERT_EQ(calls.size(), 3 + 2 * pixels) << size.w << " x " << size.h;
        EXPECT_EQ(calls[0].call, Call::SetColour);
        EXPECT_TRUE(calls[0].r == 0 && calls[0].g == 0 && calls[0].b == 0 && calls[0].a == 255);
        EXPECT_EQ(calls[1].call, Call::Clear);
        for (std::size_t i = 0; i < pixels; ++i) {
            const Recorded& colour = calls[2 + 2 * i];
            const Recorded& point = calls[3 + 2 * i];
            ASSERT_EQ(colour.call, Call::SetColour) << "pixel " << i;
            ASSERT_EQ(colour.a, 255) << "pixel " << i;
            ASSERT_EQ(point.call, Call::Point) << "pixel " << i;
            ASSERT_EQ(point.x, static_cast<int>(i) % size.w) << "pixel " << i;
            ASSERT_EQ(point.y, static_cast<int>(i) / size.w) << "pixel " << i;
        }
        EXPECT_EQ(calls.back().call, Call::Present);
    }
}

}  // namespace
