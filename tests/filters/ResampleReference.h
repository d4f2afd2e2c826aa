// ResampleWithMask as written: 80-bit sums, every sample position computed
// in the loop. The resampling's integer sums must match it byte for byte.
#pragma once

#include "engine/Bitmap.h"
#include "filters/Masks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kadrimex::test {

inline int ClampedIndex(long double v, int count)
{
    const long double f = std::floor(v);
    return f < 0 ? 0 : f > count - 1 ? count - 1 : int(f);
}

inline TBitmap LiteralResample(const TBitmap& source, int W, int H)
{
    const int sw = source.Width(), sh = source.Height();
    const long double fx = sw >= W ? (long double)sw / W : (long double)W / sw + 1;
    const long double fy = sh >= H ? (long double)sh / H : (long double)H / sh + 1;
    TBitmapProcesorThread thread(true);
    TBitmap mask;
    PaintGaussMask(thread, &mask, GaussBaseLevel, fx, fy);
    const int kw = mask.Width(), kh = mask.Height();
    long double S = 0.001L;
    for (int i = 0; i < kh; ++i)
        for (int j = 0; j < kw; ++j)
            S += mask.ScanLine(i)[j];
    const long double norm = 1.001L / S, hw = kw / 2.0L, hh = kh / 2.0L;
    TBitmap out;
    out.Reset(W, H, TPixelFormat::pf24bit);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const long double cy = (long double)sh * y / std::max(H - 1, 1);
            const long double cx = (long double)sw * x / std::max(W - 1, 1);
            long double acc[3] = {0, 0, 0};
            for (int i = 0; i < kh; ++i) {
                const long double ry = H <= sh ? i - hh + cy + 0.5L : (i - hh + 0.5L) * sh / H + cy;
                const int row = ClampedIndex(ry, sh);
                for (int j = 0; j < kw; ++j) {
                    const long double rx = W <= sw ? j - hw + cx + 0.5L : (j - hw + 0.5L) * sw / W + cx;
                    const int col = ClampedIndex(rx, sw);
                    for (int c = 0; c < 3; ++c)
                        acc[c] += (long double)mask.ScanLine(i)[j] * source.ScanLine(row)[3 * col + c];
                }
            }
            for (int c = 0; c < 3; ++c)
                out.ScanLine(y)[3 * x + c] = std::uint8_t((std::int64_t)std::floor(norm * acc[c]));
        }
    return out;
}

}  // namespace kadrimex::test
