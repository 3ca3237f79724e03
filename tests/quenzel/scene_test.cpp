// The noise-flag scene drawn through SDL's software renderer onto a surface,
// checked pixel by pixel against the computation in expected_flag.h.

#include <gtest/gtest.h>

#include <SDL.h>

#include <cmath>
#include <string>
#include <vector>

#include "expected_flag.h"
#include "globals.h"
#include "noise_scene.h"

// The scene reads the program's window-size globals; here the test sets them.
int width = 0;
int height = 0;

namespace {

const double literalPi = 3.14159265;

using expected::Colour;

// ---- Drawing onto a surface ----

// An ARGB8888 surface with a software renderer on it, pre-filled with magenta
// so the scene's own clear to black is visible.
struct Canvas {
    SDL_Surface* surface = nullptr;
    SDL_Renderer* renderer = nullptr;

    Canvas(int w, int h)
    {
        surface = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ARGB8888);
        if (surface != nullptr) {
            SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 255, 0, 255));
            renderer = SDL_CreateSoftwareRenderer(surface);
        }
    }
    ~Canvas()
    {
        SDL_DestroyRenderer(renderer);
        SDL_FreeSurface(surface);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    Colour at(int x, int y) const
    {
        const auto* line = static_cast<const Uint8*>(surface->pixels) + y * surface->pitch;
        const Uint32 pixel = reinterpret_cast<const Uint32*>(line)[x];
        return {static_cast<Uint8>(pixel >> 16), static_cast<Uint8>(pixel >> 8), static_cast<Uint8>(pixel)};
    }
};

std::string describe(const Colour& c)
{
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

noise::module::Perlin seededPerlin(int seed)
{
    noise::module::Perlin perlin;
    perlin.SetSeed(seed);
    return perlin;
}

// ---- Whole pictures ----

struct SceneCase {
    const char* name;
    int surfaceWidth, surfaceHeight;  // the canvas
    int sceneWidth, sceneHeight;      // the globals width and height
    double angle;
    int seed;
    bool clamps = false;  // the slice has noise values beyond -1..1
};

class SceneMatchesFormulas : public ::testing::TestWithParam<SceneCase> {};

TEST_P(SceneMatchesFormulas, PixelForPixel)
{
    const SceneCase& c = GetParam();
    Canvas canvas(c.surfaceWidth, c.surfaceHeight);
    ASSERT_NE(canvas.renderer, nullptr) << SDL_GetError();

    width = c.sceneWidth;
    height = c.sceneHeight;
    const noise::module::Perlin perlin = seededPerlin(c.seed);
    renderNoiseScene(perlin, canvas.renderer, c.angle);

    // Pixels the scene covers carry the flag; the rest shows only the clear.
    int mismatches = 0;
    int clampedPixels = 0;
    for (int y = 0; y < c.surfaceHeight && mismatches < 10; ++y) {
        for (int x = 0; x < c.surfaceWidth && mismatches < 10; ++x) {
            const bool covered = x < c.sceneWidth && y < c.sceneHeight;
            bool clamped = false;
            const Colour want = covered ? expected::flagPixel(perlin, c.sceneWidth, c.sceneHeight, x, y, c.angle, &clamped)
                                        : Colour{0, 0, 0};
            clampedPixels += clamped ? 1 : 0;
            const Colour got = canvas.at(x, y);
            if (got.r != want.r || got.g != want.g || got.b != want.b) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): got " << describe(got) << ", want "
                              << describe(want);
                ++mismatches;
            }
        }
    }
    if (c.clamps) {
        EXPECT_GT(clampedPixels, 0) << "this case is meant to cover the clamping of the level";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SceneMatchesFormulas,
    ::testing::Values(
        SceneCase{"Default", 500, 300, 500, 300, 0.0, 1234},
        SceneCase{"DefaultTurned", 500, 300, 500, 300, 137.25, -98765},
        SceneCase{"AfterResize", 333, 211, 333, 211, 359.5, 42},
        SceneCase{"ClampedBothWays", 100, 60, 100, 60, 200.0, 11, true},
        SceneCase{"NarrowNoVerticalBar", 9, 40, 9, 40, 10.0, 7},
        SceneCase{"NarrowestVerticalBar", 10, 40, 10, 40, 10.0, 7},
        SceneCase{"LowNoHorizontalBar", 40, 5, 40, 5, 80.0, 7},
        SceneCase{"LowestHorizontalBar", 40, 6, 40, 6, 80.0, 7},
        SceneCase{"SmallerThanCanvas", 50, 40, 20, 10, 45.0, 3},
        SceneCase{"ZeroWidth", 50, 40, 0, 40, 0.0, 3},
        SceneCase{"ZeroHeight", 50, 40, 50, 0, 0.0, 3}),
    [](const ::testing::TestParamInfo<SceneCase>& p) { return std::string(p.param.name); });

// ---- The cross's bounds, stated as pixel positions ----

// Yellow pixels have a dim blue channel, blue pixels dim red and green; which
// one a pixel is does not depend on the noise unless it is fully black.
bool looksYellow(const Colour& c)
{
    return c.r == c.g && c.b < c.r;
}
bool looksBlue(const Colour& c)
{
    return c.r == c.g && c.r < c.b;
}

struct TintCase {
    int w, h, col, row;
    bool yellow;
};

TEST(NoiseScene, CrossBoundsAreStrict)
{
    const TintCase cases[] = {
        // 500 x 300: rows 101..199 and columns 101..199 form the cross.
        {500, 300, 400, 100, false}, {500, 300, 400, 101, true}, {500, 300, 400, 199, true},
        {500, 300, 400, 200, false}, {500, 300, 100, 20, false}, {500, 300, 101, 20, true},
        {500, 300, 199, 20, true},   {500, 300, 200, 20, false}, {500, 300, 100, 100, false},
        {500, 300, 200, 200, false}, {500, 300, 100, 150, true}, {500, 300, 150, 250, true},
        // 504 x 302: the quotients truncate to 100, so the far bounds stay at 200.
        {504, 302, 400, 100, false}, {504, 302, 400, 199, true}, {504, 302, 400, 200, false},
        {504, 302, 200, 20, false}, {504, 302, 199, 20, true},
        // The smallest windows with a bar have exactly one row or column in it.
        {10, 40, 3, 0, true}, {10, 40, 2, 0, false}, {10, 40, 4, 0, false},
        {40, 6, 20, 3, true}, {40, 6, 20, 2, false}, {40, 6, 20, 4, false},
        // Narrower than 10 or lower than 6: no bar at all.
        {9, 40, 0, 0, false}, {9, 40, 2, 0, false}, {9, 40, 3, 0, false}, {9, 40, 8, 0, false},
        {40, 5, 20, 0, false}, {40, 5, 20, 2, false}, {40, 5, 20, 4, false},
    };
    for (const TintCase& c : cases) {
        Canvas canvas(c.w, c.h);
        ASSERT_NE(canvas.renderer, nullptr) << SDL_GetError();
        width = c.w;
        height = c.h;
        renderNoiseScene(seededPerlin(1234), canvas.renderer, 0.0);
        const Colour got = canvas.at(c.col, c.row);
        EXPECT_TRUE(c.yellow ? looksYellow(got) : looksBlue(got))
            << c.w << " x " << c.h << " at (" << c.col << ", " << c.row << "): " << describe(got) << ", want "
            << (c.yellow ? "yellow" : "blue");
    }
}

// ---- The sample points ----

TEST(NoiseScene, PositionsAlongTheDirection)
{
    // Angle 0 points along x: exactly 100 + t and 100.
    for (const double t : {0.0, 0.25, 0.998, 1.0}) {
        EXPECT_EQ(calculateXPosition(t, 0.0), 100.0 + t);
        EXPECT_EQ(calculateYPosition(t, 0.0), 100.0);
    }
    // At 90 degrees the literal pi leaves a cosine of about 1.8e-9, so x moves
    // off 100 by a tiny amount, and y is 100 + t.
    EXPECT_NE(calculateXPosition(1.0, 90.0), 100.0);
    EXPECT_NEAR(calculateXPosition(1.0, 90.0) - 100.0, 1.79e-9, 0.01e-9);
    for (const double t : {0.25, 0.5, 1.0}) {
        EXPECT_EQ(calculateXPosition(t, 90.0), 100.0 + std::cos(literalPi * 90.0 / 180.0) * t);
        EXPECT_EQ(calculateYPosition(t, 90.0), 100.0 + t);
    }
    // Other angles: the product with pi is formed before dividing by 180,
    // which differs in the last bits from dividing first for some of these.
    for (const double angle : {1.0, 12.787, 33.3, 137.25, 271.9, 359.99, -12.5}) {
        EXPECT_EQ(calculateXPosition(0.75, angle), 100.0 + std::cos(literalPi * angle / 180.0) * 0.75) << angle;
        EXPECT_EQ(calculateYPosition(0.75, angle), 100.0 + std::sin(literalPi * angle / 180.0) * 0.75) << angle;
    }
}

}  // namespace
