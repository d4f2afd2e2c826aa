// The mask painters as plainly written: every cell computed in 80-bit from
// its own formula, one row after another. The painters' fast paths (column
// tables, bounded double-precision cosines, the rotation formula) must give
// these bytes.
#pragma once

#include "filters/Masks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kadrimex::reference {

template <typename PaintRow>
void LiteralRows(TBitmapProcesorThread&, TBitmap& mask, PaintRow paintRow)
{
    for (int y = 0; y < mask.Height(); ++y)
        paintRow(y, mask.ScanLine(y));
}

inline long double NotNegative(long double v)
{
    return v <= 0 ? 0 : v;
}

// 255 times the tent profile across the rows, negative values cut to 0.
inline long double TentRowFactor(long double span, long double foot, long double t)
{
    return NotNegative(255 * TentProfile(span, foot, t));
}

// One cell of a tent mask: the row factor times the profile across the
// columns, cut to 0..255.
inline std::uint8_t TentCell(long double rowFactor, long double span, long double foot, long double t)
{
    const std::int32_t f = WrappedFloor(NotNegative(rowFactor * TentProfile(span, foot, t)));
    return f >= 255 ? 255 : std::uint8_t(f);
}

inline void PaintGaussMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
                    long double height)
{
    if (!mask)
        return;
    PrepareMask(*mask, MaskSide(width), MaskSide(height));
    const long double a = level <= 0 ? 1e-30L : level;
    const long double kx = std::log(a) / (width * width);
    const long double ky = std::log(a) / (height * height);
    LiteralRows(thread, *mask, [&](int y, std::uint8_t* row) {
        const long double dy = y - (height - 1) / 2;
        const long double gy = 255 * std::exp(-ky * (dy * dy));
        for (int x = 0; x < mask->Width(); ++x) {
            const long double dx = x - (width - 1) / 2;
            const long double v = gy * std::exp(-kx * (dx * dx));
            row[x] = std::uint8_t(WrappedFloor(v));
        }
    });
}

inline void PaintTriangleMask(TBitmapProcesorThread& thread, TBitmap* mask, long double foot, long double width,
                       long double height)
{
    if (!mask)
        return;
    PrepareMask(*mask, MaskSide(width), MaskSide(height));
    const long double spanY = height + 1;
    const long double spanX = width + 1;
    LiteralRows(thread, *mask, [&](int y, std::uint8_t* row) {
        const long double vy = TentRowFactor(spanY, foot, y + 1);
        for (int x = 0; x < mask->Width(); ++x)
            row[x] = TentCell(vy, spanX, foot, x + 1);
    });
}

inline void PaintRotatedTriangleMask(TBitmapProcesorThread& thread, TBitmap* mask, long double foot, long double angle,
                              long double width, long double height)
{
    if (!mask)
        return;
    const int n = MaskSide(0.66L * std::sqrt(width * width + height * height));
    PrepareMask(*mask, n, n);
    const long double half = n / 2.0L;
    for (thread.FRow = 0; thread.FRow < n; ++thread.FRow) {
        if (thread.Terminated())
            return;
        std::uint8_t* row = mask->ScanLine(thread.FRow);
        for (thread.FColumn = 0; thread.FColumn < n; ++thread.FColumn) {
            const long double py = thread.FRow + 0.5L - half;
            const long double px = thread.FColumn + 0.5L - half;
            const long double r = std::sqrt(py * py + px * px);
            const long double theta = std::atan2(px, py == 0 ? 1e-20L : py) + angle;
            const long double u = r * std::cos(theta) + height / 2;
            const long double v = r * std::sin(theta) + width / 2;
            row[thread.FColumn] = TentCell(TentRowFactor(height, foot, u), width, foot, v);
        }
    }
}

inline void PaintSharpenMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
                      long double height)
{
    if (!mask)
        return;
    const long double a = level <= 0 ? 1e-30L : level;
    reference::PaintGaussMask(thread, mask, a, width, height);
    const long double l = std::log(a / GaussBaseLevel);
    const long double fx = 2 * kPi * l / width;
    const long double fy = 2 * kPi * l / height;
    LiteralRows(thread, *mask, [&](int y, std::uint8_t* row) {
        const long double ty = (y + 0.5L - height / 2) * fy;
        for (int x = 0; x < mask->Width(); ++x) {
            const long double tx = (x + 0.5L - width / 2) * fx;
            long double d = std::sqrt(ty * ty + tx * tx);
            if (d > kPi)
                d = kPi;
            long double v = 0.5L * std::cos(d) * row[x] + 128;
            if (v < 0)
                v = 0;
            row[x] = std::uint8_t(WrappedFloor(v));
        }
    });
}

inline void PaintEdgeMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
                   long double height)
{
    if (!mask)
        return;
    PrepareMask(*mask, MaskSide(width), MaskSide(height));
    // This mask's pi is the double-precision value, just below the true pi:
    // so sin(2 pi) is the tiny negative number that makes the cells beyond
    // r = 2 pi store 127, one below the zero level.
    const long double pi = kEdgePi;
    const long double fx = 2 * pi / width;
    const long double fy = 2 * pi / height;
    LiteralRows(thread, *mask, [&](int y, std::uint8_t* row) {
        const long double p = (y + 0.5L) * fy;
        for (int x = 0; x < mask->Width(); ++x) {
            const long double q = (x + 0.5L) * fx;
            long double r = std::sqrt(p * p + q * q);
            long double val = 126.8L;
            if (r > 2 * pi)
                r = 2 * pi;
            else if (r > pi)
                val = 126.8L * level;
            if (p < pi / 2)
                val *= std::sin(p);
            if (q < pi / 2)
                val *= std::sin(q);
            if (r > pi / 2)
                val *= std::sin(r);
            if (val > 127)
                val = 127;
            val += 128;
            if (val < 0)
                val = 0;
            row[x] = std::uint8_t(WrappedFloor(val));
        }
    });
}

// The low 8 bits of floor(v) for any finite v; 0 for a value that is not a
// number.
inline std::uint8_t LowByteOfFloor(long double v)
{
    if (!std::isfinite(v))
        return 0;
    long double r = std::fmod(std::floor(v), 256.0L);
    if (r < 0)
        r += 256;
    return std::uint8_t(r);
}

inline std::uint8_t ClampedFloor(long double v)
{
    if (std::isnan(v))
        return 0;
    return std::uint8_t(std::clamp(std::floor(v), 0.0L, 255.0L));
}

inline void PaintFolds(TBitmapProcesorThread& thread, TBitmap& mask, long double a, long double W, long double H)
{
    const long double L = 200 * a;
    PrepareMask(mask, MaskSide(W), MaskSide(H));
    const long double sy = L / H;
    const long double sx = L / W;
    const long double oy = sy * H / 2 - 255;
    const long double ox = sx * W / 2 - 255;
    LiteralRows(thread, mask, [&](int y, std::uint8_t* row) {
        const long double ry = std::fabs(y * sy - oy);
        for (int x = 0; x < mask.Width(); ++x) {
            const long double v = std::fabs((x * sx - ox) * ry);
            row[x] = std::floor(v) <= 255 ? 255 : LowByteOfFloor(v);
        }
    });
}

inline void PaintModulatedGauss(TBitmapProcesorThread& thread, TBitmap& mask, long double a, long double W, long double H)
{
    reference::PaintGaussMask(thread, &mask, GaussBaseLevel * std::exp(a), W, H);
    const long double fw = W / (4 * kPi);
    const long double fh = H / (4 * kPi);
    LiteralRows(thread, mask, [&](int y, std::uint8_t* row) {
        const long double sy = std::sin(y * fh);
        for (int x = 0; x < mask.Width(); ++x) {
            long double v = sy * row[x] * std::sin(x * fw);
            if (v > 2147483647.0L)
                v = std::fmod(v, 256.0L);
            v += 128;
            if (v < 0)
                v = 0;
            row[x] = LowByteOfFloor(v);
        }
    });
}

// Shapes 3 to 5: `value(dx, dy)` over the offsets from the picture's centre.
template <typename Value>
inline void PaintAroundCentre(TBitmapProcesorThread& thread, TBitmap& mask, long double W, long double H, Value value)
{
    PrepareMask(mask, MaskSide(W), MaskSide(H));
    const long double cx = W / 2;
    const long double cy = H / 2;
    LiteralRows(thread, mask, [&](int y, std::uint8_t* row) {
        for (int x = 0; x < mask.Width(); ++x)
            row[x] = ClampedFloor(value(x - cx, y - cy));
    });
}

inline void PaintAbstractShape(TBitmapProcesorThread& thread, TBitmap* mask, int function, long double a,
                        long double width, long double height)
{
    if (!mask)
        return;
    switch (function) {
    case 0:
        reference::PaintFolds(thread, *mask, a, width, height);
        return;
    case 1:
        reference::PaintGaussMask(thread, mask, GaussBaseLevel * std::exp(-100 * a), width, height);
        return;
    case 2:
        reference::PaintModulatedGauss(thread, *mask, a, width, height);
        return;
    case 3:
        reference::PaintAroundCentre(thread, *mask, width, height, [a](long double dx, long double dy) {
            return 127.5L + 127.5L * std::cos(a * std::sqrt(dx * dx + dy * dy));
        });
        return;
    case 4:
        reference::PaintAroundCentre(thread, *mask, width, height, [a](long double dx, long double dy) {
            return 127.5L + 127.5L * std::cos(a * std::sqrt(dx * dx + dy * dy) - 3 * std::atan2(dy, dx));
        });
        return;
    case 5: {
        const long double third = width / 6;  // the centres lie at W/3 and 2W/3
        reference::PaintAroundCentre(thread, *mask, width, height, [a, third](long double dx, long double dy) {
            const long double left = dx + third;
            const long double right = dx - third;
            return 127.5L + 63.75L * (std::cos(a * std::sqrt(left * left + dy * dy)) +
                                      std::cos(a * std::sqrt(right * right + dy * dy)));
        });
        return;
    }
    default:
        return;
    }
}


}  // namespace kadrimex::reference
