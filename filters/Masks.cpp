#include "filters/Masks.h"

#include <cmath>
#include <string>

namespace kadrimex {

namespace {

long double NotNegative(long double v)
{
    return v <= 0 ? 0 : v;
}

// 255 times the tent profile across the rows, negative values cut to 0.
long double TentRowFactor(long double span, long double foot, long double t)
{
    return NotNegative(255 * TentProfile(span, foot, t));
}

// One cell of a tent mask: the row factor times the profile across the
// columns, cut to 0..255.
std::uint8_t TentCell(long double rowFactor, long double span, long double foot, long double t)
{
    const std::int32_t f = WrappedFloor(NotNegative(rowFactor * TentProfile(span, foot, t)));
    return f >= 255 ? 255 : std::uint8_t(f);
}

}  // namespace

void PrepareMask(TBitmap& mask, int width, int height)
{
    if (mask.PixelFormat() != TPixelFormat::pf8bit)
        mask.SetPixelFormat(TPixelFormat::pf8bit);
    mask.SetSize(width, height);
}

int MaskSide(long double size)
{
    if (std::isnan(size))
        throw EImageError("The filter size is not a number");
    if (size <= 0)
        return 0;
    if (size > kMaxBitmapSide)
        throw EOutOfResources("A filter mask of size " + std::to_string(double(size)) + " is too large");
    return int(std::ceil(size));
}

std::int32_t WrappedFloor(long double value)
{
    if (value > 2147483647.0L)
        value = std::fmod(value, 256.0L);
    // fmod of an infinity is not a number; so is 0/0 from a degenerate tent.
    if (std::isnan(value) || value < -2147483648.0L)
        return 0;
    return std::int32_t(std::floor(value));
}

long double TentProfile(long double span, long double foot, long double t)
{
    if (foot == 0.5L)
        return t == span / 2 ? 1.0L : 0.0L;
    if (t <= span / 2)
        return (t - foot * span) / ((0.5L - foot) * span);
    return (t - (1 - foot) * span) / ((foot - 0.5L) * span);
}

void PaintGaussMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
                    long double height)
{
    if (!mask)
        return;
    PrepareMask(*mask, MaskSide(width), MaskSide(height));
    const long double a = level <= 0 ? 1e-30L : level;
    const long double kx = std::log(a) / (width * width);
    const long double ky = std::log(a) / (height * height);
    PaintRows(thread, *mask, [&](int y, std::uint8_t* row) {
        const long double dy = y - (height - 1) / 2;
        const long double gy = 255 * std::exp(-ky * (dy * dy));
        for (int x = 0; x < mask->Width(); ++x) {
            const long double dx = x - (width - 1) / 2;
            const long double v = gy * std::exp(-kx * (dx * dx));
            row[x] = std::uint8_t(WrappedFloor(v));
        }
    });
}

void PaintTriangleMask(TBitmapProcesorThread& thread, TBitmap* mask, long double foot, long double width,
                       long double height)
{
    if (!mask)
        return;
    PrepareMask(*mask, MaskSide(width), MaskSide(height));
    const long double spanY = height + 1;
    const long double spanX = width + 1;
    PaintRows(thread, *mask, [&](int y, std::uint8_t* row) {
        const long double vy = TentRowFactor(spanY, foot, y + 1);
        for (int x = 0; x < mask->Width(); ++x)
            row[x] = TentCell(vy, spanX, foot, x + 1);
    });
}

void PaintRotatedTriangleMask(TBitmapProcesorThread& thread, TBitmap* mask, long double foot, long double angle,
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

void PaintSharpenMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
                      long double height)
{
    if (!mask)
        return;
    const long double a = level <= 0 ? 1e-30L : level;
    PaintGaussMask(thread, mask, a, width, height);
    const long double l = std::log(a / GaussBaseLevel);
    const long double fx = 2 * kPi * l / width;
    const long double fy = 2 * kPi * l / height;
    PaintRows(thread, *mask, [&](int y, std::uint8_t* row) {
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

void PaintEdgeMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
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
    PaintRows(thread, *mask, [&](int y, std::uint8_t* row) {
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

}  // namespace kadrimex
