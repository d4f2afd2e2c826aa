// kadrimex-batch flip, rotate and depth through real files: flip against an
// independent literal mirror of every format, rotate and depth against the
// routines, and the arguments the tool refuses.
#include "transforms/ColourDepth.h"
#include "transforms/FlipRotate.h"

#include "tests/support/BatchPictureTest.h"

#include "engine/Codecs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

namespace kadrimex {
namespace {

class BatchGeometry : public test::BatchPictureTest {
protected:
    // Writes `input`, runs `command` on it into out.bmp; the exit status.
    int Run(const std::string& command, const TBitmap& input)
    {
        WriteFileAtomically(Path("in.bmp"), EncodeBmp(input));
        std::filesystem::remove(Path("out.bmp"));
        return test::RunBatch(command + " -i " + Path("in.bmp") + " -o " + Path("out.bmp") + " --quiet").status;
    }

    TBitmap Output() const { return Load(Path("out.bmp")); }
};

// The mirror as the loops are written, on the picture's colours.
TBitmap LiteralMirror(const TBitmap& input, bool leftToRight)
{
    TBitmap source = input;
    source.SetPixelFormat(TPixelFormat::pf24bit);
    const int W = source.Width(), H = source.Height();
    TBitmap out;
    out.Reset(W, H, TPixelFormat::pf24bit);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < 3; ++c)
                out.ScanLine(y)[3 * x + c] =
                    leftToRight ? source.ScanLine(y)[3 * (W - 1 - x) + c] : source.ScanLine(H - 1 - y)[3 * x + c];
    return out;
}

TEST_F(BatchGeometry, FlipMatchesTheLiteralMirrorForEveryFormat)
{
    std::mt19937 random(21);
    const std::pair<int, int> sizes[] = {{1, 1}, {3, 1}, {1, 3}, {5, 4}, {37, 23}};
    for (const auto& [W, H] : sizes)
        for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                                    TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
            TBitmap picture = test::RandomPicture(W, H, random);
            picture.SetPixelFormat(format);
            for (const char* direction : {"h", "v"}) {
                ASSERT_EQ(Run(std::string("flip ") + direction, picture), 0);
                const TBitmap out = Output();
                EXPECT_EQ(out.PixelFormat(), TPixelFormat::pf24bit);
                EXPECT_EQ(test::FirstDifference(out, LiteralMirror(picture, direction[0] == 'h')), -1)
                    << "flip " << direction << ' ' << W << 'x' << H << " of " << BitsPerPixel(format) << " bits";
            }
        }
}

TEST_F(BatchGeometry, RotateAndDepthMatchTheRoutines)
{
    std::mt19937 random(22);
    const TAdvancedBitmap picture = test::RandomPicture(29, 18, random);
    for (const auto& [arguments, angle, enlarge] : {std::tuple{"rotate 0.3", 0.3L, false},
                                                    std::tuple{"rotate -2.5 enlarge", -2.5L, true},
                                                    std::tuple{"rotate 1.57079632679489 enlarge", 1.57079632679489L, true}}) {
        ASSERT_EQ(Run(arguments, picture), 0) << arguments;
        TBitmapProcesorThread thread;
        TAdvancedBitmap source(picture), destination;
        MakeRotate(thread, &destination, &source, angle, enlarge);
        EXPECT_EQ(test::FirstDifference(Output(), destination), -1) << arguments;
    }
    for (const auto& [arguments, bits, gray] : {std::tuple{"depth 4", 4, false}, std::tuple{"depth 8 gray", 8, true},
                                                std::tuple{"depth 16", 16, false}}) {
        ASSERT_EQ(Run(arguments, picture), 0) << arguments;
        TBitmap expected = picture;
        ChangeColourDepth(expected, {PixelFormatFromBits(bits), gray});
        const TBitmap out = Output();
        EXPECT_EQ(out.PixelFormat(), expected.PixelFormat()) << arguments;
        EXPECT_EQ(out.Palette(), expected.Palette()) << arguments;
        EXPECT_EQ(EncodeBmp(out), EncodeBmp(expected)) << arguments;
    }
}

TEST_F(BatchGeometry, RefusedArgumentsLeaveNoOutput)
{
    std::mt19937 random(23);
    const TAdvancedBitmap picture = test::RandomPicture(4, 4, random);
    for (const char* arguments : {"flip", "flip x", "flip H", "flip h v", "rotate", "rotate abc", "rotate nan",
                                  "rotate 1 big", "rotate 1 enlarge x", "rotate 1,5", "depth 7", "depth x",
                                  "depth 8 grey", "depth"}) {
        EXPECT_EQ(Run(arguments, picture), 2) << arguments;
        EXPECT_FALSE(std::filesystem::exists(Path("out.bmp"))) << arguments;
    }
}

}  // namespace
}  // namespace kadrimex
