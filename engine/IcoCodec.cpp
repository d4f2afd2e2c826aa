// Icon files: the directory, and the device-independent bitmaps of the
// entries (1, 4, 8, 16, 24 and 32 bits, XOR picture followed by the 1-bit
// AND mask, header height doubled). PNG-compressed entries are recognised
// by their signature and left to the user interface to decode.
#include "engine/Codecs.h"
#include "engine/DibRead.h"

#include <algorithm>
#include <array>

namespace kadrimex {

namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Icons larger than this are not icons.
constexpr int kMaxIconSide = 4096;

using dib::U16;
using dib::U32;

std::uint32_t U32BigEndian(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

[[noreturn]] void Fail(const std::string& reason)
{
    throw EImageError("ICO: " + reason);
}

bool IsPng(const std::vector<std::uint8_t>& bytes)
{
    return bytes.size() >= 8 && std::equal(kPngSignature, kPngSignature + 8, bytes.begin());
}

// CRC-32 of the PNG chunks (polynomial 0xEDB88320).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// A PNG stream whose chunks all lie inside it with sound checksums, from
// IHDR to IEND: a truncated or damaged entry fails this.
bool PngChunksIntact(const std::vector<std::uint8_t>& bytes)
{
    std::size_t at = 8;
    bool first = true;
    while (bytes.size() - at >= 12) {
        const std::uint32_t length = U32BigEndian(&bytes[at]);
        if (length > bytes.size() - at - 12)
            return false;
        const std::uint8_t* type = &bytes[at + 4];
        if (first && !std::equal(type, type + 4, "IHDR"))
            return false;
        if (Crc32(type, length + 4) != U32BigEndian(type + 4 + length))
            return false;
        if (std::equal(type, type + 4, "IEND"))
            return true;
        first = false;
        at += 12 + std::size_t(length);
    }
    return false;
}

}  // namespace

bool IconEntryIntact(const TIconEntry& entry)
{
    if (entry.png)
        return PngChunksIntact(entry.bytes);
    try {
        DecodeIconDib(entry);
        return true;
    } catch (const EImageError&) {
        return false;
    }
}

std::vector<TIconEntry> ParseIco(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr || size < 6)
        Fail("file is truncated");
    const std::uint16_t type = U16(data + 2);
    if (U16(data) != 0 || (type != 1 && type != 2))
        Fail("not an icon file");
    const std::size_t count = U16(data + 4);
    if (count == 0)
        Fail("the icon holds no pictures");
    const std::size_t directoryEnd = 6 + 16 * count;
    if (directoryEnd > size)
        Fail("file is truncated");

    std::vector<TIconEntry> entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* d = data + 6 + 16 * i;
        const std::uint64_t bytes = U32(d + 8);
        const std::uint64_t offset = U32(d + 12);
        if (bytes < 8 || offset < directoryEnd || offset + bytes > size)
            Fail("entry " + std::to_string(i + 1) + " lies outside the file");

        TIconEntry entry;
        entry.width = d[0] == 0 ? 256 : d[0];
        entry.height = d[1] == 0 ? 256 : d[1];
        entry.bitCount = U16(d + 6);
        entry.bytes.assign(data + offset, data + offset + bytes);
        entry.png = IsPng(entry.bytes);
        const std::uint8_t* e = entry.bytes.data();
        if (entry.png) {
            // The IHDR chunk follows the signature: size and colour depth.
            if (entry.bytes.size() >= 26 && std::equal(e + 12, e + 16, "IHDR")) {
                const std::uint32_t w = U32BigEndian(e + 16), h = U32BigEndian(e + 20);
                if (w == 0 || h == 0 || w > std::uint32_t(kMaxIconSide) || h > std::uint32_t(kMaxIconSide))
                    Fail("entry " + std::to_string(i + 1) + " has a bad size");
                entry.width = int(w);
                entry.height = int(h);
                static const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
                const int colourType = e[25];
                if (colourType <= 6 && channels[colourType] != 0)
                    entry.bitCount = e[24] * channels[colourType];
            }
        } else if (entry.bytes.size() >= 16 && U32(e) >= 40) {
            // The DIB header knows its size and depth better than the directory.
            const auto w = std::int32_t(U32(e + 4)), h = std::int32_t(U32(e + 8));
            if (w > 0 && w <= kMaxIconSide && h > 1 && h / 2 <= kMaxIconSide) {
                entry.width = w;
                entry.height = h / 2;
            }
            entry.bitCount = U16(e + 14);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::size_t BestIconEntry(const std::vector<TIconEntry>& entries)
{
    std::size_t best = 0;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const auto area = [](const TIconEntry& e) { return std::int64_t(e.width) * e.height; };
        const TIconEntry& a = entries[i];
        const TIconEntry& b = entries[best];
        if (area(a) > area(b) || (area(a) == area(b) && a.bitCount > b.bitCount))
            best = i;
    }
    return best;
}

TBitmap DecodeIconDib(const TIconEntry& entry)
{
    if (entry.png)
        Fail("PNG-compressed icons are shown by the user interface only");
    const std::vector<std::uint8_t>& b = entry.bytes;
    if (b.size() < 40)
        Fail("file is truncated");
    const std::uint32_t headerSize = U32(b.data());
    if (headerSize < 40 || headerSize > b.size())
        Fail("bad header size " + std::to_string(headerSize));
    const std::int64_t width = std::int32_t(U32(b.data() + 4));
    const std::int64_t doubledHeight = std::int32_t(U32(b.data() + 8));
    const int bits = U16(b.data() + 14);
    const std::uint32_t compression = U32(b.data() + 16);
    const std::uint32_t colorsUsed = U32(b.data() + 32);
    if (width <= 0 || width > kMaxIconSide || doubledHeight < 2 || doubledHeight / 2 > kMaxIconSide)
        Fail("bad size " + std::to_string(width) + " x " + std::to_string(doubledHeight));
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        Fail("bad bit count " + std::to_string(bits));
    if (compression != 0)
        Fail("compressed icon bitmaps are not supported");
    const int w = int(width);
    const int h = int(doubledHeight / 2);

    std::vector<TPaletteEntry> palette;
    std::size_t position = headerSize;
    if (bits <= 8) {
        // The pixels follow the palette as stored, even one longer than
        // the depth can index.
        const std::size_t maxColors = std::size_t(1) << bits;
        const std::size_t stored = colorsUsed == 0 ? maxColors : colorsUsed;
        if (stored > 256)
            Fail("bad palette size " + std::to_string(stored));
        if (position + 4 * stored > b.size())
            Fail("file is truncated");
        for (std::size_t i = 0; i < std::min(stored, maxColors); ++i)
            palette.push_back(dib::PaletteEntryAt(b.data() + position + 4 * i));
        palette.resize(maxColors);  // indices past a short palette are black
        position += 4 * stored;
    }

    const std::size_t colourStride = RowStride(w, bits);
    const std::size_t maskStride = RowStride(w, 1);
    if ((b.size() - position) / colourStride < std::size_t(h))
        Fail("file is truncated");
    const std::uint8_t* colour = b.data() + position;
    position += colourStride * std::size_t(h);
    // 32-bit entries sometimes come without a mask; they carry alpha.
    const bool hasMask = (b.size() - position) / maskStride >= std::size_t(h);
    if (!hasMask && bits != 32)
        Fail("file is truncated");
    const std::uint8_t* mask = hasMask ? b.data() + position : nullptr;

    TBitmap bitmap;
    bitmap.Reset(w, h, TPixelFormat::pf32bit);
    bool anyAlpha = false;
    for (int r = 0; r < h; ++r) {
        const std::uint8_t* src = colour + std::size_t(r) * colourStride;
        std::uint8_t* dst = bitmap.ScanLine(h - 1 - r);
        for (int x = 0; x < w; ++x, dst += 4) {
            switch (bits) {
            case 1:
            case 4:
            case 8: {
                const TPaletteEntry& e = palette[std::size_t(dib::PixelIndex(src, x, bits))];
                dst[0] = e.peBlue;
                dst[1] = e.peGreen;
                dst[2] = e.peRed;
                dst[3] = 255;
                break;
            }
            case 16: {
                const int v = U16(src + 2 * x);
                dst[0] = std::uint8_t(((v & 0x1F) * 255 + 15) / 31);
                dst[1] = std::uint8_t((((v >> 5) & 0x1F) * 255 + 15) / 31);
                dst[2] = std::uint8_t((((v >> 10) & 0x1F) * 255 + 15) / 31);
                dst[3] = 255;
                break;
            }
            case 24:
                dst[0] = src[3 * x];
                dst[1] = src[3 * x + 1];
                dst[2] = src[3 * x + 2];
                dst[3] = 255;
                break;
            default:
                std::copy(src + 4 * x, src + 4 * x + 4, dst);
                anyAlpha = anyAlpha || dst[3] != 0;
                break;
            }
        }
    }

    // The AND mask decides transparency unless the colours carry alpha.
    if (mask && !anyAlpha) {
        for (int r = 0; r < h; ++r) {
            const std::uint8_t* m = mask + std::size_t(r) * maskStride;
            std::uint8_t* dst = bitmap.ScanLine(h - 1 - r);
            for (int x = 0; x < w; ++x)
                dst[4 * x + 3] = ((m[x >> 3] >> (7 - (x & 7))) & 1) ? 0 : 255;
        }
    } else if (!mask && !anyAlpha) {
        // No mask and no alpha: opaque.
        for (int y = 0; y < h; ++y) {
            std::uint8_t* dst = bitmap.ScanLine(y);
            for (int x = 0; x < w; ++x)
                dst[4 * x + 3] = 255;
        }
    }
    return bitmap;
}

}  // namespace kadrimex
