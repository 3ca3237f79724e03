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
#include <png.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "pictures.h"
#include "programs.h"
#include "x11_harness.h"

using namespace harness;

namespace {

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

// Waits until the program's window shows its first frame.
bool started(Program& program, const Subject& s)
{
    if (!program.waitForWindow(s.caption, 30s)) {
        std::fprintf(stderr, "screenshots: %s showed no picture\n", s.name);
        return false;
    }
    return true;
}

// Closes the window; the program must end with status 0, and the harness
// must have met no problem on the way (a resize that did not happen).
bool endsCleanly(Program& program, const Subject& s)
{
    program.closeWindow();
    const auto status = program.waitExit(std::chrono::seconds(30));
    if (!status || !(*status == 0)) {
        std::fprintf(stderr, "screenshots: %s did not end with status 0 on close\n", s.name);
        return false;
    }
    for (const std::string& problem : program.problems()) {
        std::fprintf(stderr, "screenshots: %s: %s\n", s.name, problem.c_str());
    }
    return program.problems().empty();
}

bool dravinFigure(const Image& image, int w, int h)
{
    return image.width == w && image.height == h && compareFigure(image).empty();
}

bool shootDravin(const std::string& dir, const std::string& path)
{
    Program program(path);
    if (!started(program, harness::dravin)) {
        return false;
    }
    bool ok = shoot(program, dir + "/dravin-1000x500.png", "dravin at 1000 x 500",
                    [](const Image& im) { return dravinFigure(im, 1000, 500); });
    program.resize(500, 300);
    ok = shoot(program, dir + "/dravin-500x300.png", "dravin at 500 x 300",
               [](const Image& im) { return dravinFigure(im, 500, 300); }) &&
         ok;
    return endsCleanly(program, harness::dravin) && ok;
}

bool shootMobrix(const std::string& dir, const std::string& path)
{
    Program program(path);
    if (!started(program, harness::mobrix)) {
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
        const Block block = findBlock(im);
        return im.width == 1000 && im.height == 500 && block.fault.empty() && block.rect.x > 100 &&
               block.rect.y > 100 && block.rect.w * block.rect.h > 4000;
    });
    ok = endsCleanly(program, harness::mobrix) && ok;
    const std::string out = program.stdoutText();
    std::fprintf(stderr, "screenshots: mobrix's last status line: %s\n", out.substr(out.rfind('\r') + 1).c_str());
    return ok;
}

bool shootQuenzel(const std::string& dir, const std::string& path)
{
    // A frozen wall clock: every frame has delta 0, so the flag stays at angle
    // 0 with the seed this time gives, and the picture is the same every run.
    Program program(path, {frozenClockEnv(flagClockTime), {}});
    if (!started(program, harness::quenzel)) {
        return false;
    }
    // The whole flag, pixel by pixel, means a whole frame has been presented.
    const bool ok = shoot(program, dir + "/quenzel.png", "quenzel's flag", [](const Image& im) {
        return im.width == 500 && im.height == 300 && compareFlag(im, frozenClockSeed()).empty();
    });
    return endsCleanly(program, harness::quenzel) && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: screenshots OUTPUT_DIR DRAVIN_PATH MOBRIX_PATH QUENZEL_PATH\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = shootDravin(dir, argv[2]);
    ok = shootMobrix(dir, argv[3]) && ok;
    ok = shootQuenzel(dir, argv[4]) && ok;
    return ok ? 0 : 1;
}
