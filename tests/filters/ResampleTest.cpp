// Resizing: the Gaussian resampling against a literal 80-bit reference on
// random, constant and saturated pictures, shrinking and enlarging; the
// worked 4 x 4 and 2 x 2 cases; nearest neighbour and the tent filter.
#include "filters/Masks.h"
#include "filters/Resample.h"
#include "tests/support/TestPictures.h"

#include "ResampleReference.h"

#include <gtest/gtest.h>

#include <random>
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

TEST(Resample, GaussMatchesTheLiteralResampling)
{
    std::mt19937 random(7);
    const TAdvancedBitmap noise = test::RandomPicture(23, 17, random);
    TAdvancedBitmap flat = test::RandomPicture(9, 11, random), white = flat;
    for (int y = 0; y < flat.Height(); ++y)
        for (int x = 0; x < 27; ++x) {
            flat.ScanLine(y)[x] = 77;
            white.ScanLine(y)[x] = 255;
        }
    const std::pair<int, int> sizes[] = {{23, 17}, {7, 5}, {11, 3}, {40, 33}, {1, 1}, {23, 1}, {5, 30}, {64, 2}};
    for (const TBitmap* picture : {&static_cast<const TBitmap&>(noise), static_cast<const TBitmap*>(&flat),
                                   static_cast<const TBitmap*>(&white)})
        for (const auto& [W, H] : sizes)
            EXPECT_EQ(test::FirstDifference(Resized(*picture, W, H, 2), test::LiteralResample(*picture, W, H)), -1)
                << picture->Width() << 'x' << picture->Height() << " -> " << W << 'x' << H;
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
