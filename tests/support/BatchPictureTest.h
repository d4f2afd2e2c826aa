// A fixture for the kadrimex-batch command tests: skips when the tool is not
// built, gives each test its own temporary folder, optionally writes a random
// 24-bit input picture there, and runs the tool on it.
#pragma once

#include "engine/Codecs.h"

#include "tests/support/BatchProcess.h"
#include "tests/support/TestPictures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace kadrimex::test {

class BatchPictureTest : public ::testing::Test {
protected:
    // A width of 0 writes no input picture.
    explicit BatchPictureTest(int width = 0, int height = 0, unsigned seed = 1)
        : FWidth(width), FHeight(height), FSeed(seed)
    {
    }

    void SetUp() override
    {
        if (!std::filesystem::exists(KADRIMEX_BATCH_PATH))
            GTEST_SKIP() << "kadrimex-batch not built (KADRIMEX_BATCH_PATH)";
        dir = std::filesystem::temp_directory_path() /
              ("kadrimex-batch-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        if (FWidth > 0) {
            std::mt19937 random(FSeed);
            picture = RandomPicture(FWidth, FHeight, random);
            input = Path("in.bmp");
            WriteFileAtomically(input, EncodeBmp(picture));
        }
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    std::string Path(const std::string& name) const { return (dir / name).string(); }

    // The tool with these blank-separated arguments on the input picture.
    BatchResult Batch(const std::string& arguments, const std::string& output)
    {
        return RunBatch(arguments + " -i " + input + " -o " + output + " --quiet");
    }

    static TBitmap Load(const std::string& path)
    {
        const auto bytes = ReadFileBytes(path);
        return DecodeBmp(bytes.data(), bytes.size());
    }

    std::filesystem::path dir;
    std::string input;
    TAdvancedBitmap picture;

private:
    int FWidth, FHeight;
    unsigned FSeed;
};

}  // namespace kadrimex::test
