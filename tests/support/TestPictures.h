// Pictures and comparisons shared by the core tests: random 24-bit
// pictures, the first differing byte of two 24-bit pictures and the colour
// of a pixel of any format.
#pragma once

#include "engine/Bitmap.h"

#include <array>
#include <cstdint>
#include <random>

namespace kadrimex::test {

// A 24-bit picture of uniformly random bytes, drawn row by row.
inline TAdvancedBitmap RandomPicture(int width, int height, std::mt19937& random)
{
    TAdvancedBitmap picture;
    picture.Reset(width, height, TPixelFormat::pf24bit);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 3 * width; ++x)
            picture.ScanLine(y)[x] = std::uint8_t(byte(random));
    return picture;
}

// Index of the first differing pixel byte of two 24-bit pictures (row
// padding is not compared), 0 when their sizes differ, -1 when equal.
inline long FirstDifference(const TBitmap& a, const TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < 3 * a.Width(); ++x)
            if (a.ScanLine(y)[x] != b.ScanLine(y)[x])
                return long(y) * 3 * a.Width() + x;
    return -1;
}

// Red, green and blue of pixel (x, y) read straight from the layout of its
// format: 5- and 6-bit channels widen by repeating their top bits, an index
// past the end of the palette is black.
inline std::array<int, 3> ColourAt(const TBitmap& b, int x, int y)
{
    const std::uint8_t* row = b.ScanLine(y);
    auto fromPalette = [&](int i) -> std::array<int, 3> {
        if (i >= int(b.Palette().size()))
            return {0, 0, 0};
        const TPaletteEntry& e = b.Palette()[std::size_t(i)];
        return {e.peRed, e.peGreen, e.peBlue};
    };
    auto widen5 = [](int v) { return (v << 3) | (v >> 2); };
    auto widen6 = [](int v) { return (v << 2) | (v >> 4); };
    const auto word = [&] { return row[2 * x] | row[2 * x + 1] << 8; };
    switch (b.PixelFormat()) {
    case TPixelFormat::pf1bit: return fromPalette((row[x / 8] >> (7 - x % 8)) & 1);
    case TPixelFormat::pf4bit: return fromPalette(x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4);
    case TPixelFormat::pf8bit: return fromPalette(row[x]);
    case TPixelFormat::pf15bit: return {widen5((word() >> 10) & 31), widen5((word() >> 5) & 31), widen5(word() & 31)};
    case TPixelFormat::pf16bit: return {widen5(word() >> 11), widen6((word() >> 5) & 63), widen5(word() & 31)};
    case TPixelFormat::pf32bit: return {row[4 * x + 2], row[4 * x + 1], row[4 * x]};
    default: return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    }
}

}  // namespace kadrimex::test
