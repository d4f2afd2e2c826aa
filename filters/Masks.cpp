#include "filters/Masks.h"

#include <cmath>
#include <string>
#include <vector>

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
std::uint8_t TentCell(long double rowFactor, long double columnProfile)
{
    const std::int32_t f = WrappedFloor(NotNegative(rowFactor * columnProfile));
    return f >= 255 ? 255 : std::uint8_t(f);
}

// The floor of a mask value v >= 0 as the low byte of WrappedFloor, without
// the remainder below 2^31 (where the wrap rule does nothing).
std::uint8_t MaskByte(long double v)
{
    if (v >= 0 && v <= 2147483647.0L)
        return std::uint8_t(std::int32_t(v));
    return std::uint8_t(WrappedFloor(v));
}

// A rotated tent cell computed literally from its polar coordinates.
std::uint8_t RotatedTentCell(long double px, long double py, long double angle, long double foot, long double width,
                             long double height)
{
    const long double r = std::sqrt(py * py + px * px);
    const long double theta = std::atan2(px, py == 0 ? 1e-20L : py) + angle;
    const long double u = r * std::cos(theta) + height / 2;
    const long double v = r * std::sin(theta) + width / 2;
    return TentCell(TentRowFactor(height, foot, u), TentProfile(width, foot, v));
}

// The same cell from the rotation formula u = py cos A - px sin A + H/2,
// v = px cos A + py sin A + W/2, which the polar route equals up to its
// rounding: the tent's slopes bound how far that moves the cell's value.
bool FastRotatedTentCell(long double px, long double py, long double cosA, long double sinA, long double angle,
                         long double foot, long double width, long double height, std::uint8_t& cell)
{
    const long double r = std::sqrt(py * py + px * px);
    const long double u = py * cosA - px * sinA + height / 2;
    const long double v = px * cosA + py * sinA + width / 2;
    // The polar route's error: its angle is off by a few units in the last
    // place of (pi + |A|), moving u and v by r times that; with a wide margin.
    const long double eu = 1e-16L * (r * (4 + std::fabs(angle)) + std::fabs(height) + std::fabs(width) + 1);
    if (foot == 0.5L) {
        // The profile is 1 only where u (v) is exactly the centre.
        if (std::fabs(u - height / 2) > eu || std::fabs(v - width / 2) > eu) {
            cell = 0;
            return true;
        }
        return false;
    }
    const long double ku = 1 / std::fabs((0.5L - foot) * height);
    const long double kv = 1 / std::fabs((0.5L - foot) * width);
    const long double pu = TentProfile(height, foot, u);
    const long double pv = TentProfile(width, foot, v);
    const long double rf = NotNegative(255 * pu);
    const long double epu = ku * (eu + 1e-17L * (std::fabs(u) + std::fabs(foot * height))) + 1e-17L * std::fabs(pu);
    const long double epv = kv * (eu + 1e-17L * (std::fabs(v) + std::fabs(foot * width))) + 1e-17L * std::fabs(pv);
    const long double erf = 255 * epu * (1 + 1e-15L);
    const long double p = rf * pv;
    const long double error = erf * (std::fabs(pv) + epv) + rf * epv + 1e-17L * std::fabs(p) + 1e-300L;
    if (!(p + error < 2147483647.0L))
        return false;
    return DecidedByte(p, error, [](long double value) { return TentCell(1, value); }, cell);
}

}  // namespace

TBoundedValue BoundedCos(long double x)
{
    const double d = double(x);
    return {std::cos(d), std::fabs(x - d) + 3e-16L};
}

TBoundedValue BoundedSin(long double x)
{
    const double d = double(x);
    return {std::sin(d), std::fabs(x - d) + 3e-16L};
}

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
    const std::vector<long double> gx = ColumnTable(mask->Width(), [&](int x) {
        const long double dx = x - (width - 1) / 2;
        return std::exp(-kx * (dx * dx));
    });
    PaintRows(thread, *mask, [&](int y, std::uint8_t* row) {
        const long double dy = y - (height - 1) / 2;
        const long double gy = 255 * std::exp(-ky * (dy * dy));
        for (int x = 0; x < mask->Width(); ++x)
            row[x] = MaskByte(gy * gx[std::size_t(x)]);
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
    const std::vector<long double> px =
        ColumnTable(mask->Width(), [&](int x) { return TentProfile(spanX, foot, x + 1); });
    PaintRows(thread, *mask, [&](int y, std::uint8_t* row) {
        const long double vy = TentRowFactor(spanY, foot, y + 1);
        for (int x = 0; x < mask->Width(); ++x)
            row[x] = TentCell(vy, px[std::size_t(x)]);
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
    const long double cosA = std::cos(angle);
    const long double sinA = std::sin(angle);
    PaintRows(thread, *mask, [&](int y, std::uint8_t* row) {
        const long double py = y + 0.5L - half;
        for (int x = 0; x < n; ++x) {
            const long double px = x + 0.5L - half;
            if (!FastRotatedTentCell(px, py, cosA, sinA, angle, foot, width, height, row[x]))
                row[x] = RotatedTentCell(px, py, angle, foot, width, height);
        }
    });
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
    const std::vector<long double> tx =
        ColumnTable(mask->Width(), [&](int x) { return (x + 0.5L - width / 2) * fx; });
    const auto byteOf = [](long double v) { return std::uint8_t(WrappedFloor(v < 0 ? 0 : v)); };
    const long double cosCap = std::cos(kPi);
    PaintRows(thread, *mask, [&](int y, std::uint8_t* row) {
        const long double ty = (y + 0.5L - height / 2) * fy;
        for (int x = 0; x < mask->Width(); ++x) {
            const long double t = tx[std::size_t(x)];
            long double d = std::sqrt(ty * ty + t * t);
            if (d > kPi)
                d = kPi;
            const int m = row[x];
            if (m == 0 && std::isfinite(d)) {
                row[x] = 128;  // 0.5 cos(d) * 0 + 128
                continue;
            }
            // At the centre and the cap the value can be a whole number,
            // which no bound decides: there the cosine is known.
            if (d == 0 || d == kPi) {
                row[x] = byteOf(0.5L * (d == 0 ? 1 : cosCap) * m + 128);
                continue;
            }
            const TBoundedValue c = BoundedCos(d);
            const long double v = 0.5L * c.value * m + 128;
            if (!DecidedByte(v, 0.5L * m * c.error * (1 + 1e-15L) + 1e-16L, byteOf, row[x]))
                row[x] = byteOf(0.5L * std::cos(d) * m + 128);
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
    const std::vector<long double> qs = ColumnTable(mask->Width(), [&](int x) { return (x + 0.5L) * fx; });
    const std::vector<long double> sinQ = ColumnTable(mask->Width(), [&](int x) { return std::sin(qs[std::size_t(x)]); });
    const long double sinCap = std::sin(2 * pi);
    const auto byteOf = [](long double val) {
        if (val > 127)
            val = 127;
        val += 128;
        if (val < 0)
            val = 0;
        return std::uint8_t(WrappedFloor(val));
    };
    PaintRows(thread, *mask, [&](int y, std::uint8_t* row) {
        const long double p = (y + 0.5L) * fy;
        const long double sinP = std::sin(p);
        for (int x = 0; x < mask->Width(); ++x) {
            const long double q = qs[std::size_t(x)];
            long double r = std::sqrt(p * p + q * q);
            long double val = 126.8L;
            bool capped = false;
            if (r > 2 * pi) {
                r = 2 * pi;
                capped = true;
            } else if (r > pi) {
                val = 126.8L * level;
            }
            if (p < pi / 2)
                val *= sinP;
            if (q < pi / 2)
                val *= sinQ[std::size_t(x)];
            if (r > pi / 2) {
                if (capped) {
                    val *= sinCap;
                } else {
                    const TBoundedValue s = BoundedSin(r);
                    const long double v = val * s.value;
                    const long double error = std::fabs(val) * s.error * (1 + 1e-15L) + 1e-18L * std::fabs(v) + 1e-300L;
                    if (!DecidedByte(v, error, byteOf, row[x]))
                        row[x] = byteOf(val * std::sin(r));
                    continue;
                }
            }
            row[x] = byteOf(val);
        }
    });
}

}  // namespace kadrimex
