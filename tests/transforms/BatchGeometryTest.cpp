// kadrimex-batch flip, rotate and depth through real files against the
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

TEST_F(BatchGeometry, FlipRotateAndDepthMatchTheRoutines)
{
    // Flip and rotate convert a palette picture to 24 bits first; the
    // routines' own tests cover every size and format.
    std::mt19937 random(22);
    const TAdvancedBitmap truecolour = test::RandomPicture(29, 18, random);
    TAdvancedBitmap picture = truecolour;
    picture.SetPixelFormat(TPixelFormat::pf8bit);
    const struct {
        const char* arguments;
        TFlipRotateParams params;
    } turns[] = {{"flip h", {TFlipRotateChoice::FlipHorizontal, 0, false}},
                 {"flip v", {TFlipRotateChoice::FlipVertical, 0, false}},
                 {"rotate 0.3", {TFlipRotateChoice::Rotate, 0.3L, false}},
                 {"rotate -2.5 enlarge", {TFlipRotateChoice::Rotate, -2.5L, true}},
                 {"rotate 1.57079632679489 enlarge", {TFlipRotateChoice::Rotate, 1.57079632679489L, true}}};
    for (const auto& c : turns) {
        ASSERT_EQ(Run(c.arguments, picture), 0) << c.arguments;
        TBitmapProcesorThread thread;
        TAdvancedBitmap source(picture), destination;
        thread.FSource = &source;
        thread.FDestination = &destination;
        FillThread(thread, c.params);
        thread.Execute();
        EXPECT_EQ(destination.PixelFormat(), TPixelFormat::pf24bit) << c.arguments;
        EXPECT_EQ(test::FirstDifference(Output(), destination), -1) << c.arguments;
    }
    for (const auto& [arguments, bits, gray] : {std::tuple{"depth 4", 4, false}, std::tuple{"depth 8 gray", 8, true},
                                                std::tuple{"depth 16", 16, false}}) {
        ASSERT_EQ(Run(arguments, truecolour), 0) << arguments;
        TBitmap expected = truecolour;
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
