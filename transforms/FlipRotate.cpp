#include "transforms/FlipRotate.h"

#include "engine/Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace kadrimex {
namespace {

constexpr std::uint8_t kWhite = 255;

// The turn of an angle: a quarter turn 0..3 counter-clockwise with its exact
// cosine and sine, or -1 and the cosine and sine of the angle.
struct TTurn {
    int quarter;
    long double cosine;
    long double sine;
};

TTurn TurnOf(long double angle)
{
    if (!std::isfinite(angle))
        throw EImageError("The angle of rotation must be a finite number");
    constexpr long double pi = std::numbers::pi_v<long double>;
    const long double reduced = std::remainder(angle, 2 * pi);
    const long double quarters = std::nearbyint(reduced / (pi / 2));
    if (std::fabs(reduced - quarters * (pi / 2)) <= 1e-9L) {
        static constexpr int kCosine[4] = {1, 0, -1, 0};
        const int quarter = (int(quarters) % 4 + 4) % 4;
        return {quarter, static_cast<long double>(kCosine[quarter]),
                static_cast<long double>(kCosine[(quarter + 3) % 4])};
    }
    return {-1, std::cos(reduced), std::sin(reduced)};
}

TRotatedSize SizeOf(int width, int height, const TTurn& turn, bool enlarge)
{
    if (!enlarge)
        return {width, height};
    if (turn.quarter >= 0)
        return turn.quarter % 2 ? TRotatedSize{height, width} : TRotatedSize{width, height};
    const long double c = std::fabs(turn.cosine), s = std::fabs(turn.sine);
    // The slack keeps a box side that is a whole number up to rounding from
    // growing by one.
    auto side = [](long double extent) { return std::max(1, int(std::ceil(extent - 1e-9L))); };
    return {side(width * c + height * s), side(width * s + height * c)};
}

// Every row's address, looked up once (ScanLine checks its index).
template <class Row, class Bitmap>
std::vector<Row> RowsOf(Bitmap& bitmap)
{
    std::vector<Row> rows(static_cast<std::size_t>(bitmap.Height()));
    for (int y = 0; y < bitmap.Height(); ++y)
        rows[std::size_t(y)] = bitmap.ScanLine(y);
    return rows;
}

int FloorHalf(long long doubled)
{
    return int(doubled >= 0 ? doubled / 2 : -((1 - doubled) / 2));
}

// Quarter turns: the source position of the formula is a whole or a half
// number; taking its floor makes every step the same integer map (a turn
// about a fixed point plus a shift), so four turns of the same size give
// back the picture pixel for pixel.
void TurnQuarter(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source, int c,
                 int s)
{
    const int W = source.Width(), H = source.Height();
    const int Wd = destination.Width(), Hd = destination.Height();
    const std::vector<const std::uint8_t*> rows = RowsOf<const std::uint8_t*>(source);
    const std::vector<std::uint8_t*> out = RowsOf<std::uint8_t*>(destination);
    ParallelRows(thread, Hd, Wd, [&](int y) {
        // Twice the source position of pixel (0, y).
        const long long twiceX = (long long)c * (1 - Wd) - (long long)s * (2LL * y + 1 - Hd) + W - 1;
        const long long twiceY = (long long)s * (1 - Wd) + (long long)c * (2LL * y + 1 - Hd) + H - 1;
        int sx = FloorHalf(twiceX), sy = FloorHalf(twiceY);
        std::uint8_t* pixel = out[std::size_t(y)];
        for (int x = 0; x < Wd; ++x, sx += c, sy += s, pixel += 3) {
            if (sx >= 0 && sx < W && sy >= 0 && sy < H)
                std::memcpy(pixel, rows[std::size_t(sy)] + 3 * sx, 3);
            else
                pixel[0] = pixel[1] = pixel[2] = kWhite;
        }
    });
}

std::uint8_t RoundedChannel(double v)
{
    const double r = std::floor(v + 0.5);
    return r <= 0 ? 0 : r >= 255 ? 255 : std::uint8_t(r);
}

// The bicubic sample of the 4 x 4 taps, columns[0..3] of tapRows[0..3],
// weighted by wx across and wy down; the three channels side by side, each
// summed in the order of the formula.
void Sample(const std::uint8_t* const* tapRows, const int* columns, const double* wx, const double* wy,
            std::uint8_t* pixel)
{
    double v[3] = {0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t* row = tapRows[i];
        const std::uint8_t *p0 = row + 3 * columns[0], *p1 = row + 3 * columns[1], *p2 = row + 3 * columns[2],
                           *p3 = row + 3 * columns[3];
        for (int channel = 0; channel < 3; ++channel)
            v[channel] += wy[i] * (wx[0] * p0[channel] + wx[1] * p1[channel] + wx[2] * p2[channel] +
                                   wx[3] * p3[channel]);
    }
    for (int channel = 0; channel < 3; ++channel)
        pixel[channel] = RoundedChannel(v[channel]);
}

void TurnInterpolated(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source,
                      double c, double s)
{
    const int W = source.Width(), H = source.Height();
    const int Wd = destination.Width(), Hd = destination.Height();
    const std::vector<const std::uint8_t*> rows = RowsOf<const std::uint8_t*>(source);
    const std::vector<std::uint8_t*> out = RowsOf<std::uint8_t*>(destination);
    const double centreX = Wd / 2.0, centreY = Hd / 2.0;
    const double sourceX = W / 2.0 - 0.5, sourceY = H / 2.0 - 0.5;
    const double right = W - 0.5, bottom = H - 0.5;
    ParallelRows(thread, Hd, Wd, [&](int y) {
        const double dy = y + 0.5 - centreY;
        std::uint8_t* pixel = out[std::size_t(y)];
        for (int x = 0; x < Wd; ++x, pixel += 3) {
            const double dx = x + 0.5 - centreX;
            const double sx = c * dx - s * dy + sourceX;
            const double sy = s * dx + c * dy + sourceY;
            if (!(sx >= -0.5 && sx < right && sy >= -0.5 && sy < bottom)) {
                pixel[0] = pixel[1] = pixel[2] = kWhite;
                continue;
            }
            const double fx = std::floor(sx), fy = std::floor(sy);
            const int ix = int(fx), iy = int(fy);
            double wx[4], wy[4];
            CatmullRomWeights(sx - fx, wx);
            CatmullRomWeights(sy - fy, wy);
            int columns[4];
            const std::uint8_t* tapRows[4];
            if (ix >= 1 && ix + 2 < W && iy >= 1 && iy + 2 < H) {
                for (int k = 0; k < 4; ++k) {
                    columns[k] = ix - 1 + k;
                    tapRows[k] = rows[std::size_t(iy - 1 + k)];
                }
            } else {
                for (int k = 0; k < 4; ++k) {
                    columns[k] = std::clamp(ix - 1 + k, 0, W - 1);
                    tapRows[k] = rows[std::size_t(std::clamp(iy - 1 + k, 0, H - 1))];
                }
            }
            Sample(tapRows, columns, wx, wy, pixel);
        }
    });
}

}  // namespace

void CatmullRomWeights(double t, double* w)
{
    w[0] = ((-0.5 * t + 1.0) * t - 0.5) * t;
    w[1] = (1.5 * t - 2.5) * t * t + 1.0;
    w[2] = ((-1.5 * t + 2.0) * t + 0.5) * t;
    w[3] = (0.5 * t - 0.5) * t * t;
}

void MakeFlip(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
              std::uint8_t mode)
{
    if (!destination || !source)
        return;
    const int W = source->Width(), H = source->Height();
    if (!thread.BeginProgress(W, H))
        return;
    source->SetPixelFormat(TPixelFormat::pf24bit);
    destination->SetPixelFormat(TPixelFormat::pf24bit);
    destination->SetSize(W, H);
    if (mode > 1)
        return;
    for (int y = 0; y < H; ++y) {
        if (thread.Terminated())
            return;
        thread.FRow = y;
        thread.UpdateProgress();
        std::uint8_t* out = destination->ScanLine(y);
        if (mode == 1) {
            std::memcpy(out, source->ScanLine(H - 1 - y), 3 * std::size_t(W));
        } else {
            const std::uint8_t* in = source->ScanLine(y) + 3 * std::size_t(W - 1);
            for (int x = 0; x < W; ++x, in -= 3, out += 3)
                std::memcpy(out, in, 3);
        }
        thread.FColumn = W - 1;
    }
}

TRotatedSize RotatedSize(int width, int height, long double angle, bool enlarge)
{
    return SizeOf(width, height, TurnOf(angle), enlarge);
}

void MakeRotate(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                long double angle, bool enlarge)
{
    if (!destination || !source)
        return;
    const TTurn turn = TurnOf(angle);
    const int W = source->Width(), H = source->Height();
    thread.FWidth = W;
    thread.FHeight = H;
    if (W < 1 || H < 1)
        return;
    const TRotatedSize size = SizeOf(W, H, turn, enlarge);
    source->SetPixelFormat(TPixelFormat::pf24bit);
    destination->SetPixelFormat(TPixelFormat::pf24bit);
    destination->SetSize(size.width, size.height);
    if (!thread.BeginProgress(size.width, size.height))
        return;
    if (turn.quarter >= 0)
        TurnQuarter(thread, *destination, *source, int(turn.cosine), int(turn.sine));
    else
        TurnInterpolated(thread, *destination, *source, double(turn.cosine), double(turn.sine));
}

void FillThread(TBitmapProcesorThread& thread, const TFlipRotateParams& params)
{
    switch (params.choice) {
    case TFlipRotateChoice::FlipVertical:
        thread.FOperation = op::Flip;
        thread.FIntParam = 1;
        thread.FParam2 = 0;
        break;
    case TFlipRotateChoice::FlipHorizontal:
        thread.FOperation = op::Flip;
        thread.FIntParam = 0;
        thread.FParam2 = 0;
        break;
    case TFlipRotateChoice::Rotate:
        thread.FOperation = op::Rotate;
        thread.FIntParam = params.enlarge ? 1 : 0;
        thread.FParam2 = params.angle;
        break;
    }
}

}  // namespace kadrimex
