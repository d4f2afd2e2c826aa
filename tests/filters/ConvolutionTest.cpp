#include "filters/Convolution.h"
#include "filters/Masks.h"

#include "FilterReference.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kadrimex {
namespace {

using convolution_detail::TSumPath;
using test::FirstDifference;
using test::PathGuard;
using test::RandomPicture;
using test::ReferenceConvolve;

TBitmap RandomMask(int width, int height, std::mt19937& random, int lo = 0, int hi = 255)
{
    TBitmap mask;
    mask.Reset(width, height, TPixelFormat::pf8bit);
    std::uniform_int_distribution<int> byte(lo, hi);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            mask.ScanLine(y)[x] = std::uint8_t(byte(random));
    return mask;
}

TAdvancedBitmap Convolve(TSumPath path, const TAdvancedBitmap& source, const TBitmap& mask, bool isSigned)
{
    convolution_detail::SetSumPathForTesting(path);
    TBitmapProcesorThread thread;
    TAdvancedBitmap src(source), dest;
    if (isSigned)
        ConvolveSigned(thread, &dest, &src, &mask);
    else
        ConvolveUnsigned(thread, &dest, &src, &mask);
    return dest;
}

// Every summing path against the literal sums.
void ExpectAllPathsMatch(const TAdvancedBitmap& source, const TBitmap& mask, bool isSigned, const std::string& what)
{
    PathGuard guard;
    TBitmap expected;
    ReferenceConvolve(source, mask, isSigned, expected);
    for (TSumPath path : {TSumPath::Direct, TSumPath::Fft, TSumPath::FftSmallBlocks, TSumPath::Auto}) {
        const TAdvancedBitmap got = Convolve(path, source, mask, isSigned);
        ASSERT_EQ(FirstDifference(got, expected), -1)
            << what << " path " << int(path) << " picture " << source.Width() << 'x' << source.Height() << " mask "
            << mask.Width() << 'x' << mask.Height() << (isSigned ? " signed" : " unsigned");
    }
}

TEST(ConvolutionTest, RandomMasksOnRandomPictures)
{
    std::mt19937 random(20261206);
    const int sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {2, 3}, {5, 4}, {13, 9}, {31, 17}, {64, 48}};
    std::uniform_int_distribution<int> side(1, 13);
    for (const auto& size : sizes) {
        const TAdvancedBitmap picture = RandomPicture(size[0], size[1], random);
        for (int n = 0; n < 4; ++n) {
            const TBitmap mask = RandomMask(side(random), side(random), random);
            ExpectAllPathsMatch(picture, mask, n % 2 == 1, "random");
        }
    }
    // Weights near the signed zero make sums of either sign, norms of either
    // sign and sums of exactly zero (norm 1001).
    for (int n = 0; n < 6; ++n) {
        const TAdvancedBitmap picture = RandomPicture(17, 11, random);
        ExpectAllPathsMatch(picture, RandomMask(3 + n, 4, random, 125, 131), true, "near zero");
    }
    const TAdvancedBitmap picture = RandomPicture(9, 6, random);
    TBitmap zeroSum;
    zeroSum.Reset(2, 1, TPixelFormat::pf8bit);
    zeroSum.ScanLine(0)[0] = 128 + 40;
    zeroSum.ScanLine(0)[1] = 128 - 40;
    ExpectAllPathsMatch(picture, zeroSum, true, "zero sum");
}

TEST(ConvolutionTest, LargePictureAndLargeMasks)
{
    std::mt19937 random(7);
    // Several tiles and bands on the FFT path.
    const TAdvancedBitmap large = RandomPicture(240, 180, random);
    TBitmapProcesorThread thread;
    TBitmap gauss;
    PaintGaussMask(thread, &gauss, GaussBaseLevel, 21, 21);
    ExpectAllPathsMatch(large, gauss, false, "gauss 20");
    ExpectAllPathsMatch(large, RandomMask(9, 5, random), true, "signed 9x5");

    // A mask larger than the picture, and one the FFT path has to cut into
    // blocks.
    const TAdvancedBitmap small = RandomPicture(23, 19, random);
    ExpectAllPathsMatch(small, RandomMask(61, 45, random), false, "61x45");
    ExpectAllPathsMatch(small, RandomMask(140, 133, random), false, "140x133");
    ExpectAllPathsMatch(small, RandomMask(140, 7, random), true, "140x7 signed");
}

TEST(ConvolutionTest, EmptyMaskGivesZeroSums)
{
    std::mt19937 random(3);
    const TAdvancedBitmap picture = RandomPicture(5, 4, random);
    TBitmap empty;
    empty.Reset(0, 3, TPixelFormat::pf8bit);
    for (bool isSigned : {false, true}) {
        const TAdvancedBitmap got = Convolve(TSumPath::Auto, picture, empty, isSigned);
        ASSERT_EQ(got.Width(), 5);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 15; ++x)
                EXPECT_EQ(got.ScanLine(y)[x], 0);
    }
}

TEST(ConvolutionTest, FftErrorBoundCoversTheLargestFilterMask)
{
    // The 101 x 101 Gauss mask of level 100 on 512 x 512 tiles: well inside
    // the 0.125 the engine accepts, and far from the 0.5 rounding needs.
    TBitmapProcesorThread thread;
    TBitmap mask;
    PaintGaussMask(thread, &mask, GaussBaseLevel, 101, 101);
    double l1 = 0, squares = 0;
    for (int y = 0; y < 101; ++y)
        for (int x = 0; x < 101; ++x) {
            l1 += mask.ScanLine(y)[x];
            squares += double(mask.ScanLine(y)[x]) * mask.ScanLine(y)[x];
        }
    const double bound = convolution_detail::FftErrorBound(512, l1, std::sqrt(squares));
    EXPECT_LT(bound, 0.125);
    EXPECT_GT(bound, 0.0);
    // A whole large picture in one transform would not be provably exact.
    EXPECT_GT(convolution_detail::FftErrorBound(4096, l1, std::sqrt(squares)), 0.5);
}

}  // namespace
}  // namespace kadrimex
