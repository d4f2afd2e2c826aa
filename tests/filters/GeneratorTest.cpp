// The generators through the operation table and their launcher formulas:
// the worked examples of the mask generators, shape 0's product of folds and
// the three shapes of our own. The batch commands are BatchCommandsTest's.
#include "engine/Graphic.h"
#include "filters/Generators.h"
#include "filters/Masks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace kadrimex {
namespace {

template <class Params>
TAdvancedBitmap Generate(const Params& params)
{
    TBitmapProcesorThread thread(true);
    TAdvancedBitmap picture;
    thread.FDestination = &picture;
    FillThread(thread, params);
    thread.Execute();
    EXPECT_TRUE(thread.FErrorMessage.empty()) << thread.FErrorMessage;
    EXPECT_EQ(picture.PixelFormat(), TPixelFormat::pf8bit);
    return picture;
}

int At(const TBitmap& b, int x, int y)
{
    return b.ScanLine(y)[x];
}

TEST(Generators, MaskGeneratorsFollowTheirLauncherFormulas)
{
    // Steepness 0 is the Gauss level 500: 255 in the middle, the middle of
    // a side approaching 255 * 500^-0.25 from above.
    for (const auto& [side, edge] : {std::pair{101, 55}, std::pair{1001, 54}}) {
        const TAdvancedBitmap g = Generate(TGaussGeneratorParams{0, side, side});
        ASSERT_EQ(g.Width(), side);
        EXPECT_EQ(At(g, side / 2, side / 2), 255);
        EXPECT_EQ(At(g, 0, side / 2), edge);
        EXPECT_EQ(At(g, side / 2, 0), edge);
    }
    // The triangle canvas is ceil(0.66 * diagonal); the steepest setting
    // (foot 0.5) paints without fault.
    EXPECT_EQ(Generate(TTriangleGeneratorParams{0, 0, 100, 100}).Width(), 94);
    const TAdvancedBitmap steepest = Generate(TTriangleGeneratorParams{1000, 0, 100, 100});
    EXPECT_EQ(steepest.Height(), 94);
    // The signed generators get the signed palette: index 128 is black.
    const TAdvancedBitmap edge = Generate(TEdgeGeneratorParams{-1000, 32, 32});
    EXPECT_EQ(edge.Palette()[128], TPaletteEntry{});
    EXPECT_EQ(edge.Palette()[255].peRed, 254);
}

TEST(Generators, ShapesPaintTheirPatterns)
{
    const std::vector<std::vector<int>> folds = {
        {33, 72, 111, 150}, {72, 64, 56, 48}, {111, 56, 1, 202}, {150, 48, 202, 100}};
    const TAdvancedBitmap s0 = Generate(TShapeGeneratorParams{0, 1.1L, 4, 4});
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(At(s0, x, y), folds[std::size_t(y)][std::size_t(x)]) << x << ',' << y;

    // Rings, spiral and moire at angular frequency 1 (centre (2, 2) of 4 x 4;
    // ring centres (2, 1) and (4, 1) of 6 x 2).
    const TAdvancedBitmap rings = Generate(TShapeGeneratorParams{3, 1, 4, 4});
    EXPECT_EQ(At(rings, 2, 2), 255);
    EXPECT_EQ(At(rings, 0, 2), 74);  // 127.5 + 127.5 cos 2
    const TAdvancedBitmap spiral = Generate(TShapeGeneratorParams{4, 1, 4, 4});
    EXPECT_EQ(At(spiral, 3, 2), 196);  // r 1, angle 0
    EXPECT_EQ(At(spiral, 2, 3), 20);   // r 1, angle pi/2
    const TAdvancedBitmap moire = Generate(TShapeGeneratorParams{5, 1, 6, 2});
    EXPECT_EQ(At(moire, 2, 1), 164);  // 127.5 + 63.75 (1 + cos 2)
    EXPECT_EQ(At(moire, 3, 1), 196);  // 127.5 + 63.75 (2 cos 1)
}

TEST(Generators, WrappedFloorKeepsTheLowByteOfHugeValues)
{
    // Shape 1 with a large parameter paints values up to 1e216; the low byte
    // is taken without fmod's long division from 2^72 on.
    const auto literal = [](long double v) { return std::int32_t(std::floor(std::fmod(v, 256.0L))); };
    std::mt19937_64 random(7);
    for (int e = 31; e <= 80; ++e)
        for (int i = 0; i < 200; ++i) {
            const long double v = std::ldexp(1.0L + std::ldexp(static_cast<long double>(random()), -64), e);
            ASSERT_EQ(WrappedFloor(v), literal(v)) << double(v);
        }
    for (const long double v : {0x1p72L, std::nextafter(0x1p72L, 0.0L), 0x1p71L + 0x1p8L + 0x1p7L, 1e216L})
        EXPECT_EQ(WrappedFloor(v), literal(v)) << double(v);
    EXPECT_EQ(WrappedFloor(HUGE_VALL), 0);
}

}  // namespace
}  // namespace kadrimex
