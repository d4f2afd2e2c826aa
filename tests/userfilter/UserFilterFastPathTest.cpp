// The double-precision user filter against the literal 80-bit formula, on
// the pictures and matrices where results land on or next to a whole
// number: flat areas of every value, saturated and symmetric pictures, and
// matrices whose sums cancel or come out as exact multiples of the divider.
#include "UserFilterReference.h"
#include "tests/support/TestPictures.h"

#include "engine/ProcessorThread.h"
#include "userfilter/UserFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

using namespace kadrimex;

namespace {

TAdvancedBitmap Paint(int w, int h, const std::function<std::uint8_t(int x, int y, int channel)>& paint)
{
    TAdvancedBitmap b;
    b.Reset(w, h, TPixelFormat::pf24bit);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                b.ScanLine(y)[x * 3 + c] = paint(x, y, c);
    return b;
}

// A fixed pseudo-random byte for each position.
std::uint8_t Noise(int x, int y, int c)
{
    std::uint32_t h = std::uint32_t(x) * 73856093u ^ std::uint32_t(y) * 19349663u ^ std::uint32_t(c) * 83492791u;
    h ^= h >> 13;
    return std::uint8_t((h * 2654435761u) >> 24);
}

struct Picture {
    const char* what;
    TAdvancedBitmap bitmap;
};

// Widths not a multiple of the vector length; the plateaus (every value 0
// to 255 as an 8 x 8 flat area) and the stripes (columns of one value, not
// flat, where rows that cancel in pairs sum to exactly 0) are where the
// sums land on whole numbers; saturated pictures hold only 0 and 255.
std::vector<Picture> Pictures()
{
    return {{"plateaus", Paint(131, 131, [](int x, int y, int c) { return std::uint8_t(x / 8 + 16 * (y / 8) + 85 * c); })},
            {"random", Paint(203, 29, Noise)},
            {"saturated", Paint(190, 23, [](int x, int y, int c) { return std::uint8_t(Noise(x, y, c) & 1 ? 255 : 0); })},
            {"stripes", Paint(200, 19, [](int x, int, int c) { return Noise(x, 0, c); })},
            {"mirrored", Paint(201, 21, [](int x, int y, int c) { return Noise(std::min(x, 200 - x), y, c); })}};
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
    return std::accumulate(m.begin(), m.end(), 0.0L);
}

}  // namespace

TEST(UserFilterFastPath, MatchesTheLiteralFormulaByteForByte)
{
    struct Case {
        const char* what;
        int n;
        std::vector<long double> m;
        long double divider, offset;
        bool absolute;
    };
    const std::vector<Case> cases = {
        {"0.04 x 25", 5, Same(5, 0.04L), 1, 0, false},
        // A factor of exactly 1: flat sums of 0.04 x 25 are p times the
        // rounded coefficient sum, a hair off every whole number.
        {"0.04 x 25, factor 1", 5, Same(5, 0.04L), ScaleBias, 0, false},
        {"0.1 x 9, factor 1, offset -0.5", 3, Same(3, 0.1L), ScaleBias * 0.9L, -0.5L, true},
        {"quarters summing to 4", 3, {0.25L, 0.5L, 0.25L, 0.5L, 1, 0.5L, 0.25L, 0.5L, 0.25L}, 4, 0, false},
        {"negative factor", 5, Same(5, -0.04L), -1, 0, false},
        {"negative factor, absolute", 7, Bell(7), -Sum(Bell(7)), 3, true},
        {"bell 3", 3, Bell(3), Sum(Bell(3)), 0, false},
        {"bell 7", 7, Bell(7), Sum(Bell(7)), 0, false},
        {"Laplacian, offset 128", 3, Laplacian(3), 1, 128, false},
        {"Laplacian 7, absolute, offset -64", 7, Laplacian(7), 0.25L, -64, true},
        {"rows cancel, offset 100", 5, RowsCancel(5), 1, 100, false},
        {"rows cancel, factor 1, absolute", 7, RowsCancel(7), ScaleBias, 0, true},
        {"1x1 real, saturating", 1, {1.7L}, 1, -20, false},
        {"huge factor", 3, Same(3, 0.1L), 1e-9L, 0, false},
    };
    const std::vector<Picture> pictures = Pictures();
    for (const Case& c : cases)
        for (const Picture& picture : pictures) {
            TBitmapProcesorThread thread(true);
            TAdvancedBitmap src(picture.bitmap), fast;
            long double* matrix = AllocateCoefficients(c.n);
            std::copy(c.m.begin(), c.m.end(), matrix);
            UserFilter(thread, &fast, &src, matrix, c.n, c.divider, c.offset, c.absolute);
            const TBitmap literal =
                kadrimex::testing::ReferenceUserFilter(picture.bitmap, c.m.data(), c.n, c.divider, c.offset, c.absolute);
            EXPECT_EQ(kadrimex::test::FirstDifference(fast, literal), -1) << c.what << " on " << picture.what;
        }
}
