// The EXIF Orientation tag of a JPEG file and the lossless turn that shows
// its picture upright.
//
// The tag is read from the first APP1 segment that starts "Exif\0\0":
// its TIFF header (either byte order), IFD 0, entry 0x0112 (SHORT, count 1).
// Every offset is checked against the segment before it is followed; a
// damaged or missing block counts as orientation 1, since the picture
// itself may still be sound.
#include "engine/Codecs.h"

#include <cstring>

namespace kadrimex {

namespace {

int OrientationInTiff(const std::uint8_t* tiff, std::size_t size)
{
    if (size < 8)
        return 1;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
        return 1;
    auto u16 = [&](std::size_t at) {
        return little ? unsigned(tiff[at] | tiff[at + 1] << 8) : unsigned(tiff[at] << 8 | tiff[at + 1]);
    };
    auto u32 = [&](std::size_t at) {
        return little ? std::uint32_t(u16(at)) | std::uint32_t(u16(at + 2)) << 16
                      : std::uint32_t(u16(at)) << 16 | std::uint32_t(u16(at + 2));
    };
    if (u16(2) != 42)
        return 1;
    const std::uint32_t ifd = u32(4);
    if (ifd < 8 || ifd > size - 2)
        return 1;
    const unsigned count = u16(ifd);
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t entry = std::size_t(ifd) + 2 + std::size_t(i) * 12;
        if (entry + 12 > size)
            return 1;
        if (u16(entry) != 0x0112)
            continue;
        if (u16(entry + 2) != 3 || u32(entry + 4) != 1)  // SHORT, one value, held in the entry
            return 1;
        const unsigned value = u16(entry + 8);
        return value >= 1 && value <= 8 ? int(value) : 1;
    }
    return 1;
}

}  // namespace

int JpegOrientation(const std::uint8_t* data, std::size_t size)
{
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return 1;
    std::size_t at = 2;
    // Markers up to the first scan; fill bytes (0xFF runs) are skipped.
    while (at + 4 <= size) {
        if (data[at] != 0xFF)
            return 1;
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            return 1;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const std::size_t length = std::size_t(data[at + 2]) << 8 | data[at + 3];
        if (length < 2 || at + 2 + length > size)
            return 1;
        const std::uint8_t* body = data + at + 4;
        const std::size_t bodySize = length - 2;
        if (marker == 0xE1 && bodySize >= 6 && std::memcmp(body, "Exif\0\0", 6) == 0)
            return OrientationInTiff(body + 6, bodySize - 6);
        at += 2 + length;
    }
    return 1;
}

TBitmap OrientUpright(const TBitmap& stored, int orientation)
{
    if (orientation < 2 || orientation > 8 || stored.Empty())
        return stored;
    const int bytes = BitsPerPixel(stored.PixelFormat()) / 8;
    if (bytes < 1 || stored.PixelFormat() == TPixelFormat::pf15bit)
        throw EImageError("Cannot turn a picture of fewer than 8 bits a pixel");
    const int w = stored.Width();
    const int h = stored.Height();
    const bool swapped = orientation >= 5;
    TBitmap upright;
    upright.ResetForOverwrite(swapped ? h : w, swapped ? w : h, stored.PixelFormat());
    if (!stored.Palette().empty())
        upright.SetPaletteEntries(stored.Palette());
    const int W = upright.Width();
    const int H = upright.Height();
    for (int y = 0; y < H; ++y) {
        std::uint8_t* out = upright.ScanLine(y);
        std::memset(out + std::size_t(W) * bytes, 0, upright.Stride() - std::size_t(W) * bytes);
        // Upright pixel (x, y) comes from stored pixel (sx, sy) = origin + x·step.
        int sx = 0, sy = 0, dx = 0, dy = 0;
        switch (orientation) {
        case 2: sx = w - 1, sy = y, dx = -1; break;           // mirrored left to right
        case 3: sx = w - 1, sy = h - 1 - y, dx = -1; break;   // turned 180°
        case 4: sx = 0, sy = h - 1 - y, dx = 1; break;        // mirrored top to bottom
        case 5: sx = y, sy = 0, dy = 1; break;                // mirrored over the main diagonal
        case 6: sx = y, sy = h - 1, dy = -1; break;           // to be turned 90° clockwise
        case 7: sx = w - 1 - y, sy = h - 1, dy = -1; break;   // mirrored over the other diagonal
        default: sx = w - 1 - y, sy = 0, dy = 1; break;       // 8: to be turned 90° anticlockwise
        }
        for (int x = 0; x < W; ++x, sx += dx, sy += dy)
            std::memcpy(out + std::size_t(x) * bytes, stored.ScanLine(sy) + std::size_t(sx) * bytes, std::size_t(bytes));
    }
    return upright;
}

}  // namespace kadrimex
