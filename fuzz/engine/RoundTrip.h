// The round trip the file decoders' harnesses share: a picture that decoded
// must come back from our own writer and reader with the same format,
// palette and pixels.
#pragma once

#include "engine/Bitmap.h"

#include <cstdint>
#include <cstring>

namespace kadrimex::fuzz {

// Compares the bits that hold pixels: the bits past the last pixel of a
// packed row and the row padding are not part of the picture.
inline bool SamePixels(const TBitmap& a, const TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat() ||
        a.Palette() != b.Palette())
        return false;
    const int bits = BitsPerPixel(a.PixelFormat()) == 15 ? 16 : BitsPerPixel(a.PixelFormat());
    const std::size_t used = std::size_t(a.Width()) * std::size_t(bits);
    const std::size_t whole = used / 8;
    const auto lastMask = std::uint8_t(0xFF00u >> (used % 8));
    for (int y = 0; y < a.Height(); ++y) {
        const std::uint8_t* rowA = a.ScanLine(y);
        const std::uint8_t* rowB = b.ScanLine(y);
        if (std::memcmp(rowA, rowB, whole) != 0 || (lastMask && ((rowA[whole] ^ rowB[whole]) & lastMask)))
            return false;
    }
    return true;
}

// Decodes the input; one that decodes must survive encode and decode
// unchanged, else the harness stops with a trap.
template <class Decode, class Encode>
int CheckRoundTrip(const std::uint8_t* data, std::size_t size, Decode decode, Encode encode)
{
    TBitmap decoded;
    try {
        decoded = decode(data, size);
    } catch (const EImageError&) {
        return 0;
    }
    const auto file = encode(decoded);
    if (!SamePixels(decoded, decode(file.data(), file.size())))
        __builtin_trap();
    return 0;
}

}  // namespace kadrimex::fuzz
