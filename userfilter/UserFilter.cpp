#include "userfilter/UserFilter.h"

#include "engine/Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace kadrimex {

long double* AllocateCoefficients(int size)
{
    if (size < 0 || size > kMaxUserMatrixSize)
        throw EImageError("The filter matrix must be 1x1, 3x3, 5x5 or 7x7");
    return new long double[std::size_t(size) * std::size_t(size)]();
}

void ReleaseCoefficients(long double* matrix) noexcept
{
    delete[] matrix;
}

namespace {

// Steps after the sum: factor and offset, optional absolute value, clamp,
// Floor.
inline std::uint8_t ChannelByte(long double s, long double factor, long double offset, bool absolute)
{
    long double v = factor * s + offset;
    if (absolute)
        v = std::fabs(v);
    if (v >= 255)
        return 255;
    if (!(v > 0))  // also a value that is not a number
        return 0;
    // Floor of v in (0, 255) without switching the x87 rounding mode: the
    // nearest double lies in [n, n + 1] for n = Floor(v), so its truncation
    // is n, or n + 1 exactly when it rounded up to the next whole number.
    const int k = int(double(v));
    return std::uint8_t((long double)k > v ? k - 1 : k);
}

// First source row or column used for output position p (Floor(p - c + 0.5)),
// limited so that the later clamp to the picture stays in integer range.
std::int64_t FirstIndex(int p, long double c)
{
    const long double first = std::floor((long double)p - c + 0.5L);
    return std::int64_t(std::clamp(first, -(long double)(1 << 30), (long double)(1 << 30)));
}

struct Geometry {
    int width = 0;
    int height = 0;
    int size = 0;
    // rowIndex[y * size + i]: clamped source row of matrix row i for output row y.
    std::vector<int> rowIndex;
    // colIndex[x * size + j]: clamped source column of matrix column j.
    std::vector<int> colIndex;
    // When every output column x starts at source column x + shift (always
    // so for the centred matrices of UserFilter), rows can be read from a
    // copy padded by repeating the edge pixels: `padLeft` pixels before
    // and `padRight` after.
    bool uniformShift = false;
    int shift = 0;
    int padLeft = 0;
    int padRight = 0;
};

Geometry MakeGeometry(int width, int height, int size, long double cx, long double cy)
{
    Geometry g;
    g.width = width;
    g.height = height;
    g.size = size;
    g.rowIndex.resize(std::size_t(height) * std::size_t(size));
    g.colIndex.resize(std::size_t(width) * std::size_t(size));
    for (int y = 0; y < height; ++y) {
        const std::int64_t r0 = FirstIndex(y, cy);
        for (int i = 0; i < size; ++i)
            g.rowIndex[std::size_t(y) * std::size_t(size) + std::size_t(i)] =
                int(std::clamp<std::int64_t>(r0 + i, 0, height - 1));
    }
    g.uniformShift = true;
    const std::int64_t shift = FirstIndex(0, cx);
    for (int x = 0; x < width; ++x) {
        const std::int64_t c0 = FirstIndex(x, cx);
        if (c0 - x != shift)
            g.uniformShift = false;
        for (int j = 0; j < size; ++j)
            g.colIndex[std::size_t(x) * std::size_t(size) + std::size_t(j)] =
                int(std::clamp<std::int64_t>(c0 + j, 0, width - 1));
    }
    if (g.uniformShift && shift >= -size && shift <= size) {
        g.shift = int(shift);
        g.padLeft = std::max(0, -g.shift);
        g.padRight = std::max(0, g.shift + size - 1);
    } else {
        g.uniformShift = false;
    }
    return g;
}

// Copies source row `row` into `out` with the edge pixels repeated.
void PadRow(const TAdvancedBitmap& source, int row, const Geometry& g, std::uint8_t* out)
{
    const std::uint8_t* in = source.ScanLine(row);
    const std::size_t w3 = std::size_t(g.width) * 3;
    for (int k = 0; k < g.padLeft; ++k)
        std::memcpy(out + std::size_t(k) * 3, in, 3);
    std::memcpy(out + std::size_t(g.padLeft) * 3, in, w3);
    std::uint8_t* right = out + std::size_t(g.padLeft) * 3 + w3;
    for (int k = 0; k < g.padRight; ++k)
        std::memcpy(right + std::size_t(k) * 3, in + w3 - 3, 3);
}

struct Term {
    int i;
    int j;
    long double coefficient;
};

// Terms in summation order (i, then j). A zero coefficient is left out:
// its products are zeros, and adding a zero to a sum that starts at +0 and
// only ever grows by additions never changes it (it never becomes -0).
std::vector<Term> NonZeroTerms(const long double* matrix, int size)
{
    std::vector<Term> terms;
    for (int i = 0; i < size; ++i)
        for (int j = 0; j < size; ++j) {
            const long double m = matrix[i * size + j];
            if (m != 0)
                terms.push_back({i, j, m});
        }
    return terms;
}

// Whole-number coefficients whose weighted sums fit the accumulator: every
// product and partial sum is then an exact integer, so the 80-bit sum equals
// the integer sum and the result byte depends on that integer alone.
// Returns the bound 255 * sum(|m|) when the coefficients qualify.
std::optional<std::int64_t> IntegerBound(const std::vector<Term>& terms)
{
    long double bound = 0;
    for (const Term& t : terms) {
        if (!(std::fabs(t.coefficient) <= 1e6L) || t.coefficient != std::trunc(t.coefficient))
            return std::nullopt;
        bound += std::fabs(t.coefficient) * 255;
    }
    if (bound > (long double)std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return std::int64_t(bound);
}

struct Output {
    long double factor;
    long double offset;
    bool absolute;
};

// The vector loops are built for AVX-512, AVX2 and the baseline; the
// loader picks the best the processor has.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define KADRIMEX_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define KADRIMEX_VECTOR_CLONES
#endif

// acc[k] += m * q[k]: whole-number sums that the caller keeps in range.
KADRIMEX_VECTOR_CLONES
void MultiplyAdd(std::int16_t* __restrict acc, const std::uint8_t* __restrict q, std::int16_t m, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        acc[k] = std::int16_t(acc[k] + m * std::int16_t(q[k]));
}

KADRIMEX_VECTOR_CLONES
void MultiplyAdd(std::int32_t* __restrict acc, const std::uint8_t* __restrict q, std::int32_t m, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        acc[k] += m * std::int32_t(q[k]);
}

template <typename Acc>
void IntegerRows(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source,
                 const Geometry& g, const std::vector<Term>& terms, const Output& out)
{
    std::int64_t low = 0, high = 0;
    for (const Term& t : terms)
        (t.coefficient < 0 ? low : high) += std::int64_t(t.coefficient) * 255;
    // Every possible sum gets its byte once when that is cheaper than
    // computing it per channel.
    std::vector<std::uint8_t> table;
    const std::int64_t span = high - low + 1;
    if (span <= std::min<std::int64_t>(std::int64_t(1) << 20, std::int64_t(g.width) * g.height * 3)) {
        table.resize(std::size_t(span));
        for (std::int64_t s = low; s <= high; ++s)
            table[std::size_t(s - low)] = ChannelByte((long double)s, out.factor, out.offset, out.absolute);
    }

    const std::size_t w3 = std::size_t(g.width) * 3;
    const std::size_t paddedBytes = std::size_t(g.width + g.padLeft + g.padRight) * 3;
    ParallelRows(thread, g.height, g.width, [&](int y) {
        std::vector<Acc> acc(w3, Acc(0));
        std::vector<std::uint8_t> padded(paddedBytes);
        int paddedRow = -1;
        for (const Term& t : terms) {
            const int row = g.rowIndex[std::size_t(y) * std::size_t(g.size) + std::size_t(t.i)];
            if (row != paddedRow) {
                PadRow(source, row, g, padded.data());
                paddedRow = row;
            }
            const std::uint8_t* q = padded.data() + std::size_t(g.padLeft + g.shift + t.j) * 3;
            MultiplyAdd(acc.data(), q, Acc(t.coefficient), w3);
        }
        if (thread.Terminated())
            return;
        std::uint8_t* dst = destination.ScanLine(y);
        if (!table.empty()) {
            for (std::size_t k = 0; k < w3; ++k)
                dst[k] = table[std::size_t(std::int64_t(acc[k]) - low)];
            return;
        }
        for (std::size_t k = 0; k < w3; ++k)
            dst[k] = ChannelByte((long double)acc[k], out.factor, out.offset, out.absolute);
    });
}

// ---------------------------------------------------------------------------
// Real coefficients: double sums with a proven error bound, the literal
// 80-bit sum only where the bound cannot decide the byte.
//
// Notation: n nonzero terms, A = 255 * sum |m_k| (a bound on every sum of
// |m_k| * p_k), u = 2^-53, uL = 2^-64, g(n, e) = n e / (1 - n e).
// - The literal 80-bit sum S_L, in its order, is within g(n, uL) A of the
//   exact sum X = sum m_k p_k.
// - The double sum S_d of d_k = m_k rounded to double (|d_k - m_k| <= u
//   |m_k|), in any order, with or without fused multiply-adds, is within
//   g(n, u) (1 + u) A of sum d_k p_k, which is within u A of X.
//   So |S_d - S_L| <= E = (u + g(n, u) (1 + u) + g(n, uL)) A.
// - With F, O the 80-bit factor and offset and f, o their doubles, the
//   literal v_L = fl80(fl80(F S_L) + O) and v_d = fl(f S_d + o) differ by at
//   most |F| E + 4 u (|F| A + |O|): the roundings of f and o, the two double
//   operations and the two 80-bit ones, each at most u times a value below
//   1.05 (|F| A + |O|). Taking |v| on both sides does not widen the gap.
// - The byte is floor(clamp(v, 0, 255)), monotone in v. With
//   D = |F| E + 8 u (|F| A + |O|) (the extra 4 u covers rounding v_d -+ D
//   themselves and the computation of D), equal bytes for v_d - D and
//   v_d + D are the literal byte.
// The model needs no overflow and no loss to subnormals in the products:
// every coefficient, the factor and a nonzero offset lie in [2^-960,
// 2^960], and so does |F| A + |O|; an underflowing f * S_d adds at most
// 2^-1074, covered by 2^-1000 in D. Outside that the literal sum is used.

struct DoubleSums {
    std::vector<double> weights;  // d_k
    double factor = 0;            // f
    double offset = 0;            // o
    double margin = 0;            // D
};

std::optional<DoubleSums> MakeDoubleSums(const std::vector<Term>& terms, const Output& out)
{
    const auto inRange = [](long double x) {
        const long double a = std::fabs(x);
        return a >= 0x1p-960L && a <= 0x1p960L;
    };
    if (terms.empty() || !inRange(out.factor) || (out.offset != 0 && !inRange(out.offset)))
        return std::nullopt;
    DoubleSums d;
    long double sumAbs = 0;
    for (const Term& t : terms) {
        if (!inRange(t.coefficient))
            return std::nullopt;
        sumAbs += std::fabs(t.coefficient);
        d.weights.push_back(double(t.coefficient));
    }
    const long double a = 255 * sumAbs;
    const long double scale = std::fabs(out.factor) * a + std::fabs(out.offset);
    if (!(scale <= 0x1p960L))
        return std::nullopt;
    const long double n = (long double)terms.size(), u = 0x1p-53L, uL = 0x1p-64L;
    const long double gd = n * u / (1 - n * u), gL = n * uL / (1 - n * uL);
    const long double sumError = (u + gd * (1 + u) + gL) * a;
    const long double margin = std::fabs(out.factor) * sumError + 8 * u * scale + 0x1p-1000L;
    d.margin = std::nextafter(double(margin), std::numeric_limits<double>::infinity());
    d.factor = double(out.factor);
    d.offset = double(out.offset);
    return d;
}

// out[t] = double(in[t]).
KADRIMEX_VECTOR_CLONES
void ToDoubles(double* __restrict out, const std::uint8_t* __restrict in, int n)
{
    for (int t = 0; t < n; ++t)
        out[t] = in[t];
}

// sum[t] = sum over k of weights[k] * rows[k][t], each lane summed in k
// order; blocks of 32 lanes stay in registers over all terms.
KADRIMEX_VECTOR_CLONES
void WeightedSums(double* __restrict sum, const double* const* __restrict rows, const double* __restrict weights,
                  int count, int n)
{
    typedef double V8 __attribute__((vector_size(64)));
    int t = 0;
    for (; t + 32 <= n; t += 32) {
        V8 a0 = {}, a1 = {}, a2 = {}, a3 = {};
        for (int k = 0; k < count; ++k) {
            const double* q = rows[k] + t;
            const double w = weights[k];
            V8 x0, x1, x2, x3;
            std::memcpy(&x0, q, sizeof x0);
            std::memcpy(&x1, q + 8, sizeof x1);
            std::memcpy(&x2, q + 16, sizeof x2);
            std::memcpy(&x3, q + 24, sizeof x3);
            a0 += w * x0;
            a1 += w * x1;
            a2 += w * x2;
            a3 += w * x3;
        }
        std::memcpy(sum + t, &a0, sizeof a0);
        std::memcpy(sum + t + 8, &a1, sizeof a1);
        std::memcpy(sum + t + 16, &a2, sizeof a2);
        std::memcpy(sum + t + 24, &a3, sizeof a3);
    }
    for (; t < n; ++t) {
        double a = 0;
        for (int k = 0; k < count; ++k)
            a += weights[k] * rows[k][t];
        sum[t] = a;
    }
}

// The bytes of v = f * sum + o (|v| when absolute) decided by the margin:
// out[t] = floor(clamp(v - D)), unsure[t] != 0 where floor(clamp(v + D))
// differs. Returns nonzero when some byte is unsure.
KADRIMEX_VECTOR_CLONES
int DecideBytes(const double* __restrict sum, int n, double f, double o, double margin, bool absolute,
                std::uint8_t* __restrict out, std::uint8_t* __restrict unsure)
{
    int any = 0;
    for (int t = 0; t < n; ++t) {
        double v = sum[t] * f + o;
        v = absolute ? std::fabs(v) : v;
        // Truncation is Floor here: both ends are clamped to [0, 255].
        const int low = int(std::min(std::max(v - margin, 0.0), 255.0));
        const int high = int(std::min(std::max(v + margin, 0.0), 255.0));
        out[t] = std::uint8_t(low);
        unsure[t] = std::uint8_t(high - low);
        any |= high - low;
    }
    return any;
}

void RealRows(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source,
              const Geometry& g, const std::vector<Term>& terms, const Output& out, const DoubleSums& d)
{
    const std::size_t count = terms.size();
    // The literal products m_k * b, and the literal byte of every flat
    // neighbourhood (all taps on one value b): flat areas are where sums
    // land exactly on a rounding boundary, so they skip the 80-bit sum.
    std::vector<long double> products(count * 256);
    std::uint8_t flat[256];
    for (int b = 0; b < 256; ++b) {
        long double s = 0;
        for (std::size_t k = 0; k < count; ++k)
            s += products[k * 256 + std::size_t(b)] = terms[k].coefficient * (long double)b;
        flat[b] = ChannelByte(s, out.factor, out.offset, out.absolute);
    }
    std::vector<int> usedRows;
    for (const Term& t : terms)
        if (std::find(usedRows.begin(), usedRows.end(), t.i) == usedRows.end())
            usedRows.push_back(t.i);

    // Rows are cut into tiles of kTile channel values: the converted rows
    // of one tile stay in the first-level cache.
    constexpr int kTile = 512;
    const std::size_t w3 = std::size_t(g.width) * 3;
    const std::size_t paddedBytes = std::size_t(g.width + g.padLeft + g.padRight) * 3;
    const std::size_t span = std::size_t(g.padLeft + g.padRight) * 3;
    const std::size_t stride = kTile + span;
    struct Scratch {
        std::vector<std::uint8_t> padded, unsure;
        std::vector<double> converted, sums;
        std::vector<const std::uint8_t*> bytes;
        std::vector<const double*> values;
    };
    std::vector<Scratch> scratch(static_cast<std::size_t>(WorkerCount()));
    ParallelRows(
        thread, g.height, [&](std::int64_t rows) { return rows * g.width; },
        [&](int y, int worker) {
            Scratch& s = scratch[std::size_t(worker)];
            if (s.padded.empty()) {
                s.padded.resize(paddedBytes * std::size_t(g.size));
                s.converted.resize(stride * std::size_t(g.size));
                s.sums.resize(kTile);
                s.unsure.resize(kTile);
                s.bytes.resize(count);
                s.values.resize(count);
            }
            for (int i : usedRows)
                PadRow(source, g.rowIndex[std::size_t(y) * std::size_t(g.size) + std::size_t(i)], g,
                       s.padded.data() + std::size_t(i) * paddedBytes);
            for (std::size_t k = 0; k < count; ++k) {
                const std::size_t at = std::size_t(g.padLeft + g.shift + terms[k].j) * 3;
                s.bytes[k] = s.padded.data() + std::size_t(terms[k].i) * paddedBytes + at;
                s.values[k] = s.converted.data() + std::size_t(terms[k].i) * stride + at;
            }
            std::uint8_t* dst = destination.ScanLine(y);
            for (std::size_t t0 = 0; t0 < w3; t0 += kTile) {
                if (thread.Terminated())
                    return;
                const int n = int(std::min<std::size_t>(kTile, w3 - t0));
                for (int i : usedRows)
                    ToDoubles(s.converted.data() + std::size_t(i) * stride,
                              s.padded.data() + std::size_t(i) * paddedBytes + t0, n + int(span));
                WeightedSums(s.sums.data(), s.values.data(), d.weights.data(), int(count), n);
                if (!DecideBytes(s.sums.data(), n, d.factor, d.offset, d.margin, out.absolute, dst + t0,
                                 s.unsure.data()))
                    continue;
                for (int t = 0; t < n; ++t) {
                    if (!s.unsure[std::size_t(t)])
                        continue;
                    const std::size_t at = t0 + std::size_t(t);
                    const std::uint8_t first = s.bytes[0][at];
                    std::size_t k = 1;
                    while (k < count && s.bytes[k][at] == first)
                        ++k;
                    if (k == count) {
                        dst[at] = flat[first];
                        continue;
                    }
                    long double sum = 0;
                    for (k = 0; k < count; ++k)
                        sum += products[k * 256 + s.bytes[k][at]];
                    dst[at] = ChannelByte(sum, out.factor, out.offset, out.absolute);
                }
            }
        });
}

// Any centre: clamped indexes per pixel, the sums exactly as written.
void GeneralRows(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source,
                 const Geometry& g, const long double* matrix, const Output& out)
{
    const int n = g.size;
    ParallelRows(thread, g.height, g.width, [&](int y) {
        std::uint8_t* dst = destination.ScanLine(y);
        for (int x = 0; x < g.width; ++x) {
            if (thread.Terminated())
                return;
            long double s0 = 0, s1 = 0, s2 = 0;
            for (int i = 0; i < n; ++i) {
                const std::uint8_t* row = source.ScanLine(g.rowIndex[std::size_t(y) * std::size_t(n) + std::size_t(i)]);
                for (int j = 0; j < n; ++j) {
                    const long double m = matrix[i * n + j];
                    const std::uint8_t* p =
                        row + std::size_t(g.colIndex[std::size_t(x) * std::size_t(n) + std::size_t(j)]) * 3;
                    s0 += m * p[0];
                    s1 += m * p[1];
                    s2 += m * p[2];
                }
            }
            dst[x * 3] = ChannelByte(s0, out.factor, out.offset, out.absolute);
            dst[x * 3 + 1] = ChannelByte(s1, out.factor, out.offset, out.absolute);
            dst[x * 3 + 2] = ChannelByte(s2, out.factor, out.offset, out.absolute);
        }
    });
}

}  // namespace

void ConvolveMatrix(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                    const long double* matrix, int size, long double cx, long double cy, long double divider,
                    long double offset, std::uint8_t absolute)
{
    if (!destination || !source)
        return;
    if (size < 1 || size > kMaxUserMatrixSize || !matrix)
        throw EImageError("The filter matrix must be 1x1, 3x3, 5x5 or 7x7");
    if (!std::isfinite(cx) || !std::isfinite(cy))
        throw EImageError("The filter matrix centre is not a number");
    const int width = source->Width();
    const int height = source->Height();
    if (!thread.BeginProgress(width, height))
        return;

    // Filtering a picture into itself reads from an unchanged copy.
    std::unique_ptr<TAdvancedBitmap> copy;
    if (destination == source) {
        copy = std::make_unique<TAdvancedBitmap>(*source);
        source = copy.get();
    }
    source->SetPixelFormat(TPixelFormat::pf24bit);
    destination->SetPixelFormat(TPixelFormat::pf24bit);
    destination->SetSize(width, height);

    // A zero divider gives an infinite factor (sign of the zero), stated
    // explicitly rather than left to a division by zero.
    const Output out{divider == 0 ? std::copysign(std::numeric_limits<long double>::infinity(), divider)
                                  : ScaleBias / divider,
                     offset, absolute != 0};
    const Geometry g = MakeGeometry(width, height, size, cx, cy);
    if (!g.uniformShift) {
        GeneralRows(thread, *destination, *source, g, matrix, out);
        return;
    }
    const std::vector<Term> terms = NonZeroTerms(matrix, size);
    if (const auto bound = IntegerBound(terms)) {
        if (*bound <= std::numeric_limits<std::int16_t>::max())
            IntegerRows<std::int16_t>(thread, *destination, *source, g, terms, out);
        else
            IntegerRows<std::int32_t>(thread, *destination, *source, g, terms, out);
        return;
    }
    if (const auto sums = MakeDoubleSums(terms, out))
        RealRows(thread, *destination, *source, g, terms, out, *sums);
    else
        GeneralRows(thread, *destination, *source, g, matrix, out);
}

void UserFilter(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                long double* matrix, int size, long double scale, long double offset, std::uint8_t absolute)
{
    // The routine owns the matrix from here on, whatever happens below.
    const std::unique_ptr<long double[]> owned(matrix);
    if (!destination || !source)
        return;
    if (size < 1 || size > kMaxUserMatrixSize || !matrix)
        throw EImageError("The filter matrix must be 1x1, 3x3, 5x5 or 7x7");
    thread.FWidth = source->Width();
    thread.FHeight = source->Height();
    if (thread.FWidth < 1 || thread.FHeight < 1)
        return;
    const long double centre = (long double)(size - 1) * 0.5L;
    ConvolveMatrix(thread, destination, source, owned.get(), size, centre, centre, scale, offset, absolute);
}

void FillThread(TBitmapProcesorThread& thread, TUserFilterParams params)
{
    thread.FOperation = op::UserFilter;
    thread.FMatrix = std::move(params.coefficients);
    thread.FIntParam = params.size;
    thread.FParam1 = params.divider;
    thread.FParam2 = params.offset;
    thread.FFlagParam = params.absolute ? 1 : 0;
}

}  // namespace kadrimex
