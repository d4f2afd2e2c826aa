// Every kadrimex-batch command against the operation it names, run in this
// process as the editor's launcher runs it: the record the arguments should
// give, through FillThread, on the bitmaps of the command's policy. The
// routines' own tests compare them with the literal references; this table
// catches a command that reads its arguments wrongly or hands over the wrong
// record or policy, and checks the file the tool writes byte for byte.
#include "engine/Codecs.h"
#include "filters/Filters.h"
#include "filters/Generators.h"
#include "filters/Resample.h"
#include "rawimport/RawImport.h"
#include "tonal/Tone.h"
#include "transforms/ColourDepth.h"
#include "transforms/FlipRotate.h"
#include "transforms/Fourier.h"
#include "userfilter/ExampleFilters.h"
#include "userfilter/UserFilter.h"

#include "tests/support/BatchPictureTest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace kadrimex {
namespace {

using TPolicy = TDestinationPolicy;

class BatchCommands : public test::BatchPictureTest {
protected:
    BatchCommands() : BatchPictureTest(37, 23, 11) {}

    std::string File(const std::string& name, const std::string& text)
    {
        std::ofstream(Path(name), std::ios::binary) << text;
        return Path(name);
    }

    // The tool on the input picture (or `input`); a generator takes none.
    test::BatchResult Run(const std::string& arguments, const std::string& output, bool takesInput = true,
                          const std::string& input = "")
    {
        std::filesystem::remove(output);
        return test::RunBatch(arguments + (takesInput ? " -i " + (input.empty() ? this->input : input) : "") +
                              " -o " + output + " --quiet");
    }
};

// What the launcher makes of `picture` with this record and policy.
template <class Params>
std::function<TBitmap(const TAdvancedBitmap&)> Operation(std::function<Params()> record,
                                                         TPolicy policy = TPolicy::NewEmpty24)
{
    return [=](const TAdvancedBitmap& picture) {
        TBitmapProcesorThread thread(true);
        TOperationBitmaps bitmaps = AttachBitmaps(
            thread, policy, NeedsWorkingCopy(policy) ? std::make_unique<TAdvancedBitmap>(picture) : nullptr);
        FillThread(thread, record());
        thread.Execute();
        EXPECT_EQ(thread.FErrorMessage, "");
        return TBitmap(*bitmaps.destination);
    };
}

template <class Params>
std::function<TBitmap(const TAdvancedBitmap&)> Operation(Params record, TPolicy policy = TPolicy::NewEmpty24)
{
    return Operation<Params>([record] { return record; }, policy);
}

TUserFilterParams UserParams(const std::vector<long double>& cells, long double divider, long double offset,
                             bool absolute)
{
    TUserFilterParams params;
    params.size = cells.size() == 1 ? 1 : cells.size() == 9 ? 3 : cells.size() == 25 ? 5 : 7;
    params.coefficients.reset(AllocateCoefficients(params.size));
    std::copy(cells.begin(), cells.end(), params.coefficients.get());
    params.divider = divider, params.offset = offset, params.absolute = absolute;
    return params;
}

// Enough digits to read back the same 80-bit value.
std::string Real(long double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.21Lg", v);
    return text;
}

TEST_F(BatchCommands, EachCommandWritesWhatItsOperationMakes)
{
    std::string numbers;
    TToneTable table{};
    for (int i = 0; i < 256; ++i) {
        table[std::size_t(i)] = std::uint8_t((i * 7 + 3) % 256);
        numbers += std::to_string(table[std::size_t(i)]) + (i % 16 == 15 ? "\n" : " ");
    }
    const std::string tableFile = File("table.txt", numbers);
    // A 5x5 matrix of reals with a full 64-bit mantissa: the tool must read
    // every digit as the dialog does.
    std::vector<long double> reals(25);
    std::string realArguments = "user 5 " + Real(2.75L / 3) + ' ' + Real(-40.0L / 7) + " 1";
    for (std::size_t k = 0; k < reals.size(); ++k)
        realArguments.append(1, ' ').append(Real(reals[k] = (long double)(int(k) - 12) / 7 + 1e-12L * k));
    const TExampleFilter& example = FilterType(3).Examples[1];
    const std::vector<long double> exampleCells(example.Cells.begin(), example.Cells.end());
    const std::vector<long double> laplace = {0, -1, 0, -1, 4, -1, 0, -1, 0};

    using Flip = TFlipRotateChoice;
    const struct {
        std::string arguments;
        std::function<TBitmap(const TAdvancedBitmap&)> expected;
        TPolicy policy = TPolicy::NewEmpty24;
    } rows[] = {
        {"gauss 2", Operation(TGaussBlurParams{2})},
        {"gauss -3", Operation(TGaussBlurParams{-3})},
        {"triangle 0.3", Operation(TTriangleBlurParams{0.3L})},
        {"sharpen 7.3 2.2", Operation(TSharpenParams{7.3L, 2.2L})},
        {"edges 0.35 0.7", Operation(TFindEdgesParams{0.35L, 0.7L})},
        {"resize 20 31 1", Operation(TResizeParams{20, 31, 1})},
        {"resize 9 5", Operation(TResizeParams{9, 5, 2})},
        {"gen-shape 4 5 0 1.1", Operation(TShapeGeneratorParams{0, 1.1L, 4, 5}, TPolicy::NewForGenerator),
         TPolicy::NewForGenerator},
        {"gen-triangle 6 4 -20 0.5", Operation(TTriangleGeneratorParams{-20, 0.5L, 6, 4}, TPolicy::NewForGenerator),
         TPolicy::NewForGenerator},
        {"gen-gauss 5 5 30", Operation(TGaussGeneratorParams{30, 5, 5}, TPolicy::NewForGenerator),
         TPolicy::NewForGenerator},
        {"gen-sharpen 5 3 -7", Operation(TSharpenGeneratorParams{-7, 5, 3}, TPolicy::NewForGenerator),
         TPolicy::NewForGenerator},
        {"gen-edge 3 6 12", Operation(TEdgeGeneratorParams{12, 3, 6}, TPolicy::NewForGenerator),
         TPolicy::NewForGenerator},
        {"flip h", Operation(TFlipRotateParams{Flip::FlipHorizontal, 0, false})},
        {"flip v", Operation(TFlipRotateParams{Flip::FlipVertical, 0, false})},
        {"rotate -2.5 enlarge", Operation(TFlipRotateParams{Flip::Rotate, -2.5L, true})},
        {"rotate 0.3", Operation(TFlipRotateParams{Flip::Rotate, 0.3L, false})},
        {"fft", Operation(TFFTParams{})},
        {"revfft", Operation(TRevFFTParams{})},
        {"fftgauss 7.5", Operation(TFFTGaussParams{7.5L})},
        {"equalize 3", Operation(TLevelsParams{0, 0, 0, 3}, TPolicy::WorkingCopyInPlace)},
        {"range -99 999 1", Operation(TLevelsParams{1, -99, 999, 1}, TPolicy::WorkingCopyInPlace)},
        {"curve 2 " + tableFile, Operation(TCurveParams{table, 2}, TPolicy::WorkingCopyInPlace)},
        {"user-example 3 1 1",
         Operation<TUserFilterParams>([&] { return UserParams(exampleCells, example.Divider, example.Offset, true); })},
        {"user 3 2 10 0 0 -1 0 -1 4 -1 0 -1 0",
         Operation<TUserFilterParams>([&] { return UserParams(laplace, 2, 10, false); })},
        {realArguments,
         Operation<TUserFilterParams>([&] { return UserParams(reals, 2.75L / 3, -40.0L / 7, true); })},
        // A zero divider is a value the dialog accepts.
        {"user 1 0 0 0 1", Operation<TUserFilterParams>([] { return UserParams({1}, 0, 0, false); })},
        // Reals up to the double range; beyond it they would become infinite.
        {"user 1 1e300 0 0 1e300", Operation<TUserFilterParams>([] { return UserParams({1e300L}, 1e300L, 0, false); })},
    };
    int n = 0;
    for (const auto& row : rows) {
        const std::string output = Path("out" + std::to_string(n++) + ".bmp");
        const test::BatchResult result = Run(row.arguments, output, NeedsWorkingCopy(row.policy));
        ASSERT_EQ(result.status, 0) << row.arguments << ": " << result.errors;
        EXPECT_EQ(ReadFileBytes(output), EncodeBmp(row.expected(picture))) << row.arguments;
    }

    // The commands without a worker: depth converts the picture, raw decodes
    // its input file.
    for (const auto& [arguments, params] : {std::pair{"depth 4", TColourDepthParams{TPixelFormat::pf4bit, false}},
                                            std::pair{"depth 8 gray", TColourDepthParams{TPixelFormat::pf8bit, true}},
                                            std::pair{"depth 16", TColourDepthParams{TPixelFormat::pf16bit, false}}}) {
        ASSERT_EQ(Run(arguments, Path("depth.bmp")).status, 0) << arguments;
        TBitmap expected = picture;
        ChangeColourDepth(expected, params);
        EXPECT_EQ(ReadFileBytes(Path("depth.bmp")), EncodeBmp(expected)) << arguments;
    }
    std::string counting(5000, '\0'), palette(40, '\0');
    for (std::size_t i = 0; i < counting.size(); ++i)
        counting[i] = char(i * 7 + i / 256);
    for (std::size_t i = 0; i < palette.size(); ++i)
        palette[i] = char(i * 13);
    const std::string raw = File("in.raw", counting), pal = File("p.pal", palette);
    TRawOptions paletted, multi, deep;
    paletted.width = 33, paletted.format = TPixelFormat::pf4bit, paletted.lineLimit = 20, paletted.skip = 7;
    paletted.bottomUp = true, paletted.multiplier = 3, paletted.paletteFile = pal;
    multi.mode = TRawMode::Multibyte, multi.width = 17, multi.bytesPerPixel = 5, multi.lineLimit = 9, multi.skip = 3;
    deep.width = 21, deep.format = TPixelFormat::pf15bit;
    for (const auto& [arguments, options] :
         {std::pair{"raw 33 4bpp skip=7 lines=20 bottom-up palette=" + pal + " mul=3", paletted},
          std::pair{std::string("raw 17 multi:5 lines=9 skip=3"), multi},
          std::pair{std::string("raw 21 15bpp lines=no"), deep}}) {
        ASSERT_EQ(Run(arguments, Path("raw.bmp"), true, raw).status, 0) << arguments;
        TBitmap expected;
        ASSERT_TRUE(DecodeRaw(TRawFile(raw), options, expected));
        EXPECT_EQ(ReadFileBytes(Path("raw.bmp")), EncodeBmp(expected)) << arguments;
    }
}

TEST_F(BatchCommands, RefusedArgumentsExitWithOneLineAndNoOutput)
{
    std::string ones;
    for (int i = 0; i < 255; ++i)
        ones += "1 ";
    std::string spelled;  // the first 32 bytes of a long word of byte 1
    for (int i = 0; i < 32; ++i)
        spelled += "\\x01";
    const std::string badReal = "Przynajmiej jeden ze współczynników nie jest poprawną liczbą zmiennoprzecinkową.";
    const std::string raw = File("in.raw", std::string(5000, 'x'));
    // Status 2: a value the dialog refuses; 1: a failure of the run.
    const struct {
        std::string arguments;
        int status;
        std::string message;  // part of the one line on stderr
    } rows[] = {
        {"gauss abc", 2, ""}, {"gauss inf", 2, ""}, {"gauss nan", 2, ""}, {"gauss 0x10", 2, ""}, {"gauss 1,5", 2, ""},
        {"sharpen 1", 2, ""}, {"sharpen 1 x", 2, ""}, {"edges - 1", 2, ""}, {"gauss 1 2", 2, ""},
        // Accepted by the dialog, but no picture that large fits.
        {"gauss 1e9", 1, "too large"},
        {"resize 0 5", 2, ""}, {"resize 5 32761", 2, ""}, {"resize 5 5 3", 2, "MODE"},
        {"flip x", 2, ""}, {"flip H", 2, ""}, {"rotate nan", 2, ""}, {"rotate 1 big", 2, "'big' is not 'enlarge'"},
        {"depth 7", 2, "BPP must be"}, {"depth 8 grey", 2, "'grey' is not 'gray'"},
        {"fftgauss level", 2, ""},
        {"range abc 200 0", 2, "Może byś tak podał rozsądny próg dolny? Musi być <256 i nie za ujemny..."},
        {"range 0 0 0", 2, "Może byś tak podał rozsądny próg górny? Musi być >1 i nie za olbrzymi (<32767)."},
        {"range 10 abc 0", 2, "Może byś tak podał rozsądny próg górny? Musi być >1 i nie za olbrzymi (<32767)."},
        {"range 200 55 0", 2, "No i co to ma być? Ty pomyśl trochę i wstukaj próg dolny MNIEJSZY od górnego!"},
        {"equalize 4", 2, "CHANNEL must be"},
        {"curve 0 " + Path("missing.txt"), 1, "Cannot read"},
        {"curve 0 " + File("short.txt", ones), 1, "holds 255 numbers"},
        {"curve 0 " + File("long.txt", ones + "1 1"), 1, "more than 256"},
        {"curve 0 " + File("big.txt", ones + "256"), 1, "entry 255 ('256')"},
        {"curve 0 " + File("real.txt", "1.5 " + ones), 1, "entry 0 ('1.5')"},
        // Bytes that are not printable are spelled out, never sent as they are.
        {"curve 0 " + File("nul.txt", std::string("1\0" "2 ", 4) + ones), 1, "entry 0 ('1\\x002')"},
        {"curve 0 " + File("binary.txt", "\x1b[2J\xff\x7f\\ " + ones), 1, "entry 0 ('\\x1b[2J\\xff\\x7f\\x5c')"},
        {"curve 0 " + File("long.bin", std::string(40, '\x01') + " " + ones), 1, "('" + spelled + "...')"},
        {"user 3 1 0 0 1 2 3 4 x 6 7 8 9", 2, badReal}, {"user 1 1,5 0 0 1", 2, badReal},
        {"user 1 1 0 0 1e5000", 2, badReal}, {"user 1 1e400 0 0 1", 2, badReal},
        {"user 4 1 0 0 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1", 2, "SIZE must be 1, 3, 5 or 7"},
        {"user 3 1 0 0 1 2", 2, "needs 9 coefficients"}, {"user 1 1 0 2 1", 2, "ABS must be 0 or 1"},
        {"user-example 9 0 0", 2, "There is no example"}, {"user-example 1 4 0", 2, "There is no example"},
    };
    for (const auto& row : rows) {
        const test::BatchResult result = Run(row.arguments, Path("refused.bmp"));
        EXPECT_EQ(result.status, row.status) << row.arguments;
        EXPECT_EQ(result.ErrorLines().size(), 1u) << row.arguments << ": " << result.errors;
        EXPECT_NE(result.errors.find(row.message), std::string::npos) << row.arguments << ": " << result.errors;
        for (const char byte : result.errors)
            EXPECT_TRUE(byte == '\n' || (static_cast<unsigned char>(byte) >= 0x20 && byte != 0x7F)) << row.arguments;
        EXPECT_FALSE(std::filesystem::exists(Path("refused.bmp"))) << row.arguments;
    }
    const std::pair<const char*, int> rawRows[] = {
        {"raw 0 8bpp", 2},       {"raw 10 9bpp", 2},      {"raw 10 multi:256", 2},         {"raw 10 8bpp mul=0", 2},
        {"raw 10 8bpp skip=-1", 2}, {"raw 10 8bpp what", 2}, {"raw 10 multi:1 skip=5000", 1}, {"raw 100000 8bpp", 1},
        {"raw 10 8bpp lines=-1", 2}, {"raw 10 8bpp lines=0", 2}, {"raw 10 8bpp palette=", 1}};
    for (const auto& [arguments, status] : rawRows) {
        const test::BatchResult result = Run(arguments, Path("refused.bmp"), true, raw);
        EXPECT_EQ(result.status, status) << arguments;
        EXPECT_EQ(result.ErrorLines().size(), 1u) << arguments << ": " << result.errors;
        EXPECT_FALSE(std::filesystem::exists(Path("refused.bmp"))) << arguments;
    }
    for (const char* arguments : {"gen-gauss 0 10 1", "gen-edge 10 32761 1", "gen-shape 10 10 6 1",
                                  "gen-triangle 10 10 x 0"}) {
        EXPECT_EQ(Run(arguments, Path("refused.bmp"), false).status, 2) << arguments;
        EXPECT_FALSE(std::filesystem::exists(Path("refused.bmp"))) << arguments;
    }
}

}  // namespace
}  // namespace kadrimex
