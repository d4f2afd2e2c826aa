// Pictures and comparisons shared by the core tests: random 24-bit
// pictures and the first differing byte of two 24-bit pictures.
#pragma once

#include "engine/Bitmap.h"

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

}  // namespace kadrimex::test
