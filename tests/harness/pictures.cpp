#include "pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "expected_flag.h"

namespace harness {

namespace {

std::string at(int x, int y)
{
    return "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
}

struct Segment {
    int x1, y1, x2, y2;
};

std::vector<Segment> expectedFigure(int w, int h)
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

}  // namespace

std::string toString(const Rect& r)
{
    return at(r.x, r.y) + " " + std::to_string(r.w) + " x " + std::to_string(r.h);
}

Block findBlock(const Image& image)
{
    int left = image.width, top = image.height, right = -1, bottom = -1;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (image.at(x, y) != black) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    Block block;
    block.rect = right < 0 ? Rect{} : Rect{left, top, right - left + 1, bottom - top + 1};
    const Rect& r = block.rect;
    for (int y = r.y; y < r.bottom() && block.fault.empty(); ++y) {
        for (int x = r.x; x < r.right() && block.fault.empty(); ++x) {
            if (image.at(x, y) != white) {
                block.fault = toString(image.at(x, y)) + " at " + at(x, y) + " inside the block " + toString(r);
            }
        }
    }
    return block;
}

std::string compareBlock(const Image& image, const Rect& block)
{
    const int left = std::max(block.x, 0), top = std::max(block.y, 0);
    const int right = std::min(block.right(), image.width), bottom = std::min(block.bottom(), image.height);
    const Rect want = right > left && bottom > top ? Rect{left, top, right - left, bottom - top} : Rect{};
    const Block seen = findBlock(image);
    if (!seen.fault.empty()) {
        return seen.fault;
    }
    if (!(seen.rect == want)) {
        return "the block is " + (seen.rect.w == 0 ? std::string("missing") : toString(seen.rect)) + ", want " +
               (want.w == 0 ? std::string("none") : toString(want));
    }
    return "";
}

std::string compareFigure(const Image& image)
{
    const int w = image.width;
    const int h = image.height;
    std::vector<char> allowed(static_cast<std::size_t>(w) * h, 0);
    const auto inside = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h; };

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
                if (inside(x, y)) {
                    allowed[static_cast<std::size_t>(y) * w + x] = 1;
                    lit += image.at(x, y) == green ? 1 : 0;
                }
            }
            if (lit == 0) {
                return "line " + at(s.x1, s.y1) + "-" + at(s.x2, s.y2) + " has a gap at step " + std::to_string(i);
            }
            if (i == 0 && image.at(s.x1, s.y1) != green) {
                return "line start " + at(s.x1, s.y1) + " is not lit";
            }
            if (i == steps && image.at(s.x2, s.y2) != green) {
                return "line end " + at(s.x2, s.y2) + " is not lit";
            }
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Rgb& p = image.at(x, y);
            const bool onFigure = allowed[static_cast<std::size_t>(y) * w + x] != 0;
            if (p != black && !(onFigure && p == green)) {
                return "unexpected " + toString(p) + " at " + at(x, y);
            }
        }
    }
    return "";
}

std::string compareFlag(const Image& image, int seed, double angle)
{
    noise::module::Perlin perlin;
    perlin.SetSeed(seed);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const expected::Colour c = expected::flagPixel(perlin, image.width, image.height, x, y, angle);
            const Rgb want{c.r, c.g, c.b};
            if (image.at(x, y) != want) {
                return "pixel " + at(x, y) + " is " + toString(image.at(x, y)) + ", want " + toString(want);
            }
        }
    }
    return "";
}

}  // namespace harness
