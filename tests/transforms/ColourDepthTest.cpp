// Colour depth of a photo: through 8 bits and back it keeps its detail, at 4
// bits its colours; the grayscale box gives one bit and two colours whatever
// the depth.
#include "transforms/ColourDepth.h"

#include "PhotoFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>

namespace kadrimex {
namespace {

TBitmap Depth(const TBitmap& picture, int bits, bool monochrome = false)
{
    TBitmap copy = picture;
    ChangeColourDepth(copy, {PixelFormatFromBits(bits), monochrome});
    return copy;
}

TBitmap As24(TBitmap picture)
{
    picture.SetPixelFormat(TPixelFormat::pf24bit);
    return picture;
}

TEST(ColourDepth, PhotoKeepsItsDetailAt8BitsAndItsColoursAt4)
{
    const TBitmap& photo = test::Photo();
    const TBitmap eight = Depth(photo, 8);
    EXPECT_EQ(eight.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_GT(test::Psnr(As24(eight), photo), 30.0);

    // Sixteen colours fitted to the sky and the lights, not sixteen greys:
    // a grey ramp would leave every entry with equal channels.
    const TBitmap four = Depth(photo, 4);
    EXPECT_EQ(four.PixelFormat(), TPixelFormat::pf4bit);
    ASSERT_LE(four.Palette().size(), 16u);
    int chromatic = 0;
    for (const TPaletteEntry& e : four.Palette())
        chromatic += std::max({e.peRed, e.peGreen, e.peBlue}) - std::min({e.peRed, e.peGreen, e.peBlue}) >= 24;
    EXPECT_GE(chromatic, 4);
    EXPECT_GT(test::Psnr(As24(four), photo), 22.0);
}

TEST(ColourDepth, EveryDepthIsMadeAndTheGrayscaleBoxGivesTwoColours)
{
    const TBitmap& photo = test::Photo();
    for (int bits : {1, 4, 8, 15, 16, 24, 32})
        for (bool monochrome : {false, true}) {
            const TBitmap converted = Depth(photo, bits, monochrome);
            EXPECT_EQ(BitsPerPixel(converted.PixelFormat()), monochrome ? 1 : bits);
            if (monochrome) {
                EXPECT_TRUE(converted.Monochrome()) << bits;
                EXPECT_EQ(converted.Palette().size(), 2u);
            }
        }
    // An untouched format changes nothing.
    const TBitmap same = Depth(photo, 24);
    EXPECT_EQ(std::memcmp(same.ScanLine(100), photo.ScanLine(100), 3 * std::size_t(photo.Width())), 0);
}

}  // namespace
}  // namespace kadrimex
