#include "noise_scene.h"

#include <cmath>

#include "globals.h"

namespace {

// The flag's colour for one pixel, channels already truncated to bytes.
struct PixelColour {
    Uint8 red, green, blue;
};

// Maps a noise value (mostly within -1..1) to a brightness of 0..255.
double noiseLevel(double value)
{
    double level = 127.5 * (1.0 + value);
    if (level < 0.0) {
        level = 0.0;
    }
    if (level > 255.0) {
        level = 255.0;
    }
    return level;
}

// The bars lie strictly between one and two thirds of the height, and between
// one and two fifths of the width. The bounds are integer quotients, doubled
// after dividing, so on the bounds themselves the pixel is outside.
bool inHorizontalBar(int row)
{
    return row > height / 3 && row < (height / 3) * 2;
}

bool inVerticalBar(int col)
{
    return col > width / 5 && col < (width / 5) * 2;
}

// Yellow inside the cross, blue outside; the off channels are 30 % as bright.
PixelColour flagColour(int row, int col, double level)
{
    const double dim = 0.3 * level;
    const Uint8 bright = static_cast<Uint8>(level);
    const Uint8 dark = static_cast<Uint8>(dim);
    if (inHorizontalBar(row) || inVerticalBar(col)) {
        return {bright, bright, dark};
    }
    return {dark, dark, bright};
}

}  // namespace

double calculateXPosition(double radius, double angle)
{
    return 100.0 + std::cos(3.14159265 * angle / 180.0) * radius;
}

double calculateYPosition(double radius, double angle)
{
    return 100.0 + std::sin(3.14159265 * angle / 180.0) * radius;
}

void renderNoiseScene(noise::module::Perlin perlin, SDL_Renderer* renderer, double angle)
{
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);

    for (int row = 0; row < height; ++row) {
        const double pz = static_cast<double>(row) / height;
        for (int col = 0; col < width; ++col) {
            // Column col samples distance col/width along the current direction.
            const double t = static_cast<double>(col) / width;
            const double px = calculateXPosition(t, angle);
            const double py = calculateYPosition(t, angle);
            const double level = noiseLevel(perlin.GetValue(px, py, pz));
            const PixelColour colour = flagColour(row, col, level);
            SDL_SetRenderDrawColor(renderer, colour.red, colour.green, colour.blue, 255);
            SDL_RenderDrawPoint(renderer, col, row);
        }
    }

    SDL_RenderPresent(renderer);
}
