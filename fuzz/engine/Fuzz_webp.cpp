// WebP decoder: any input either decodes to a 24-bit picture of the size
// the file announces, or throws EImageError.
#include "engine/Codecs.h"

#include <webp/decode.h>

using namespace kadrimex;

namespace {

// Pictures the harness skips: a lossless stream or an animation canvas may
// legitimately stand for a huge picture in a few bytes, which only
// measures time and memory, not safety.
constexpr std::int64_t kMaxFuzzPixels = std::int64_t(1) << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    int width = 0;
    int height = 0;
    if (WebPGetInfo(data, size, &width, &height) && std::int64_t(width) * height > kMaxFuzzPixels)
        return 0;
    if (size >= 30 && data[12] == 'V' && data[13] == 'P' && data[14] == '8' && data[15] == 'X') {
        // The canvas of an extended file, which an animation may make larger than any frame.
        const std::int64_t w = 1 + (data[24] | data[25] << 8 | data[26] << 16);
        const std::int64_t h = 1 + (data[27] | data[28] << 8 | data[29] << 16);
        if (w * h > kMaxFuzzPixels)
            return 0;
    }
    try {
        const TBitmap decoded = DecodeWebp(data, size);
        if (decoded.PixelFormat() != TPixelFormat::pf24bit || decoded.Empty())
            __builtin_trap();
    } catch (const EImageError&) {
    }
    return 0;
}
