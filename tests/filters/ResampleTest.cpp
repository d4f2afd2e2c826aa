// Resizing: the Gaussian resampling's fast sums against a literal 80-bit
// reference on random, constant, black, saturated and mirror-symmetric
// pictures, shrinking and enlarging; the worked 4 x 4 and 2 x 2 cases;
// nearest neighbour and the tent filter.
#include "filters/Masks.h"
#include "filters/Resample.h"
#include "tests/support/TestPictures.h"

#include "ResampleReference.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kadrimex {
namespace {

TAdvancedBitmap Resized(const TBitmap& source, int W, int H, int mode)
{
    TBitmapProcesorThread thread(true);
    TAdvancedBitmap src, dst;
    static_cast<TBitmap&>(src) = source;
    dst.SetPixelFormat(TPixelFormat::pf24bit);
    thread.FSource = &src;
    thread.FDestination = &dst;
    FillThread(thread, TResizeParams{W, H, mode});
    thread.Execute();
    return dst;
}

TAdvancedBitmap Picture(const std::string& kind, int width, int height)
{
    std::mt19937 random(std::uint32_t(width * 1000 + height));
    TAdvancedBitmap b = test::RandomPicture(width, height, random);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                std::uint8_t& v = b.ScanLine(y)[3 * x + c];
                if (kind == "constant")
                    v = 77;
                else if (kind == "black")
                    v = 0;
                else if (kind == "saturated")
                    v = 255;
                else if (kind == "symmetric" && (x >= width - 1 - x || y >= height - 1 - y))
                    v = b.ScanLine(std::min(y, height - 1 - y))[3 * std::min(x, width - 1 - x) + c];
            }
    return b;
}

TAdvancedBitmap Grey(const std::vector<std::vector<int>>& rows)
{
    TAdvancedBitmap b;
    b.Reset(int(rows[0].size()), int(rows.size()), TPixelFormat::pf24bit);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            for (int c = 0; c < 3; ++c)
                b.ScanLine(y)[3 * x + c] = std::uint8_t(rows[std::size_t(y)][std::size_t(x)]);
    return b;
}

// The integer sums (merged runs of mask cells, 32- or 64-bit sums, the byte
// table or the threshold finisher) against the literal 80-bit resampling on
// pictures where rounding ties live; odd and even sizes, one-row and
// one-column destinations.
TEST(Resample, GaussMatchesTheLiteralResampling)
{
    struct TCase {
        int sw, sh, W, H;
    };
    const TCase cases[] = {
        {23, 17, 23, 17},  // the same size
        {20, 14, 40, 28},  // 200 %: 3 x 3 mask, cells merged in pairs
        {21, 13, 42, 27},  // odd sides, just over 200 %
        {9, 7, 31, 5},     // enlarging across, shrinking down
        {30, 22, 15, 11},  // 50 %
        {17, 17, 1, 17},   // one column
        {17, 17, 17, 1},   // one row
        {13, 11, 1, 1},    // the whole picture in one pixel
        {7, 3, 200, 9},    // a wide enlarging mask
        {9, 11, 64, 2},
        {250, 3, 2, 3},    // 125-column mask: sums past the byte table
        {640, 600, 1, 1},  // 640 x 600 mask: sums past 32 bits
    };
    for (const char* kind : {"random", "constant", "black", "saturated", "symmetric"})
        for (const TCase& c : cases) {
            const TAdvancedBitmap source = Picture(kind, c.sw, c.sh);
            EXPECT_EQ(test::FirstDifference(Resized(source, c.W, c.H, 2), test::LiteralResample(source, c.W, c.H)), -1)
                << kind << ' ' << c.sw << 'x' << c.sh << " -> " << c.W << 'x' << c.H;
        }
}

TEST(Resample, WorkedCasesAndTheOtherInterpolations)
{
    const TAdvancedBitmap four = Grey({{0, 40, 80, 120}, {10, 50, 90, 130}, {20, 60, 100, 140}, {30, 70, 110, 150}});
    const TAdvancedBitmap two = Grey({{0, 100}, {100, 200}});
    const TAdvancedBitmap enlarged =
        Grey({{0, 25, 75, 100}, {25, 50, 100, 125}, {75, 100, 150, 175}, {100, 125, 175, 200}});
    EXPECT_EQ(test::FirstDifference(Resized(four, 2, 2, 2), Grey({{0, 120}, {30, 150}})), -1);
    EXPECT_EQ(test::FirstDifference(Resized(two, 4, 4, 2), enlarged), -1);
    for (int mode : {0, 1, 2})
        EXPECT_EQ(test::FirstDifference(Resized(four, 4, 4, mode), four), -1) << "same size copies, mode " << mode;
    EXPECT_EQ(test::FirstDifference(Resized(two, 4, 4, 0),
                                    Grey({{0, 0, 100, 100}, {0, 0, 100, 100}, {100, 100, 200, 200}, {100, 100, 200, 200}})),
              -1);
    EXPECT_EQ(test::FirstDifference(Resized(two, 4, 4, 1), enlarged), -1) << "bilinear when enlarging";
    // Shrinking 1-pixel stripes by 10 % with the tent averages them instead
    // of picking every tenth column (the border columns repeat edge pixels).
    std::vector<std::vector<int>> stripes(2, std::vector<int>(100));
    for (int x = 0; x < 100; ++x)
        stripes[0][std::size_t(x)] = stripes[1][std::size_t(x)] = x % 2 ? 255 : 0;
    const TAdvancedBitmap shrunk = Resized(Grey(stripes), 10, 2, 1);
    for (int x = 1; x < 9; ++x)
        EXPECT_NEAR(shrunk.ScanLine(0)[3 * x], 128, 16) << x;
}

}  // namespace
}  // namespace kadrimex
