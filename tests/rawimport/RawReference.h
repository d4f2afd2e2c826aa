// A literal RAW decoder for the tests: every pixel byte taken from its file
// offset by the formulas as written (long double Ceil of the quotients,
// averages of each channel's bytes), nothing shared with the decoders.
#pragma once

#include "engine/Bitmap.h"
#include "rawimport/RawImport.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace kadrimex::test {

// A file of `size` bytes that differ from their neighbours.
inline std::vector<std::uint8_t> CountingBytes(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = std::uint8_t(i * 7 + 1);
    return bytes;
}

// The picture of `options` over `file`, with `palette` as the palette
// file's bytes (empty: grey). Returns false where Multibyte has no byte.
inline bool ReferenceRaw(const std::vector<std::uint8_t>& file, const TRawOptions& o,
                         const std::vector<std::uint8_t>& palette, TBitmap& out)
{
    const long double size = (long double)file.size();
    const long double w = o.width;
    long double s = (long double)o.skip;
    auto at = [&](long double offset) -> unsigned {
        return offset < size ? file[std::size_t(offset)] : 0u;
    };
    long double a = size - s;
    long double n = 0;
    long double lineSize = 0;
    const int bits = o.mode == TRawMode::Multibyte ? 24 : BitsPerPixel(o.format);
    if (o.mode == TRawMode::Typical) {
        if (a < 0.9L) {
            s = size - 1 < 1 ? 0 : size - 1;
            a = 1;
        }
        switch (bits) {
        case 1: n = std::ceil(a * 8 / w), lineSize = std::floor(w / 8); break;
        case 4: n = std::ceil(a * 2 / w), lineSize = std::floor(w / 2); break;
        case 8: n = std::ceil(a / w), lineSize = w; break;
        case 15:
        case 16: n = std::ceil(a / (2 * w)), lineSize = 2 * w; break;
        case 24: n = std::ceil(a / (3 * w)), lineSize = 3 * w; break;
        default: n = std::ceil(a / (4 * w)), lineSize = 4 * w; break;
        }
        if (o.lineLimit > 0 && n > o.lineLimit)
            n = o.lineLimit;
        if (n < 1)
            n = 1;
    } else {
        if (a < 1)
            return false;
        n = std::ceil(a / o.bytesPerPixel / w);
        lineSize = w * o.bytesPerPixel;
        if (o.lineLimit > 0 && o.lineLimit < n)
            n = o.lineLimit;
    }
    out.Reset(o.width, int(n), o.mode == TRawMode::Multibyte ? TPixelFormat::pf24bit : o.format);
    for (int line = 0; line < int(n); ++line) {
        std::uint8_t* row = out.ScanLine(o.bottomUp ? int(n) - 1 - line : line);
        const long double start = s + line * lineSize;
        if (o.mode == TRawMode::Typical) {
            for (int i = 0; i < int(lineSize); ++i)
                row[i] = std::uint8_t(at(start + i));
            continue;
        }
        const int b = o.bytesPerPixel, t = b / 3;
        for (int x = 0; x < o.width; ++x) {
            auto mean = [&](int from, int to) {
                unsigned sum = 0;
                for (int i = from; i < to; ++i)
                    sum += at(start + (long double)x * b + i);
                return std::uint8_t(sum / unsigned(to - from));
            };
            if (b < 3)
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = mean(0, b);
            else
                row[3 * x] = mean(0, t), row[3 * x + 1] = mean(t, 2 * t), row[3 * x + 2] = mean(2 * t, b);
        }
    }
    if (bits <= 8) {
        const int count = 1 << bits, step = bits == 1 ? 255 : bits == 4 ? 16 : 1;
        std::vector<TPaletteEntry> entries(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            auto component = [&](int k) {
                const unsigned v = palette.empty() ? unsigned(i * step)
                                   : std::size_t(3 * i + k) < palette.size() ? palette[std::size_t(3 * i + k)]
                                                                              : 0u;
                return std::uint8_t(v * unsigned(o.multiplier) % 256);
            };
            entries[std::size_t(i)] = {component(0), component(1), component(2), 0};
        }
        out.SetPaletteEntries(entries);
    }
    return true;
}

// Equal size, format, palette and stored row bytes (padding included: the
// decoders leave what the file does not supply zero).
inline bool SamePicture(const TBitmap& a, const TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat() ||
        a.Palette() != b.Palette() || a.Stride() != b.Stride())
        return false;
    for (int y = 0; y < a.Height(); ++y)
        for (std::size_t i = 0; i < a.Stride(); ++i)
            if (a.ScanLine(y)[i] != b.ScanLine(y)[i])
                return false;
    return true;
}

}  // namespace kadrimex::test
