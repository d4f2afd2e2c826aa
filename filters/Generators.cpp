#include "filters/Generators.h"

#include "filters/Masks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kadrimex {
namespace {

// The low 8 bits of floor(v) for any finite v; 0 for a value that is not a
// number.
std::uint8_t LowByteOfFloor(long double v)
{
    if (!std::isfinite(v))
        return 0;
    if (v >= 0 && v < 9223372036854775808.0L)
        return std::uint8_t(std::uint64_t(v));  // truncation is the floor here
    long double r = std::fmod(std::floor(v), 256.0L);
    if (r < 0)
        r += 256;
    return std::uint8_t(r);
}

std::uint8_t ClampedFloor(long double v)
{
    if (std::isnan(v))
        return 0;
    return std::uint8_t(std::clamp(std::floor(v), 0.0L, 255.0L));
}

void PaintFolds(TBitmapProcesorThread& thread, TBitmap& mask, long double a, long double W, long double H)
{
    const long double L = 200 * a;
    PrepareMask(mask, MaskSide(W), MaskSide(H));
    const long double sy = L / H;
    const long double sx = L / W;
    const long double oy = sy * H / 2 - 255;
    const long double ox = sx * W / 2 - 255;
    const std::vector<long double> fx = ColumnTable(mask.Width(), [&](int x) { return x * sx - ox; });
    PaintRows(thread, mask, [&](int y, std::uint8_t* row) {
        const long double ry = std::fabs(y * sy - oy);
        for (int x = 0; x < mask.Width(); ++x) {
            const long double v = std::fabs(fx[std::size_t(x)] * ry);
            row[x] = v < 256 ? 255 : LowByteOfFloor(v);
        }
    });
}

void PaintModulatedGauss(TBitmapProcesorThread& thread, TBitmap& mask, long double a, long double W, long double H)
{
    PaintGaussMask(thread, &mask, GaussBaseLevel * std::exp(a), W, H);
    const long double fw = W / (4 * kPi);
    const long double fh = H / (4 * kPi);
    const std::vector<long double> sx = ColumnTable(mask.Width(), [&](int x) { return std::sin(x * fw); });
    PaintRows(thread, mask, [&](int y, std::uint8_t* row) {
        const long double sy = std::sin(y * fh);
        for (int x = 0; x < mask.Width(); ++x) {
            long double v = sy * row[x] * sx[std::size_t(x)];
            if (v > 2147483647.0L)
                v = std::fmod(v, 256.0L);
            v += 128;
            if (v < 0)
                v = 0;
            row[x] = LowByteOfFloor(v);
        }
    });
}

// ClampedFloor of a double: truncation is the floor above 0, and the SSE
// conversion avoids the rounding-mode switch of an 80-bit floor.
std::uint8_t ClampedByte(double v)
{
    if (!(v > 0))
        return 0;
    return v >= 255 ? 255 : std::uint8_t(int(v));
}

// A shape value evaluated in double precision, with a bound on its distance
// from the 80-bit evaluation of the same formula.
struct TBoundedDouble {
    double value;
    double error;
};

// For each index i in [0, count), the index whose offset from the centre c
// is exactly -(i - c) when that index is smaller than i (so it is painted
// first), else -1.
std::vector<int> MirrorTable(int count, long double c)
{
    std::vector<int> mirror(std::size_t(count > 0 ? count : 0), -1);
    for (int i = 0; i < count; ++i) {
        const long double m = std::round(2 * c - i);
        if (m >= 0 && m < i && m - c == -(i - c))
            mirror[std::size_t(i)] = int(m);
    }
    return mirror;
}

// Shapes 3 to 5 over the offsets from the picture's centre: fast(dx, dy)
// gives the value in double precision with its bound, literal(dx, dy) the
// 80-bit value for the cells the bound leaves undecided. A shape even in
// both offsets (mirrored) paints one quadrant and copies the cells whose
// offsets are exact negatives of painted ones: the same offsets up to sign
// give the same bytes.
template <typename Fast, typename Literal>
void PaintAroundCentre(TBitmapProcesorThread& thread, TBitmap& mask, long double W, long double H, bool mirrored,
                       Fast fast, Literal literal)
{
    PrepareMask(mask, MaskSide(W), MaskSide(H));
    const long double cx = W / 2;
    const long double cy = H / 2;
    const std::vector<int> mirrorX = MirrorTable(mirrored ? mask.Width() : 0, cx);
    const std::vector<int> mirrorY = MirrorTable(mirrored ? mask.Height() : 0, cy);
    PaintRows(thread, mask, [&](int y, std::uint8_t* row) {
        if (mirrored && mirrorY[std::size_t(y)] >= 0)
            return;
        const long double dy = y - cy;
        for (int x = 0; x < mask.Width(); ++x) {
            if (mirrored && mirrorX[std::size_t(x)] >= 0) {
                row[x] = row[mirrorX[std::size_t(x)]];
                continue;
            }
            const long double dx = x - cx;
            const TBoundedDouble v = fast(dx, dy);
            if (!DecidedByte(v.value, v.error, ClampedByte, row[x]))
                row[x] = ClampedFloor(literal(dx, dy));
        }
    });
    if (thread.Terminated())
        return;
    for (int y = 0; y < int(mirrorY.size()); ++y)
        if (mirrorY[std::size_t(y)] >= 0)
            std::memcpy(mask.ScanLine(y), mask.ScanLine(mirrorY[std::size_t(y)]), std::size_t(mask.Width()));
}

// In double precision, a * sqrt(dx^2 + dy^2) is within 1e-15 of its size
// from the exact value: the offsets and a each round once (2^-53 relative),
// the squares, sum, root and product five times more. The 80-bit
// evaluation is a thousand times closer.
constexpr double kArgumentError = 1e-15;

// The cosine of an argument known to within argError: the library cosine is
// within one unit in the last place and cos is 1-Lipschitz.
double CosError(double argError)
{
    return argError + 3e-16;
}

// 127.5 + scale * cos(argument); 1e-13 covers the rounding of the sum and the
// decision's own subtraction near 255.
TBoundedDouble Ring(double scale, double argument, double argError)
{
    return {127.5 + scale * std::cos(argument), scale * CosError(argError) * (1 + 1e-15) + 1e-13};
}

}  // namespace

void PaintAbstractShape(TBitmapProcesorThread& thread, TBitmap* mask, int function, long double a,
                        long double width, long double height)
{
    if (!mask)
        return;
    switch (function) {
    case 0:
        PaintFolds(thread, *mask, a, width, height);
        return;
    case 1:
        PaintGaussMask(thread, mask, GaussBaseLevel * std::exp(-100 * a), width, height);
        return;
    case 2:
        PaintModulatedGauss(thread, *mask, a, width, height);
        return;
    case 3:
        PaintAroundCentre(
            thread, *mask, width, height, true,
            [ad = double(a)](long double x, long double y) {
                const double dx = double(x), dy = double(y);
                const double argument = ad * std::sqrt(dx * dx + dy * dy);
                return Ring(127.5, argument, kArgumentError * std::fabs(argument));
            },
            [a](long double dx, long double dy) {
                return 127.5L + 127.5L * std::cos(a * std::sqrt(dx * dx + dy * dy));
            });
        return;
    case 4:
        PaintAroundCentre(
            thread, *mask, width, height, false,
            [ad = double(a)](long double x, long double y) {
                const double dx = double(x), dy = double(y);
                // cos(ar - 3t) = cos(ar) cos(3t) + sin(ar) sin(3t), with
                // cos(3t) = 4c^3 - 3c and sin(3t) = 3s - 4s^3 of the unit
                // vector (c, s) = (dx, dy) / r, which is within 6e-16 of the
                // exact one; the triple-angle terms and their products add
                // under 2e-14. At the centre c and s are not numbers, so the
                // literal formula decides.
                const double r = std::sqrt(dx * dx + dy * dy);
                const double radial = ad * r;
                const double c = dx / r;
                const double s = dy / r;
                const double cos3 = c * (4 * c * c - 3);
                const double sin3 = s * (3 - 4 * s * s);
                const double value = std::cos(radial) * cos3 + std::sin(radial) * sin3;
                const double error = 2 * CosError(kArgumentError * std::fabs(radial)) + 2e-14;
                return TBoundedDouble{127.5 + 127.5 * value, 127.5 * error * (1 + 1e-15) + 1e-13};
            },
            [a](long double dx, long double dy) {
                return 127.5L + 127.5L * std::cos(a * std::sqrt(dx * dx + dy * dy) - 3 * std::atan2(dy, dx));
            });
        return;
    case 5: {
        const long double third = width / 6;  // the centres lie at W/3 and 2W/3
        PaintAroundCentre(
            thread, *mask, width, height, true,
            [a, third](long double dx, long double y) {
                // Each centre's offset is formed in 80 bits, then rounded
                // once, so it keeps the relative bound of the radial term.
                const double ad = double(a);
                const double left = double(dx + third);
                const double right = double(dx - third);
                const double dy = double(y);
                const double a1 = ad * std::sqrt(left * left + dy * dy);
                const double a2 = ad * std::sqrt(right * right + dy * dy);
                const double error = CosError(kArgumentError * std::fabs(a1)) + CosError(kArgumentError * std::fabs(a2));
                return TBoundedDouble{127.5 + 63.75 * (std::cos(a1) + std::cos(a2)), 63.75 * error * (1 + 1e-15) + 1e-13};
            },
            [a, third](long double dx, long double dy) {
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

namespace {

long double GaussGeneratorLevel(long double s)
{
    return s >= 0 ? GaussBaseLevel * std::exp(s) : GaussBaseLevel * std::exp(s * 6.23L * 0.001L);
}

// The fields every generator gets: its code, FParam1, FIntParam and the size.
void FillGenerator(TBitmapProcesorThread& thread, std::int8_t code, long double param1, int function, int width,
                   int height)
{
    thread.FOperation = code;
    thread.FParam1 = param1;
    thread.FIntParam = function;
    thread.FParam3 = width;
    thread.FParam4 = height;
}

}  // namespace

void FillThread(TBitmapProcesorThread& thread, const TGaussGeneratorParams& params)
{
    FillGenerator(thread, op::GaussGenerator, GaussGeneratorLevel(params.steepness), 0, params.width, params.height);
}

void FillThread(TBitmapProcesorThread& thread, const TTriangleGeneratorParams& params)
{
    const long double t = -params.steepness;
    FillGenerator(thread, op::TriangleGenerator, t >= 0 ? -0.1L * (t * 0.02L) : -0.1L * (t * 0.005L), 0,
                  params.width, params.height);
    thread.FParam2 = params.angle;
}

void FillThread(TBitmapProcesorThread& thread, const TShapeGeneratorParams& params)
{
    FillGenerator(thread, op::ShapeGenerator, params.parameter, params.function, params.width, params.height);
}

void FillThread(TBitmapProcesorThread& thread, const TSharpenGeneratorParams& params)
{
    FillGenerator(thread, op::SharpenGenerator, GaussGeneratorLevel(params.steepness), 0, params.width,
                  params.height);
}

void FillThread(TBitmapProcesorThread& thread, const TEdgeGeneratorParams& params)
{
    FillGenerator(thread, op::EdgeGenerator, (params.steepness + 1000) * 0.000500751126690035L, 0, params.width,
                  params.height);
}

}  // namespace kadrimex
