// Hostile use of the real programs in a private X server: a storm of window
// resizes to random sizes, 1 x 1 and far beyond the screen included, the
// window unmapped and mapped again, and for mobrix every key held at once and
// a flood of presses and releases. Each program must keep drawing the right
// picture, keep writing its status line, and still quit with status 0.

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "pictures.h"
#include "gtest_harness.h"

using namespace harness;

namespace {

const std::uint32_t stormSeed = 20240611;
const int stormResizes = 60;
// The screen is 1920 x 1200; storm sizes reach well past it.
const int stormMaxWidth = 2600;
const int stormMaxHeight = 1700;

// The picture each program must show at any window size while untouched by
// keys: the figure, the 20 x 20 block in the corner, the flag at angle 0.
std::string pictureFault(const Subject& s, const Image& image)
{
    switch (s.kind) {
    case Kind::Dravin: return compareFigure(image);
    case Kind::Mobrix: return compareBlock(image, {0, 0, 20, 20});
    case Kind::Quenzel: return compareFlag(image, frozenClockSeed());
    }
    return "unknown program";
}

// Resizes and waits until the whole picture at the new size is right.
void expectPictureAt(Program& p, const Subject& s, int w, int h)
{
    p.resize(w, h);
    const auto [image, matched] = p.waitForPicture(
        [&](const Image& im) { return im.width == w && im.height == h && pictureFault(s, im).empty(); }, 60s);
    EXPECT_TRUE(matched) << "at " << w << " x " << h << ": "
                         << (image.width == w && image.height == h ? pictureFault(s, image) : "size differs");
}

// mobrix: all eight binding keys held together, then a flood of random
// presses and releases of them. The block must stay whole and inside the
// window, and the picture must agree with the status line.
void abuseKeys(Program& p, const Subject& s, std::mt19937& random, int windowW, int windowH)
{
    const std::vector<unsigned long> bindings{XK_w, XK_s, XK_a, XK_d, XK_1, XK_2, XK_3, XK_4};
    const std::size_t keysFrom = p.stdoutText().size();
    for (unsigned long key : bindings) {
        p.keyDown(key);
    }
    ASSERT_TRUE(waitForRecords(p, 10, 10s));
    const std::size_t heldFrom = p.stdoutText().size();
    ASSERT_TRUE(waitForRecords(p, 100, 20s));
    const std::size_t heldTo = p.stdoutText().size();
    for (unsigned long key : bindings) {
        p.keyUp(key);
    }

    std::vector<bool> down(bindings.size(), false);
    std::uniform_int_distribution<std::size_t> pick(0, bindings.size() - 1);
    std::uniform_int_distribution<int> pause(0, 3);
    int events = 0;
    for (; events < 600; ++events) {
        const std::size_t k = pick(random);
        if (down[k]) {
            p.keyUp(bindings[k]);
        } else {
            p.keyDown(bindings[k]);
        }
        down[k] = !down[k];
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
    }
    for (std::size_t k = 0; k < bindings.size(); ++k) {
        if (down[k]) {
            p.keyUp(bindings[k]);
            ++events;
        }
    }
    std::cout << "[ keys     ] 8 keys held together, then " << events << " presses and releases\n";
    ASSERT_TRUE(waitForRecords(p, 5, 10s));

    // Keys released: the block rests where the last record says, inside the window.
    const std::vector<Record> live = expectRecords(s, p.stdoutText(), Stream::Live);
    ASSERT_FALSE(live.empty());
    const std::vector<double>& last = live.back().values;
    const auto atRest = [&](const Image& im) {
        return compareBlock(im, {static_cast<int>(last[1]), static_cast<int>(last[2]), static_cast<int>(last[3]),
                                 static_cast<int>(last[4])});
    };
    const auto [image, matched] = p.waitForPicture([&](const Image& im) { return atRest(im).empty(); });
    EXPECT_TRUE(matched) << atRest(image);

    // While every key was held the opposite pairs cancel: away from the edges
    // nothing moves, at the top and left edges the block moves off by one step.
    double longest = 0.0;
    std::size_t heldFrames = 0;
    std::vector<double> low(5, 1e300), high(5, -1e300);
    for (const Record& r : live) {
        if (r.offset >= heldFrom && r.offset < heldTo) {
            ++heldFrames;
            longest = std::max(longest, r.delta());
            for (std::size_t i = 1; i < 5; ++i) {
                low[i] = std::min(low[i], r.values[i]);
                high[i] = std::max(high[i], r.values[i]);
            }
        }
        if (r.offset >= keysFrom) {
            ASSERT_LE(r.values[1] + r.values[3], windowW) << "record at byte " << r.offset;
            ASSERT_LE(r.values[2] + r.values[4], windowH) << "record at byte " << r.offset;
        }
    }
    EXPECT_GE(heldFrames, 90u);
    const char* const field[] = {"delta", "x", "y", "w", "h"};
    for (std::size_t i = 1; i < 5; ++i) {
        EXPECT_LE(high[i] - low[i], 2 * 100.0 * longest + 1e-5) << field[i] << " drifted while all keys were held";
    }
}

class Abuse : public testing::TestWithParam<Subject> {};

TEST_P(Abuse, ResizeStormUnmapAndKeysLeaveItDrawingAndQuittingCleanly)
{
    const Subject& s = GetParam();
    LaunchOptions options;
    if (s.kind == Kind::Quenzel) {
        // Its wall clock stopped: a known seed, and the angle stays 0.
        options.env = frozenClockEnv(flagClockTime);
    }
    options.unbuffered = true;
    Program p(s.path, options);
    ASSERT_TRUE(p.waitForWindow(s.caption, 30s));

    std::mt19937 random(stormSeed);
    std::uniform_int_distribution<int> stormW(1, stormMaxWidth), stormH(1, stormMaxHeight);
    std::uniform_int_distribution<int> checkW(120, 900), checkH(90, 600);
    std::uniform_int_distribution<int> pause(0, 10);
    std::cout << "[ storm    ] seed " << stormSeed << ", " << stormResizes << " resizes up to " << stormMaxWidth
              << " x " << stormMaxHeight << "\n";

    // The storm, paced so that the fast programs draw many of the sizes.
    for (int i = 0; i < stormResizes; ++i) {
        const int w = i == 0 ? 1 : i == 20 ? stormMaxWidth : stormW(random);
        const int h = i == 0 ? 1 : i == 20 ? stormMaxHeight : stormH(random);
        p.resize(w, h);
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
    }
    ASSERT_TRUE(p.running()) << toString(*p.waitExit(0ms)) << "\n" << p.stderrText();

    // Then sizes each held until frames have been drawn at them: the
    // smallest window there is, and windows wider, taller and both at once
    // than the screen.
    expectPictureAt(p, s, 1, 1);
    for (const auto& [w, h] : {std::pair{stormMaxWidth, 40}, {40, stormMaxHeight}, {stormMaxWidth, stormMaxHeight}}) {
        p.resize(w, h);
        ASSERT_TRUE(waitForRecords(p, 2, 90s)) << "no frames at " << w << " x " << h;
    }

    // Two checked sizes in a row: the second resize comes right after the
    // first picture appeared, which for quenzel is in the middle of a frame.
    const int w1 = checkW(random), h1 = checkH(random), w2 = checkW(random), h2 = checkH(random);
    std::cout << "[ checked  ] " << w1 << " x " << h1 << ", then " << w2 << " x " << h2 << "\n";
    expectPictureAt(p, s, w1, h1);
    expectPictureAt(p, s, w2, h2);

    // Unmapped, it keeps running; mapped again, it shows the same picture.
    p.setMapped(false);
    EXPECT_TRUE(waitForRecords(p, 2, 60s)) << "no frames while unmapped";
    p.setMapped(true);
    expectPictureAt(p, s, w2, h2);

    if (s.kind == Kind::Mobrix) {
        abuseKeys(p, s, random, w2, h2);
    }

    EXPECT_TRUE(waitForRecords(p, 2, 60s)) << "the status line stopped";
    p.closeWindow();
    const std::vector<Record> records = expectCleanEnd(p, s, "the window was closed", 60s);
    for (const Record& r : records) {
        ASSERT_GE(r.delta(), 0.0) << "record at byte " << r.offset;
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, Abuse, testing::Values(dravin, mobrix, quenzel), subjectName);

}  // namespace
