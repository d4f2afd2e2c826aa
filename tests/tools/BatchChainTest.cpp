// Chains of steps run in process: the picture handed from step to step in
// memory gives byte for byte what each step alone gives through BMP files;
// resize P% and the header sizes that plan a folder's jobs.
#include "engine/Codecs.h"
#include "tests/engine/CodecTestUtil.h"
#include "tools/BatchChain.h"
#include "tools/PictureSize.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace kadrimex;
using namespace kadrimex::batch;
using namespace kadrimex::testing;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

class BatchChain : public ::testing::Test {
protected:
    void SetUp() override { dir = TempFolder("chain"); }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string& name) const { return (dir / name).string(); }

    // The chain in one run, written to `output`.
    void RunWhole(const std::string& chain, const std::string& input, const std::string& output)
    {
        SaveResult(output, RunChain(ParseSteps(Words(chain)), input, {}), WritableFormatOf(output));
    }
    // Each step alone, from the previous step's BMP file, the last one
    // written to `output`.
    void RunStepByStep(const std::string& chain, std::string input, const std::string& output)
    {
        const auto steps = ParseSteps(Words(chain));
        for (std::size_t k = 0; k < steps.size(); ++k) {
            const std::string next = k + 1 == steps.size() ? output : Path("step" + std::to_string(k) + ".bmp");
            SaveResult(next, RunChain({steps[k]}, input, {}), WritableFormatOf(next));
            input = next;
        }
    }
    fs::path dir;
};

}  // namespace

TEST_F(BatchChain, StepsInMemoryMatchStepsThroughBmpFiles)
{
    const std::string testdata = SharedDir() + "/testdata/";
    if (!fs::exists(testdata + "chelsea-451x300.jpg"))
        GTEST_SKIP() << "no shared testdata";
    struct Case {
        const char* chain;
        const char* input;  // in testdata; none for a chain that makes its picture
        const char* ending;
    };
    const Case cases[] = {
        {"gauss 2 + flip h", "chelsea-451x300.jpg", ".jpg"},
        {"sharpen 50 10 + rotate 0.3 enlarge + resize 50%", "chelsea-451x300-8bit-palette.bmp", ".bmp"},
        {"depth 4 gray + triangle 1.5 + equalize 0 + flip v", "chelsea-451x300-16bit-565.bmp", ".bmp"},
        {"resize 33 17 1 + depth 1", "chelsea-451x300-32bit.bmp", ".bmp"},
        {"range 10 200 2 + user-example 1 0 0 + depth 32", "chelsea-451x300-1bit.bmp", ".jpg"},
        {"fftgauss 3 + depth 8 + edges 40 20", "chelsea-451x300-4bit.bmp", ".bmp"},
        {"gen-shape 64 40 2 3 + fft + revfft", "", ".bmp"},
        {"new 30 20 ff8000 + resize 250% 0 + convert", "", ".jpg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chain);
        const std::string input = *c.input ? testdata + c.input : std::string();
        const std::string whole = Path(std::string("whole") + c.ending);
        const std::string stepped = Path(std::string("stepped") + c.ending);
        RunWhole(c.chain, input, whole);
        RunStepByStep(c.chain, input, stepped);
        const auto bytes = ReadAll(whole);
        EXPECT_GT(bytes.size(), 0u);
        EXPECT_TRUE(bytes == ReadAll(stepped));
    }
}

TEST_F(BatchChain, ResizePercentRoundsEachSideToTheNearestPixel)
{
    WriteAll(dir / "in.bmp", EncodeBmp(RandomBitmap(37, 23, TPixelFormat::pf24bit, 9)));
    struct Case {
        const char* percent;
        int width, height;
    };
    // 37 x 23: 18.5 x 11.5 rounds up, 0.37 x 0.23 is held at one pixel.
    for (const Case& c : {Case{"50%", 19, 12}, Case{"1%", 1, 1}, Case{"200%", 74, 46}, Case{"33.3%", 12, 8}}) {
        const TBitmap result = RunChain(ParseSteps({"resize", c.percent, "0"}), Path("in.bmp"), {});
        EXPECT_EQ(result.Width(), c.width) << c.percent;
        EXPECT_EQ(result.Height(), c.height) << c.percent;
    }
}

TEST_F(BatchChain, MisplacedStepsAndBadArgumentsAreRefusedBeforeAnyPictureIsRead)
{
    struct Case {
        const char* chain;
        const char* message;
    };
    const Case cases[] = {
        {"gauss 2 + new 1 1 000000", "new makes a new picture: it can only be the first step"},
        {"flip h + raw 10 8bpp", "raw makes a new picture: it can only be the first step"},
        {"gauss 2 + + flip h", "a '+' must stand between two steps (see --help)"},
        {"gauss 2 +", "a '+' must stand between two steps (see --help)"},
        {"gauss 2 + blur 3", "unknown command 'blur' (see --help)"},
        {"flip h + flip x", "'x' is not a direction: h (left to right) or v (top to bottom)"},
        {"resize 0% + flip h", "P% must be a percentage greater than 0"},
        {"resize 50% 1 2", "unexpected argument '2'; usage: resize P% [MODE]"},
        {"resize 640", "usage: resize WIDTH HEIGHT [MODE] or resize P% [MODE]"},
    };
    for (const auto& c : cases) {
        std::string message = "(accepted)";
        try {
            CheckSteps(ParseSteps(Words(c.chain)));
        } catch (const UsageError& e) {
            message = e.what();
        }
        EXPECT_EQ(message, c.message) << c.chain;
    }
}

TEST_F(BatchChain, PictureSizesComeFromTheHeaders)
{
    const TBitmap picture = RandomBitmap(70, 46, TPixelFormat::pf24bit, 4);
    WriteAll(dir / "a.bmp", EncodeBmp(picture));
    WriteAll(dir / "a.jpg", EncodeJpeg(picture));
    const auto jpeg = EncodeJpeg(picture);
    WriteAll(dir / "cut.jpg", std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + 20));
    // A PNG's signature and IHDR: 300 x 200.
    WriteAll(dir / "a.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                             0, 0, 1, 44, 0, 0, 0, 200, 8, 2, 0, 0, 0});
    WriteAll(dir / "a.txt", {'h', 'e', 'l', 'l', 'o'});
    const std::string testdata = SharedDir() + "/testdata/";
    struct Case {
        std::string path;
        std::int64_t pixels;
    };
    const Case cases[] = {
        {Path("a.bmp"), 70 * 46},
        {Path("a.jpg"), 70 * 46},
        {Path("a.png"), 300 * 200},
        {Path("cut.jpg"), 0},
        {Path("a.txt"), 0},
        {Path("none.jpg"), 0},
        {dir.string(), 0},
        {testdata + "chelsea-451x300-24bit-topdown.bmp", fs::exists(testdata) ? 451 * 300 : 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PicturePixels(c.path), c.pixels) << c.path;
}
