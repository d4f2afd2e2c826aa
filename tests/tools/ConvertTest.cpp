// kadrimex-batch convert, run as a separate process on generated pictures:
// what the tool adds to the codecs (the format chosen by the output's ending,
// one line on failure, no file left). The shared photographs and the BMP
// suite are read by the codec tests.
#include "engine/Codecs.h"
#include "tests/engine/CodecTestUtil.h"
#include "tests/support/BatchProcess.h"

#include <gtest/gtest.h>

using namespace kadrimex;
using namespace kadrimex::testing;
namespace fs = std::filesystem;

namespace {

TBitmap DecodeFile(const fs::path& path)
{
    const auto bytes = ReadAll(path);
    return DecodeBmp(bytes.data(), bytes.size());
}

class ConvertCommand : public ::testing::Test {
protected:
    void SetUp() override { dir = TempFolder("convert"); }
    void TearDown() override { fs::remove_all(dir); }
    // The tool's convert; the status (minus the signal that ended it) and
    // the lines on stderr.
    std::pair<int, std::vector<std::string>> Run(const fs::path& input, const char* output)
    {
        const auto result = test::RunBatch({"convert", "-i", input.string(), "-o", (dir / output).string()});
        return {result.status, result.ErrorLines()};
    }
    fs::path dir;
};

}  // namespace

TEST_F(ConvertCommand, BmpOfEveryDepthComesBackIdentical)
{
    std::uint32_t seed = 50;
    for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                                TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                TPixelFormat::pf32bit}) {
        const TBitmap original = RandomBitmap(37, 23, format, seed++);
        WriteAll(dir / "in.bmp", EncodeBmp(original));
        const auto [status, errors] = Run(dir / "in.bmp", "out.bmp");
        ASSERT_EQ(status, 0) << int(format) << (errors.empty() ? "" : errors[0]);
        EXPECT_TRUE(errors.empty());
        EXPECT_TRUE(SamePicture(original, DecodeFile(dir / "out.bmp"))) << "format " << int(format);
    }
}

TEST_F(ConvertCommand, JpegDecodesToBmpAndBmpSavesAsBaselineQuality80)
{
    const TBitmap picture = RandomBitmap(45, 31, TPixelFormat::pf24bit, 77);
    WriteAll(dir / "in.bmp", EncodeBmp(picture));
    ASSERT_EQ(Run(dir / "in.bmp", "out.jpg").first, 0);
    const auto jpg = ReadAll(dir / "out.jpg");
    EXPECT_EQ(jpg, EncodeJpeg(picture, 80, false));

    ASSERT_EQ(Run(dir / "out.jpg", "back.bmp").first, 0);
    const TBitmap back = DecodeFile(dir / "back.bmp");
    EXPECT_EQ(back.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_TRUE(SamePicture(DecodeJpeg(jpg.data(), jpg.size()), back));

    // A palette picture is saved as JPEG through its 24-bit colours.
    const TBitmap indexed = RandomBitmap(16, 9, TPixelFormat::pf8bit, 3);
    WriteAll(dir / "in8.bmp", EncodeBmp(indexed));
    ASSERT_EQ(Run(dir / "in8.bmp", "out8.jpeg").first, 0);
    EXPECT_EQ(ReadAll(dir / "out8.jpeg"), EncodeJpeg(indexed, 80, false));
}

TEST_F(ConvertCommand, BrokenInputsFailWithOneLineAndTouchNothing)
{
    const auto bmp = EncodeBmp(RandomBitmap(20, 10, TPixelFormat::pf24bit, 5));
    const auto jpg = EncodeJpeg(RandomBitmap(20, 10, TPixelFormat::pf24bit, 6));
    WriteAll(dir / "short.bmp", std::vector<std::uint8_t>(bmp.begin(), bmp.begin() + 300));
    WriteAll(dir / "short.jpg", std::vector<std::uint8_t>(jpg.begin(), jpg.begin() + long(jpg.size() / 2)));
    WriteAll(dir / "text.bmp", {'h', 'e', 'l', 'l', 'o'});
    WriteAll(dir / "text.jpg", {'h', 'e', 'l', 'l', 'o'});
    struct Case {
        const char* name;
        std::string message;
    };
    const Case cases[] = {
        {"short.bmp", "kadrimex-batch: BMP: file is truncated"},
        {"short.jpg", "kadrimex-batch: JPEG: file is truncated"},
        {"text.bmp", "kadrimex-batch: BMP: not a BMP file"},
        {"text.jpg", ""},
        {"missing.bmp", "kadrimex-batch: Cannot open file " + (dir / "missing.bmp").string() +
                            ": No such file or directory"},
    };
    for (const Case& c : cases) {
        for (const char* output : {"new.bmp", "new.jpg"}) {
            const auto [status, errors] = Run(dir / c.name, output);
            EXPECT_EQ(status, 1) << c.name;
            ASSERT_EQ(errors.size(), 1u) << c.name;
            if (!c.message.empty()) {
                EXPECT_EQ(errors[0], c.message);
            }
            EXPECT_FALSE(fs::exists(dir / output)) << c.name;
        }
    }
    // An existing output stays as it was.
    WriteAll(dir / "keep.bmp", {'k'});
    EXPECT_EQ(Run(dir / "short.bmp", "keep.bmp").first, 1);
    EXPECT_EQ(ReadAll(dir / "keep.bmp"), (std::vector<std::uint8_t>{'k'}));
}
