// The photograph the geometry and colour depth tests work on: the editor's
// initial picture (in the repository, so the tests run on a fresh clone),
// and the peak signal-to-noise ratio of two 24-bit pictures over a region.
#pragma once

#include "engine/Bitmap.h"
#include "engine/Codecs.h"

#include <cmath>
#include <functional>
#include <limits>

namespace kadrimex::test {

inline const TBitmap& Photo()
{
    static const TBitmap photo = [] {
        const auto bytes = ReadFileBytes(KADRIMEX_PHOTO);
        return DecodeJpeg(bytes.data(), bytes.size());
    }();
    return photo;
}

// PSNR in dB over the pixels where `inside(x, y)` holds (every pixel when
// empty); infinity for equal pictures.
inline double Psnr(const TBitmap& a, const TBitmap& b, const std::function<bool(int, int)>& inside = {})
{
    double squares = 0;
    long count = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            if (inside && !inside(x, y))
                continue;
            for (int c = 0; c < 3; ++c) {
                const double d = double(a.ScanLine(y)[3 * x + c]) - b.ScanLine(y)[3 * x + c];
                squares += d * d;
            }
            ++count;
        }
    if (squares == 0)
        return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 * 3 * double(count) / squares);
}

}  // namespace kadrimex::test
