// The mask painters: worked values, the non-positive levels, sizes and
// termination, and every painter against its plain 80-bit formula, byte for
// byte, over the parameters where the fast paths could differ: flat and
// whole-number values (steepness 0, the caps), a tent foot of 0.5, quarter
// and odd angles, odd and even sizes, and shaping parameters large enough to
// make the cosine arguments long.
#include "filters/Generators.h"
#include "filters/Masks.h"
#include "tests/filters/MaskReference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace kadrimex {
namespace {

using Rows = std::vector<std::vector<int>>;

Rows Bytes(const TBitmap& mask)
{
    Rows rows;
    for (int y = 0; y < mask.Height(); ++y) {
        rows.emplace_back();
        for (int x = 0; x < mask.Width(); ++x)
            rows.back().push_back(mask.ScanLine(y)[x]);
    }
    return rows;
}

TBitmap Mask8()
{
    TBitmap mask;
    mask.SetPixelFormat(TPixelFormat::pf8bit);
    return mask;
}

TEST(MaskTest, GaussWorkedValues)
{
    TBitmapProcesorThread thread;
    TBitmap mask = Mask8();
    PaintGaussMask(thread, &mask, GaussBaseLevel, 3, 3);
    EXPECT_EQ(Bytes(mask), (Rows{{64, 127, 64}, {127, 255, 127}, {64, 127, 64}}));
    PaintGaussMask(thread, &mask, 500, 2, 2);
    EXPECT_EQ(Bytes(mask), (Rows{{117, 117}, {117, 117}}));
    PaintGaussMask(thread, &mask, 500, 2.5L, 2);
    EXPECT_EQ(mask.Width(), 3);
    EXPECT_EQ(mask.Height(), 2);
    PaintGaussMask(thread, &mask, 1, 4, 5);
    EXPECT_EQ(Bytes(mask), Rows(5, std::vector<int>(4, 255)));
    // (The sides of large odd masks at level 500, 55 and 54, are checked
    // through the Gauss generator.)
}

TEST(MaskTest, GaussNonPositiveLevelActsAsTiny)
{
    TBitmapProcesorThread thread;
    TBitmap tiny = Mask8(), zero = Mask8(), negative = Mask8();
    PaintGaussMask(thread, &tiny, 1e-30L, 9, 7);
    PaintGaussMask(thread, &zero, 0, 9, 7);
    PaintGaussMask(thread, &negative, -4, 9, 7);
    EXPECT_EQ(Bytes(zero), Bytes(tiny));
    EXPECT_EQ(Bytes(negative), Bytes(tiny));
    // Below level 1 the value grows outward past 255 and only its low byte
    // is kept: the corners of this mask are far above 255.
    const long double kx = std::log(1e-30L) / 81, ky = std::log(1e-30L) / 49;
    const long double corner = 255 * std::exp(-ky * 9) * std::exp(-kx * 16);
    EXPECT_GT(corner, 2147483647.0L);
    EXPECT_EQ(tiny.ScanLine(0)[0], std::uint8_t(std::floor(std::fmod(corner, 256.0L))));
}

TEST(MaskTest, TriangleWorkedValues)
{
    TBitmapProcesorThread thread;
    TBitmap mask = Mask8();
    PaintTriangleMask(thread, &mask, -0.1L, 3, 3);
    EXPECT_EQ(Bytes(mask), (Rows{{86, 148, 86}, {148, 255, 148}, {86, 148, 86}}));
    PaintTriangleMask(thread, &mask, -0.1L, 4, 4);
    EXPECT_EQ(Bytes(mask), (Rows{{63, 106, 106, 63}, {106, 177, 177, 106}, {106, 177, 177, 106}, {63, 106, 106, 63}}));
}

TEST(MaskTest, TentFootOfOneHalfLightsOnlyThePeak)
{
    TBitmapProcesorThread thread;
    TBitmap mask = Mask8();
    PaintTriangleMask(thread, &mask, 0.5L, 3, 3);
    EXPECT_EQ(Bytes(mask), (Rows{{0, 0, 0}, {0, 255, 0}, {0, 0, 0}}));
    // Even sizes have no cell at the peak.
    PaintTriangleMask(thread, &mask, 0.5L, 4, 2);
    EXPECT_EQ(Bytes(mask), Rows(2, std::vector<int>(4, 0)));
    // Just below 0.5 the tent is already that steep.
    TBitmap steep = Mask8();
    PaintTriangleMask(thread, &steep, 0.4999L, 3, 3);
    EXPECT_EQ(Bytes(steep), (Rows{{0, 0, 0}, {0, 255, 0}, {0, 0, 0}}));
    PaintRotatedTriangleMask(thread, &mask, 0.5L, 0.3L, 40, 30);
    EXPECT_GT(mask.Width(), 30);
    for (const auto& row : Bytes(mask))
        for (int v : row)
            EXPECT_TRUE(v == 0 || v == 255);
}

TEST(MaskTest, RotatedTriangleCanvasAndOrientation)
{
    TBitmapProcesorThread thread;
    TBitmap upright = Mask8();
    PaintRotatedTriangleMask(thread, &upright, -0.1L, 0, 100, 100);
    ASSERT_EQ(upright.Width(), 94);
    ASSERT_EQ(upright.Height(), 94);
    // Upright and centred: the cells next to the centre are bright, the
    // canvas is (up to rounding) mirror symmetric.
    EXPECT_GE(upright.ScanLine(46)[46], 250);
    for (int y = 0; y < 94; ++y)
        for (int x = 0; x < 94; ++x) {
            EXPECT_LE(std::abs(upright.ScanLine(y)[x] - upright.ScanLine(93 - y)[x]), 1) << y << ',' << x;
            EXPECT_LE(std::abs(upright.ScanLine(y)[x] - upright.ScanLine(y)[93 - x]), 1) << y << ',' << x;
        }
    // A narrow tall tent turned by pi/2 becomes a wide flat one.
    TBitmap tall = Mask8(), turned = Mask8();
    PaintRotatedTriangleMask(thread, &tall, 0.2L, 0, 10, 60);
    PaintRotatedTriangleMask(thread, &turned, 0.2L, kPi / 2, 10, 60);
    ASSERT_EQ(tall.Width(), turned.Width());
    const int n = tall.Width();
    int tallRow = 0, tallColumn = 0, turnedRow = 0, turnedColumn = 0;
    for (int i = 0; i < n; ++i) {
        tallRow += tall.ScanLine(n / 2)[i] > 0;
        tallColumn += tall.ScanLine(i)[n / 2] > 0;
        turnedRow += turned.ScanLine(n / 2)[i] > 0;
        turnedColumn += turned.ScanLine(i)[n / 2] > 0;
    }
    EXPECT_LT(tallRow, tallColumn);
    EXPECT_GT(turnedRow, turnedColumn);
    EXPECT_NEAR(tallRow, turnedColumn, 2);
    EXPECT_NEAR(tallColumn, turnedRow, 2);
}

TEST(MaskTest, SharpenWorkedValuesAndNonPositiveLevel)
{
    TBitmapProcesorThread thread;
    TBitmap mask = Mask8();
    PaintSharpenMask(thread, &mask, 970, 3, 3);
    EXPECT_EQ(Bytes(mask), (Rows{{117, 138, 117}, {138, 255, 138}, {117, 138, 117}}));
    // At the reference level the whole mask is 128 + g/2.
    TBitmap gauss = Mask8();
    PaintGaussMask(thread, &gauss, GaussBaseLevel, 7, 5);
    PaintSharpenMask(thread, &mask, GaussBaseLevel, 7, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(mask.ScanLine(y)[x], int(gauss.ScanLine(y)[x] / 2.0 + 128));
    // A level of 0 or below is painted as 1e-30.
    TBitmap tiny = Mask8();
    PaintSharpenMask(thread, &tiny, 1e-30L, 11, 9);
    for (long double level : {0.0L, -2.5L}) {
        PaintSharpenMask(thread, &mask, level, 11, 9);
        EXPECT_EQ(Bytes(mask), Bytes(tiny)) << double(level);
    }
}

TEST(MaskTest, EdgeWorkedValues)
{
    TBitmapProcesorThread thread;
    TBitmap mask = Mask8();
    PaintEdgeMask(thread, &mask, 1, 6, 6);
    const Rows rows = Bytes(mask);
    EXPECT_EQ(rows[0], (std::vector<int>{159, 191, 156, 94, 64, 97}));
    EXPECT_EQ(rows[5], (std::vector<int>{97, 88, 127, 127, 127, 127}));
    // Level 0 zeroes the negative ring (128); the positive ring stays.
    TBitmap flat = Mask8();
    PaintEdgeMask(thread, &flat, 0, 6, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            if (rows[std::size_t(y)][std::size_t(x)] < 127)
                EXPECT_EQ(flat.ScanLine(y)[x], 128) << y << ',' << x;
            else
                EXPECT_EQ(flat.ScanLine(y)[x], rows[std::size_t(y)][std::size_t(x)]) << y << ',' << x;
        }
}

TEST(MaskTest, SizesAndTermination)
{
    TBitmapProcesorThread thread;
    TBitmap mask = Mask8();
    PaintEdgeMask(thread, &mask, 1, 0, 4);
    EXPECT_TRUE(mask.Empty());
    PaintGaussMask(thread, &mask, 500, -3, 2.01L);
    EXPECT_EQ(mask.Width(), 0);
    EXPECT_EQ(mask.Height(), 3);
    EXPECT_THROW(PaintGaussMask(thread, &mask, 500, 1e9L, 3), EOutOfResources);
    EXPECT_THROW(PaintGaussMask(thread, &mask, 500, std::nanl(""), 3), EImageError);
    PaintGaussMask(thread, nullptr, 500, 3, 3);

    // A terminated thread sizes the mask but paints no row.
    thread.Terminate();
    TBitmap stopped = Mask8();
    PaintGaussMask(thread, &stopped, 500, 5, 4);
    PaintEdgeMask(thread, &stopped, 1, 5, 4);
    PaintRotatedTriangleMask(thread, &stopped, -0.1L, 0, 5, 4);
    EXPECT_EQ(Bytes(stopped), Rows(std::size_t(stopped.Height()), std::vector<int>(5, 0)));
}

using Painter = std::function<void(TBitmapProcesorThread&, TBitmap*)>;

struct Case {
    std::string name;
    Painter fast;
    Painter literal;
};

void ExpectSameBytes(const Case& c)
{
    TBitmapProcesorThread thread;
    TBitmap fast = Mask8(), literal = Mask8();
    c.fast(thread, &fast);
    c.literal(thread, &literal);
    EXPECT_EQ(Bytes(fast), Bytes(literal)) << c.name;
}

template <typename Fast, typename Literal, typename... Args>
Case Make(std::string name, Fast fast, Literal literal, Args... args)
{
    return {std::move(name), [=](TBitmapProcesorThread& t, TBitmap* m) { fast(t, m, args...); },
            [=](TBitmapProcesorThread& t, TBitmap* m) { literal(t, m, args...); }};
}

TEST(MaskFastPath, EveryPainterGivesTheLiteralBytes)
{
    std::vector<Case> cases;
    for (long double level : {GaussBaseLevel, 1.0L, 0.01L, 0.0L, 1e6L})
        cases.push_back(Make("gauss " + std::to_string(double(level)), PaintGaussMask, reference::PaintGaussMask,
                             level, 101.0L, 64.0L));
    for (long double foot : {0.0L, -0.4L, 0.25L, 0.5L, 0.4999L, 0.7L})
        cases.push_back(Make("triangle " + std::to_string(double(foot)), PaintTriangleMask,
                             reference::PaintTriangleMask, foot, 77.0L, 50.0L));
    for (long double foot : {0.0L, -2.0L, 0.25L, 0.5L, 0.4999L, 0.7L})
        for (long double angle : {0.0L, 0.3L, 1.5707963267948966L, -7.0L, 1000.0L})
            cases.push_back(Make("rotated " + std::to_string(double(foot)) + " " + std::to_string(double(angle)),
                                 PaintRotatedTriangleMask, reference::PaintRotatedTriangleMask, foot, angle, 90.0L,
                                 61.0L));
    for (long double level : {GaussBaseLevel, 1.0L, 3000.0L, 0.5L, 1e9L})
        cases.push_back(Make("sharpen " + std::to_string(double(level)), PaintSharpenMask,
                             reference::PaintSharpenMask, level, 96.0L, 71.0L));
    for (long double level : {0.0L, 0.5L, 1.0015L, 2.0L})
        cases.push_back(Make("edge " + std::to_string(double(level)), PaintEdgeMask, reference::PaintEdgeMask, level,
                             120.0L, 81.0L));
    for (int function = 0; function <= 5; ++function)
        for (long double a : {0.0L, 0.2L, 1.0L, -3.0L, 37.5L})
            cases.push_back(Make("shape " + std::to_string(function) + " " + std::to_string(double(a)),
                                 PaintAbstractShape, reference::PaintAbstractShape, function, a, 150.0L, 101.0L));
    for (const Case& c : cases)
        ExpectSameBytes(c);
}

}  // namespace
}  // namespace kadrimex
