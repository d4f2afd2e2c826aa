// PNG decoder: any input either decodes or throws EImageError. A decoded
// picture must survive our own writer and reader unchanged.
#include "engine/Codecs.h"

#include <cstring>

using namespace kadrimex;

namespace {

// Pictures the harness skips: a few bytes of deflate may legitimately
// stand for a huge picture, which only measures time, not safety.
constexpr std::uint64_t kMaxFuzzPixels = std::uint64_t(1) << 20;

bool TooLargeForFuzzing(const std::uint8_t* data, std::size_t size)
{
    if (size < 24)
        return false;
    auto u32 = [&](std::size_t at) {
        return std::uint64_t(std::uint32_t(data[at]) << 24 | std::uint32_t(data[at + 1]) << 16 |
                            std::uint32_t(data[at + 2]) << 8 | std::uint32_t(data[at + 3]));
    };
    return u32(16) * u32(20) > kMaxFuzzPixels;
}

bool SamePixels(const TBitmap& a, const TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat() ||
        a.Palette() != b.Palette())
        return false;
    const std::size_t bytes = (std::size_t(a.Width()) * std::size_t(BitsPerPixel(a.PixelFormat())) + 7) / 8;
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
        decoded = DecodePng(data, size);
    } catch (const EImageError&) {
        return 0;
    }
    const auto file = EncodePng(decoded);
    if (!SamePixels(decoded, DecodePng(file.data(), file.size())))
        __builtin_trap();
    return 0;
}
