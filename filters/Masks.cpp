#include "filters/Masks.h"

#include <algorithm>
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

// The tent profile in double precision with its error: t within et of the
// exact value, the side of the peak decided only when t is farther than et
// from it (else false). The result is within the returned bound of the
// 80-bit profile of the same t.
struct TFastTent {
    double span, foot, half, rise, fall, k, errorScale;

    TFastTent(long double s, long double f)
        : span(double(s)), foot(double(f)), half(double(s / 2)), rise(double(f * s)), fall(double((1 - f) * s)),
          k(double(1 / ((0.5L - f) * s))), errorScale(double(std::fabs(f * s)) + double(std::fabs(s)))
    {
    }

    bool Profile(double t, double et, double& value, double& error) const
    {
        if (std::fabs(t - half) <= et)
            return false;
        value = t <= half ? (t - rise) * k : (fall - t) * k;
        error = std::fabs(k) * (et + 1e-15 * (std::fabs(t) + errorScale)) + 1e-15 * std::fabs(value);
        return true;
    }
};

// The same cell from the rotation formula u = py cos A - px sin A + H/2,
// v = px cos A + py sin A + W/2 in double precision, which the polar route
// equals up to its rounding: its angle is off by a few units in the last
// place of (pi + |A|), moving u and v by r times that, and the double
// evaluation adds a few units of |px| + |py| + H (W); a wide margin covers
// both. The tent's slopes bound how far that moves the cell's value. False
// where the bound does not decide the byte (the literal route then does).
struct TFastRotatedTent {
    TFastTent rows, columns;
    double cosA, sinA, halfH, halfW, eu, ev;
    bool pointPeak;

    TFastRotatedTent(long double foot, long double angle, long double width, long double height, long double rMax)
        : rows(height, foot), columns(width, foot), cosA(double(std::cos(angle))), sinA(double(std::sin(angle))),
          halfH(double(height / 2)), halfW(double(width / 2)), pointPeak(foot == 0.5L)
    {
        const long double common = 1e-16L * (rMax * (4 + std::fabs(angle)) + 1) + 1e-15L * 2 * rMax;
        eu = double(common + 1e-15L * (std::fabs(height) + std::fabs(width)));
        ev = eu;
    }

    bool Cell(double px, double py, std::uint8_t& cell) const
    {
        const double u = py * cosA - px * sinA + halfH;
        const double v = px * cosA + py * sinA + halfW;
        if (pointPeak) {
            // The profile is 1 only where u (v) is exactly the centre.
            if (std::fabs(u - halfH) > eu || std::fabs(v - halfW) > ev) {
                cell = 0;
                return true;
            }
            return false;
        }
        double pu, epu, pv, epv;
        if (!rows.Profile(u, eu, pu, epu) || !columns.Profile(v, ev, pv, epv))
            return false;
        const double rf = pu <= 0 ? 0 : 255 * pu;
        const double erf = 255 * epu * (1 + 1e-15);
        const double p = rf * pv;
        const double error = erf * (std::fabs(pv) + epv) + rf * epv + 1e-15 * std::fabs(p) + 1e-300;
        if (!(p + error < 2147483647.0))
            return false;
        return DecidedByte(p, error, [](double value) {
            if (!(value > 0))
                return std::uint8_t(0);
            return value >= 255 ? std::uint8_t(255) : std::uint8_t(int(value));
        }, cell);
    }
};

// The rows of the Gauss mask: 255 exp(-ky dy^2) exp(-kx dx^2), the column
// factors computed once.
class TGaussRows {
public:
    TGaussRows(int columns, long double level, long double width, long double height)
        : FHeight(height)
    {
        const long double a = level <= 0 ? 1e-30L : level;
        const long double kx = std::log(a) / (width * width);
        FKy = std::log(a) / (height * height);
        FGx = ColumnTable(columns, [&](int x) {
            const long double dx = x - (width - 1) / 2;
            return std::exp(-kx * (dx * dx));
        });
    }

    void operator()(int y, std::uint8_t* row) const
    {
        const long double dy = y - (FHeight - 1) / 2;
        const long double gy = 255 * std::exp(-FKy * (dy * dy));
        for (std::size_t x = 0; x < FGx.size(); ++x)
            row[x] = MaskByte(gy * FGx[x]);
    }

private:
    long double FHeight, FKy = 0;
    std::vector<long double> FGx;
};

// The canvas of a mask bitmap: the painters write its rows in place.
class TBitmapCanvas final : public TMaskCanvas {
public:
    explicit TBitmapCanvas(TBitmap& mask) : FMask(mask) {}
    void Prepare(int width, int height) override { PrepareMask(FMask, width, height); }
    int Width() const override { return FMask.Width(); }
    void Rows(TBitmapProcesorThread& thread, const std::function<void(int y, std::uint8_t* row)>& paintRow) override
    {
        PaintRows(thread, FMask, paintRow);
    }

private:
    TBitmap& FMask;
};

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
    // From 2^72 on a long double is a multiple of 2^9, so its remainder
    // modulo 256 is 0; fmod would take one step per 64 bits of exponent.
    if (value >= 0x1p72L)
        return 0;
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

void PaintGaussMaskInto(TBitmapProcesorThread& thread, TMaskCanvas& canvas, long double level, long double width,
                        long double height)
{
    canvas.Prepare(MaskSide(width), MaskSide(height));
    const TGaussRows gauss(canvas.Width(), level, width, height);
    canvas.Rows(thread, [&](int y, std::uint8_t* row) { gauss(y, row); });
}

void PaintGaussMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
                    long double height)
{
    if (!mask)
        return;
    TBitmapCanvas canvas(*mask);
    PaintGaussMaskInto(thread, canvas, level, width, height);
}

void PaintTriangleMaskInto(TBitmapProcesorThread& thread, TMaskCanvas& canvas, long double foot, long double width,
                           long double height)
{
    canvas.Prepare(MaskSide(width), MaskSide(height));
    const long double spanY = height + 1;
    const long double spanX = width + 1;
    const std::vector<long double> px =
        ColumnTable(canvas.Width(), [&](int x) { return TentProfile(spanX, foot, x + 1); });
    canvas.Rows(thread, [&](int y, std::uint8_t* row) {
        const long double vy = TentRowFactor(spanY, foot, y + 1);
        for (int x = 0; x < canvas.Width(); ++x)
            row[x] = TentCell(vy, px[std::size_t(x)]);
    });
}

void PaintTriangleMask(TBitmapProcesorThread& thread, TBitmap* mask, long double foot, long double width,
                       long double height)
{
    if (!mask)
        return;
    TBitmapCanvas canvas(*mask);
    PaintTriangleMaskInto(thread, canvas, foot, width, height);
}

void PaintRotatedTriangleMaskInto(TBitmapProcesorThread& thread, TMaskCanvas& canvas, long double foot,
                                  long double angle, long double width, long double height)
{
    const int n = MaskSide(0.66L * std::sqrt(width * width + height * height));
    canvas.Prepare(n, n);
    const long double half = n / 2.0L;
    const TFastRotatedTent fast(foot, angle, width, height, half * std::sqrt(2.0L) + 1);
    canvas.Rows(thread, [&](int y, std::uint8_t* row) {
        const long double py = y + 0.5L - half;
        for (int x = 0; x < n; ++x) {
            const long double px = x + 0.5L - half;
            if (!fast.Cell(double(px), double(py), row[x]))
                row[x] = RotatedTentCell(px, py, angle, foot, width, height);
        }
    });
}

void PaintRotatedTriangleMask(TBitmapProcesorThread& thread, TBitmap* mask, long double foot, long double angle,
                              long double width, long double height)
{
    if (!mask)
        return;
    TBitmapCanvas canvas(*mask);
    PaintRotatedTriangleMaskInto(thread, canvas, foot, angle, width, height);
}

void PaintSharpenMaskInto(TBitmapProcesorThread& thread, TMaskCanvas& canvas, long double level, long double width,
                          long double height)
{
    const long double a = level <= 0 ? 1e-30L : level;
    // The Gauss mask's bytes are the envelope: each row is painted first.
    canvas.Prepare(MaskSide(width), MaskSide(height));
    const TGaussRows gauss(canvas.Width(), a, width, height);
    const long double l = std::log(a / GaussBaseLevel);
    const long double fx = 2 * kPi * l / width;
    const long double fy = 2 * kPi * l / height;
    const std::vector<long double> tx =
        ColumnTable(canvas.Width(), [&](int x) { return (x + 0.5L - width / 2) * fx; });
    const auto byteOf = [](long double v) { return std::uint8_t(WrappedFloor(v < 0 ? 0 : v)); };
    const long double cosCap = std::cos(kPi);
    canvas.Rows(thread, [&](int y, std::uint8_t* row) {
        gauss(y, row);
        const long double ty = (y + 0.5L - height / 2) * fy;
        for (int x = 0; x < canvas.Width(); ++x) {
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

void PaintSharpenMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
                      long double height)
{
    if (!mask)
        return;
    TBitmapCanvas canvas(*mask);
    PaintSharpenMaskInto(thread, canvas, level, width, height);
}

void PaintEdgeMaskInto(TBitmapProcesorThread& thread, TMaskCanvas& canvas, long double level, long double width,
                       long double height)
{
    canvas.Prepare(MaskSide(width), MaskSide(height));
    // This mask's pi is the double-precision value, just below the true pi:
    // so sin(2 pi) is the tiny negative number that makes the cells beyond
    // r = 2 pi store 127, one below the zero level.
    const long double pi = kEdgePi;
    const long double fx = 2 * pi / width;
    const long double fy = 2 * pi / height;
    const std::vector<long double> qs = ColumnTable(canvas.Width(), [&](int x) { return (x + 0.5L) * fx; });
    const std::vector<long double> sinQ =
        ColumnTable(canvas.Width(), [&](int x) { return std::sin(qs[std::size_t(x)]); });
    const long double sinCap = std::sin(2 * pi);
    const auto byteOf = [](long double val) {
        if (val > 127)
            val = 127;
        val += 128;
        if (val < 0)
            val = 0;
        return std::uint8_t(WrappedFloor(val));
    };
    // One cell as written, all in 80 bits.
    const auto literalCell = [&](long double p, long double sinP, int x) {
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
        if (r > pi / 2)
            val *= capped ? sinCap : std::sin(r);
        return byteOf(val);
    };
    // The same cell in double precision where its bound decides the byte:
    // the radius is within 5e-16 of its size, the factors before the sine
    // within 6e-16 relative, the sine within the radius error plus 3e-16. A
    // radius closer than its bound to pi / 2, pi or 2 pi, whose side picks
    // the formula, is left to the literal route; so is a product whose
    // bound straddles a byte.
    const std::vector<double> qd(qs.begin(), qs.end());
    std::vector<double> columnFactor(qs.size());
    for (std::size_t x = 0; x < qs.size(); ++x)
        columnFactor[x] = double(qs[x] < pi / 2 ? sinQ[x] : 1.0L);
    const double pi1 = double(pi);
    const double ringLevel = double(126.8L * level);
    const auto edgeByte = [](double v) {
        if (v > 127)
            v = 127;
        v += 128;
        return v > 0 ? std::uint8_t(int(v)) : std::uint8_t(0);
    };
    const auto near = [](double r, double threshold, double error) { return std::fabs(r - threshold) <= error; };
    canvas.Rows(thread, [&](int y, std::uint8_t* row) {
        const long double p = (y + 0.5L) * fy;
        const long double sinP = std::sin(p);
        const double pd = double(p);
        const double rowFactor = double(p < pi / 2 ? sinP : 1.0L);
        for (int x = 0; x < canvas.Width(); ++x) {
            const double q = qd[std::size_t(x)];
            const double r = std::sqrt(pd * pd + q * q);
            const double er = 5e-16 * r + 1e-300;
            if (near(r, 2 * pi1, er) || near(r, pi1, er) || near(r, pi1 / 2, er)) {
                row[x] = literalCell(p, sinP, x);
                continue;
            }
            if (r > 2 * pi1) {
                // The capped sine is a tiny negative number: 128 plus the
                // product lies just below 128 unless it rounds to 128.
                long double val = 126.8L;
                if (p < pi / 2)
                    val *= sinP;
                if (qs[std::size_t(x)] < pi / 2)
                    val *= sinQ[std::size_t(x)];
                row[x] = val * sinCap + 128 < 128 ? 127 : byteOf(val * sinCap);
                continue;
            }
            const double m = (r > pi1 ? ringLevel : 126.8) * rowFactor * columnFactor[std::size_t(x)];
            if (r <= pi1 / 2) {
                if (!DecidedByte(m, std::fabs(m) * 6e-16 + 1e-13, edgeByte, row[x]))
                    row[x] = literalCell(p, sinP, x);
                continue;
            }
            if (m == 0) {
                row[x] = 128;  // 0 times a finite sine
                continue;
            }
            const double v = m * std::sin(r);
            const double error = std::fabs(m) * (1e-15 * (r + 2)) + 1e-13;
            if (!DecidedByte(v, error, edgeByte, row[x]))
                row[x] = literalCell(p, sinP, x);
        }
    });
}

void PaintEdgeMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
                   long double height)
{
    if (!mask)
        return;
    TBitmapCanvas canvas(*mask);
    PaintEdgeMaskInto(thread, canvas, level, width, height);
}



TFoldedMask::TFoldedMask(int pictureWidth, int pictureHeight, bool isSigned)
    : FPictureWidth(std::max(pictureWidth, 1)), FPictureHeight(std::max(pictureHeight, 1)), FSigned(isSigned)
{
}

void TFoldedMask::Prepare(int width, int height)
{
    FMaskWidth = width;
    FMaskHeight = height;
    // Mask column j reads picture column x - width / 2 + j clamped to
    // 0 .. pictureWidth - 1: j <= left reads column 0 for every x and
    // j >= left + FWidth - 1 the last column.
    const auto fold = [](int cells, int picture, int& first, int& count) {
        const int centre = cells / 2;
        first = std::max(centre - (picture - 1), 0);
        const int last = std::min(centre + picture - 1, cells - 1);
        count = std::max(last - first + 1, 0);
    };
    fold(width, FPictureWidth, FLeft, FWidth);
    fold(height, FPictureHeight, FTop, FHeight);
    FWeights.assign(std::size_t(FWidth) * std::size_t(FHeight), 0);
}

void TFoldedMask::Rows(TBitmapProcesorThread& thread, const std::function<void(int y, std::uint8_t* row)>& paintRow)
{
    if (FWidth == 0 || FHeight == 0)
        return;
    // Every worker paints into its own row; the rows folded into the first
    // and the last folded row are summed per worker and added at the end,
    // the others each own one folded row.
    struct TWorker {
        std::vector<std::uint8_t> row;
        std::vector<std::int64_t> first, last;
    };
    std::vector<TWorker> workers(static_cast<std::size_t>(WorkerCount()));
    const std::int64_t zero = FSigned ? 128 : 0;
    // Painting shows in the progress when it is a noticeable share of the
    // work: a mask with more cells than the picture has pixels.
    const bool shown = std::int64_t(FMaskWidth) * FMaskHeight > std::int64_t(FPictureWidth) * FPictureHeight;
    const std::int64_t maximum = thread.ProgressMax();
    const std::int64_t rows = FMaskHeight;
    ParallelRows(
        thread, FMaskHeight, [&](std::int64_t done) { return shown ? maximum * done / rows : thread.Progress(); },
        [&](int y, int worker) {
            TWorker& w = workers[std::size_t(worker)];
            if (w.row.empty()) {
                w.row.resize(std::size_t(FMaskWidth));
                w.first.assign(std::size_t(FWidth), 0);
                w.last.assign(std::size_t(FWidth), 0);
            }
            paintRow(y, w.row.data());
            const int folded = std::clamp(y, FTop, FTop + FHeight - 1) - FTop;
            std::int64_t* out = folded == 0                ? w.first.data()
                                : folded == FHeight - 1    ? w.last.data()
                                                           : &FWeights[std::size_t(folded) * std::size_t(FWidth)];
            const std::uint8_t* row = w.row.data();
            const int lastColumn = FLeft + FWidth - 1;
            const auto sum = [&](int from, int to) {  // weights of columns [from, to)
                std::int64_t total = 0;
                for (int j = from; j < to; ++j)
                    total += row[j];
                return total - zero * (to - from);
            };
            if (FWidth == 1) {
                out[0] += sum(0, FMaskWidth);
                return;
            }
            out[0] += sum(0, FLeft + 1);
            out[FWidth - 1] += sum(lastColumn, FMaskWidth);
            for (int j = FLeft + 1; j < lastColumn; ++j)
                out[j - FLeft] += row[j] - zero;
        });
    for (const TWorker& w : workers)
        for (std::size_t j = 0; j < w.first.size(); ++j) {
            FWeights[j] += w.first[j];
            if (FHeight > 1)
                FWeights[std::size_t(FHeight - 1) * std::size_t(FWidth) + j] += w.last[j];
        }
}

}  // namespace kadrimex
