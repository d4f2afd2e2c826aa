// The RAW decoders and palette files: the worked examples, a literal
// reference on random files and options, the mended faults (64-bit sizes,
// Multibyte after a long skip, special files).
#include "engine/Codecs.h"
#include "rawimport/RawImport.h"

#include "RawReference.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

namespace kadrimex {
namespace {

namespace fs = std::filesystem;

TBitmap Decode(const std::vector<std::uint8_t>& file, const TRawOptions& options)
{
    TBitmap bitmap;
    EXPECT_TRUE(DecodeRaw(TRawMemory(file.data(), file.size()), options, bitmap));
    return bitmap;
}

TRawOptions Typical(int width, TPixelFormat format, int lineLimit = -1, std::int64_t skip = 0)
{
    TRawOptions o;
    o.width = width, o.format = format, o.lineLimit = lineLimit, o.skip = skip;
    return o;
}

TRawOptions Multibyte(int width, int bytesPerPixel, std::int64_t skip = 0)
{
    TRawOptions o;
    o.mode = TRawMode::Multibyte, o.width = width, o.bytesPerPixel = bytesPerPixel, o.skip = skip;
    return o;
}

// A temporary folder removed at the end of the test.
struct TempDir {
    const fs::path path = fs::temp_directory_path() / ("kadrimex-raw-" + std::to_string(getpid()));
    TempDir() { fs::create_directories(path); }
    ~TempDir()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::string File(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        std::ofstream((path / name).string(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return (path / name).string();
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

TEST(RawLayout, LineCountsOfTheDepthTable)
{
    struct Case {
        std::int64_t size;
        TRawOptions options;
        std::int64_t skip, lines, lineBytes;
    };
    const Case cases[] = {
        {64000, Typical(320, TPixelFormat::pf8bit), 0, 200, 320},
        {64000, Typical(320, TPixelFormat::pf8bit, 128), 0, 128, 320},
        {64000, Typical(321, TPixelFormat::pf8bit), 0, 200, 321},
        {64000, Typical(320, TPixelFormat::pf24bit), 0, 67, 960},
        {64000, Typical(320, TPixelFormat::pf32bit), 0, 50, 1280},
        {64000, Typical(321, TPixelFormat::pf16bit), 0, 100, 642},
        {100, Typical(12, TPixelFormat::pf1bit), 0, 67, 1},      // Ceil(800 / 12)
        {100, Typical(5, TPixelFormat::pf4bit), 0, 40, 2},       // Ceil(200 / 5)
        {100, Typical(7, TPixelFormat::pf1bit), 0, 115, 0},      // W div 8 = 0
        {100, Typical(10, TPixelFormat::pf8bit, 0, 100), 99, 1, 10},  // skip at the end: the last byte
        {100, Typical(10, TPixelFormat::pf8bit, -5, 500), 99, 1, 10},
        {0, Typical(10, TPixelFormat::pf8bit), 0, 1, 10},
        {1, Typical(1, TPixelFormat::pf1bit, 0, 9), 0, 8, 0},
        // Beyond 2 GiB: sizes and offsets stay positive and exact.
        {std::int64_t(3) << 30, Typical(320, TPixelFormat::pf8bit), 0, 10066330, 320},
        {std::int64_t(3) << 30, Typical(1, TPixelFormat::pf1bit), 0, std::int64_t(3) << 33, 0},
        {100, Multibyte(10, 1, 10), 10, 9, 10},
        {100, Multibyte(10, 1, 60), 60, 4, 10},  // A = 40 is not greater than the skip: decoded all the same
        {100, Multibyte(10, 1, 99), 99, 1, 10},
        {100, Multibyte(10, 1, 100), 100, 0, 10},
        {100, Multibyte(3, 7), 0, 5, 21},
    };
    for (const Case& c : cases) {
        const TRawLayout layout = RawLayout(c.options, c.size);
        EXPECT_EQ(layout.skip, c.skip) << c.size << " W " << c.options.width;
        EXPECT_EQ(layout.lines, c.lines) << c.size << " W " << c.options.width;
        EXPECT_EQ(layout.lineBytes, c.lineBytes) << c.size << " W " << c.options.width;
    }
}

TEST(RawDecode, WorkedExamples)
{
    const auto file = test::CountingBytes(64000);
    TRawOptions up = Typical(320, TPixelFormat::pf8bit);
    up.bottomUp = true;
    const struct {
        const char* what;
        TRawOptions options;
        int height;
        std::vector<std::array<int, 3>> bytes;  // line, byte, value
    } cases[] = {
        {"W = 321: the last line holds the final 121 bytes, the rest is zero", Typical(321, TPixelFormat::pf8bit), 200,
         {{199, 120, file[63999]}, {199, 121, 0}}},
        {"24 bits: the 67th line two-thirds filled", Typical(320, TPixelFormat::pf24bit), 67,
         {{66, 639, file[63999]}, {66, 640, 0}}},
        {"1 bit at W = 12: one byte a line, pixels 8 ... 11 not read", Typical(12, TPixelFormat::pf1bit), 42667,
         {{5, 0, file[5]}, {5, 1, 0}}},
        {"bottom-top: the first line of the file is the bottom row", up, 200,
         {{199, 3, file[3]}, {0, 3, file[199 * 320 + 3]}}},
        {"the skip passes the end: the last byte on one line", Typical(4, TPixelFormat::pf8bit, -1, 70000), 1,
         {{0, 0, file[63999]}, {0, 1, 0}}},
    };
    for (const auto& c : cases) {
        const TBitmap b = Decode(file, c.options);
        EXPECT_EQ(b.Height(), c.height) << c.what;
        for (const auto& [y, x, value] : c.bytes)
            EXPECT_EQ(b.ScanLine(y)[x], value) << c.what;
    }
    EXPECT_EQ(Decode(file, Typical(12, TPixelFormat::pf1bit)).Palette(),
              (std::vector<TPaletteEntry>{{0, 0, 0, 0}, {255, 255, 255, 0}}));
}

TEST(RawDecode, MultibyteChannels)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        int b;
        std::uint8_t blue, green, red;
    };
    const Case cases[] = {
        {{10, 20, 30}, 3, 10, 20, 30},
        {{200, 100}, 2, 150, 150, 150},
        {{1, 2, 3, 5}, 4, 1, 2, 4},
        {{255, 254, 1, 2, 9, 8}, 6, 254, 1, 8},
        {{7}, 1, 7, 7, 7},
    };
    for (const Case& c : cases) {
        const TBitmap b = Decode(c.bytes, Multibyte(1, c.b));
        ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
        EXPECT_EQ(b.ScanLine(0)[0], c.blue) << "B = " << c.b;
        EXPECT_EQ(b.ScanLine(0)[1], c.green) << "B = " << c.b;
        EXPECT_EQ(b.ScanLine(0)[2], c.red) << "B = " << c.b;
    }
    // Skip 60 of 100 bytes decodes the 40 left.
    const auto file = test::CountingBytes(100);
    const TBitmap kept = Decode(file, Multibyte(10, 1, 60));
    EXPECT_EQ(kept.Height(), 4);
    EXPECT_EQ(kept.ScanLine(0)[0], file[60]);
}

TEST(RawPalette, GreyRampMultiplierAndFiles)
{
    TBitmap b;
    b.Reset(1, 1, TPixelFormat::pf8bit);
    MakeGreyPalette(b, 2);
    EXPECT_EQ(b.Palette()[127].peRed, 254);
    EXPECT_EQ(b.Palette()[128].peGreen, 0);
    b.Reset(1, 1, TPixelFormat::pf4bit);
    MakeGreyPalette(b, 1);
    EXPECT_EQ(b.Palette()[15].peBlue, 240);
    b.Reset(1, 1, TPixelFormat::pf24bit);
    MakeGreyPalette(b, 1);
    EXPECT_TRUE(b.Palette().empty());

    // A 48-byte file gives the 16 colours of a 4-bit picture, a longer one is
    // read only as far as needed, a short one leaves the rest zero.
    struct CountingSource : TRawSource {
        std::vector<std::uint8_t> bytes = test::CountingBytes(1000);
        mutable std::size_t asked = 0;
        std::int64_t Size() const override { return std::int64_t(bytes.size()); }
        std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count) const override
        {
            asked += count;
            return TRawMemory(bytes.data(), bytes.size()).ReadAt(offset, buffer, count);
        }
    } palette;
    b.Reset(1, 1, TPixelFormat::pf4bit);
    LoadPaletteFile(b, 3, palette);
    ASSERT_EQ(b.Palette().size(), 16u);
    EXPECT_EQ(palette.asked, 48u);
    EXPECT_EQ(b.Palette()[15], (TPaletteEntry{std::uint8_t(palette.bytes[45] * 3), std::uint8_t(palette.bytes[46] * 3),
                                              std::uint8_t(palette.bytes[47] * 3), 0}));
    const std::vector<std::uint8_t> shortFile{9, 8, 7, 6};
    b.Reset(1, 1, TPixelFormat::pf1bit);
    LoadPaletteFile(b, 1, TRawMemory(shortFile.data(), shortFile.size()));
    EXPECT_EQ(b.Palette(), (std::vector<TPaletteEntry>{{9, 8, 7, 0}, {6, 0, 0, 0}}));
}

// Random files and options against the literal reference, palette files
// included; the decoders read through files so the positioned reads count.
TEST(RawDecode, MatchesTheLiteralReference)
{
    TempDir dir;
    std::mt19937 random(13);
    const TPixelFormat formats[] = {TPixelFormat::pf1bit,  TPixelFormat::pf4bit,  TPixelFormat::pf8bit,
                                    TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                    TPixelFormat::pf32bit};
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> file(std::size_t(random() % 3000));
        for (auto& byte : file)
            byte = std::uint8_t(random());
        std::vector<std::uint8_t> palette(std::size_t(random() % 4 == 0 ? 0 : 3 + random() % 900));
        for (auto& byte : palette)
            byte = std::uint8_t(random());
        TRawOptions o;
        o.mode = random() % 3 == 0 ? TRawMode::Multibyte : TRawMode::Typical;
        o.width = 1 + int(random() % 70);
        o.skip = random() % 4 == 0 ? std::int64_t(random() % 4000) : std::int64_t(random() % 40);
        o.lineLimit = random() % 3 == 0 ? int(random() % 30) - 5 : -1;
        o.bottomUp = random() % 2 == 0;
        o.format = formats[random() % 7];
        o.multiplier = 1 + int(random() % 255);
        o.bytesPerPixel = 1 + int(random() % (random() % 4 == 0 ? 255 : 8));
        o.paletteFile = palette.empty() ? std::string() : dir.File("p.pal", palette);
        const TRawFile raw(dir.File("f.raw", file));

        TBitmap expected, actual;
        const bool expectedOk = test::ReferenceRaw(file, o, palette, expected);
        ASSERT_EQ(DecodeRaw(raw, o, actual), expectedOk) << "round " << round;
        ASSERT_TRUE(test::SamePicture(actual, expected)) << "round " << round;
    }
}

TEST(RawDecode, FailuresLeaveThePictureAndCancelStops)
{
    const auto file = test::CountingBytes(100);
    const TRawMemory memory(file.data(), file.size());
    TBitmap kept = Decode(file, Typical(10, TPixelFormat::pf8bit));
    const TBitmap before = kept;
    // Too wide, too many lines, no byte after the skip, cancelled: the
    // picture stays as it was.
    EXPECT_THROW(DecodeRaw(memory, Typical(kRawMaxWidth, TPixelFormat::pf8bit), kept), EOutOfResources);
    struct Endless : TRawSource {
        std::int64_t Size() const override { return std::int64_t(1) << 40; }
        std::size_t ReadAt(std::int64_t, std::uint8_t*, std::size_t) const override { return 0; }
    };
    EXPECT_THROW(DecodeRaw(Endless(), Typical(320, TPixelFormat::pf8bit), kept), EOutOfResources);
    EXPECT_FALSE(DecodeRaw(memory, Multibyte(10, 1, 100), kept));
    EXPECT_FALSE(DecodeRaw(memory, Typical(2, TPixelFormat::pf8bit), kept, [] { return true; }));
    EXPECT_TRUE(test::SamePicture(kept, before));
}

TEST(RawFile, SpecialAndMissingFilesAreRefusedAtOnce)
{
    TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Opening a FIFO for reading would wait for a writer: the test would hang.
    for (const std::string& name : {fifo, dir / "missing", std::string("/dev/null"), dir / ""}) {
        try {
            TRawFile file(name);
            ADD_FAILURE() << name << " was opened";
        } catch (const EImageError& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
    }
    // Only no palette chosen gives the grey ramp; a chosen palette that
    // cannot be read, or holds no complete colour, fails with its reason.
    const auto file = test::CountingBytes(16);
    const TRawMemory memory(file.data(), file.size());
    TRawOptions o = Typical(4, TPixelFormat::pf8bit);
    EXPECT_EQ(Decode(file, o).Palette()[200].peRed, 200);
    for (const std::string& name : {fifo, dir / "missing", std::string("/dev/zero"), std::string("/dev/stdin"),
                                    dir / "", dir.File("short.pal", {1, 2})}) {
        o.paletteFile = name;
        TBitmap b;
        try {
            DecodeRaw(memory, o, b);
            ADD_FAILURE() << name << " was read as a palette";
        } catch (const EImageError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Cannot read the palette file: ", 0), 0u) << e.what();
        }
    }
}

TEST(RawFile, BeyondTwoGibibytesSparse)
{
    TempDir dir;
    const std::string path = dir / "big.raw";
    const std::int64_t size = std::int64_t(3) << 30;
    const std::int64_t marker = (std::int64_t(1) << 31) + 1000;
    {
        std::ofstream out(path, std::ios::binary);
        out.seekp(marker);
        out.put(char(0xAB));
    }
    ASSERT_EQ(truncate(path.c_str(), off_t(size)), 0);
    const TRawFile file(path);
    EXPECT_EQ(file.Size(), size);
    // Skip 2147000000, 1000 bytes a line: line 484 starts at 2^31 + 516.
    TRawOptions o = Typical(1000, TPixelFormat::pf8bit, 600, kRawMaxSkip);
    TBitmap b;
    ASSERT_TRUE(DecodeRaw(file, o, b));
    ASSERT_EQ(b.Height(), 600);
    const std::int64_t at = marker - kRawMaxSkip;
    EXPECT_EQ(b.ScanLine(int(at / 1000))[at % 1000], 0xAB);
    o.mode = TRawMode::Multibyte;
    o.bytesPerPixel = 1;
    ASSERT_TRUE(DecodeRaw(file, o, b));
    EXPECT_EQ(b.ScanLine(int(at / 1000))[3 * (at % 1000) + 2], 0xAB);
}

TEST(RawLineLimit, TextAsTheBoxReadsIt)
{
    const std::pair<const char*, int> cases[] = {{"no", -1}, {"128", 128}, {" 16 ", 16}, {"-3", -3}, {"+7", 7},
                                                 {"12a", -1}, {"", -1},   {"99999999999", -1}, {"1.5", -1}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ParseLineLimit(text), value) << text;
}

}  // namespace
}  // namespace kadrimex
