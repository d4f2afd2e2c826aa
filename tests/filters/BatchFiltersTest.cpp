// The batch commands gauss, triangle, sharpen and edges against the
// routines called with the launcher formulas.
#include "engine/Codecs.h"
#include "filters/Filters.h"

#include "FilterReference.h"
#include "tests/support/BatchPictureTest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace kadrimex {
namespace {

class BatchFiltersTest : public test::BatchPictureTest {
protected:
    BatchFiltersTest() : BatchPictureTest(37, 23, 11) {}

    // Exit status of the batch tool with these (blank-separated) arguments.
    int Batch(const std::string& arguments, const std::string& output)
    {
        return BatchPictureTest::Batch(arguments, output).status;
    }
};

TEST_F(BatchFiltersTest, CommandsMatchTheRoutines)
{
    const struct {
        std::string arguments;
        std::function<void(TBitmapProcesorThread&, TAdvancedBitmap*, TAdvancedBitmap*)> run;
    } cases[] = {
        {"gauss 2", [](auto& t, auto* d, auto* s) { GaussBlur(t, d, s, 2); }},
        {"gauss 37.5", [](auto& t, auto* d, auto* s) { GaussBlur(t, d, s, 37.5L); }},
        {"gauss -3", [](auto& t, auto* d, auto* s) { GaussBlur(t, d, s, -3); }},
        {"triangle 0.3", [](auto& t, auto* d, auto* s) { TriangleBlur(t, d, s, 0.3L); }},
        {"triangle 12", [](auto& t, auto* d, auto* s) { TriangleBlur(t, d, s, 12); }},
        {"sharpen 1 1", [](auto& t, auto* d, auto* s) { Sharpen(t, d, s, SharpenLevelParam(1), SharpenSizeParam(1)); }},
        {"sharpen 7.3 2.2",
         [](auto& t, auto* d, auto* s) { Sharpen(t, d, s, SharpenLevelParam(7.3L), SharpenSizeParam(2.2L)); }},
        {"sharpen -60 1",
         [](auto& t, auto* d, auto* s) { Sharpen(t, d, s, SharpenLevelParam(-60), SharpenSizeParam(1)); }},
        {"edges 1 3", [](auto& t, auto* d, auto* s) { FindEdges(t, d, s, EdgesLevelParam(1), EdgesSizeParam(3)); }},
        {"edges 0.35 0.7",
         [](auto& t, auto* d, auto* s) { FindEdges(t, d, s, EdgesLevelParam(0.35L), EdgesSizeParam(0.7L)); }},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string output = (dir / ("out" + std::to_string(n++) + ".bmp")).string();
        ASSERT_EQ(Batch(c.arguments, output), 0) << c.arguments;
        TBitmapProcesorThread thread;
        TAdvancedBitmap src(picture), dest;
        c.run(thread, &dest, &src);
        EXPECT_EQ(test::FirstDifference(Load(output), dest), -1) << c.arguments;
    }
}

TEST_F(BatchFiltersTest, RefusedArguments)
{
    const std::string output = (dir / "refused.bmp").string();
    for (const char* arguments : {"gauss abc", "gauss inf", "gauss nan", "gauss 0x10", "gauss 1,5", "triangle ''",
                                  "sharpen 1", "sharpen 1 x", "edges - 1", "gauss 1 2"})
        EXPECT_EQ(Batch(arguments, output), 2) << arguments;
    EXPECT_FALSE(std::filesystem::exists(output));
    // Accepted by the dialog, but no picture that large fits: a failure.
    EXPECT_EQ(Batch("gauss 1e9", output), 1);
    EXPECT_FALSE(std::filesystem::exists(output));
}

}  // namespace
}  // namespace kadrimex
