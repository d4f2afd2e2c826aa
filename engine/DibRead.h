// Reading the fields of device-independent bitmaps, shared by the BMP and
// icon codecs: little-endian words, palette entries stored blue, green,
// red, reserved, and pixel indices of 1, 4 and 8-bit rows.
#pragma once

#include "engine/Bitmap.h"

#include <cstdint>

namespace kadrimex::dib {

inline std::uint16_t U16(const std::uint8_t* p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}

inline std::uint32_t U32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

inline std::int32_t I32(const std::uint8_t* p)
{
    return std::int32_t(U32(p));
}

// A palette entry as stored in the file (the reserved byte is not kept).
inline TPaletteEntry PaletteEntryAt(const std::uint8_t* p)
{
    return TPaletteEntry{p[2], p[1], p[0], 0};
}

// Index of pixel x of a 1, 4 or 8-bit row (leftmost pixel in the high bits).
inline int PixelIndex(const std::uint8_t* row, int x, int bits)
{
    switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    default: return row[x];
    }
}

}  // namespace kadrimex::dib
