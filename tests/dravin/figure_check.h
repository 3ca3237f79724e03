#pragma once

// dravin's figure as it must appear on screen, for the end-to-end tests that
// read the program's window back: the expected segments at a window size and
// a pixel-by-pixel comparison with a capture.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "x11_harness.h"

namespace figure {

using harness::Image;
using harness::Rgb;

inline const Rgb black{0, 0, 0};
inline const Rgb green{99, 255, 99};

struct Segment {
    int x1, y1, x2, y2;
};

// The figure at a window size: two diagonals between 20 % and 80 % of each
// dimension and a rectangle at 10 % and 90 %, truncated to whole pixels.
inline std::vector<Segment> expectedFigure(int w, int h)
{
    const auto px = [](double fraction, int size) { return static_cast<int>(fraction * size); };
    return {
        {px(0.2, w), px(0.2, h), px(0.8, w), px(0.8, h)},
        {px(0.8, w), px(0.2, h), px(0.2, w), px(0.8, h)},
        {px(0.1, w), px(0.1, h), px(0.9, w), px(0.1, h)},
        {px(0.9, w), px(0.1, h), px(0.9, w), px(0.9, h)},
        {px(0.9, w), px(0.9, h), px(0.1, w), px(0.9, h)},
        {px(0.1, w), px(0.9, h), px(0.1, w), px(0.1, h)},
    };
}

// Checks a capture against the figure, pixel by pixel. Horizontal and
// vertical lines must be exactly their pixels. A diagonal must light exactly
// one pixel per step along its major axis, within half a pixel of the ideal
// line (rasterisers differ only in how they break ties), endpoints included.
// Every other pixel must be black. Returns "" on a match, else the first fault.
inline std::string compareFigure(const Image& image)
{
    const int w = image.width;
    const int h = image.height;
    std::vector<char> allowed(static_cast<std::size_t>(w) * h, 0);
    const auto mark = [&](int x, int y) {
        if (x >= 0 && y >= 0 && x < w && y < h) {
            allowed[static_cast<std::size_t>(y) * w + x] = 1;
        }
    };
    const auto describe = [](int x, int y) { return "(" + std::to_string(x) + ", " + std::to_string(y) + ")"; };

    for (const Segment& s : expectedFigure(w, h)) {
        const int dx = s.x2 - s.x1;
        const int dy = s.y2 - s.y1;
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        const int steps = std::max(std::abs(dx), std::abs(dy));
        for (int i = 0; i <= steps; ++i) {
            // Walk the major axis; the minor coordinate may round either way on a tie.
            const double t = steps == 0 ? 0.0 : static_cast<double>(i) / steps;
            const int major = (xMajor ? s.x1 : s.y1) + (xMajor ? (dx < 0 ? -i : i) : (dy < 0 ? -i : i));
            const double minorIdeal = (xMajor ? s.y1 + t * dy : s.x1 + t * dx);
            int lit = 0;
            for (int minor = static_cast<int>(std::floor(minorIdeal - 0.5 - 1e-9));
                 minor <= static_cast<int>(std::ceil(minorIdeal + 0.5 + 1e-9)); ++minor) {
                if (std::abs(minor - minorIdeal) > 0.5 + 1e-9) {
                    continue;
                }
                const int x = xMajor ? major : minor;
                const int y = xMajor ? minor : major;
                mark(x, y);
                if (x >= 0 && y >= 0 && x < w && y < h && image.at(x, y) == green) {
                    ++lit;
                }
            }
            if (lit == 0) {
                return "line " + describe(s.x1, s.y1) + "-" + describe(s.x2, s.y2) + " has a gap at step " +
                       std::to_string(i);
            }
            if (i == 0 && image.at(s.x1, s.y1) != green) {
                return "line start " + describe(s.x1, s.y1) + " is not lit";
            }
            if (i == steps && image.at(s.x2, s.y2) != green) {
                return "line end " + describe(s.x2, s.y2) + " is not lit";
            }
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Rgb& p = image.at(x, y);
            const bool onFigure = allowed[static_cast<std::size_t>(y) * w + x] != 0;
            if (p != black && !(onFigure && p == green)) {
                return "unexpected " + harness::toString(p) + " at " + describe(x, y);
            }
        }
    }
    return "";
}

}  // namespace figure
