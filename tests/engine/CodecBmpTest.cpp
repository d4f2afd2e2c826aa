#include "engine/Codecs.h"
#include "tests/engine/CodecTestUtil.h"

#include <gtest/gtest.h>


using namespace kadrimex;
using namespace kadrimex::testing;

namespace {

std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

std::string DecodeError(const std::vector<std::uint8_t>& file)
{
    return ErrorOf([&] { DecodeBmp(file.data(), file.size()); });
}

// A 4 x 2 picture of 24-bit pixels stored bottom-up, rows padded to 12 bytes.
std::vector<std::uint8_t> Tiny24Pixels()
{
    return {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,            // bottom row
            21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};  // top row
}

}  // namespace

TEST(BmpCodec, EveryFormatRoundTripsWithItsOwnDepthAndPalette)
{
    const TPixelFormat formats[] = {TPixelFormat::pf1bit,  TPixelFormat::pf4bit,  TPixelFormat::pf8bit,
                                    TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                    TPixelFormat::pf32bit};
    std::uint32_t seed = 1;
    for (TPixelFormat format : formats) {
        for (int width : {1, 3, 7, 9, 33}) {
            const TBitmap original = RandomBitmap(width, 5, format, seed++);
            const auto file = EncodeBmp(original);
            const TBitmap decoded = DecodeBmp(file.data(), file.size());
            EXPECT_TRUE(SamePicture(original, decoded)) << "format " << int(format) << " width " << width;

            // Header fields a reader relies on.
            const int bits = BitsPerPixel(format) == 15 ? 16 : BitsPerPixel(format);
            const std::size_t stride = RowStride(width, bits);
            EXPECT_EQ(U32At(file, 2), file.size());
            EXPECT_EQ(U32At(file, 14), 40u);
            EXPECT_EQ(std::int32_t(U32At(file, 22)), 5) << "bottom-up rows";
            EXPECT_EQ(file[28] | file[29] << 8, bits);
            EXPECT_EQ(U32At(file, 30), format == TPixelFormat::pf16bit ? 3u : 0u);
            EXPECT_EQ(U32At(file, 10) + stride * 5, file.size());
            if (format == TPixelFormat::pf16bit) {
                EXPECT_EQ(U32At(file, 54), 0xF800u);
                EXPECT_EQ(U32At(file, 58), 0x07E0u);
                EXPECT_EQ(U32At(file, 62), 0x001Fu);
            }
            // The file's first row is the picture's bottom row; padding is zero.
            const std::size_t rowBytes = (std::size_t(width) * bits + 7) / 8;
            const std::uint8_t* first = file.data() + U32At(file, 10);
            EXPECT_EQ(first[0], original.ScanLine(4)[0]);
            for (std::size_t i = rowBytes; i < stride; ++i)
                EXPECT_EQ(first[i], 0) << "padding byte " << i;
        }
    }
}

TEST(BmpCodec, ShortPalettesSurviveARoundTripAndDeviceFormatsWriteAs24Bits)
{
    TBitmap bitmap = RandomBitmap(6, 3, TPixelFormat::pf8bit, 9);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            bitmap.ScanLine(y)[x] = std::uint8_t((x + y) % 5);
    std::vector<TPaletteEntry> five(bitmap.Palette().begin(), bitmap.Palette().begin() + 5);
    bitmap.SetPaletteEntries(five);
    auto file = EncodeBmp(bitmap);
    EXPECT_EQ(U32At(file, 46), 5u);
    EXPECT_TRUE(SamePicture(bitmap, DecodeBmp(file.data(), file.size())));

    TBitmap device = RandomBitmap(5, 2, TPixelFormat::pf24bit, 3);
    TBitmap asDevice;
    asDevice.Reset(5, 2, TPixelFormat::pfDevice);
    for (int y = 0; y < 2; ++y)
        std::copy(device.ScanLine(y), device.ScanLine(y) + 15, asDevice.ScanLine(y));
    file = EncodeBmp(asDevice);
    EXPECT_TRUE(SamePicture(device, DecodeBmp(file.data(), file.size())));

    EXPECT_THROW(EncodeBmp(TBitmap()), EImageError);
}

TEST(BmpCodec, HeaderVariantsAndOrientations)
{
    // Same 4 x 2 picture as a v3, v4, v5 and OS/2 v2 header, bottom-up and top-down.
    for (std::uint32_t headerSize : {40u, 108u, 124u, 16u, 64u}) {
        TBmpLayout s;
        s.headerSize = headerSize;
        s.width = 4;
        s.height = 2;
        s.pixels = Tiny24Pixels();
        auto file = MakeBmp(s);
        TBitmap b = DecodeBmp(file.data(), file.size());
        ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
        EXPECT_EQ(b.ScanLine(0)[0], 21) << headerSize;
        EXPECT_EQ(b.ScanLine(1)[11], 12) << headerSize;

        s.height = -2;
        file = MakeBmp(s);
        b = DecodeBmp(file.data(), file.size());
        EXPECT_EQ(b.Height(), 2);
        EXPECT_EQ(b.ScanLine(0)[0], 1) << "top-down " << headerSize;
    }

    // OS/2 core header: 16-bit sizes, 3-byte palette entries; the pixel
    // offset announces a palette of only 2 entries.
    TBmpLayout os2;
    os2.headerSize = 12;
    os2.width = 3;
    os2.height = 1;
    os2.bits = 8;
    os2.palette = {10, 20, 30, 40, 50, 60};
    os2.pixels = {1, 0, 1, 0};
    auto file = MakeBmp(os2);
    TBitmap b = DecodeBmp(file.data(), file.size());
    ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(b.Palette().size(), 2u);
    EXPECT_EQ(b.Palette()[1], (TPaletteEntry{60, 50, 40, 0}));
    EXPECT_EQ(PixelRGBA(b, 0, 0), (std::array<int, 4>{60, 50, 40, 255}));

    // 2 bits a pixel widen to 4 with the same indices.
    TBmpLayout two;
    two.width = 5;
    two.bits = 2;
    two.colorsUsed = 4;
    two.palette = std::vector<std::uint8_t>(16, 0);
    two.pixels = {0b00011011, 0b11000000, 0, 0};
    file = MakeBmp(two);
    b = DecodeBmp(file.data(), file.size());
    ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf4bit);
    EXPECT_EQ(b.ScanLine(0)[0], 0x01);
    EXPECT_EQ(b.ScanLine(0)[1], 0x23);
    EXPECT_EQ(b.ScanLine(0)[2] & 0xF0, 0x30);
}

TEST(BmpCodec, BitFieldsKeepTheirFormatOrExpandExactly)
{
    struct Case {
        std::uint16_t bits;
        std::uint32_t compression;
        std::uint32_t headerSize;
        std::vector<std::uint32_t> masks;
        std::uint32_t pixel;
        TPixelFormat format;
        std::array<int, 4> rgba;
    };
    const Case cases[] = {
        // 5-5-5 stays 15 bits (the unused top bit is cleared), 5-6-5 stays 16.
        {16, 0, 40, {}, 0xFC1F, TPixelFormat::pf15bit, {255, 0, 255, 255}},
        {16, 3, 40, {0x7C00, 0x03E0, 0x001F}, 0x03E0, TPixelFormat::pf15bit, {0, 255, 0, 255}},
        {16, 3, 40, {0xF800, 0x07E0, 0x001F}, 0x07E0, TPixelFormat::pf16bit, {0, 255, 0, 255}},
        {16, 3, 124, {0xF800, 0x07E0, 0x001F, 0}, 0x8410, TPixelFormat::pf16bit, {132, 130, 132, 255}},
        // 4-4-4-4 with alpha: 32 bits, each nibble times 17.
        {16, 3, 124, {0x0F00, 0x00F0, 0x000F, 0xF000}, 0x1234, TPixelFormat::pf32bit, {34, 51, 68, 17}},
        // 32 bits in blue-green-red order with alpha stays 32 bits.
        {32, 3, 40, {0xFF0000, 0xFF00, 0xFF}, 0x80112233, TPixelFormat::pf32bit, {0x11, 0x22, 0x33, 0x80}},
        // Odd order x-b-g-r without alpha: 24 bits.
        {32, 3, 40, {0xFF, 0xFF00, 0xFF0000}, 0x00332211, TPixelFormat::pf24bit, {0x11, 0x22, 0x33, 255}},
        // 10-10-10-2: v * 255 / 1023 rounded; alpha 2 bits.
        {32, 3, 124, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}, (1023u << 20) | (512u << 10) | 2u | (1u << 30),
         TPixelFormat::pf32bit, {255, 128, 0, 85}},
        // Masks after a 40-byte header with BI_ALPHABITFIELDS.
        {32, 6, 40, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 0x7F010203, TPixelFormat::pf32bit, {1, 2, 3, 0x7F}},
    };
    for (const Case& c : cases) {
        TBmpLayout s;
        s.headerSize = c.headerSize;
        s.bits = c.bits;
        s.compression = c.compression;
        s.masks = c.masks;
        for (int i = 0; i < c.bits / 8; ++i)
            s.pixels.push_back(std::uint8_t(c.pixel >> (8 * i)));
        s.pixels.resize(4, 0);
        const auto file = MakeBmp(s);
        const TBitmap b = DecodeBmp(file.data(), file.size());
        EXPECT_EQ(b.PixelFormat(), c.format) << std::hex << c.pixel;
        EXPECT_EQ(PixelRGBA(b, 0, 0), c.rgba) << std::hex << c.pixel;
    }
}

TEST(BmpCodec, RunLengthStreams)
{
    // RLE8 on a 6 x 3 picture, rows listed from the bottom: a run, an
    // absolute run, end of line, a delta, end of bitmap. Unreached pixels are 0.
    TBmpLayout s;
    s.width = 6;
    s.height = 3;
    s.bits = 8;
    s.compression = 1;
    s.colorsUsed = 8;
    s.palette = std::vector<std::uint8_t>(32, 0);
    s.pixels = {2, 5, 0, 3, 7, 6, 4, 0, 0, 0, 0, 2, 1, 1, 1, 3, 0, 1};
    auto file = MakeBmp(s);
    TBitmap b = DecodeBmp(file.data(), file.size());
    ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
    const std::vector<std::vector<int>> expected = {
        {0, 3, 0, 0, 0, 0},  // top row: after the delta (1 right, 1 up) a run of 1 x 3
        {0, 0, 0, 0, 0, 0},
        {5, 5, 7, 6, 4, 0},
    };
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(b.ScanLine(y)[x], expected[std::size_t(y)][std::size_t(x)]) << x << "," << y;

    // RLE4: runs alternate the two nibbles; an absolute run of 3 nibbles is
    // padded to a 16-bit boundary. A run past the right edge is clipped.
    s.width = 5;
    s.height = 1;
    s.bits = 4;
    s.compression = 2;
    s.pixels = {3, 0x12, 0, 3, 0x45, 0x60, 9, 0x77, 0, 1};
    file = MakeBmp(s);
    b = DecodeBmp(file.data(), file.size());
    ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf4bit);
    EXPECT_EQ(b.ScanLine(0)[0], 0x12);
    EXPECT_EQ(b.ScanLine(0)[1], 0x14);
    EXPECT_EQ(b.ScanLine(0)[2] & 0xF0, 0x50);

    // A stream cut short keeps what it decoded; the rest stays index 0.
    s.bits = 8;
    s.compression = 1;
    s.pixels = {2, 7, 0, 4, 1};
    file = MakeBmp(s);
    b = DecodeBmp(file.data(), file.size());
    EXPECT_EQ(b.ScanLine(0)[1], 7);
    EXPECT_EQ(b.ScanLine(0)[2], 1);
    EXPECT_EQ(b.ScanLine(0)[3], 0);
}

TEST(BmpCodec, IndicesPastAShortPaletteShowBlack)
{
    TBmpLayout s;
    s.width = 3;
    s.bits = 8;
    s.colorsUsed = 2;
    s.palette = {1, 2, 3, 0, 4, 5, 6, 0};
    s.pixels = {0, 1, 200, 0};
    auto file = MakeBmp(s);
    TBitmap b = DecodeBmp(file.data(), file.size());
    ASSERT_EQ(b.Palette().size(), 256u);
    EXPECT_EQ(PixelRGBA(b, 1, 0), (std::array<int, 4>{6, 5, 4, 255}));
    EXPECT_EQ(PixelRGBA(b, 2, 0), (std::array<int, 4>{0, 0, 0, 255}));

    // Without such indices the file's own palette length is kept.
    s.pixels = {0, 1, 1, 0};
    file = MakeBmp(s);
    EXPECT_EQ(DecodeBmp(file.data(), file.size()).Palette().size(), 2u);

    // A palette count beyond 256 is clamped.
    s.colorsUsed = 0x12345678;
    s.palette = std::vector<std::uint8_t>(1024, 9);
    file = MakeBmp(s);
    EXPECT_EQ(DecodeBmp(file.data(), file.size()).Palette().size(), 256u);
}

TEST(BmpCodec, MalformedHeadersAreRefusedWithAReason)
{
    auto base = [] {
        TBmpLayout s;
        s.width = 4;
        s.height = 2;
        s.pixels = Tiny24Pixels();
        return s;
    };
    auto with = [&](auto change) {
        TBmpLayout s = base();
        change(s);
        return DecodeError(MakeBmp(s));
    };
    EXPECT_EQ(with([](TBmpLayout& s) { s.bits = 7; }), "BMP: bad bit count 7");
    EXPECT_EQ(with([](TBmpLayout& s) { s.width = 0; }), "BMP: bad width 0");
    EXPECT_EQ(with([](TBmpLayout& s) { s.width = -4; }), "BMP: bad width -4");
    EXPECT_EQ(with([](TBmpLayout& s) { s.height = 0; }), "BMP: bad height 0");
    EXPECT_EQ(with([](TBmpLayout& s) { s.headerSize = 14; }), "BMP: bad header size 14");
    EXPECT_EQ(with([](TBmpLayout& s) { s.compression = 9; }), "BMP: unknown compression 9");
    EXPECT_EQ(with([](TBmpLayout& s) { s.compression = 1; }), "BMP: RLE8 compression with 24 bits per pixel");
    EXPECT_EQ(with([](TBmpLayout& s) { s.bits = 0, s.compression = 5; }), "BMP: embedded PNG pictures are not supported");
    EXPECT_EQ(with([](TBmpLayout& s) { s.pixels.pop_back(); }), "BMP: file is truncated");
    auto farOffset = MakeBmp(base());
    farOffset[11] = 0x0F;  // pixel data offset 0x0F36
    EXPECT_EQ(DecodeError(farOffset), "BMP: pixel data offset 3894 lies beyond the end of the file");
    EXPECT_EQ(DecodeError({'B', 'A', 0, 0}), "BMP: OS/2 bitmap arrays are not supported");
    EXPECT_EQ(DecodeError({0xFF, 0xD8, 0xFF}), "BMP: not a BMP file");
    EXPECT_EQ(DecodeError({}), "BMP: not a BMP file");

    // Absurd sizes are refused from the header alone (the file is tiny).
    EXPECT_EQ(with([](TBmpLayout& s) { s.width = 100000, s.height = 100000; }),
              "BMP: a picture of 100000 x 100000 pixels is too large");
    EXPECT_EQ(with([](TBmpLayout& s) { s.width = 65535, s.height = -65535; }),
              "BMP: a picture of 65535 x 65535 pixels is too large");
    EXPECT_EQ(with([](TBmpLayout& s) { s.width = 60000, s.height = 10000; }), "BMP: file is truncated");
}

TEST(BmpCodec, EveryPrefixAndCorruptionOfAFileFailsCleanly)
{
    // Every format, every cut: uncompressed files shorter than their pixel
    // data must be refused; nothing may crash (the sanitizer build checks
    // the memory accesses).
    std::uint32_t seed = 100;
    for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf8bit, TPixelFormat::pf16bit,
                                TPixelFormat::pf32bit}) {
        const auto file = EncodeBmp(RandomBitmap(5, 4, format, seed++));
        for (std::size_t cut = 0; cut < file.size(); ++cut)
            EXPECT_THROW(DecodeBmp(file.data(), cut), EImageError) << "format " << int(format) << " cut " << cut;
    }

    // Random byte damage in the headers of a palette and an RLE file: any
    // outcome but a crash or a foreign exception is acceptable.
    TBmpLayout rle;
    rle.width = 9;
    rle.height = 4;
    rle.bits = 8;
    rle.compression = 1;
    rle.colorsUsed = 4;
    rle.palette = std::vector<std::uint8_t>(16, 50);
    rle.pixels = {3, 1, 0, 4, 1, 2, 3, 2, 0, 0, 0, 2, 3, 1, 5, 3, 0, 1};
    std::mt19937 rng(7);
    for (const auto& base : {MakeBmp(rle), EncodeBmp(RandomBitmap(7, 3, TPixelFormat::pf4bit, 5))}) {
        for (int trial = 0; trial < 800; ++trial) {
            auto damaged = base;
            for (int k = 0; k < 3; ++k)
                damaged[rng() % std::min<std::size_t>(damaged.size(), 80)] = std::uint8_t(rng());
            ErrorOf([&] { EXPECT_FALSE(DecodeBmp(damaged.data(), damaged.size()).Empty()); });
        }
    }
}
