#include "filters/Generators.h"

#include "filters/Masks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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

// Shapes 3 to 5 over the offsets from the picture's centre: fast(dx, dy)
// gives the value through the double-precision cosine with its error bound,
// literal(dx, dy) the 80-bit value for the cells the bound leaves undecided.
template <typename Fast, typename Literal>
void PaintAroundCentre(TBitmapProcesorThread& thread, TBitmap& mask, long double W, long double H, Fast fast,
                       Literal literal)
{
    PrepareMask(mask, MaskSide(W), MaskSide(H));
    const long double cx = W / 2;
    const long double cy = H / 2;
    PaintRows(thread, mask, [&](int y, std::uint8_t* row) {
        const long double dy = y - cy;
        for (int x = 0; x < mask.Width(); ++x) {
            const long double dx = x - cx;
            const TBoundedValue v = fast(dx, dy);
            if (!DecidedByte(v.value, v.error, ClampedFloor, row[x]))
                row[x] = ClampedFloor(literal(dx, dy));
        }
    });
}

// 127.5 + scale * cos(argument) with the bound of its double evaluation.
TBoundedValue Ring(long double scale, TBoundedValue c)
{
    return {127.5L + scale * c.value, scale * c.error * (1 + 1e-15L) + 1e-16L};
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
            thread, *mask, width, height,
            [a](long double dx, long double dy) {
                return Ring(127.5L, BoundedCos(a * std::sqrt(dx * dx + dy * dy)));
            },
            [a](long double dx, long double dy) {
                return 127.5L + 127.5L * std::cos(a * std::sqrt(dx * dx + dy * dy));
            });
        return;
    case 4:
        PaintAroundCentre(
            thread, *mask, width, height,
            [a](long double dx, long double dy) {
                // The offsets are exact in double; its atan2 is within two
                // units in the last place (under 1e-15) of the angle.
                const long double theta = std::atan2(double(dy), double(dx));
                const long double argument = a * std::sqrt(dx * dx + dy * dy) - 3 * theta;
                TBoundedValue c = BoundedCos(argument);
                c.error += 3e-15L + 2e-18L * (std::fabs(argument) + 10);
                return Ring(127.5L, c);
            },
            [a](long double dx, long double dy) {
                return 127.5L + 127.5L * std::cos(a * std::sqrt(dx * dx + dy * dy) - 3 * std::atan2(dy, dx));
            });
        return;
    case 5: {
        const long double third = width / 6;  // the centres lie at W/3 and 2W/3
        PaintAroundCentre(
            thread, *mask, width, height,
            [a, third](long double dx, long double dy) {
                const long double left = dx + third;
                const long double right = dx - third;
                const TBoundedValue c1 = BoundedCos(a * std::sqrt(left * left + dy * dy));
                const TBoundedValue c2 = BoundedCos(a * std::sqrt(right * right + dy * dy));
                return TBoundedValue{127.5L + 63.75L * (c1.value + c2.value),
                                     63.75L * (c1.error + c2.error) * (1 + 1e-15L) + 1e-16L};
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
