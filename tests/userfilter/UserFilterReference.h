// The user filter written out literally, pixel by pixel, as the independent
// reference for the fast routine: clamped indexes, 80-bit sums in the order
// i then j, factor 1.00001 / divider, offset, absolute value, clamp, floor.
#pragma once

#include "engine/Bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kadrimex::testing {

inline TBitmap ReferenceUserFilter(const TBitmap& source, const long double* matrix, int n, long double cx,
                                   long double cy, long double divider, long double offset, bool absolute)
{
    const int w = source.Width(), h = source.Height();
    TBitmap out;
    out.Reset(w, h, TPixelFormat::pf24bit);
    const long double factor = 1.00001L / divider;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            long double s[3] = {0, 0, 0};
            const long double r0 = std::floor(y - cy + 0.5L);
            const long double c0 = std::floor(x - cx + 0.5L);
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) {
                    const int row = int(std::clamp<long double>(r0 + i, 0, h - 1));
                    const int col = int(std::clamp<long double>(c0 + j, 0, w - 1));
                    const long double m = matrix[i * n + j];
                    for (int b = 0; b < 3; ++b)
                        s[b] += m * source.ScanLine(row)[col * 3 + b];
                }
            for (int b = 0; b < 3; ++b) {
                long double v = factor * s[b] + offset;
                if (absolute)
                    v = std::fabs(v);
                if (v >= 255)
                    v = 255;
                else if (v <= 0 || std::isnan(v))
                    v = 0;
                out.ScanLine(y)[x * 3 + b] = std::uint8_t(std::floor(v));
            }
        }
    return out;
}

inline TBitmap ReferenceUserFilter(const TBitmap& source, const long double* matrix, int n, long double divider,
                                   long double offset, bool absolute)
{
    const long double c = (n - 1) * 0.5L;
    return ReferenceUserFilter(source, matrix, n, c, c, divider, offset, absolute);
}

}  // namespace kadrimex::testing
