// Takes the README's pictures of the three programs with the end-to-end
// harness, each program running in a private Xvfb:
//
//   dravin-1000x500.png  dravin at its opening size
//   dravin-500x300.png   the same window after a resize
//   mobrix.png           mobrix after the block was moved and enlarged by held keys
//   quenzel.png          quenzel under a frozen wall clock, so seed and angle are fixed
//
// Usage: screenshots OUTPUT_DIR DRAVIN_PATH MOBRIX_PATH QUENZEL_PATH
// Run it through scripts/screenshots.sh.

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "x11_harness.h"

using namespace harness;

namespace {

const Rgb black{0, 0, 0};
const Rgb lineGreen{99, 255, 99};
const Rgb white{255, 255, 255};

bool save(const Image& image, const std::string& path)
{
    std::vector<std::uint8_t> rgb;
    rgb.reserve(image.pixels.size() * 3);
    for (const Rgb& p : image.pixels) {
        rgb.insert(rgb.end(), {p.r, p.g, p.b});
    }
    // libpng's simplified writer: 8-bit RGB, rows from the top, no padding.
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    if (png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), 0, nullptr) == 0) {
        std::fprintf(stderr, "screenshots: cannot write %s: %s\n", path.c_str(), png.message);
        png_image_free(&png);
        return false;
    }
    std::fprintf(stderr, "screenshots: wrote %s (%d x %d)\n", path.c_str(), image.width, image.height);
    return true;
}

// Waits for a picture that passes `check`, saves it, and says why not if none came.
bool shoot(Program& program, const std::string& path, const std::string& what,
           const std::function<bool(const Image&)>& check)
{
    const auto [image, matched] = program.waitForPicture(check);
    if (!matched) {
        std::fprintf(stderr, "screenshots: %s never appeared\n", what.c_str());
        return false;
    }
    return save(image, path);
}

// Waits until the program's window shows its first frame. The caption is
// the program's name with a capital letter.
bool started(Program& program, const std::string& name)
{
    std::string caption = name;
    caption[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(caption[0])));
    if (!program.waitForWindow(caption, 30s)) {
        std::fprintf(stderr, "screenshots: %s showed no picture\n", name.c_str());
        return false;
    }
    return true;
}

bool endsCleanly(Program& program, const std::string& name)
{
    program.closeWindow();
    const auto status = program.waitExit(std::chrono::seconds(30));
    if (!status || !(*status == 0)) {
        std::fprintf(stderr, "screenshots: %s did not end with status 0 on close\n", name.c_str());
        return false;
    }
    return true;
}

// The rectangle's left side lies at a tenth of the width, halfway down.
bool dravinFigure(const Image& image, int w, int h)
{
    return image.width == w && image.height == h && image.at(w / 10, h / 2) == lineGreen &&
           image.at(w / 2, h / 20) == black;
}

bool dravin(const std::string& dir, const std::string& path)
{
    Program program(path);
    if (!started(program, "dravin")) {
        return false;
    }
    bool ok = shoot(program, dir + "/dravin-1000x500.png", "dravin at 1000 x 500",
                    [](const Image& im) { return dravinFigure(im, 1000, 500); });
    program.resize(500, 300);
    ok = shoot(program, dir + "/dravin-500x300.png", "dravin at 500 x 300",
               [](const Image& im) { return dravinFigure(im, 500, 300); }) &&
         ok;
    return endsCleanly(program, "dravin") && ok;
}

// Counts the white pixels and finds the top-left one.
struct WhiteArea {
    long count = 0;
    int left = -1, top = -1;
};
WhiteArea whiteArea(const Image& image)
{
    WhiteArea area;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (image.at(x, y) == white) {
                if (area.count++ == 0) {
                    area.left = x;
                    area.top = y;
                }
            }
        }
    }
    return area;
}

bool mobrix(const std::string& dir, const std::string& path)
{
    Program program(path);
    if (!started(program, "mobrix")) {
        return false;
    }
    // Down and to the right together, then wider and taller together: at
    // 100 pixels per second, about (150, 120) and 100 x 80.
    program.holdKeys({XK_d, XK_s}, std::chrono::milliseconds(1200));
    program.holdKeys({XK_d}, std::chrono::milliseconds(300));
    program.holdKeys({XK_1, XK_3}, std::chrono::milliseconds(600));
    program.holdKeys({XK_1}, std::chrono::milliseconds(200));
    // The block has moved away from the corner and grown.
    bool ok = shoot(program, dir + "/mobrix.png", "mobrix's moved block", [](const Image& im) {
        const WhiteArea area = whiteArea(im);
        return im.width == 1000 && im.height == 500 && area.left > 100 && area.top > 100 && area.count > 4000;
    });
    ok = endsCleanly(program, "mobrix") && ok;
    const std::vector<std::string> records = statusRecords(program.stdoutText());
    if (!records.empty()) {
        std::fprintf(stderr, "screenshots: mobrix's last status line: %s\n", records.back().c_str());
    }
    return ok;
}

bool quenzel(const std::string& dir, const std::string& path)
{
    // A frozen wall clock: every frame has delta 0, so the flag stays at angle
    // 0 with the seed this time gives, and the picture is the same every run.
    Program program(path, {frozenClockEnv("2024-03-05 12:34:56"), {}});
    if (!started(program, "quenzel")) {
        return false;
    }
    // Blue-tinted cloth in the bottom-right corner and yellow-tinted cloth in
    // the middle of the cross mean a whole frame has been presented.
    const bool ok = shoot(program, dir + "/quenzel.png", "quenzel's flag", [](const Image& im) {
        const Rgb& corner = im.at(im.width - 5, im.height - 5);
        const Rgb& cross = im.at(150, 150);
        return im.width == 500 && im.height == 300 && corner.b > corner.r && corner.r == corner.g &&
               cross.r > cross.b && cross.r == cross.g;
    });
    return endsCleanly(program, "quenzel") && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: screenshots OUTPUT_DIR DRAVIN_PATH MOBRIX_PATH QUENZEL_PATH\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = dravin(dir, argv[2]);
    ok = mobrix(dir, argv[3]) && ok;
    ok = quenzel(dir, argv[4]) && ok;
    // The harness reports its own failures (a window that never came, a
    // resize that did not happen) through GoogleTest's failure records.
    ok = ok && !::testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed();
    return ok ? 0 : 1;
}
