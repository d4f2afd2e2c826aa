// Ctrl+C during a long operation cancels it cleanly: exit status 1, one
// line on stderr, no output file (an existing one is left as it was) and no
// temporary file beside it.
#include "engine/Codecs.h"
#include "tests/support/BatchPictureTest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

using namespace kadrimex;
namespace fs = std::filesystem;

namespace {

// A 7x7 matrix of real coefficients on 12 million pixels runs for seconds,
// long enough to be interrupted.
class BatchCancel : public test::BatchPictureTest {
protected:
    BatchCancel() : BatchPictureTest(4000, 3000, 5) {}

    // Coefficients this small take the filter's plain 80-bit loop, which
    // stays slow however fast the usual paths become.
    std::vector<std::string> SlowFilter(const std::string& output) const
    {
        std::vector<std::string> args = {"user", "7", "1.37", "0.5", "0"};
        for (int i = 0; i < 49; ++i)
            args.push_back(i % 2 ? "3.183e-300" : "-1.414e-300");
        args.insert(args.end(), {"-i", input, "-o", output, "--quiet"});
        return args;
    }
};

TEST_F(BatchCancel, InterruptLeavesNoOutputAndReportsOneLine)
{
    const std::string fresh = (dir / "fresh.bmp").string();
    const std::string existing = (dir / "existing.bmp").string();
    WriteFileAtomically(existing, {'o', 'l', 'd'});

    for (const std::string& output : {fresh, existing}) {
        SCOPED_TRACE(output);
        test::BatchProcess process(SlowFilter(output));
        ASSERT_TRUE(process.Started());
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        process.Signal(SIGINT);
        const test::BatchResult result = process.Wait();
        EXPECT_EQ(result.status, 1) << result.errors;
        ASSERT_EQ(result.ErrorLines().size(), 1u) << result.errors;
        EXPECT_EQ(result.ErrorLines()[0], "kadrimex-batch: cancelled");
    }
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(ReadFileBytes(existing), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    // Only the input and the untouched file remain: no temporary leftovers.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir))
        ++files;
    EXPECT_EQ(files, 2);
}

TEST_F(BatchCancel, UsageAndFailureStatuses)
{
    const std::string output = (dir / "out.bmp").string();
    // (Refused filter levels and a missing input have their own tests.)
    EXPECT_EQ(test::RunBatch({"gauss", "2", "-i", input, "-o", (dir / "out.png").string()}).status, 2);
    EXPECT_EQ(test::RunBatch({"nosuchcommand", "-o", output}).status, 2);
    EXPECT_EQ(test::RunBatch({"gauss", "2", "-o", output}).status, 2);
    EXPECT_FALSE(fs::exists(output));

    const test::BatchResult made = test::RunBatch({"new", "3", "2", "FF8000", "-o", output});
    ASSERT_EQ(made.status, 0) << made.errors;
    const auto bytes = ReadFileBytes(output);
    const TBitmap picture = DecodeBmp(bytes.data(), bytes.size());
    ASSERT_EQ(picture.Width(), 3);
    ASSERT_EQ(picture.Height(), 2);
    EXPECT_EQ(picture.PixelFormat(), TPixelFormat::pf24bit);
    const std::uint8_t* row = picture.ScanLine(1);
    EXPECT_EQ(row[6], 0x00);  // blue
    EXPECT_EQ(row[7], 0x80);  // green
    EXPECT_EQ(row[8], 0xFF);  // red
    EXPECT_EQ(test::RunBatch({"new", "32761", "1", "FFFFFF", "-o", output}).status, 2);
}

}  // namespace
