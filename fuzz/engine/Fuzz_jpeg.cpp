// JPEG decoder: any input either decodes to a 24-bit picture or throws
// EImageError; libjpeg's errors must never end the process.
#include "engine/Codecs.h"

using namespace kadrimex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const TBitmap decoded = DecodeJpeg(data, size);
        if (decoded.Empty() || decoded.PixelFormat() != TPixelFormat::pf24bit)
            __builtin_trap();
    } catch (const EImageError&) {
    }
    return 0;
}
