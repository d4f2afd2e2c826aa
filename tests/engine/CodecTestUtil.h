// Helpers shared by the codec and convert tests: random pictures of every
// pixel format, a literal pixel reader, a comparison of the visible pixels
// and a builder for hand-made BMP files.
#pragma once

#include "engine/Bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace kadrimex::testing {

inline std::string SharedDir()
{
#ifdef KADRIMEX_SHARED_DIR
    return KADRIMEX_SHARED_DIR;
#else
    return {};
#endif
}

inline std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A fresh empty folder under the system's temporary directory.
inline std::filesystem::path TempFolder(const std::string& name)
{
    const auto dir = std::filesystem::temp_directory_path() /
                     ("kadrimex-" + name + "-" + std::to_string(std::random_device{}()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// The message of the EImageError that `run` throws, or `none` when it throws none.
template <class Run>
std::string ErrorOf(Run run, const char* none = "(decoded)")
{
    try {
        run();
    } catch (const EImageError& e) {
        return e.what();
    }
    return none;
}

// Random pixels of any format; palette pictures get a random palette of
// full length, 15-bit words keep their top bit clear.
inline TBitmap RandomBitmap(int width, int height, TPixelFormat format, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    TBitmap bitmap;
    bitmap.Reset(width, height, format);
    const int bits = BitsPerPixel(format);
    const std::size_t rowBytes = (std::size_t(width) * (bits == 15 ? 16 : bits) + 7) / 8;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (std::size_t i = 0; i < rowBytes; ++i)
            row[i] = std::uint8_t(rng());
        if (bits == 15)
            for (int x = 0; x < width; ++x)
                row[2 * x + 1] &= 0x7F;
    }
    if (bits <= 8) {
        std::vector<TPaletteEntry> palette(std::size_t(1) << bits);
        for (auto& e : palette)
            e = TPaletteEntry{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng()), 0};
        bitmap.SetPaletteEntries(palette);
    }
    return bitmap;
}

// Red, green, blue (and the fourth byte of 32-bit pixels, else 255) of one
// pixel, read literally from the documented layout of each format. 5-bit
// and 6-bit channels scale as round(v * 255 / 31) and round(v * 255 / 63).
inline std::array<int, 4> PixelRGBA(const TBitmap& b, int x, int y)
{
    const std::uint8_t* row = b.ScanLine(y);
    auto fromPalette = [&](int index) -> std::array<int, 4> {
        if (index >= int(b.Palette().size()))
            return {-1, -1, -1, -1};  // an index the palette does not have
        const TPaletteEntry& e = b.Palette()[std::size_t(index)];
        return {e.peRed, e.peGreen, e.peBlue, 255};
    };
    auto scale = [](int v, int max) { return (v * 255 + max / 2) / max; };
    switch (b.PixelFormat()) {
    case TPixelFormat::pf1bit: return fromPalette((row[x / 8] >> (7 - x % 8)) & 1);
    case TPixelFormat::pf4bit: return fromPalette(x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4);
    case TPixelFormat::pf8bit: return fromPalette(row[x]);
    case TPixelFormat::pf15bit: {
        const int v = row[2 * x] | row[2 * x + 1] << 8;
        return {scale((v >> 10) & 31, 31), scale((v >> 5) & 31, 31), scale(v & 31, 31), 255};
    }
    case TPixelFormat::pf16bit: {
        const int v = row[2 * x] | row[2 * x + 1] << 8;
        return {scale((v >> 11) & 31, 31), scale((v >> 5) & 63, 63), scale(v & 31, 31), 255};
    }
    case TPixelFormat::pf32bit: return {row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]};
    default: return {row[3 * x + 2], row[3 * x + 1], row[3 * x], 255};
    }
}

// Same size, format and palette, and the same visible pixel bits (row
// padding and unused trailing bits are not compared).
inline ::testing::AssertionResult SamePicture(const TBitmap& a, const TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return ::testing::AssertionFailure() << "size " << a.Width() << "x" << a.Height() << " vs " << b.Width()
                                             << "x" << b.Height();
    if (a.PixelFormat() != b.PixelFormat())
        return ::testing::AssertionFailure() << "format " << int(a.PixelFormat()) << " vs "
                                             << int(b.PixelFormat());
    if (a.Palette() != b.Palette())
        return ::testing::AssertionFailure() << "palettes differ (" << a.Palette().size() << " vs "
                                             << b.Palette().size() << " entries)";
    const int bits = BitsPerPixel(a.PixelFormat()) == 0 ? 24 : BitsPerPixel(a.PixelFormat());
    const std::size_t fullBytes = std::size_t(a.Width()) * (bits == 15 ? 16 : bits) / 8;
    const int restBits = int(std::size_t(a.Width()) * bits % 8);
    for (int y = 0; y < a.Height(); ++y) {
        const std::uint8_t* ra = a.ScanLine(y);
        const std::uint8_t* rb = b.ScanLine(y);
        for (std::size_t i = 0; i < fullBytes; ++i)
            if (ra[i] != rb[i])
                return ::testing::AssertionFailure() << "row " << y << " byte " << i << ": " << int(ra[i])
                                                     << " vs " << int(rb[i]);
        if (restBits != 0) {
            const int keep = 0xFF00 >> restBits & 0xFF;
            if ((ra[fullBytes] & keep) != (rb[fullBytes] & keep))
                return ::testing::AssertionFailure() << "row " << y << " last bits differ";
        }
    }
    return ::testing::AssertionSuccess();
}

// A BMP file assembled field by field, so tests can state any header.
struct TBmpLayout {
    std::uint32_t headerSize = 40;
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    std::vector<std::uint32_t> masks;       // inside the header (>= 52 bytes) or after it
    std::vector<std::uint8_t> palette;      // raw entries as stored
    std::vector<std::uint8_t> pixels;       // raw pixel data as stored
    std::int64_t offset = -1;               // -1: right after the palette
};

inline std::vector<std::uint8_t> MakeBmp(const TBmpLayout& s)
{
    // Fields beyond a short header are written, then cut off with it.
    std::vector<std::uint8_t> out(14 + std::max<std::uint32_t>(s.headerSize, 40), 0);
    auto put = [&](std::size_t at, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put(14, s.headerSize, 4);
    if (s.headerSize == 12) {
        put(18, std::uint32_t(s.width), 2);
        put(20, std::uint32_t(s.height), 2);
        put(22, 1, 2);
        put(24, s.bits, 2);
    } else {
        put(18, std::uint32_t(s.width), 4);
        put(22, std::uint32_t(s.height), 4);
        put(26, 1, 2);
        put(28, s.bits, 2);
        if (s.headerSize >= 20)
            put(30, s.compression, 4);
        if (s.headerSize >= 36)
            put(46, s.colorsUsed, 4);
    }
    out.resize(14 + s.headerSize);
    if (s.headerSize >= 52) {
        for (std::size_t i = 0; i < s.masks.size() && 40 + 4 * (i + 1) <= s.headerSize; ++i)
            put(54 + 4 * i, s.masks[i], 4);
    } else {
        for (std::uint32_t m : s.masks) {
            out.resize(out.size() + 4);
            put(out.size() - 4, m, 4);
        }
    }
    out.insert(out.end(), s.palette.begin(), s.palette.end());
    const std::size_t offset = s.offset < 0 ? out.size() : std::size_t(s.offset);
    out.resize(std::max(out.size(), offset));
    out.insert(out.end(), s.pixels.begin(), s.pixels.end());
    put(2, std::uint32_t(out.size()), 4);
    put(10, std::uint32_t(offset), 4);
    return out;
}

}  // namespace kadrimex::testing
