#pragma once

// The three programs' pictures as they must appear on screen, worked out
// here from their descriptions and sharing no code with the programs:
// dravin's figure, mobrix's block and quenzel's flag. Each check returns ""
// when a capture matches, else the first fault.

#include <ostream>
#include <string>

#include "x11_harness.h"

namespace harness {

inline const Rgb black{0, 0, 0};
inline const Rgb white{255, 255, 255};
inline const Rgb green{99, 255, 99};  // dravin's lines

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    int right() const { return x + w; }   // one past the last column
    int bottom() const { return y + h; }  // one past the last row
    bool operator==(const Rect& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};
std::string toString(const Rect& r);  // "(x, y) w x h"
inline std::ostream& operator<<(std::ostream& out, const Rect& r) { return out << toString(r); }

// mobrix's block as a picture shows it: the bounding box of the non-black
// pixels, which must all be white and fill the box. w = 0 if there is none.
struct Block {
    Rect rect;
    std::string fault;  // "" when the picture is such a block
};
Block findBlock(const Image& image);

// "" if the picture is exactly `block`, clipped to the window, white on black.
std::string compareBlock(const Image& image, const Rect& block);

// dravin's figure at the capture's size: two diagonals between 20 % and 80 %
// of each dimension and a rectangle at 10 % and 90 %, truncated to whole
// pixels. Horizontal and vertical lines must be exactly their pixels. A
// diagonal must light exactly one pixel per step along its major axis, within
// half a pixel of the ideal line (rasterisers differ only in how they break
// ties), endpoints included. Every other pixel must be black.
std::string compareFigure(const Image& image);

// quenzel's flag at the capture's size, for a seed and an angle in degrees,
// pixel by pixel.
std::string compareFlag(const Image& image, int seed, double angle = 0.0);

}  // namespace harness
