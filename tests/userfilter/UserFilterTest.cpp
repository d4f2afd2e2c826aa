// The user filter: the worked examples of its rules, every fast path (integer
// sums with and without a result table, double sums for real coefficients,
// row bands over all cores) against the literal 80-bit reference, and the
// matrix's ownership on every early end.
#include "UserFilterReference.h"
#include "tests/support/TestPictures.h"

#include "engine/ProcessorThread.h"
#include "userfilter/ExampleFilters.h"
#include "userfilter/UserFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

using namespace kadrimex;
using kadrimex::test::FirstDifference;
using kadrimex::test::RandomPicture;
using kadrimex::testing::ReferenceUserFilter;

namespace {

// Hands the worker operation UserFilter with a fresh n x n identity matrix
// (centre cell 1, divider 1) and the size `size` in FIntParam (they differ
// only to test a bad size).
void PrepareIdentityFilter(TBitmapProcesorThread& thread, TAdvancedBitmap& src, TAdvancedBitmap& dst, int n, int size)
{
    thread.FOperation = op::UserFilter;
    thread.FSource = &src;
    thread.FDestination = &dst;
    thread.FMatrix.reset(AllocateCoefficients(n));
    thread.FMatrix[n * n / 2] = 1;
    thread.FParam1 = 1;
    thread.FIntParam = size;
}

TAdvancedBitmap Uniform(int w, int h, int value)
{
    TAdvancedBitmap b;
    b.Reset(w, h, TPixelFormat::pf24bit);
    FillSolid(b, std::uint8_t(value), std::uint8_t(value), std::uint8_t(value));
    return b;
}

// Runs the routine the way the worker does: a fresh thread object, a new
// empty destination, the matrix handed over.
TAdvancedBitmap Filter(const TAdvancedBitmap& source, const std::vector<long double>& m, int n,
                       long double divider, long double offset, bool absolute)
{
    TBitmapProcesorThread thread(true);
    TAdvancedBitmap src(source), dst;
    long double* matrix = AllocateCoefficients(n);
    std::copy(m.begin(), m.end(), matrix);
    UserFilter(thread, &dst, &src, matrix, n, divider, offset, absolute);
    return dst;
}

void ExpectMatchesReference(const TAdvancedBitmap& source, const std::vector<long double>& m, int n,
                            long double divider, long double offset, bool absolute, const std::string& what)
{
    const TAdvancedBitmap fast = Filter(source, m, n, divider, offset, absolute);
    const TBitmap slow = ReferenceUserFilter(source, m.data(), n, divider, offset, absolute);
    ASSERT_EQ(FirstDifference(fast, slow), -1) << what << " on " << source.Width() << "x" << source.Height();
}

// Every value 0 ... 255 in all three channels of one column.
TAdvancedBitmap Ramp(int height)
{
    TAdvancedBitmap ramp;
    ramp.Reset(256, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y)
        for (int k = 0; k < 256 * 3; ++k)
            ramp.ScanLine(y)[k] = std::uint8_t(k / 3);
    return ramp;
}

int Pixel(const TBitmap& b, int x, int y, int channel = 0)
{
    return b.ScanLine(y)[x * 3 + channel];
}

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

// The worked examples of the filter's rules.

TEST(UserFilterRules, IdentityAndBoxKeepEveryValue)
{
    const TAdvancedBitmap ramp = Ramp(2);
    std::vector<long double> identity(9, 0);
    identity[4] = 1;
    EXPECT_EQ(FirstDifference(Filter(ramp, identity, 3, 1, 0, false), ramp), -1);
    EXPECT_EQ(FirstDifference(Filter(ramp, {1}, 1, 1, 0, false), ramp), -1);

    // Without the 1.00001 lift, 9p * (1/9) would floor to p - 1 for some p;
    // 0.5 weights with divider 4.5 take the real-valued path.
    for (const auto& [weight, divider] : {std::pair{1.0L, 9.0L}, std::pair{0.5L, 4.5L}})
        for (int p = 0; p < 256; ++p) {
            const TAdvancedBitmap flat = Uniform(4, 3, p);
            ASSERT_EQ(FirstDifference(Filter(flat, std::vector<long double>(9, weight), 3, divider, 0, false), flat), -1)
                << "p = " << p << ", divider " << double(divider);
        }
}

TEST(UserFilterRules, SingleCoefficientScalesOffsetsAndTakesAbsoluteAfterOffset)
{
    const TAdvancedBitmap ramp = Ramp(1);
    const TAdvancedBitmap doubled = Filter(ramp, {2}, 1, 1, 0, false);
    const TAdvancedBitmap black = Filter(ramp, {-1}, 1, 1, 0, false);
    const TAdvancedBitmap same = Filter(ramp, {-1}, 1, 1, 0, true);
    const TAdvancedBitmap inverted = Filter(ramp, {-1}, 1, 1, 255, false);
    for (int p = 0; p < 256; ++p) {
        EXPECT_EQ(Pixel(doubled, p, 0, 2), std::min(2 * p, 255)) << p;
        EXPECT_EQ(Pixel(black, p, 0, 1), 0) << p;
        EXPECT_EQ(Pixel(same, p, 0), p) << p;
        EXPECT_EQ(Pixel(inverted, p, 0), p == 0 ? 255 : p == 255 ? 0 : 254 - p) << p;
    }
    const TAdvancedBitmap shifted = Filter(ramp, {-1}, 1, 1, 100, true);
    EXPECT_EQ(Pixel(shifted, 40, 0), 59);   // |100 - 40.0004|
    EXPECT_EQ(Pixel(shifted, 140, 0), 40);  // |100 - 140.0014|
    EXPECT_EQ(Pixel(shifted, 100, 0), 0);   // |-0.001|
}

TEST(UserFilterRules, MatrixIsNotMirroredAndEdgesRepeat)
{
    std::mt19937 rng(7);
    const TAdvancedBitmap src = RandomPicture(9, 6, rng);

    // -1 above the centre, 1 in the centre: p(x, y) - p(x, y - 1), clamped.
    const TAdvancedBitmap up = Filter(src, {0, -1, 0, 0, 1, 0, 0, 0, 0}, 3, 1, 0, false);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x)
            for (int b = 0; b < 3; ++b) {
                const int d = Pixel(src, x, y, b) - (y == 0 ? Pixel(src, x, y, b) : Pixel(src, x, y - 1, b));
                // 1.00001 * d only lifts d over an integer when d > 0.
                ASSERT_EQ(Pixel(up, x, y, b), std::max(d, 0)) << x << "," << y;
            }

    // A single 1 in the top-left corner of a 7x7 matrix shifts the picture
    // by 3 down and right, repeating the top row and left column; the
    // bottom-right corner reads beyond the right and bottom edges.
    for (const auto& [cell, shift] : {std::pair{0, -3}, std::pair{48, 3}}) {
        std::vector<long double> corner(49, 0);
        corner[std::size_t(cell)] = 1;
        const TAdvancedBitmap moved = Filter(src, corner, 7, 1, 0, false);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 9; ++x)
                ASSERT_EQ(Pixel(moved, x, y, 1), Pixel(src, std::clamp(x + shift, 0, 8), std::clamp(y + shift, 0, 5), 1))
                    << cell << ": " << x << "," << y;
    }
}

TEST(UserFilterRules, ZeroDividerFollowsTheClampRule)
{
    TAdvancedBitmap src;
    src.Reset(3, 1, TPixelFormat::pf24bit);
    src.ScanLine(0)[0] = 0;   // zero sum: infinity times zero is not a number
    src.ScanLine(0)[3] = 10;  // positive sum: +infinity
    src.ScanLine(0)[6] = 20;
    // A negative zero divider turns the infinity round.
    const struct {
        long double weight, divider;
        bool absolute;
        int x, shown;
    } cases[] = {{1, 0, false, 0, 0},  {1, 0, false, 1, 255}, {-1, 0, false, 1, 0},
                 {-1, 0, true, 0, 0},  {-1, 0, true, 1, 255}, {1, -0.0L, false, 2, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(Pixel(Filter(src, {c.weight}, 1, c.divider, 0, c.absolute), c.x, 0), c.shown)
            << c.weight << " / " << double(c.divider) << " at " << c.x;
    // Random matrices through every path agree with the literal formula.
    std::mt19937 rng(11);
    const TAdvancedBitmap pic = RandomPicture(7, 5, rng);
    ExpectMatchesReference(pic, {1, -2, 1, 0, 3, 0, -1, 0, -1}, 3, 0, 5, false, "integer, divider 0");
    ExpectMatchesReference(pic, {0.5L, -2, 1, 0, 3, 0, -1, 0, -1}, 3, 0, 5, true, "real, divider 0");
}

TEST(UserFilterRules, LowestBitsOfTheExtendedSumDecideTheFloor)
{
    // 200 * (1 - 2^-63) lies below 200 by less than a double can show; with
    // a factor of exactly 1 and offset -199 the result is 1 - 2^-55 and
    // floors to 0. Any path that drops the extended bits (of a product, the
    // sum, or the value before Floor) gives 1 instead.
    const TAdvancedBitmap flat = Uniform(3, 2, 200);
    const long double below = 1 - 0x1p-63L, above = 1 + 0x1p-60L;
    EXPECT_EQ(Pixel(Filter(flat, {below}, 1, ScaleBias, -199, false), 1, 1), 0);
    EXPECT_EQ(Pixel(Filter(flat, {above}, 1, ScaleBias, -199, false), 1, 1), 1);
    // Nine such terms in a 3x3 matrix: 1800 * (1 - 2^-60) with offset -1799.
    EXPECT_EQ(Pixel(Filter(flat, std::vector<long double>(9, below), 3, ScaleBias, -1799, false), 0, 0), 0);
    EXPECT_EQ(Pixel(Filter(flat, std::vector<long double>(9, below), 3, ScaleBias, -1798, false), 0, 0), 1);
    // The absolute value of -(1 - tiny) floors to 0 as well.
    EXPECT_EQ(Pixel(Filter(flat, {-below}, 1, ScaleBias, 199, true), 2, 0), 0);
}

// On the pictures and matrices where results land on or next to a whole
// number: flat areas of every value, saturated and symmetric pictures, and
// matrices whose sums cancel or come out as exact multiples of the divider.
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
    for (const Case& c : cases)
        for (const Picture& picture : Pictures())
            ExpectMatchesReference(picture.bitmap, c.m, c.n, c.divider, c.offset, c.absolute,
                                   std::string(c.what) + " on " + picture.what);

    // Every example of the dialog, on a random picture, one row and one column.
    std::mt19937 rng(2024);
    const TAdvancedBitmap pictures[] = {RandomPicture(17, 11, rng), RandomPicture(1, 5, rng), RandomPicture(6, 1, rng)};
    int examples = 0;
    for (int type = 1; type < kFilterTypeCount; ++type)
        for (const TExampleFilter& f : FilterType(type).Examples) {
            ++examples;
            for (const auto& pic : pictures)
                for (bool absolute : {false, true})
                    ExpectMatchesReference(pic, {f.Cells.begin(), f.Cells.end()}, 3, f.Divider, f.Offset, absolute,
                                           std::string(FilterType(type).Name) + " / " + f.Name);
        }
    EXPECT_EQ(examples, 34);
}

TEST(UserFilterFastPaths, RandomMatricesOfEverySizeMatchTheReference)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> real(-4, 4);
    std::uniform_int_distribution<int> small(-9, 9);
    std::uniform_int_distribution<int> large(-40000, 40000);
    std::uniform_int_distribution<int> side(1, 23);
    for (int round = 0; round < 6; ++round) {
        const TAdvancedBitmap pic = RandomPicture(side(rng), side(rng), rng);
        for (int n : {1, 3, 5, 7}) {
            std::vector<long double> reals(std::size_t(n * n)), ints(std::size_t(n * n)), bigs(std::size_t(n * n));
            for (std::size_t k = 0; k < reals.size(); ++k) {
                // Reals with a full 64-bit mantissa, so every product rounds.
                reals[k] = (long double)real(rng) + (long double)real(rng) * 1e-12L;
                ints[k] = small(rng);
                bigs[k] = large(rng);
            }
            const long double divider = (long double)real(rng) + 0.01L;
            const long double offset = (long double)real(rng) * 60;
            for (bool absolute : {false, true}) {
                ExpectMatchesReference(pic, reals, n, divider, offset, absolute, "real");
                ExpectMatchesReference(pic, ints, n, divider, offset, absolute, "small integers");
                ExpectMatchesReference(pic, bigs, n, 777.25L, offset, absolute, "large integers");
            }
        }
    }
    // Integers beyond the 32-bit sum bound fall back to the real path.
    const TAdvancedBitmap pic = RandomPicture(8, 8, rng);
    ExpectMatchesReference(pic, {3e7L, -3e7L, 1, 2, 5e6L, 0, -1, 4, 1e9L}, 3, 1e10L, 0, true, "huge integers");
    // Whole-number products too large for an integer at all.
    ExpectMatchesReference(pic, {1e300L, -1e300L, 0, 0, 1, 0, 0, 0, 0}, 3, 1, 0, false, "1e300");
    // Coefficients beyond the range of the double sums, or below it: the
    // literal sums.
    ExpectMatchesReference(pic, {1e307L, -1e307L, 0.5L, 0, 1, 0, 0, 0, 3}, 3, 1e305L, 100, false, "1e307");
    ExpectMatchesReference(pic, {1e-330L, 0.25L, 0, 0, 1.5L, 0, 0, 0, -1e-4000L}, 3, 1, 0, true, "tiny");
    ExpectMatchesReference(pic, {1e-330L, 1, 0, 0, 0, 0, 0, 0, 0}, 3, 1e-331L, 0, false, "tiny sums");
}

TEST(UserFilterFastPaths, OffCentreMatrixAndPaletteSource)
{
    std::mt19937 rng(5);
    const TAdvancedBitmap pic = RandomPicture(12, 9, rng);
    const std::vector<long double> m = {1, 2, 0.25L, -1, 3, 1, 0, 1, -2};
    // A centre far outside the matrix reads clamped edges only.
    for (const auto& [cx, cy] : {std::pair{10.25L, -3.5L}, std::pair{0.3L, 2.7L}, std::pair{-20.0L, 40.0L}}) {
        TBitmapProcesorThread thread(true);
        TAdvancedBitmap src(pic), dst;
        ConvolveMatrix(thread, &dst, &src, m.data(), 3, cx, cy, 2.5L, 7, false);
        EXPECT_EQ(FirstDifference(dst, ReferenceUserFilter(pic, m.data(), 3, cx, cy, 2.5L, 7, false)), -1)
            << cx << "," << cy;
    }

    // An 8-bit palette picture is converted to 24 bits first.
    TAdvancedBitmap grey;
    grey.Reset(5, 4, TPixelFormat::pf8bit);
    grey.SetPalette(GreyPalette());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            grey.ScanLine(y)[x] = std::uint8_t(y * 50 + x * 7);
    TAdvancedBitmap as24(grey);
    as24.SetPixelFormat(TPixelFormat::pf24bit);
    const TAdvancedBitmap out = Filter(grey, m, 3, 3, 1, true);
    EXPECT_EQ(out.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(FirstDifference(out, ReferenceUserFilter(as24, m.data(), 3, 3, 1, true)), -1);
}

// Ownership and early ends: the sanitizer build's leak checker fails these
// tests if any path forgets the matrix.

TEST(UserFilterOwnership, EveryEarlyEndReleasesTheMatrix)
{
    TBitmapProcesorThread thread(true);
    TAdvancedBitmap src = Uniform(4, 4, 9), dst, empty;
    UserFilter(thread, nullptr, &src, AllocateCoefficients(3), 3, 1, 0, 0);
    UserFilter(thread, &dst, nullptr, AllocateCoefficients(3), 3, 1, 0, 0);
    UserFilter(thread, &dst, &empty, AllocateCoefficients(3), 3, 1, 0, 0);
    EXPECT_TRUE(dst.Empty());
    EXPECT_THROW(UserFilter(thread, &dst, &src, new long double[64](), 8, 1, 0, 0), EImageError);
    EXPECT_THROW(UserFilter(thread, &dst, &src, AllocateCoefficients(0), 0, 1, 0, 0), EImageError);
    EXPECT_THROW(UserFilter(thread, &dst, &src, nullptr, 3, 1, 0, 0), EImageError);
    EXPECT_THROW(AllocateCoefficients(8), EImageError);
    EXPECT_THROW(AllocateCoefficients(-1), EImageError);
    EXPECT_TRUE(dst.Empty());
    // An even size has its centre between cells and still works.
    UserFilter(thread, &dst, &src, AllocateCoefficients(2), 2, 1, 0, 0);
    EXPECT_EQ(dst.Width(), 4);
}

TEST(UserFilterOwnership, WorkerTakesTheMatrixAndCancelLeavesRowsUntouched)
{
    std::mt19937 rng(3);
    const TAdvancedBitmap pic = RandomPicture(40, 30, rng);
    TAdvancedBitmap src(pic), dst;
    TBitmapProcesorThread finished(true);
    PrepareIdentityFilter(finished, src, dst, 5, 5);
    finished.Resume();
    finished.WaitFor();
    EXPECT_EQ(finished.FMatrix, nullptr);
    EXPECT_TRUE(finished.FErrorMessage.empty());
    EXPECT_EQ(FirstDifference(dst, pic), -1);
    EXPECT_EQ(finished.ProgressMax(), 40 * 30);
    EXPECT_EQ(finished.Progress(), 40 * 30);

    // Terminated before it starts: the destination is sized and stays zero.
    TAdvancedBitmap zero;
    TBitmapProcesorThread terminated(true);
    PrepareIdentityFilter(terminated, src, zero, 3, 3);
    terminated.Terminate();
    terminated.Execute();
    EXPECT_EQ(terminated.FMatrix, nullptr);
    ASSERT_EQ(zero.Width(), 40);
    ASSERT_EQ(zero.Height(), 30);
    for (int y = 0; y < 30; ++y)
        for (int k = 0; k < 120; ++k)
            ASSERT_EQ(zero.ScanLine(y)[k], 0);

    // A bad size through the worker: a message, no crash, matrix released.
    TAdvancedBitmap none;
    TBitmapProcesorThread refused(true);
    PrepareIdentityFilter(refused, src, none, 7, 9);
    refused.Execute();
    EXPECT_EQ(refused.FMatrix, nullptr);
    EXPECT_FALSE(refused.FErrorMessage.empty());
    EXPECT_TRUE(none.Empty());
}
