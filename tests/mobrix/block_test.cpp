// Block on its own: the bounded change operations against window sizes that
// the test sets, and render() into a software renderer read back pixel by
// pixel.

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "block.h"

// The globals Block reads; in the program they live in mobrix.cpp.
int windowWidth = 100;
int windowHeight = 50;
SDL_Renderer* sdlRenderer = nullptr;

namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

enum class Op { TranslateX, TranslateY, ScaleWidth, ScaleHeight };

struct Geometry {
    double x, y, width, height;
};

Geometry geometryOf(const Block& block)
{
    return {block.getX(), block.getY(), block.getWidth(), block.getHeight()};
}

void apply(Block& block, Op op, double amount)
{
    switch (op) {
    case Op::TranslateX: block.translateX(amount); break;
    case Op::TranslateY: block.translateY(amount); break;
    case Op::ScaleWidth: block.scaleWidth(amount); break;
    case Op::ScaleHeight: block.scaleHeight(amount); break;
    }
}

// What an accepted step should leave: the one field moved by the amount.
Geometry afterStep(Geometry g, Op op, double amount)
{
    switch (op) {
    case Op::TranslateX: g.x += amount; break;
    case Op::TranslateY: g.y += amount; break;
    case Op::ScaleWidth: g.width += amount; break;
    case Op::ScaleHeight: g.height += amount; break;
    }
    return g;
}

struct StepCase {
    const char* name;
    int windowW, windowH;
    Geometry start;
    Op op;
    double amount;
    bool accepted;
};

std::ostream& operator<<(std::ostream& out, const StepCase& c) { return out << c.name; }

// Names each instantiated case after its table row.
template <typename Case>
std::string caseName(const testing::TestParamInfo<Case>& row)
{
    return row.param.name;
}

// Window 100 x 50 unless a case says otherwise. Where the block's other
// dimension would give another verdict, it differs from the one judged.
const StepCase stepCases[] = {
    // Edges: touching is allowed, passing by any fraction is not.
    {"LeftEdgeTouched", 100, 50, {1, 0, 20, 20}, Op::TranslateX, -1, true},
    {"LeftEdgePassedByHalf", 100, 50, {0.5, 0, 20, 20}, Op::TranslateX, -1, false},
    {"RightEdgeExactFit", 100, 50, {70, 0, 20, 30}, Op::TranslateX, 10, true},
    {"RightEdgeFractionOver", 100, 50, {70.25, 0, 20, 5}, Op::TranslateX, 9.9, false},
    {"TopEdgeTouched", 100, 50, {0, 2, 20, 20}, Op::TranslateY, -2, true},
    {"TopEdgePassedByHalf", 100, 50, {0, 0.5, 20, 20}, Op::TranslateY, -1, false},
    {"BottomEdgeExactFit", 100, 50, {0, 20, 30, 20}, Op::TranslateY, 10, true},
    {"BottomEdgeFractionOver", 100, 50, {0, 20.25, 5, 20}, Op::TranslateY, 9.9, false},
    {"WidenToRightEdge", 100, 50, {80, 0, 10, 20}, Op::ScaleWidth, 10, true},
    {"WidenPastRightEdge", 100, 50, {80, 0, 10, 20}, Op::ScaleWidth, 10.5, false},
    {"HeightenToBottomEdge", 100, 50, {0, 30, 20, 10}, Op::ScaleHeight, 10, true},
    {"HeightenPastBottomEdge", 100, 50, {0, 30, 20, 10}, Op::ScaleHeight, 10.5, false},
    // A whole step is refused, never shortened to the edge.
    {"LongStepNotClipped", 100, 50, {70, 0, 20, 20}, Op::TranslateX, 11, false},
    // Sizes reach exactly zero, never below, and grow back from zero.
    {"WidthToZero", 100, 50, {10, 10, 5, 5}, Op::ScaleWidth, -5, true},
    {"WidthBelowZero", 100, 50, {10, 10, 5, 5}, Op::ScaleWidth, -5.001, false},
    {"WidthGrowsFromZero", 100, 50, {10, 10, 0, 5}, Op::ScaleWidth, 3, true},
    {"HeightToZero", 100, 50, {10, 10, 5, 5}, Op::ScaleHeight, -5, true},
    {"HeightBelowZero", 100, 50, {10, 10, 5, 5}, Op::ScaleHeight, -5.001, false},
    {"HeightGrowsFromZero", 100, 50, {10, 10, 5, 0}, Op::ScaleHeight, 3, true},
    // Steps that are not numbers, or not finite, go nowhere.
    {"NanTranslateX", 100, 50, {10, 10, 5, 5}, Op::TranslateX, nan, false},
    {"NanTranslateY", 100, 50, {10, 10, 5, 5}, Op::TranslateY, nan, false},
    {"NanScaleWidth", 100, 50, {10, 10, 5, 5}, Op::ScaleWidth, nan, false},
    {"NanScaleHeight", 100, 50, {10, 10, 5, 5}, Op::ScaleHeight, nan, false},
    {"InfiniteRight", 100, 50, {10, 10, 5, 5}, Op::TranslateX, inf, false},
    {"InfiniteUp", 100, 50, {10, 10, 5, 5}, Op::TranslateY, -inf, false},
    // The window shrank to 100 wide under a block reaching to 110: along x
    // only a step that brings the right edge back inside is taken.
    {"OverhangLeftLessThanOverhang", 100, 50, {90, 10, 20, 20}, Op::TranslateX, -5, false},
    {"OverhangRight", 100, 50, {90, 10, 20, 20}, Op::TranslateX, 1, false},
    {"OverhangNarrowerLessThanOverhang", 100, 50, {90, 10, 20, 20}, Op::ScaleWidth, -5, false},
    {"OverhangWider", 100, 50, {90, 10, 20, 20}, Op::ScaleWidth, 1, false},
    {"OverhangLeftByWholeOverhang", 100, 50, {90, 10, 20, 20}, Op::TranslateX, -10, true},
    {"OverhangFreeDown", 100, 50, {90, 10, 20, 20}, Op::TranslateY, 1, true},
    {"OverhangFreeUp", 100, 50, {90, 10, 20, 20}, Op::TranslateY, -1, true},
    {"OverhangFreeTaller", 100, 50, {90, 10, 20, 20}, Op::ScaleHeight, 1, true},
    // The same block in a window grown back to 120 moves freely.
    {"WindowGrownBackLeft", 120, 50, {90, 10, 20, 20}, Op::TranslateX, -5, true},
    {"WindowGrownBackRight", 120, 50, {90, 10, 20, 20}, Op::TranslateX, 1, true},
};

class BlockStep : public testing::TestWithParam<StepCase> {};

TEST_P(BlockStep, AcceptsOrRefusesWhole)
{
    const StepCase& c = GetParam();
    windowWidth = c.windowW;
    windowHeight = c.windowH;
    Block block(c.start.x, c.start.y, c.start.height, c.start.width);

    apply(block, c.op, c.amount);

    const Geometry want = c.accepted ? afterStep(c.start, c.op, c.amount) : c.start;
    const Geometry got = geometryOf(block);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
}

INSTANTIATE_TEST_SUITE_P(Block, BlockStep, testing::ValuesIn(stepCases),
                         caseName<StepCase>);

// Two opposite keys held at once, stepped the way the frame loop applies
// them (first key, then second) with a steady frame time.
struct OppositeKeysCase {
    const char* name;
    Geometry start;
    Op op;          // the first key's operation; the second applies -step
    double step;    // signed step of the first key
    double expectedAfterFirstFrame;
};

std::ostream& operator<<(std::ostream& out, const OppositeKeysCase& c) { return out << c.name; }

double fieldOf(const Block& block, Op op)
{
    switch (op) {
    case Op::TranslateX: return block.getX();
    case Op::TranslateY: return block.getY();
    case Op::ScaleWidth: return block.getWidth();
    case Op::ScaleHeight: return block.getHeight();
    }
    return nan;
}

const double frameStep = 0.137;  // 100 px/s at about 730 frames per second

const OppositeKeysCase oppositeKeysCases[] = {
    // At the edge the first key is refused and the second taken: one step away.
    {"UpDownAtTop", {30, 0, 20, 20}, Op::TranslateY, -frameStep, frameStep},
    {"LeftRightAtLeft", {0, 10, 20, 20}, Op::TranslateX, -frameStep, frameStep},
    {"WiderNarrowerAtRight", {80, 10, 20, 20}, Op::ScaleWidth, frameStep, 20 - frameStep},
    {"TallerShorterAtBottom", {30, 30, 20, 20}, Op::ScaleHeight, frameStep, 20 - frameStep},
    // At the opposite edges both are taken and cancel.
    {"UpDownAtBottom", {30, 30, 20, 20}, Op::TranslateY, -frameStep, 30},
    {"LeftRightAtRight", {80, 10, 20, 20}, Op::TranslateX, -frameStep, 80},
};

class BlockOppositeKeys : public testing::TestWithParam<OppositeKeysCase> {};

TEST_P(BlockOppositeKeys, OneStepAwayThenStill)
{
    const OppositeKeysCase& c = GetParam();
    windowWidth = 100;
    windowHeight = 50;
    Block block(c.start.x, c.start.y, c.start.height, c.start.width);

    std::vector<double> trace;
    for (int frame = 0; frame < 20; ++frame) {
        apply(block, c.op, c.step);
        apply(block, c.op, -c.step);
        trace.push_back(fieldOf(block, c.op));
    }

    EXPECT_NEAR(trace.front(), c.expectedAfterFirstFrame, 1e-9);
    for (double value : trace) {
        ASSERT_NEAR(value, trace.front(), 1e-9) << "the block must stay put after the first frame";
    }
}

INSTANTIATE_TEST_SUITE_P(Block, BlockOppositeKeys, testing::ValuesIn(oppositeKeysCases),
                         caseName<OppositeKeysCase>);

// render() into a software renderer on an ARGB8888 surface.
class BlockRender : public testing::Test {
protected:
    static constexpr int surfaceW = 64;
    static constexpr int surfaceH = 48;
    static constexpr Uint32 background = 0xFF000050;  // opaque dark blue
    static constexpr Uint32 white = 0xFFFFFFFF;

    void SetUp() override
    {
        surface = SDL_CreateRGBSurfaceWithFormat(0, surfaceW, surfaceH, 32, SDL_PIXELFORMAT_ARGB8888);
        ASSERT_NE(surface, nullptr) << SDL_GetError();
        sdlRenderer = SDL_CreateSoftwareRenderer(surface);
        ASSERT_NE(sdlRenderer, nullptr) << SDL_GetError();
        SDL_SetRenderDrawColor(sdlRenderer, 0, 0, 0x50, 255);
        SDL_RenderClear(sdlRenderer);
    }

    void TearDown() override
    {
        SDL_DestroyRenderer(sdlRenderer);
        sdlRenderer = nullptr;
        SDL_FreeSurface(surface);
    }

    std::vector<Uint32> readPixels()
    {
        std::vector<Uint32> pixels(static_cast<size_t>(surfaceW) * surfaceH);
        EXPECT_EQ(SDL_RenderReadPixels(sdlRenderer, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels.data(),
                                       surfaceW * static_cast<int>(sizeof(Uint32))),
                  0)
            << SDL_GetError();
        return pixels;
    }

    // Every pixel: white inside [x0, x0 + w) x [y0, y0 + h), background elsewhere.
    void expectPicture(int x0, int y0, int w, int h)
    {
        const std::vector<Uint32> pixels = readPixels();
        int wrong = 0;
        for (int y = 0; y < surfaceH; ++y) {
            for (int x = 0; x < surfaceW; ++x) {
                const bool inside = x >= x0 && x < x0 + w && y >= y0 && y < y0 + h;
                const Uint32 want = inside ? white : background;
                const Uint32 got = pixels[static_cast<size_t>(y) * surfaceW + x];
                if (got != want && ++wrong <= 5) {
                    ADD_FAILURE() << "pixel (" << x << ", " << y << "): got 0x" << std::hex << got
                                  << ", want 0x" << want;
                }
            }
        }
        EXPECT_EQ(wrong, 0) << "pixels differing from the expected picture";
    }

    SDL_Surface* surface = nullptr;
};

struct RenderCase {
    const char* name;
    Geometry block;
    Uint8 r, g, b, a;  // draw colour the caller had set
    int x, y, w, h;    // the pixels expected white
};

std::ostream& operator<<(std::ostream& out, const RenderCase& c) { return out << c.name; }

const RenderCase renderCases[] = {
    {"WholeNumbers", {0, 0, 20, 20}, 0, 0, 0, 255, 0, 0, 20, 20},
    {"FractionsTruncate", {10.9, 3.5, 19.99, 7.999}, 200, 10, 10, 255, 10, 3, 19, 7},
    {"WhiteOverTranslucentColour", {30, 20, 5, 6}, 12, 34, 56, 78, 30, 20, 5, 6},
    {"ZeroWidthDrawsNothing", {5, 5, 0, 10}, 255, 0, 0, 255, 0, 0, 0, 0},
    {"SubPixelHeightDrawsNothing", {5, 5, 10, 0.9}, 0, 255, 0, 255, 0, 0, 0, 0},
};

class BlockRenderCase : public BlockRender, public testing::WithParamInterface<RenderCase> {};

TEST_P(BlockRenderCase, FillsTruncatedRectInWhiteAndKeepsColour)
{
    const RenderCase& c = GetParam();
    SDL_SetRenderDrawColor(sdlRenderer, c.r, c.g, c.b, c.a);
    // The window globals play no part in drawing; make them too small to
    // hold the block to show it.
    windowWidth = 1;
    windowHeight = 1;
    Block block(c.block.x, c.block.y, c.block.height, c.block.width);

    block.render();

    expectPicture(c.x, c.y, c.w, c.h);
    Uint8 r, g, b, a;
    SDL_GetRenderDrawColor(sdlRenderer, &r, &g, &b, &a);
    EXPECT_EQ(r, c.r);
    EXPECT_EQ(g, c.g);
    EXPECT_EQ(b, c.b);
    EXPECT_EQ(a, c.a);
}

INSTANTIATE_TEST_SUITE_P(Block, BlockRenderCase, testing::ValuesIn(renderCases),
                         caseName<RenderCase>);

}  // namespace
