#include "engine/Codecs.h"
#include "engine/Graphic.h"
#include "tests/engine/CodecTestUtil.h"

#include <gtest/gtest.h>

using namespace kadrimex;
using namespace kadrimex::testing;

namespace {

// Little-endian; bytes past the fourth are zero.
void Put(std::vector<std::uint8_t>& b, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.push_back(i < 4 ? std::uint8_t(v >> (8 * i)) : 0);
}

// A DIB icon entry: header with doubled height, palette, XOR rows and AND
// rows, both bottom-up. `colour(x, y)` gives the stored bytes of a pixel
// (an index for palette depths), `masked(x, y)` its AND bit.
template <class Colour, class Masked>
std::vector<std::uint8_t> MakeDib(int w, int h, int bits, const std::vector<std::uint8_t>& palette, Colour colour,
                                  Masked masked, bool withMask = true)
{
    std::vector<std::uint8_t> b;
    const std::uint32_t colours = std::uint32_t(palette.size() / 4);
    for (auto [value, bytes] : {std::pair{40u, 4}, {std::uint32_t(w), 4}, {std::uint32_t(2 * h), 4}, {1u, 2},
                                {std::uint32_t(bits), 2}, {0u, 16}, {colours, 4}, {0u, 4}})
        Put(b, value, bytes);
    b.insert(b.end(), palette.begin(), palette.end());
    const std::size_t stride = RowStride(w, bits);
    for (int y = h - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(stride, 0);
        for (int x = 0; x < w; ++x) {
            const std::vector<std::uint8_t> px = colour(x, y);
            if (bits < 8)
                row[std::size_t(x * bits / 8)] |= std::uint8_t(px[0] << (8 - bits - x * bits % 8));
            else
                std::copy(px.begin(), px.end(), row.begin() + std::ptrdiff_t(x * bits / 8));
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    if (withMask) {
        const std::size_t maskStride = RowStride(w, 1);
        for (int y = h - 1; y >= 0; --y) {
            std::vector<std::uint8_t> row(maskStride, 0);
            for (int x = 0; x < w; ++x)
                if (masked(x, y))
                    row[std::size_t(x / 8)] |= std::uint8_t(0x80 >> (x % 8));
            b.insert(b.end(), row.begin(), row.end());
        }
    }
    return b;
}

std::vector<std::uint8_t> PngStub(int w, int h)
{
    std::vector<std::uint8_t> b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (int v : {w, h})
        for (int shift : {24, 16, 8, 0})
            b.push_back(std::uint8_t(v >> shift));
    b.insert(b.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
    return b;
}

std::vector<std::uint8_t> MakeIco(const std::vector<std::vector<std::uint8_t>>& entries)
{
    std::vector<std::uint8_t> f;
    Put(f, 0, 2);
    Put(f, 1, 2);
    Put(f, std::uint32_t(entries.size()), 2);
    std::size_t offset = 6 + 16 * entries.size();
    for (const auto& e : entries) {
        f.insert(f.end(), {16, 16, 0, 0});  // sizes deliberately unreliable
        Put(f, 1, 2);
        Put(f, 8, 2);
        Put(f, std::uint32_t(e.size()), 4);
        Put(f, std::uint32_t(offset), 4);
        offset += e.size();
    }
    for (const auto& e : entries)
        f.insert(f.end(), e.begin(), e.end());
    return f;
}

std::string ParseError(const std::vector<std::uint8_t>& f)
{
    return ErrorOf([&] {
        const auto entries = ParseIco(f.data(), f.size());
        DecodeIconDib(entries[BestIconEntry(entries)]);
    });
}

const std::vector<std::uint8_t> kPalette = {10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0};
auto Index = [](int x, int y) { return std::vector<std::uint8_t>{std::uint8_t((x + y) % 3)}; };
auto Corner = [](int x, int y) { return x == 0 && y == 0; };

}  // namespace

TEST(IcoCodec, DirectoryAndTheEntryShownForIt)
{
    const auto small8 = MakeDib(16, 16, 8, kPalette, Index, Corner);
    const auto big32 = MakeDib(32, 32, 32, {}, [](int, int) { return std::vector<std::uint8_t>{1, 2, 3, 255}; },
                               Corner);
    const auto big8 = MakeDib(32, 32, 8, kPalette, Index, Corner);
    const auto file = MakeIco({small8, big8, big32, PngStub(48, 40)});
    const auto entries = ParseIco(file.data(), file.size());
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[1].width, 32);
    EXPECT_EQ(entries[1].height, 32);
    EXPECT_EQ(entries[2].bitCount, 32);
    EXPECT_FALSE(entries[1].png);
    EXPECT_TRUE(entries[3].png);
    EXPECT_EQ(entries[3].width, 48);
    EXPECT_EQ(entries[3].height, 40);
    EXPECT_EQ(entries[3].bitCount, 32);
    EXPECT_EQ(entries[2].bytes, big32);
    EXPECT_EQ(BestIconEntry(entries), 3u);  // largest

    const auto noPng = MakeIco({small8, big8, big32});
    EXPECT_EQ(BestIconEntry(ParseIco(noPng.data(), noPng.size())), 2u);  // same size, deeper
}

TEST(IcoCodec, DibEntriesBecome32BitWithAlpha)
{
    // 8 bits: palette colours, the AND mask makes the bottom-left... here
    // the top-left pixel (0,0) transparent.
    TIconEntry entry;
    entry.bytes = MakeDib(3, 2, 8, kPalette, Index, Corner);
    TBitmap b = DecodeIconDib(entry);
    ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf32bit);
    ASSERT_EQ(b.Width(), 3);
    ASSERT_EQ(b.Height(), 2);
    EXPECT_EQ(PixelRGBA(b, 0, 0), (std::array<int, 4>{30, 20, 10, 0}));
    EXPECT_EQ(PixelRGBA(b, 1, 0), (std::array<int, 4>{60, 50, 40, 255}));
    EXPECT_EQ(PixelRGBA(b, 2, 1), (std::array<int, 4>{30, 20, 10, 255}));

    // 1 and 4 bits use the same palette.
    for (int bits : {1, 4}) {
        entry.bytes = MakeDib(9, 3, bits, kPalette, [](int x, int) { return std::vector<std::uint8_t>{std::uint8_t(x % 2)}; },
                              [](int, int) { return false; });
        b = DecodeIconDib(entry);
        EXPECT_EQ(PixelRGBA(b, 7, 2), (std::array<int, 4>{60, 50, 40, 255})) << bits;
        EXPECT_EQ(PixelRGBA(b, 8, 2), (std::array<int, 4>{30, 20, 10, 255})) << bits;
    }

    // 32 bits with alpha of their own ignore the mask; with all-zero alpha
    // the mask decides; without a mask they are opaque.
    auto bgra = [](std::uint8_t a) {
        return [a](int x, int) { return std::vector<std::uint8_t>{std::uint8_t(x), 2, 3, a}; };
    };
    entry.bytes = MakeDib(4, 2, 32, {}, bgra(77), Corner);
    EXPECT_EQ(PixelRGBA(DecodeIconDib(entry), 0, 0), (std::array<int, 4>{3, 2, 0, 77}));
    entry.bytes = MakeDib(4, 2, 32, {}, bgra(0), Corner);
    b = DecodeIconDib(entry);
    EXPECT_EQ(PixelRGBA(b, 0, 0)[3], 0);
    EXPECT_EQ(PixelRGBA(b, 1, 0), (std::array<int, 4>{3, 2, 1, 255}));
    entry.bytes = MakeDib(4, 2, 32, {}, bgra(0), Corner, false);
    EXPECT_EQ(PixelRGBA(DecodeIconDib(entry), 0, 0)[3], 255);

    // 24 bits need their mask.
    entry.bytes = MakeDib(4, 2, 24, {}, [](int, int) { return std::vector<std::uint8_t>{9, 8, 7}; }, Corner);
    EXPECT_EQ(PixelRGBA(DecodeIconDib(entry), 3, 1), (std::array<int, 4>{7, 8, 9, 255}));
    entry.bytes = MakeDib(4, 2, 24, {}, [](int, int) { return std::vector<std::uint8_t>{9, 8, 7}; }, Corner, false);
    EXPECT_THROW(DecodeIconDib(entry), EImageError);
}

TEST(IcoCodec, MalformedFilesAreRefused)
{
    const auto good = MakeIco({MakeDib(8, 8, 8, kPalette, Index, Corner)});
    EXPECT_EQ(ParseError(good), "(decoded)");
    auto with = [&](std::size_t at, std::vector<std::uint8_t> bytes) {
        auto f = good;
        std::copy(bytes.begin(), bytes.end(), f.begin() + std::ptrdiff_t(at));
        return ParseError(f);
    };
    EXPECT_EQ(ParseError({0, 0, 1}), "ICO: file is truncated");
    EXPECT_EQ(with(0, {1}), "ICO: not an icon file");
    EXPECT_EQ(with(2, {3}), "ICO: not an icon file");
    EXPECT_EQ(with(4, {0}), "ICO: the icon holds no pictures");
    EXPECT_EQ(with(4, {200}), "ICO: file is truncated");
    EXPECT_EQ(with(14, {0xFF, 0xFF, 0, 0}), "ICO: entry 1 lies outside the file");              // size
    EXPECT_EQ(with(18, {0xF0, 0xFF, 0xFF, 0xFF}), "ICO: entry 1 lies outside the file");        // offset
    EXPECT_EQ(with(18, {6, 0, 0, 0}), "ICO: entry 1 lies outside the file");                     // in the directory
    EXPECT_EQ(with(22 + 14, {7}), "ICO: bad bit count 7");
    EXPECT_EQ(with(22 + 4, {0, 0, 0, 0}), "ICO: bad size 0 x 16");
    EXPECT_EQ(with(22 + 16, {1}), "ICO: compressed icon bitmaps are not supported");
    EXPECT_EQ(with(22 + 4, {0, 1, 0, 0}), "ICO: file is truncated");  // 256 wide: pixels missing

    std::mt19937 rng(3);
    for (int trial = 0; trial < 2000; ++trial) {
        auto damaged = good;
        for (int k = 0; k < 3; ++k)
            damaged[rng() % 70] = std::uint8_t(rng());
        const std::string message = ParseError(damaged);
        EXPECT_TRUE(message == "(decoded)" || message.rfind("ICO: ", 0) == 0) << message;
    }
}

TEST(IcoCodec, IconsAreShownButCannotBeProcessed)
{
    const auto dir = TempFolder("ico");
    WriteAll(dir / "a.ico", MakeIco({MakeDib(8, 8, 8, kPalette, Index, Corner)}));
    const TPicture picture = TPicture::LoadFromFile((dir / "a.ico").string());
    EXPECT_TRUE(picture.IsIcon());
    EXPECT_EQ(picture.GraphicClassName(), "TIcon");
    EXPECT_EQ(picture.Width(), 8);
    TAdvancedBitmap copy;
    EXPECT_EQ(ErrorOf([&] { MakeWorkingCopy(picture, copy); }), "Cannot assign a TIcon to a TAdvancedBitmap");

    // A broken best entry is reported when the file is opened.
    auto broken = MakeIco({MakeDib(8, 8, 8, kPalette, Index, Corner)});
    broken.resize(broken.size() - 20);
    broken[14] = std::uint8_t(broken[14] - 20);
    WriteAll(dir / "b.ico", broken);
    EXPECT_THROW(TPicture::LoadFromFile((dir / "b.ico").string()), EImageError);
    std::filesystem::remove_all(dir);
}

TEST(IcoCodec, SharedIconsOpen)
{
    const std::string dir = SharedDir() + "/testdata/";
    if (!std::filesystem::exists(dir + "astronaut-multi.ico"))
        GTEST_SKIP() << "shared test data not found in " << dir;
    auto file = ReadAll(dir + "astronaut-multi.ico");
    auto entries = ParseIco(file.data(), file.size());
    ASSERT_EQ(entries.size(), 4u);
    const TIconEntry& best = entries[BestIconEntry(entries)];
    EXPECT_EQ(best.width, 128);
    EXPECT_EQ(best.bitCount, 32);
    const TBitmap b = DecodeIconDib(best);
    EXPECT_EQ(b.Width(), 128);
    EXPECT_EQ(b.Height(), 128);
    EXPECT_EQ(PixelRGBA(b, 64, 64)[3], 255);

    file = ReadAll(dir + "astronaut-multi-png256.ico");
    entries = ParseIco(file.data(), file.size());
    const TIconEntry& png = entries[BestIconEntry(entries)];
    EXPECT_TRUE(png.png);
    EXPECT_EQ(png.width, 256);
    EXPECT_THROW(DecodeIconDib(png), EImageError);
}
