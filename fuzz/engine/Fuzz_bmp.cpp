// BMP decoder: any input either decodes or throws EImageError. A decoded
// picture must survive our own writer and reader unchanged.
#include "RoundTrip.h"

#include "engine/Codecs.h"

#include <cstdlib>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (TooLargeForFuzzing(data, size))
        return 0;
    return fuzz::CheckRoundTrip(
        data, size, [](const std::uint8_t* d, std::size_t n) { return DecodeBmp(d, n); },
        [](const TBitmap& bitmap) { return EncodeBmp(bitmap); });
}
