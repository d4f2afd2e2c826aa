// PNG decoder: any input either decodes or throws EImageError. A decoded
// picture must survive our own writer and reader unchanged.
#include "RoundTrip.h"

#include "engine/Codecs.h"

#include <cstdlib>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (TooLargeForFuzzing(data, size))
        return 0;
    return fuzz::CheckRoundTrip(
        data, size, [](const std::uint8_t* d, std::size_t n) { return DecodePng(d, n); },
        [](const TBitmap& bitmap) { return EncodePng(bitmap); });
}
