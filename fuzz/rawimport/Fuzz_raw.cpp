// RAW decoders and the palette reader, with the dialog's options drawn from
// the input's first bytes and the rest as the file:
//   0     bits 0-2 depth (1, 4, 8, 15, 16, 24, 32; 7 counts as 8), bit 3
//         Multibyte, bit 4 bottom-up
//   1-2   width - 1 (little-endian, below 2048)
//   3-4   skip
//   5     line limit (signed)
//   6     multiplier - 1, 7 bytes per pixel - 1
//   8     palette bytes that follow (then the file)
//   9-16  a file size for the layout alone, any 63-bit value
// A decode either succeeds with the layout's size and no byte the file
// does not supply, or throws EImageError (a picture too large).
#include "rawimport/RawImport.h"

#include <cstring>

using namespace kadrimex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kHeader = 17;
    if (size < kHeader)
        return 0;
    static const TPixelFormat depths[] = {TPixelFormat::pf1bit,  TPixelFormat::pf4bit,  TPixelFormat::pf8bit,
                                          TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                          TPixelFormat::pf32bit, TPixelFormat::pf8bit};
    TRawOptions o;
    o.format = depths[data[0] & 7];
    o.mode = data[0] & 8 ? TRawMode::Multibyte : TRawMode::Typical;
    o.bottomUp = (data[0] & 16) != 0;
    o.width = 1 + (data[1] | data[2] << 8) % 2048;
    o.skip = data[3] | data[4] << 8;
    o.lineLimit = std::int8_t(data[5]);
    o.multiplier = 1 + data[6] % 255;
    o.bytesPerPixel = 1 + data[7] % 255;
    std::uint64_t anySize = 0;
    std::memcpy(&anySize, data + 9, 8);
    const TRawLayout layout = RawLayout(o, std::int64_t(anySize >> 1));
    if (layout.lines < 0 || layout.lineBytes < 0 || layout.skip < 0)
        __builtin_trap();

    const std::size_t paletteBytes = std::min<std::size_t>(data[8], size - kHeader);
    const TRawMemory palette(data + kHeader, paletteBytes);
    const TRawMemory file(data + kHeader + paletteBytes, size - kHeader - paletteBytes);
    TBitmap bitmap;
    try {
        if (!DecodeRaw(file, o, bitmap))
            return 0;
    } catch (const EImageError&) {
        return 0;
    }
    const TRawLayout shown = RawLayout(o, file.Size());
    if (bitmap.Width() != o.width || bitmap.Height() != shown.lines)
        __builtin_trap();
    LoadPaletteFile(bitmap, o.multiplier, palette);
    const bool paletted = BitsPerPixel(bitmap.PixelFormat()) <= 8 && o.mode == TRawMode::Typical;
    if (bitmap.Palette().size() != (paletted ? std::size_t(1) << BitsPerPixel(bitmap.PixelFormat()) : 0))
        __builtin_trap();
    return 0;
}
