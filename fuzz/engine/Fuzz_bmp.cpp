// BMP decoder: any input either decodes or throws EImageError. A decoded
// picture must survive our own writer and reader unchanged.
#include "engine/Codecs.h"

#include <cstring>

using namespace kadrimex;

namespace {

// Pictures the harness skips: RLE headers may legitimately claim up to the
// bitmap limit from a few bytes, which only measures memory, not safety.
constexpr std::int64_t kMaxFuzzPixels = std::int64_t(1) << 20;

bool TooLargeForFuzzing(const std::uint8_t* data, std::size_t size)
{
    if (size < 26)
        return false;
    auto u16 = [&](std::size_t at) { return std::int64_t(data[at] | data[at + 1] << 8); };
    auto i32 = [&](std::size_t at) {
        return std::int64_t(std::int32_t(std::uint32_t(data[at]) | std::uint32_t(data[at + 1]) << 8 |
                                         std::uint32_t(data[at + 2]) << 16 | std::uint32_t(data[at + 3]) << 24));
    };
    const bool core = data[14] == 12 && data[15] == 0 && data[16] == 0 && data[17] == 0;
    const std::int64_t w = core ? u16(18) : i32(18);
    const std::int64_t h = core ? u16(20) : i32(22);
    return std::abs(w) * std::abs(h) > kMaxFuzzPixels;
}

bool SamePixels(const TBitmap& a, const TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat() ||
        a.Palette() != b.Palette())
        return false;
    const int bits = BitsPerPixel(a.PixelFormat()) == 15 ? 16 : BitsPerPixel(a.PixelFormat());
    const std::size_t bytes = std::size_t(a.Width()) * std::size_t(bits) / 8;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.ScanLine(y), b.ScanLine(y), bytes) != 0)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (TooLargeForFuzzing(data, size))
        return 0;
    TBitmap decoded;
    try {
        decoded = DecodeBmp(data, size);
    } catch (const EImageError&) {
        return 0;
    }
    const auto file = EncodeBmp(decoded);
    if (!SamePixels(decoded, DecodeBmp(file.data(), file.size())))
        __builtin_trap();
    return 0;
}
