// The Gaussian resampling's integer sums (merged runs of mask cells, 32- or
// 64-bit sums, the byte table or the threshold finisher) against the
// literal 80-bit resampling, byte for byte, on pictures where rounding ties
// live: constant, saturated, mirror-symmetric, random; odd and even sizes,
// one-row and one-column destinations.
#include "filters/Resample.h"
#include "tests/support/TestPictures.h"

#include "ResampleReference.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

namespace kadrimex {
namespace {

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

TAdvancedBitmap Resampled(const TBitmap& source, int W, int H)
{
    TBitmapProcesorThread thread(true);
    TAdvancedBitmap src, dst;
    static_cast<TBitmap&>(src) = source;
    thread.FSource = &src;
    thread.FDestination = &dst;
    FillThread(thread, TResizeParams{W, H, 2});
    thread.Execute();
    return dst;
}

TEST(ResampleFastPath, MatchesTheLiteralResampling)
{
    struct TCase {
        int sw, sh, W, H;
    };
    const TCase cases[] = {
        {20, 14, 40, 28},  // 200 %: 3 x 3 mask, cells merged in pairs
        {21, 13, 42, 27},  // odd sides, just over 200 %
        {9, 7, 31, 5},     // enlarging across, shrinking down
        {30, 22, 15, 11},  // 50 %
        {17, 17, 1, 17},   // one column
        {17, 17, 17, 1},   // one row
        {13, 11, 1, 1},    // the whole picture in one pixel
        {7, 3, 200, 9},    // a wide enlarging mask
        {250, 3, 2, 3},    // 125-column mask: sums past the byte table
        {640, 600, 1, 1},  // 640 x 600 mask: sums past 32 bits
    };
    for (const char* kind : {"random", "constant", "black", "saturated", "symmetric"})
        for (const TCase& c : cases) {
            const TAdvancedBitmap source = Picture(kind, c.sw, c.sh);
            EXPECT_EQ(test::FirstDifference(Resampled(source, c.W, c.H), test::LiteralResample(source, c.W, c.H)), -1)
                << kind << ' ' << c.sw << 'x' << c.sh << " -> " << c.W << 'x' << c.H;
        }
}

}  // namespace
}  // namespace kadrimex
