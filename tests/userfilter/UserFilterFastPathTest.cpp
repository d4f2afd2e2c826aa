// The double-precision user filter against the literal 80-bit formula, on
// the pictures and matrices where results land on or next to a whole
// number: flat areas of every value, saturated and symmetric pictures, and
// matrices whose sums cancel or come out as exact multiples of the divider.
#include "UserFilterReference.h"
#include "tests/support/TestPictures.h"

#include "engine/ProcessorThread.h"
#include "userfilter/UserFilter.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace kadrimex;

namespace {

using Painter = std::function<std::uint8_t(int x, int y, int channel, std::mt19937& rng)>;

TAdvancedBitmap Paint(int w, int h, const Painter& paint)
{
    std::mt19937 rng(7);
    TAdvancedBitmap b;
    b.Reset(w, h, TPixelFormat::pf24bit);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                b.ScanLine(y)[x * 3 + c] = paint(x, y, c, rng);
    return b;
}

std::uint8_t Any(std::mt19937& rng)
{
    return std::uint8_t(rng() & 255);
}

// Every value 0 to 255 as an 8 x 8 plateau (channels shifted), and a
// ragged right edge of width 3 so that rows do not end on a vector.
const TAdvancedBitmap& Plateaus()
{
    static const TAdvancedBitmap b =
        Paint(131, 131, [](int x, int y, int c, std::mt19937&) { return std::uint8_t(x / 8 + 16 * (y / 8) + 85 * c);
        });
    return b;
}

const TAdvancedBitmap& Random()
{
    static const TAdvancedBitmap b = Paint(203, 29, [](int, int, int, std::mt19937& rng) { return Any(rng); });
    return b;
}

// Only 0 and 255: every sum is a multiple of 255 times partial sums of the
// coefficients.
const TAdvancedBitmap& Saturated()
{
    static const TAdvancedBitmap b =
        Paint(190, 23, [](int, int, int, std::mt19937& rng) { return std::uint8_t(rng() & 1 ? 255 : 0); });
    return b;
}

// Columns of one random value each: a matrix whose rows cancel in pairs
// sums to exactly 0 everywhere, yet the pixels are not flat.
const TAdvancedBitmap& Stripes()
{
    static std::vector<std::uint8_t> column;
    static const TAdvancedBitmap b = Paint(200, 19, [](int x, int, int c, std::mt19937& rng) {
        while (column.size() <= std::size_t(x * 3 + c))
            column.push_back(Any(rng));
        return column[std::size_t(x * 3 + c)];
    });
    return b;
}

// Mirror images left to right, random otherwise.
const TAdvancedBitmap& Mirrored()
{
    static const TAdvancedBitmap b = [] {
        TAdvancedBitmap m = Random();
        const int w = m.Width();
        for (int y = 0; y < m.Height(); ++y)
            for (int x = 0; x < w / 2; ++x)
                for (int c = 0; c < 3; ++c)
                    m.ScanLine(y)[(w - 1 - x) * 3 + c] = m.ScanLine(y)[x * 3 + c];
        return m;
    }();
    return b;
}

std::vector<long double> Same(int n, long double value)
{
    return std::vector<long double>(std::size_t(n * n), value);
}

// Top rows the negatives of the bottom rows, middle row zero.
std::vector<long double> RowsCancel(int n)
{
    std::vector<long double> m(std::size_t(n * n), 0);
    for (int i = 0; i < n / 2; ++i)
        for (int j = 0; j < n; ++j) {
            const long double v = 0.1L * (i + 1) + 0.03L * j;
            m[std::size_t(i * n + j)] = v;
            m[std::size_t((n - 1 - i) * n + j)] = -v;
        }
    return m;
}

// A real Laplacian: 0.1 around, -(sum of the others) in the centre.
std::vector<long double> Laplacian(int n)
{
    std::vector<long double> m = Same(n, 0.1L);
    m[std::size_t(n * n / 2)] = -0.1L * (n * n - 1);
    return m;
}

// The Gaussian-like bell of the benchmark (coefficients sum to the divider).
std::vector<long double> Bell(int n)
{
    std::vector<long double> m(std::size_t(n * n));
    const long double c = (n - 1) / 2.0L, s = n / 4.0L;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            m[std::size_t(i * n + j)] = std::exp(-((i - c) * (i - c) + (j - c) * (j - c)) / (2 * s * s));
    return m;
}

long double Sum(const std::vector<long double>& m)
{
    long double s = 0;
    for (long double v : m)
        s += v;
    return s;
}

}  // namespace

TEST(UserFilterFastPath, MatchesTheLiteralFormulaByteForByte)
{
    using Picture = const TAdvancedBitmap& (*)();
    struct Case {
        const char* what;
        std::vector<Picture> pictures;
        int n;
        std::vector<long double> m;
        long double divider, offset;
        bool absolute;
    };
    const std::vector<Picture> all = {Plateaus, Random, Saturated, Stripes, Mirrored};
    const std::vector<Case> cases = {
        {"0.04 x 25", all, 5, Same(5, 0.04L), 1, 0, false},
        // A factor of exactly 1: flat sums of 0.04 x 25 are p times the
        // rounded coefficient sum, a hair off every whole number.
        {"0.04 x 25, factor 1", all, 5, Same(5, 0.04L), ScaleBias, 0, false},
        {"0.1 x 9, factor 1, offset -0.5", all, 3, Same(3, 0.1L), ScaleBias * 0.9L, -0.5L, true},
        {"quarters summing to 4", all, 3, {0.25L, 0.5L, 0.25L, 0.5L, 1, 0.5L, 0.25L, 0.5L, 0.25L}, 4, 0, false},
        {"negative factor", all, 5, Same(5, -0.04L), -1, 0, false},
        {"negative factor, absolute", all, 7, Bell(7), -Sum(Bell(7)), 3, true},
        {"bell 3", all, 3, Bell(3), Sum(Bell(3)), 0, false},
        {"bell 7", all, 7, Bell(7), Sum(Bell(7)), 0, false},
        {"Laplacian, offset 128", all, 3, Laplacian(3), 1, 128, false},
        {"Laplacian 7, absolute, offset -64", all, 7, Laplacian(7), 0.25L, -64, true},
        {"rows cancel, offset 100", all, 5, RowsCancel(5), 1, 100, false},
        {"rows cancel, factor 1, absolute", all, 7, RowsCancel(7), ScaleBias, 0, true},
        {"1x1 real, saturating", all, 1, {1.7L}, 1, -20, false},
        {"huge factor", {Random, Plateaus}, 3, Same(3, 0.1L), 1e-9L, 0, false},
    };
    for (const Case& c : cases)
        for (Picture picture : c.pictures) {
            const TAdvancedBitmap& source = picture();
            TBitmapProcesorThread thread(true);
            TAdvancedBitmap src(source), fast;
            long double* matrix = AllocateCoefficients(c.n);
            std::copy(c.m.begin(), c.m.end(), matrix);
            UserFilter(thread, &fast, &src, matrix, c.n, c.divider, c.offset, c.absolute);
            const TBitmap literal =
                kadrimex::testing::ReferenceUserFilter(source, c.m.data(), c.n, c.divider, c.offset, c.absolute);
            EXPECT_EQ(kadrimex::test::FirstDifference(fast, literal), -1)
                << c.what << " on a " << source.Width() << " x " << source.Height() << " picture";
        }
}
