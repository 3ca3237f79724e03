#pragma once

// The noise flag's colours computed here, from the description of the
// picture, for comparison with what the scene and the program draw. Shares
// no code with the scene.

#include <cmath>
#include <cstdint>

// libnoise; cmake/FindLibNoise.cmake finds its directory on either layout.
#include <noise.h>

namespace expected {

struct Colour {
    std::uint8_t r, g, b;
};

// The colour of pixel (col, row) of a w x h flag at `angle` degrees. Sets
// *clamped when the noise value lies outside -1..1.
inline Colour flagPixel(const noise::module::Perlin& perlin, int w, int h, int col, int row, double angle,
                        bool* clamped = nullptr)
{
    const double radians = 3.14159265 * angle / 180.0;
    const double along = static_cast<double>(col) / w;
    const double value = perlin.GetValue(100.0 + std::cos(radians) * along,
                                         100.0 + std::sin(radians) * along,
                                         static_cast<double>(row) / h);
    if (clamped != nullptr) {
        *clamped = value <= -1.0 || value >= 1.0;
    }
    double level = 127.5 * (1.0 + value);
    level = level < 0.0 ? 0.0 : level;
    level = level > 255.0 ? 255.0 : level;
    const auto full = static_cast<std::uint8_t>(level);
    const auto third = static_cast<std::uint8_t>(0.3 * level);

    const int rowThird = h / 3;
    const int colFifth = w / 5;
    const bool cross = (rowThird < row && row < 2 * rowThird) || (colFifth < col && col < 2 * colFifth);
    return cross ? Colour{full, full, third} : Colour{third, third, full};
}

}  // namespace expected
