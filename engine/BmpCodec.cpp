// BMP reading and writing.
//
// Read: OS/2 core headers (12 bytes, 3-byte palette entries), OS/2 v2
// headers (16 to 64 bytes) and the info headers v3/v4/v5; 1, 2, 4, 8, 16,
// 24 and 32 bits per pixel; BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS,
// BI_ALPHABITFIELDS and OS/2 RLE24; bottom-up and top-down rows. Embedded
// JPEG/PNG, OS/2 Huffman and bitmap arrays are refused.
// The decoded bitmap keeps the file's own format where TBitmap has one:
// palette pictures stay 1/4/8 bits (2 bits widen to 4), 5-5-5 and 5-6-5
// stay 15/16 bits, 24 and 32-bit BI_RGB are copied. Any other bit-field
// layout is expanded exactly to 24 bits, or to 32 bits with alpha when the
// file has an alpha mask.
//
// Write: 40-byte info header, bottom-up, in the picture's own format.
#include "engine/Codecs.h"
#include "engine/DibRead.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kadrimex {

namespace {

enum : std::uint32_t {
    kBiRgb = 0,
    kBiRle8 = 1,
    kBiRle4 = 2,
    kBiBitfields = 3,    // OS/2 v2: Huffman 1D when the picture has 1 bit
    kBiJpeg = 4,         // OS/2 v2: RLE24 when the picture has 24 bits
    kBiPng = 5,
    kBiAlphaBitfields = 6,
};

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::uint32_t kPixelsPerMetre = 2835;  // 72 dpi

using dib::I32;
using dib::U16;
using dib::U32;

[[noreturn]] void Fail(const std::string& reason)
{
    throw EImageError("BMP: " + reason);
}

[[noreturn]] void Truncated()
{
    Fail("file is truncated");
}

// One colour channel of a bit-field pixel.
struct TChannel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint64_t max = 0;  // mask >> shift

    explicit TChannel(std::uint32_t m) : mask(m)
    {
        if (m != 0) {
            shift = std::countr_zero(m);
            max = m >> shift;
        }
    }
    // Scales the channel's value to 0..255 with rounding: v * 255 / max.
    std::uint8_t Expand(std::uint32_t pixel) const
    {
        if (max == 0)
            return 0;
        const std::uint64_t v = (pixel & mask) >> shift;
        return std::uint8_t((v * 255 + max / 2) / max);
    }
};

// Writes a pixel index into a 4-bit row (leftmost pixel in the high nibble).
void PutNibble(std::uint8_t* row, int x, std::uint8_t value)
{
    std::uint8_t& byte = row[x >> 1];
    if (x & 1)
        byte = std::uint8_t((byte & 0xF0) | (value & 0x0F));
    else
        byte = std::uint8_t((byte & 0x0F) | (value << 4));
}

// Largest palette index the picture uses.
// (The depth is a template argument so that each loop is compiled for its
// own depth: the 8-bit one is a plain byte maximum.)
template <int Bits>
int MaxIndexOf(const TBitmap& bitmap)
{
    int highest = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < bitmap.Width(); ++x)
            highest = std::max(highest, dib::PixelIndex(row, x, Bits));
    }
    return highest;
}

int MaxIndex(const TBitmap& bitmap)
{
    switch (bitmap.PixelFormat()) {
    case TPixelFormat::pf1bit: return MaxIndexOf<1>(bitmap);
    case TPixelFormat::pf4bit: return MaxIndexOf<4>(bitmap);
    default: return MaxIndexOf<8>(bitmap);
    }
}

// Decodes an RLE4, RLE8 or RLE24 stream. Pixels the stream does not reach
// keep index 0 (black for RLE24). A stream cut short keeps what it decoded.
void DecodeRle(const std::uint8_t* p, const std::uint8_t* end, TBitmap& bitmap, int bits, bool topDown)
{
    const int w = bitmap.Width();
    const int h = bitmap.Height();
    int x = 0;
    int row = 0;  // counted in file order
    std::uint8_t* line = bitmap.ScanLine(topDown ? 0 : h - 1);
    auto moveToRow = [&](int r) {
        row = r;
        if (row < h)
            line = bitmap.ScanLine(topDown ? row : h - 1 - row);
    };
    auto put = [&](std::uint8_t a, std::uint8_t b, std::uint8_t c) {
        if (x < w) {
            if (bits == 4)
                PutNibble(line, x, a);
            else if (bits == 8)
                line[x] = a;
            else {
                line[3 * x] = a;
                line[3 * x + 1] = b;
                line[3 * x + 2] = c;
            }
        }
        ++x;
    };

    while (row < h && end - p >= 2) {
        const int count = p[0];
        const std::uint8_t value = p[1];
        p += 2;
        if (count > 0) {
            if (bits == 24) {
                if (end - p < 2)
                    return;
                const std::uint8_t g = p[0], r = p[1];
                p += 2;
                for (int i = 0; i < count && x < w; ++i)
                    put(value, g, r);
            } else if (bits == 4) {
                for (int i = 0; i < count && x < w; ++i)
                    put((i & 1) ? (value & 0x0F) : (value >> 4), 0, 0);
            } else {
                for (int i = 0; i < count && x < w; ++i)
                    put(value, 0, 0);
            }
            continue;
        }
        switch (value) {
        case 0:  // end of line
            x = 0;
            moveToRow(row + 1);
            break;
        case 1:  // end of bitmap
            return;
        case 2:  // delta
            if (end - p < 2)
                return;
            x += p[0];
            moveToRow(row + p[1]);
            p += 2;
            break;
        default: {  // absolute run of `value` pixels, padded to 16 bits
            const int n = value;
            const std::ptrdiff_t bytes = bits == 4 ? (n + 1) / 2 : bits == 8 ? n : 3 * n;
            const std::ptrdiff_t padded = bytes + (bytes & 1);
            const std::ptrdiff_t available = std::min<std::ptrdiff_t>(bytes, end - p);
            for (int i = 0; i < n; ++i) {
                if (bits == 4) {
                    if (i / 2 >= available)
                        return;
                    put((i & 1) ? (p[i / 2] & 0x0F) : (p[i / 2] >> 4), 0, 0);
                } else if (bits == 8) {
                    if (i >= available)
                        return;
                    put(p[i], 0, 0);
                } else {
                    if (3 * i + 3 > available)
                        return;
                    put(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
                }
            }
            if (end - p < padded)
                return;
            p += padded;
            break;
        }
        }
    }
}

// The parsed header, validated before any pixel memory is taken.
struct THeader {
    std::uint32_t headerSize = 0;
    bool core = false;
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bits = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    std::vector<TPaletteEntry> palette;
    std::size_t pixelOffset = 0;
};

THeader ParseHeader(const std::uint8_t* data, std::size_t size)
{
    if (size >= 2 && data[0] == 'B' && data[1] == 'A')
        Fail("OS/2 bitmap arrays are not supported");
    if (size < 2 || data[0] != 'B' || data[1] != 'M')
        Fail("not a BMP file");
    if (size < kFileHeaderSize + 4)
        Truncated();

    THeader h;
    h.headerSize = U32(data + 14);
    if (h.headerSize < 12 || (h.headerSize > 12 && h.headerSize < 16))
        Fail("bad header size " + std::to_string(h.headerSize));
    if (std::uint64_t(kFileHeaderSize) + h.headerSize > size)
        Truncated();
    const std::uint8_t* info = data + kFileHeaderSize;
    h.core = h.headerSize == 12;

    std::int64_t width, height;
    std::uint32_t colorsUsed = 0;
    if (h.core) {
        width = U16(info + 4);
        height = U16(info + 6);
        h.bits = U16(info + 10);
    } else {
        width = I32(info + 4);
        height = I32(info + 8);
        h.bits = U16(info + 14);
        if (h.headerSize >= 20)
            h.compression = U32(info + 16);
        if (h.headerSize >= 36)
            colorsUsed = U32(info + 32);
    }

    // Compression and bit count must agree before anything else is trusted.
    switch (h.compression) {
    case kBiRgb:
        break;
    case kBiRle8:
        if (h.bits != 8)
            Fail("RLE8 compression with " + std::to_string(h.bits) + " bits per pixel");
        break;
    case kBiRle4:
        if (h.bits != 4)
            Fail("RLE4 compression with " + std::to_string(h.bits) + " bits per pixel");
        break;
    case kBiBitfields:
        if (h.bits == 1)
            Fail("Huffman-compressed bitmaps are not supported");
        [[fallthrough]];
    case kBiAlphaBitfields:
        if (h.bits != 16 && h.bits != 32)
            Fail("bit fields with " + std::to_string(h.bits) + " bits per pixel");
        break;
    case kBiJpeg:
        if (h.bits != 24)
            Fail("embedded JPEG pictures are not supported");
        break;  // OS/2 RLE24
    case kBiPng:
        Fail("embedded PNG pictures are not supported");
    default:
        Fail("unknown compression " + std::to_string(h.compression));
    }
    if (h.bits != 1 && h.bits != 2 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 && h.bits != 32)
        Fail("bad bit count " + std::to_string(h.bits));

    if (width <= 0)
        Fail("bad width " + std::to_string(width));
    if (height == 0 || height == INT32_MIN)
        Fail("bad height " + std::to_string(height));
    h.topDown = height < 0;
    if (height < 0)
        height = -height;
    if (width > kMaxBitmapSide || height > kMaxBitmapSide || width * height > kMaxBitmapPixels)
        Fail("a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is too large");
    h.width = int(width);
    h.height = int(height);

    // Bit-field masks: inside a header of 52 bytes or more, otherwise in
    // the three (four with alpha) words after it.
    std::size_t paletteStart = kFileHeaderSize + h.headerSize;
    if (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields) {
        const int maskCount = h.compression == kBiAlphaBitfields ? 4 : 3;
        if (h.headerSize >= 52) {
            for (int i = 0; i < 4; ++i)
                if (h.headerSize >= std::uint32_t(40 + 4 * (i + 1)))
                    h.masks[i] = U32(info + 40 + 4 * i);
        } else {
            if (paletteStart + 4 * maskCount > size)
                Truncated();
            for (int i = 0; i < maskCount; ++i)
                h.masks[i] = U32(data + paletteStart + 4 * i);
            paletteStart += 4 * maskCount;
        }
    } else if (h.bits == 16) {
        h.masks[0] = 0x7C00;
        h.masks[1] = 0x03E0;
        h.masks[2] = 0x001F;
    }

    std::size_t paletteEnd = paletteStart;
    if (h.bits <= 8) {
        const std::size_t entrySize = h.core ? 3 : 4;
        const std::size_t maxColors = std::size_t(1) << h.bits;
        std::size_t count = colorsUsed == 0 ? maxColors : std::min<std::size_t>(colorsUsed, maxColors);
        // A palette cannot reach into the pixels: a pixel offset closer
        // than the stated palette size gives a short palette.
        const std::uint32_t offset = U32(data + 10);
        if (offset > paletteStart && (offset - paletteStart) / entrySize < count)
            count = (offset - paletteStart) / entrySize;
        if (paletteStart + count * entrySize > size)
            Truncated();
        h.palette.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            h.palette[i] = dib::PaletteEntryAt(data + paletteStart + i * entrySize);
        }
        paletteEnd = paletteStart + count * entrySize;
    }

    // A zero or overlapping offset is taken as "pixels follow the palette".
    const std::uint32_t offset = U32(data + 10);
    h.pixelOffset = offset >= paletteEnd ? offset : paletteEnd;
    if (h.pixelOffset > size)
        Fail("pixel data offset " + std::to_string(offset) + " lies beyond the end of the file");
    return h;
}

void DecodeBitfields(const THeader& h, const std::uint8_t* pixels, std::size_t fileStride, TBitmap& bitmap)
{
    const TChannel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alpha(h.masks[3]);
    const bool withAlpha = h.masks[3] != 0;
    const int step = withAlpha ? 4 : 3;
    for (int r = 0; r < h.height; ++r) {
        const std::uint8_t* src = pixels + std::size_t(r) * fileStride;
        std::uint8_t* dst = bitmap.ScanLine(h.topDown ? r : h.height - 1 - r);
        for (int x = 0; x < h.width; ++x) {
            const std::uint32_t v = h.bits == 16 ? U16(src + 2 * x) : U32(src + 4 * x);
            dst[step * x] = blue.Expand(v);
            dst[step * x + 1] = green.Expand(v);
            dst[step * x + 2] = red.Expand(v);
            if (withAlpha)
                dst[step * x + 3] = alpha.Expand(v);
        }
    }
}

void Put16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

}  // namespace

TBitmap DecodeBmp(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr)
        size = 0;
    const THeader h = ParseHeader(data, size);
    const std::uint8_t* pixels = data + h.pixelOffset;
    const std::uint8_t* end = data + size;

    TBitmap bitmap;
    const bool rle = h.compression == kBiRle4 || h.compression == kBiRle8 || h.compression == kBiJpeg;
    if (rle) {
        const TPixelFormat format = h.bits == 4 ? TPixelFormat::pf4bit
                                    : h.bits == 8 ? TPixelFormat::pf8bit
                                                  : TPixelFormat::pf24bit;
        bitmap.Reset(h.width, h.height, format);
        DecodeRle(pixels, end, bitmap, h.bits, h.topDown);
    } else {
        const std::size_t fileStride = RowStride(h.width, h.bits);
        if (std::size_t(end - pixels) / fileStride < std::size_t(h.height))
            Truncated();
        auto row = [&](int r) { return pixels + std::size_t(r) * fileStride; };
        auto target = [&](int r) { return bitmap.ScanLine(h.topDown ? r : h.height - 1 - r); };

        const std::uint32_t* m = h.masks;
        const bool is555 = h.bits == 16 && m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F && m[3] == 0;
        const bool is565 = h.bits == 16 && m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x001F && m[3] == 0;
        const bool isBgrx = h.bits == 32 && (h.compression == kBiRgb ||
                                             (m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF &&
                                              (m[3] == 0 || m[3] == 0xFF000000u)));
        if (h.bits == 2) {
            // Widened to 4 bits: TBitmap has no 2-bit format.
            bitmap.Reset(h.width, h.height, TPixelFormat::pf4bit);
            for (int r = 0; r < h.height; ++r) {
                const std::uint8_t* src = row(r);
                std::uint8_t* dst = target(r);
                for (int x = 0; x < h.width; ++x)
                    PutNibble(dst, x, std::uint8_t((src[x >> 2] >> (6 - 2 * (x & 3))) & 3));
            }
        } else if (h.bits <= 8 || h.bits == 24 || is555 || is565 || isBgrx) {
            const TPixelFormat format = is555 ? TPixelFormat::pf15bit : PixelFormatFromBits(h.bits);
            bitmap.ResetForOverwrite(h.width, h.height, format);
            const std::size_t rowBytes = (std::size_t(h.width) * h.bits + 7) / 8;
            const std::size_t padding = bitmap.Stride() - rowBytes;
            for (int r = 0; r < h.height; ++r) {
                std::uint8_t* line = target(r);
                std::memcpy(line, row(r), rowBytes);
                std::memset(line + rowBytes, 0, padding);
            }
            if (is555) {
                // The unused top bit of a 5-5-5 word is kept clear.
                for (int y = 0; y < h.height; ++y) {
                    std::uint8_t* line = bitmap.ScanLine(y);
                    for (int x = 0; x < h.width; ++x)
                        line[2 * x + 1] &= 0x7F;
                }
            }
        } else {
            bitmap.Reset(h.width, h.height, h.masks[3] != 0 ? TPixelFormat::pf32bit : TPixelFormat::pf24bit);
            DecodeBitfields(h, pixels, fileStride, bitmap);
        }
    }

    if (h.bits <= 8) {
        std::vector<TPaletteEntry> palette = h.palette;
        // Indices past a short palette show black rather than reading
        // beyond it.
        if (MaxIndex(bitmap) >= int(palette.size()))
            palette.resize(std::size_t(1) << (h.bits == 2 ? 4 : h.bits));
        bitmap.SetPaletteEntries(std::move(palette));
    }
    return bitmap;
}

namespace {

// A BMP file of a picture: its headers and palette, then the rows bottom-up.
struct BmpLayout {
    std::vector<std::uint8_t> head;
    std::size_t stride = 0;    // bytes per row in the file
    std::size_t rowBytes = 0;  // pixel bytes per row; the rest is zero padding
    std::uint64_t fileBytes = 0;
};

BmpLayout LayOutBmp(const TBitmap& bitmap)
{
    if (bitmap.Empty())
        throw EImageError("BMP: cannot save an empty picture");
    const int w = bitmap.Width();
    const int h = bitmap.Height();
    const TPixelFormat format = bitmap.PixelFormat();
    int bits = BitsPerPixel(format);
    if (bits == 0)
        bits = 24;  // device and custom formats are held as 24-bit pixels
    const int fileBits = bits == 15 ? 16 : bits;
    const bool bitfields = format == TPixelFormat::pf16bit;

    std::vector<TPaletteEntry> palette;
    if (bits <= 8) {
        palette = bitmap.Palette();
        const std::size_t maxColors = std::size_t(1) << bits;
        if (palette.size() > maxColors)
            palette.resize(maxColors);
        if (palette.empty()) {
            // A palette picture without palette: an even grey ramp.
            palette.resize(maxColors);
            for (std::size_t i = 0; i < maxColors; ++i) {
                const auto v = std::uint8_t(i * 255 / (maxColors - 1));
                palette[i] = TPaletteEntry{v, v, v, 0};
            }
        }
    }

    BmpLayout layout;
    layout.stride = RowStride(w, fileBits);
    layout.rowBytes = (std::size_t(w) * fileBits + 7) / 8;
    const std::size_t pixelOffset = kFileHeaderSize + kInfoHeaderSize + (bitfields ? 12 : 0) + 4 * palette.size();
    const std::uint64_t imageBytes = std::uint64_t(layout.stride) * std::uint64_t(h);
    layout.fileBytes = pixelOffset + imageBytes;
    if (layout.fileBytes > 0xFFFFFFFFu)
        throw EImageError("BMP: the picture is too large for a BMP file");

    layout.head.assign(pixelOffset, 0);
    std::uint8_t* p = layout.head.data();
    p[0] = 'B';
    p[1] = 'M';
    Put32(p + 2, std::uint32_t(layout.fileBytes));
    Put32(p + 10, std::uint32_t(pixelOffset));
    std::uint8_t* info = p + kFileHeaderSize;
    Put32(info, kInfoHeaderSize);
    Put32(info + 4, std::uint32_t(w));
    Put32(info + 8, std::uint32_t(h));  // positive: bottom-up
    Put16(info + 12, 1);
    Put16(info + 14, std::uint16_t(fileBits));
    Put32(info + 16, bitfields ? kBiBitfields : kBiRgb);
    Put32(info + 20, std::uint32_t(imageBytes));
    Put32(info + 24, kPixelsPerMetre);
    Put32(info + 28, kPixelsPerMetre);
    const bool fullPalette = bits <= 8 && palette.size() == (std::size_t(1) << bits);
    Put32(info + 32, fullPalette ? 0 : std::uint32_t(palette.size()));
    Put32(info + 36, 0);
    std::uint8_t* q = info + kInfoHeaderSize;
    if (bitfields) {
        Put32(q, 0xF800);
        Put32(q + 4, 0x07E0);
        Put32(q + 8, 0x001F);
        q += 12;
    }
    for (const TPaletteEntry& e : palette) {
        q[0] = e.peBlue;
        q[1] = e.peGreen;
        q[2] = e.peRed;
        q[3] = 0;
        q += 4;
    }
    return layout;
}

// Copies the file's bytes [offset, offset + count) to `out`.
void CopyBmpBytes(const BmpLayout& layout, const TBitmap& bitmap, std::uint64_t offset, std::uint8_t* out,
                  std::size_t count)
{
    while (count > 0) {
        std::size_t n;
        if (offset < layout.head.size()) {
            n = std::min<std::size_t>(count, std::size_t(layout.head.size() - offset));
            std::memcpy(out, layout.head.data() + offset, n);
        } else {
            const std::uint64_t at = offset - layout.head.size();
            const int r = int(at / layout.stride);
            const std::size_t c = std::size_t(at % layout.stride);
            n = std::min(count, layout.stride - c);
            const std::size_t pixels = c < layout.rowBytes ? std::min(n, layout.rowBytes - c) : 0;
            std::memcpy(out, bitmap.ScanLine(bitmap.Height() - 1 - r) + c, pixels);
            std::memset(out + pixels, 0, n - pixels);
        }
        out += n;
        offset += n;
        count -= n;
    }
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp(const TBitmap& bitmap)
{
    const BmpLayout layout = LayOutBmp(bitmap);
    std::vector<std::uint8_t> out;
    try {
        out.resize(std::size_t(layout.fileBytes));
    } catch (const std::bad_alloc&) {
        throw EOutOfResources("Not enough memory to save the picture");
    }
    CopyBmpBytes(layout, bitmap, 0, out.data(), out.size());
    return out;
}

bool SaveBmpFile(const std::string& path, const TBitmap& bitmap, const std::function<bool()>& cancelled)
{
    const BmpLayout layout = LayOutBmp(bitmap);
    std::unique_ptr<std::uint8_t[]> block;
    return WriteFileAtomically(
        path, layout.fileBytes,
        [&](std::uint64_t offset, std::size_t count) -> const std::uint8_t* {
            if (!block)
                block = AllocatePixels(kWriteBlock, false);
            CopyBmpBytes(layout, bitmap, offset, block.get(), count);
            return block.get();
        },
        cancelled);
}

}  // namespace kadrimex
