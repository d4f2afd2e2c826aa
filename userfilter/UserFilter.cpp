#include "userfilter/UserFilter.h"

#include "engine/Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <type_traits>
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
            const Acc m = Acc(t.coefficient);
            Acc* a = acc.data();
            for (std::size_t k = 0; k < w3; ++k)
                a[k] = Acc(a[k] + m * Acc(q[k]));
        }
        std::uint8_t* dst = destination.ScanLine(y);
        for (int x = 0; x < g.width; ++x) {
            if (thread.Terminated())
                return;
            for (int b = 0; b < 3; ++b) {
                const std::int64_t s = acc[std::size_t(x) * 3 + std::size_t(b)];
                dst[x * 3 + b] = table.empty() ? ChannelByte((long double)s, out.factor, out.offset, out.absolute)
                                               : table[std::size_t(s - low)];
            }
        }
    });
}

// A product m * b (80-bit) split into two doubles whose 80-bit sum gives it
// back exactly. Two double loads are much cheaper than one 80-bit load.
struct SplitProduct {
    double high;
    double low;
};

// Products as split pairs, or an empty table when some product does not
// split exactly (beyond the double range, or too small).
std::vector<SplitProduct> SplitProducts(const std::vector<long double>& products)
{
    std::vector<SplitProduct> split(products.size());
    for (std::size_t k = 0; k < products.size(); ++k) {
        const long double p = products[k];
        const double high = double(p);
        const double low = double(p - (long double)high);
        if (!std::isfinite(high) || (long double)high + (long double)low != p)
            return {};
        split[k] = {high, low};
    }
    return split;
}

// The same 80-bit sums, in the same order, from either product table.
template <typename Product>
inline long double ProductValue(const Product& p)
{
    if constexpr (std::is_same_v<Product, SplitProduct>)
        return (long double)p.high + (long double)p.low;  // exact: checked when split
    else
        return p;
}

// Real coefficients: the 80-bit sums in their given order, each product
// taken from a table of coefficient times byte value (the same product the
// literal loop forms).
template <typename Product>
void RealRowsWith(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source,
                  const Geometry& g, const std::vector<Term>& terms, const Output& out,
                  const std::vector<Product>& products)
{
    const std::size_t count = terms.size();

    const std::size_t paddedBytes = std::size_t(g.width + g.padLeft + g.padRight) * 3;
    ParallelRows(thread, g.height, g.width, [&](int y) {
        // One padded copy per distinct source row of this output row.
        std::vector<std::uint8_t> padded(paddedBytes * std::size_t(g.size));
        std::vector<const std::uint8_t*> termRow(count);
        std::vector<int> done(std::size_t(g.size), -1);
        for (std::size_t k = 0; k < count; ++k) {
            const int i = terms[k].i;
            const int row = g.rowIndex[std::size_t(y) * std::size_t(g.size) + std::size_t(i)];
            std::uint8_t* copy = padded.data() + std::size_t(i) * paddedBytes;
            if (done[std::size_t(i)] != row) {
                PadRow(source, row, g, copy);
                done[std::size_t(i)] = row;
            }
            termRow[k] = copy + std::size_t(g.padLeft + g.shift + terms[k].j) * 3;
        }
        std::uint8_t* dst = destination.ScanLine(y);
        const Product* table = products.data();
        const std::uint8_t* const* rows = termRow.data();
        for (int x = 0; x < g.width; ++x) {
            if (thread.Terminated())
                return;
            const std::size_t at = std::size_t(x) * 3;
            long double s0 = 0, s1 = 0, s2 = 0;
            for (std::size_t k = 0; k < count; ++k) {
                const std::uint8_t* p = rows[k] + at;
                const Product* t = table + k * 256;
                s0 += ProductValue(t[p[0]]);
                s1 += ProductValue(t[p[1]]);
                s2 += ProductValue(t[p[2]]);
            }
            dst[at] = ChannelByte(s0, out.factor, out.offset, out.absolute);
            dst[at + 1] = ChannelByte(s1, out.factor, out.offset, out.absolute);
            dst[at + 2] = ChannelByte(s2, out.factor, out.offset, out.absolute);
        }
    });
}

void RealRows(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source,
              const Geometry& g, const std::vector<Term>& terms, const Output& out)
{
    std::vector<long double> products(terms.size() * 256);
    for (std::size_t k = 0; k < terms.size(); ++k)
        for (int b = 0; b < 256; ++b)
            products[k * 256 + std::size_t(b)] = terms[k].coefficient * (long double)b;
    const std::vector<SplitProduct> split = SplitProducts(products);
    if (!split.empty())
        RealRowsWith(thread, destination, source, g, terms, out, split);
    else
        RealRowsWith(thread, destination, source, g, terms, out, products);
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
    RealRows(thread, *destination, *source, g, terms, out);
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
