// TIFF decoder: any input either decodes or throws EImageError. A decoded
// picture of up to 256 K pixels must show the same colours after our own
// writer and reader (larger ones, which CCITT data yields from a few bytes,
// would spend the run in the round trip).
#include "engine/Codecs.h"

using namespace kadrimex;

namespace {

constexpr std::int64_t kMaxRoundTripPixels = std::int64_t(1) << 18;

// The colour of a pixel as red, green, blue packed in one number.
std::uint32_t ColourAt(const TBitmap& b, int x, int y)
{
    const std::uint8_t* row = b.ScanLine(y);
    int index;
    switch (b.PixelFormat()) {
    case TPixelFormat::pf1bit: index = (row[x / 8] >> (7 - x % 8)) & 1; break;
    case TPixelFormat::pf4bit: index = x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4; break;
    case TPixelFormat::pf8bit: index = row[x]; break;
    default: return std::uint32_t(row[3 * x + 2]) << 16 | std::uint32_t(row[3 * x + 1]) << 8 | row[3 * x];
    }
    if (index >= int(b.Palette().size()))
        __builtin_trap();  // the decoder promised a palette for every index
    const TPaletteEntry& e = b.Palette()[std::size_t(index)];
    return std::uint32_t(e.peRed) << 16 | std::uint32_t(e.peGreen) << 8 | e.peBlue;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TBitmap decoded;
    try {
        decoded = DecodeTiff(data, size);
    } catch (const EImageError&) {
        return 0;
    }
    if (std::int64_t(decoded.Width()) * decoded.Height() > kMaxRoundTripPixels)
        return 0;
    const auto file = EncodeTiff(decoded);
    const TBitmap again = DecodeTiff(file.data(), file.size());
    if (again.Width() != decoded.Width() || again.Height() != decoded.Height() ||
        again.PixelFormat() != decoded.PixelFormat())
        __builtin_trap();
    for (int y = 0; y < decoded.Height(); ++y)
        for (int x = 0; x < decoded.Width(); ++x)
            if (ColourAt(decoded, x, y) != ColourAt(again, x, y))
                __builtin_trap();
    return 0;
}
