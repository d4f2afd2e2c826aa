// Plain literal versions of the convolution engines: direct 2-D sums in
// long double, exactly as the formulas read, one pixel at a time. The fast
// engines must match them byte for byte.
#pragma once

#include "engine/Bitmap.h"
#include "filters/Convolution.h"
#include "tests/support/TestPictures.h"

#include <cmath>
#include <cstdint>
#include <random>

namespace kadrimex::test {

inline void ReferenceConvolve(const TBitmap& source, const TBitmap& mask, bool isSigned, TBitmap& dest)
{
    const int width = source.Width();
    const int height = source.Height();
    const int kw = mask.Width();
    const int kh = mask.Height();
    dest.Reset(width, height, TPixelFormat::pf24bit);
    long double sum = 0;
    for (int i = 0; i < kh; ++i)
        for (int j = 0; j < kw; ++j)
            sum += isSigned ? (long double)mask.ScanLine(i)[j] - 128 : (long double)mask.ScanLine(i)[j];
    const long double s = 0.001L + sum;
    const long double norm = 1.001L / s;
    const long double offset = isSigned ? 0.5L : 0.51L;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int firstRow = int(std::floor(y - kh / 2.0L + offset));
            const int firstColumn = int(std::floor(x - kw / 2.0L + offset));
            for (int c = 0; c < 3; ++c) {
                long double acc = 0;
                for (int i = 0; i < kh; ++i) {
                    int r = firstRow + i;
                    r = r < 0 ? 0 : (r > height - 1 ? height - 1 : r);
                    for (int j = 0; j < kw; ++j) {
                        int q = firstColumn + j;
                        q = q < 0 ? 0 : (q > width - 1 ? width - 1 : q);
                        const long double weight =
                            isSigned ? (long double)mask.ScanLine(i)[j] - 128 : (long double)mask.ScanLine(i)[j];
                        acc += weight * source.ScanLine(r)[3 * q + c];
                    }
                }
                const long double v = norm * acc;
                std::uint8_t out;
                if (isSigned)
                    out = v >= 255 ? 255 : (v <= 0 ? 0 : std::uint8_t(int(std::floor(v))));
                else
                    out = std::uint8_t(int(std::floor(v)) & 0xff);
                dest.ScanLine(y)[3 * x + c] = out;
            }
        }
    }
}

// Restores the automatic choice of summing path after a test forced one.
struct PathGuard {
    ~PathGuard() { convolution_detail::SetSumPathForTesting(convolution_detail::TSumPath::Auto); }
};

}  // namespace kadrimex::test
