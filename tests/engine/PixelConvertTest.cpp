// Pixel-format conversion and colour reduction, checked against plain
// per-pixel readings of the documented row layouts.
#include "engine/Bitmap.h"
#include "engine/Codecs.h"
#include "engine/Quantize.h"
#include "tests/support/TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace kadrimex;

namespace {

using Rgb = std::array<int, 3>;

const TPixelFormat kAllFormats[] = {TPixelFormat::pfDevice, TPixelFormat::pf1bit,  TPixelFormat::pf4bit,
                                    TPixelFormat::pf8bit,   TPixelFormat::pf15bit, TPixelFormat::pf16bit,
                                    TPixelFormat::pf24bit,  TPixelFormat::pf32bit, TPixelFormat::pfCustom};

bool IsTrueColour(TPixelFormat f)
{
    return BitsPerPixel(f) == 0 || BitsPerPixel(f) == 24 || BitsPerPixel(f) == 32;
}

using kadrimex::test::ColourAt;

int IndexAt(const TBitmap& b, int x, int y)
{
    const std::uint8_t* row = b.ScanLine(y);
    switch (b.PixelFormat()) {
    case TPixelFormat::pf1bit: return (row[x / 8] >> (7 - x % 8)) & 1;
    case TPixelFormat::pf4bit: return x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4;
    default: return row[x];
    }
}

template <typename Fn>
TBitmap Picture24(int w, int h, Fn colour)
{
    TBitmap b;
    b.Reset(w, h, TPixelFormat::pf24bit);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = colour(x, y);
            b.ScanLine(y)[3 * x] = std::uint8_t(c[2]);
            b.ScanLine(y)[3 * x + 1] = std::uint8_t(c[1]);
            b.ScanLine(y)[3 * x + 2] = std::uint8_t(c[0]);
        }
    return b;
}

// A palette picture with random indices below `used` and a random palette.
TBitmap RandomPalettePicture(TPixelFormat format, int w, int h, int used, std::mt19937& rng)
{
    TBitmap b;
    b.Reset(w, h, format);
    const int bits = BitsPerPixel(format);
    std::vector<TPaletteEntry> palette(std::size_t(1) << bits);
    for (auto& e : palette)
        e = {std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng()), 0};
    b.SetPaletteEntries(palette);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int i = int(rng() % unsigned(used));
            std::uint8_t* row = b.ScanLine(y);
            if (bits == 8)
                row[x] = std::uint8_t(i);
            else if (bits == 4)
                row[x / 2] |= std::uint8_t(x % 2 ? i : i << 4);
            else
                row[x / 8] |= std::uint8_t(i << (7 - x % 8));
        }
    return b;
}

// Photo-like: smooth gradients and waves plus a little noise.
TBitmap GradientPhoto(int w, int h, std::mt19937& rng)
{
    std::uniform_int_distribution<int> noise(-6, 6);
    return Picture24(w, h, [&](int x, int y) {
        const double u = double(x) / w, v = double(y) / h;
        const double r = 255 * u * (0.6 + 0.4 * std::sin(7 * v));
        const double g = 255 * (0.5 + 0.5 * std::sin(5 * u + 3 * v));
        const double bl = 255 * v * (1 - 0.5 * u);
        auto c = [&](double a) { return std::clamp(int(a) + noise(rng), 0, 255); };
        return Rgb{c(r), c(g), c(bl)};
    });
}

int NearestByHand(const std::vector<TPaletteEntry>& palette, Rgb c)
{
    int best = 0, bestDistance = 1 << 30;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int dr = c[0] - palette[i].peRed, dg = c[1] - palette[i].peGreen, db = c[2] - palette[i].peBlue;
        if (dr * dr + dg * dg + db * db < bestDistance) {
            bestDistance = dr * dr + dg * dg + db * db;
            best = int(i);
        }
    }
    return best;
}

void ExpectSameColours(const TBitmap& a, const TBitmap& b)
{
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            ASSERT_EQ(ColourAt(a, x, y), ColourAt(b, x, y)) << "at " << x << "," << y;
}

}  // namespace

TEST(PixelConvert, DirectFormatsRoundTripExactly)
{
    std::mt19937 rng(1);
    const TBitmap random = Picture24(37, 11, [&](int, int) { return Rgb{int(rng() & 255), int(rng() & 255), int(rng() & 255)}; });

    TBitmap b = random;
    b.SetPixelFormat(TPixelFormat::pf32bit);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            ASSERT_EQ(b.ScanLine(y)[4 * x + 3], 0);

    // 24 -> 15/16 truncates each channel; the way back widens exactly
    // (EveryPairConvertsAndKeepsRowsClean), so representable values survive.
    for (TPixelFormat f : {TPixelFormat::pf15bit, TPixelFormat::pf16bit}) {
        TBitmap c = random;
        c.SetPixelFormat(f);
        for (int y = 0; y < c.Height(); ++y)
            for (int x = 0; x < c.Width(); ++x) {
                const Rgb o = ColourAt(random, x, y);
                const int w = c.ScanLine(y)[2 * x] | c.ScanLine(y)[2 * x + 1] << 8;
                const int expected = f == TPixelFormat::pf15bit ? (o[0] >> 3) << 10 | (o[1] >> 3) << 5 | o[2] >> 3
                                                                : (o[0] >> 3) << 11 | (o[1] >> 2) << 5 | o[2] >> 3;
                ASSERT_EQ(w, expected);
            }
    }
}

TEST(PixelConvert, PaletteFormatsKeepTheirColours)
{
    std::mt19937 rng(2);
    for (TPixelFormat f : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit}) {
        const int full = 1 << BitsPerPixel(f);
        const TBitmap original = RandomPalettePicture(f, 45, 7, full, rng);
        // Widening to a larger palette format keeps palette and indices.
        for (TPixelFormat wider : {TPixelFormat::pf4bit, TPixelFormat::pf8bit}) {
            if (BitsPerPixel(wider) <= BitsPerPixel(f))
                continue;
            TBitmap w = original;
            w.SetPixelFormat(wider);
            EXPECT_EQ(w.Palette(), original.Palette());
            for (int y = 0; y < w.Height(); ++y)
                for (int x = 0; x < w.Width(); ++x)
                    ASSERT_EQ(IndexAt(w, x, y), IndexAt(original, x, y));
        }
    }

    // Narrowing a palette picture whose used colours fit is lossless.
    TBitmap few = RandomPalettePicture(TPixelFormat::pf8bit, 31, 9, 16, rng);
    TBitmap four = few;
    four.SetPixelFormat(TPixelFormat::pf4bit);
    ExpectSameColours(four, few);
    TBitmap two = RandomPalettePicture(TPixelFormat::pf8bit, 31, 9, 2, rng);
    TBitmap one = two;
    one.SetPixelFormat(TPixelFormat::pf1bit);
    ExpectSameColours(one, two);

    // Indices beyond a short palette read as black.
    TBitmap shortPalette;
    shortPalette.Reset(3, 1, TPixelFormat::pf8bit);
    shortPalette.SetPaletteEntries({{10, 20, 30, 0}});
    shortPalette.ScanLine(0)[1] = 200;
    shortPalette.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(ColourAt(shortPalette, 0, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(ColourAt(shortPalette, 1, 0), (Rgb{0, 0, 0}));
}

TEST(PixelConvert, FewColoursAreKeptExactly)
{
    std::mt19937 rng(3);
    for (TPixelFormat f : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit}) {
        const int n = 1 << BitsPerPixel(f);
        std::vector<Rgb> colours;
        std::set<Rgb> distinct;
        while (int(colours.size()) < n) {
            const Rgb c{int(rng() & 255), int(rng() & 255), int(rng() & 255)};
            if (distinct.insert(c).second)
                colours.push_back(c);
        }
        int k = 0;
        const TBitmap original = Picture24(61, 13, [&](int, int) { return colours[std::size_t(k++ % n)]; });
        for (TPixelFormat from : {TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
            TBitmap b = original;
            b.SetPixelFormat(from);
            b.SetPixelFormat(f);
            EXPECT_EQ(int(b.Palette().size()), n);
            for (const TPaletteEntry& e : b.Palette())
                EXPECT_EQ(e.peFlags, 0);
            ExpectSameColours(b, original);
        }
    }

    // All 256 grey levels: 8 bits keeps them all.
    const TBitmap greys = Picture24(256, 3, [](int x, int y) { return Rgb{(x + 7 * y) % 256, (x + 7 * y) % 256, (x + 7 * y) % 256}; });
    TBitmap g = greys;
    g.SetPixelFormat(TPixelFormat::pf8bit);
    ExpectSameColours(g, greys);
}

TEST(PixelConvert, ReductionMapsEachPixelToItsNearestEntry)
{
    std::mt19937 rng(4);
    const TBitmap photo = GradientPhoto(160, 120, rng);
    for (TPixelFormat f : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit}) {
        TBitmap b = photo;
        b.SetPixelFormat(f);
        ASSERT_EQ(b.PixelFormat(), f);
        ASSERT_GE(b.Palette().size(), 2u);
        ASSERT_LE(b.Palette().size(), std::size_t(1) << BitsPerPixel(f));
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x)
                ASSERT_EQ(IndexAt(b, x, y), NearestByHand(b.Palette(), ColourAt(photo, x, y))) << x << "," << y;
    }

    // The cell-pruned search against the exhaustive one, on palettes with
    // duplicates and close entries where ties are common.
    for (int size : {1, 2, 5, 16, 77, 256}) {
        std::vector<TPaletteEntry> palette(static_cast<std::size_t>(size));
        for (auto& e : palette) {
            const int base = int(rng() % 4) * 64;
            e = {std::uint8_t(base + rng() % 8), std::uint8_t(base + rng() % 8), std::uint8_t(rng() & 255), 0};
        }
        if (size > 2)
            palette[std::size_t(size - 1)] = palette[0];
        TNearestColour nearest(palette);
        for (int k = 0; k < 20000; ++k) {
            const Rgb c{int(rng() & 255), int(rng() & 255), int(rng() & 255)};
            ASSERT_EQ(nearest.Nearest(std::uint8_t(c[0]), std::uint8_t(c[1]), std::uint8_t(c[2])),
                      NearestByHand(palette, c));
        }
    }
    // Entries equally far from a cell corner: (15,15,15) is 147 from both,
    // and the lower index must win there as in the exhaustive search.
    const std::vector<TPaletteEntry> corner = {{22, 22, 22, 0}, {8, 8, 8, 0}, {30, 0, 9, 0}};
    TNearestColour nearCorner(corner);
    for (int r = 0; r < 32; ++r)
        for (int g = 0; g < 32; ++g)
            for (int b = 0; b < 32; ++b)
                ASSERT_EQ(nearCorner.Nearest(std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)),
                          NearestByHand(corner, {r, g, b})) << r << "," << g << "," << b;
    EXPECT_THROW(TNearestColour(std::vector<TPaletteEntry>{}), EImageError);
}

// Every pair of formats, on odd widths whose rows end in padding: the size
// stays, padding bits stay zero, widening to true colour is exact.
TEST(PixelConvert, EveryPairConvertsAndKeepsRowsClean)
{
    std::mt19937 rng(7);
    for (auto [w, h] : {std::pair{1, 1}, std::pair{3, 2}, std::pair{33, 5}, std::pair{0, 5}}) {
        const TBitmap photo = GradientPhoto(w, h, rng);
        for (TPixelFormat from : kAllFormats) {
            TBitmap source = photo;
            if (from == TPixelFormat::pfCustom) {
                // A custom picture only comes from a codec, as 24-bit storage.
                source.Reset(w, h, TPixelFormat::pfCustom);
                for (int y = 0; y < h; ++y)
                    std::memcpy(source.ScanLine(y), photo.ScanLine(y), std::size_t(w) * 3);
            } else {
                source.SetPixelFormat(from);
            }
            for (TPixelFormat to : kAllFormats) {
                TBitmap b = source;
                if (to == TPixelFormat::pfCustom && from != to) {
                    EXPECT_THROW(b.SetPixelFormat(to), EImageError);
                    EXPECT_EQ(b.PixelFormat(), from);
                    ExpectSameColours(b, source);
                    continue;
                }
                b.SetPixelFormat(to);
                ASSERT_EQ(b.PixelFormat(), to);
                ASSERT_EQ(b.Width(), w);
                ASSERT_EQ(b.Height(), h);
                if (from == to || IsTrueColour(to))
                    ExpectSameColours(b, source);
                if (from == to) {
                    EXPECT_EQ(b.Palette(), source.Palette());
                }
                const int bits = BitsPerPixel(to) == 0 ? 24 : BitsPerPixel(to);
                const std::size_t usedBits = std::size_t(w) * std::size_t(bits == 15 ? 16 : bits);
                for (int y = 0; y < h; ++y) {
                    const std::uint8_t* row = b.ScanLine(y);
                    if (usedBits % 8) {
                        EXPECT_EQ(row[usedBits / 8] & (0xFF >> (usedBits % 8)), 0) << bits << " bits";
                    }
                    for (std::size_t i = (usedBits + 7) / 8; i < b.Stride(); ++i)
                        EXPECT_EQ(row[i], 0) << bits << " bits";
                }
            }
        }
    }
}

TEST(PixelConvert, MonochromeIsOneBitBlackAndWhite)
{
    TBitmap b;
    b.Reset(2, 1, TPixelFormat::pf1bit);
    EXPECT_FALSE(b.Monochrome());
    b.SetPaletteEntries({{255, 255, 255, 0}, {0, 0, 0, 0}});
    EXPECT_TRUE(b.Monochrome());
    b.SetPaletteEntries({{0, 0, 0, 0}, {255, 0, 0, 0}});
    EXPECT_FALSE(b.Monochrome());
    TBitmap four;
    four.Reset(2, 1, TPixelFormat::pf4bit);
    four.SetPaletteEntries({{0, 0, 0, 0}, {255, 255, 255, 0}});
    EXPECT_FALSE(four.Monochrome());

    // A black and white picture keeps every pixel, whatever its format.
    const TBitmap chequer = Picture24(13, 9, [](int x, int y) { return (x + y) % 3 ? Rgb{0, 0, 0} : Rgb{255, 255, 255}; });
    for (TPixelFormat f : {TPixelFormat::pf8bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit}) {
        TBitmap c = chequer;
        c.SetPixelFormat(f);
        c.SetMonochrome(true);
        EXPECT_TRUE(c.Monochrome());
        ExpectSameColours(c, chequer);
        c.SetMonochrome(false);
        EXPECT_EQ(c.PixelFormat(), TPixelFormat::pfDevice);
        ExpectSameColours(c, chequer);
    }

    // Already monochrome: unchanged, palette order included.
    TBitmap reversed = chequer;
    reversed.SetMonochrome(true);
    reversed.SetPaletteEntries({reversed.Palette()[1], reversed.Palette()[0]});
    TBitmap again = reversed;
    again.SetMonochrome(true);
    EXPECT_EQ(again.Palette(), reversed.Palette());
    ExpectSameColours(again, reversed);

    // Not monochrome: SetMonochrome(false) leaves it alone.
    TBitmap colour = Picture24(4, 4, [](int x, int y) { return Rgb{x * 60, y * 60, 100}; });
    TBitmap untouched = colour;
    untouched.SetMonochrome(false);
    EXPECT_EQ(untouched.PixelFormat(), TPixelFormat::pf24bit);
    ExpectSameColours(untouched, colour);

    // Flat tones become a density of white dots close to their luminance.
    for (Rgb tone : {Rgb{128, 128, 128}, Rgb{40, 40, 40}, Rgb{200, 30, 90}, Rgb{250, 250, 250}}) {
        TBitmap t = Picture24(64, 64, [&](int, int) { return tone; });
        t.SetMonochrome(true);
        ASSERT_TRUE(t.Monochrome());
        int white = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                white += ColourAt(t, x, y)[0] == 255;
        const double luminance = (299.0 * tone[0] + 587.0 * tone[1] + 114.0 * tone[2]) / 1000;
        EXPECT_NEAR(white / 4096.0, luminance / 255, 0.02) << tone[0] << "," << tone[1] << "," << tone[2];
    }
}
