#include "filters/Convolution.h"
#include "filters/Filters.h"
#include "filters/Masks.h"

#include "FilterReference.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace kadrimex {
namespace {

using convolution_detail::TSumPath;
using test::FirstDifference;
using test::PathGuard;
using test::RandomPicture;
using test::ReferenceConvolve;

enum class TFilter { Gauss, Triangle, Sharpen, Edges };

const char* Name(TFilter f)
{
    return std::array{"gauss", "triangle", "sharpen", "edges"}[std::size_t(f)];
}

// Fills the worker's fields for filter `code`, as the editor does.
void Prepare(TBitmapProcesorThread& thread, std::int8_t code, TAdvancedBitmap& src, TAdvancedBitmap& dest,
             long double p1, long double p2)
{
    thread.FOperation = code;
    thread.FSource = &src;
    thread.FDestination = &dest;
    thread.FParam1 = p1;
    thread.FParam2 = p2;
}

void RunFilter(TBitmapProcesorThread& thread, TFilter f, TAdvancedBitmap* dest, TAdvancedBitmap* src, long double p1,
               long double p2)
{
    switch (f) {
    case TFilter::Gauss: GaussBlur(thread, dest, src, p1); break;
    case TFilter::Triangle: TriangleBlur(thread, dest, src, p1); break;
    case TFilter::Sharpen: Sharpen(thread, dest, src, p1, p2); break;
    case TFilter::Edges: FindEdges(thread, dest, src, p1, p2); break;
    }
}

// The mask each filter paints, written out from its definition.
TBitmap ExpectedMask(TFilter f, long double p1, long double p2)
{
    TBitmapProcesorThread thread;
    TBitmap mask;
    mask.SetPixelFormat(TPixelFormat::pf8bit);
    switch (f) {
    case TFilter::Gauss: PaintGaussMask(thread, &mask, 500, p1 + 1, p1 + 1); break;
    case TFilter::Triangle: PaintTriangleMask(thread, &mask, -0.1L, p1 + 1, p1 + 1); break;
    case TFilter::Sharpen: PaintSharpenMask(thread, &mask, p1 * 500, p2 + 1, p2 + 1); break;
    case TFilter::Edges: PaintEdgeMask(thread, &mask, p1, p2, p2); break;
    }
    return mask;
}

void ExpectFilterMatches(TFilter f, const TAdvancedBitmap& picture, long double p1, long double p2)
{
    PathGuard guard;
    TBitmap expected;
    const bool isSigned = f == TFilter::Sharpen || f == TFilter::Edges;
    ReferenceConvolve(picture, ExpectedMask(f, p1, p2), isSigned, expected);
    for (TSumPath path : {TSumPath::Direct, TSumPath::Fft, TSumPath::FftSmallBlocks, TSumPath::Auto}) {
        convolution_detail::SetSumPathForTesting(path);
        TBitmapProcesorThread thread;
        TAdvancedBitmap src(picture), dest;
        RunFilter(thread, f, &dest, &src, p1, p2);
        ASSERT_EQ(FirstDifference(dest, expected), -1)
            << Name(f) << ' ' << double(p1) << ' ' << double(p2) << " path " << int(path) << " picture "
            << picture.Width() << 'x' << picture.Height();
    }
}

TEST(FilterTest, BlursMatchReferenceAtEveryLevel)
{
    std::mt19937 random(1);
    const TAdvancedBitmap small = RandomPicture(7, 5, random);
    std::vector<std::pair<const TAdvancedBitmap*, long double>> runs;
    for (int level = 0; level <= 100; ++level)
        runs.push_back({&small, level});
    const TAdvancedBitmap picture = RandomPicture(64, 48, random), medium = RandomPicture(26, 19, random);
    for (long double level : {0.5L, 1.5L, 2.25L, 7.3L, 12.75L})
        runs.push_back({&picture, level});
    for (long double level : {33.3L, 99.5L})
        runs.push_back({&medium, level});
    for (const auto& [input, level] : runs)
        for (TFilter f : {TFilter::Gauss, TFilter::Triangle})
            ExpectFilterMatches(f, *input, level, 0);
    // Levels the dialog accepts although its track bar does not reach them.
    for (long double level : {-0.5L, -1.0L, -7.0L, 0.001L, 150.0L})
        ExpectFilterMatches(TFilter::Gauss, small, level, 0);
    ExpectFilterMatches(TFilter::Triangle, small, -0.25L, 0);
}

TEST(FilterTest, SignedFiltersMatchReference)
{
    std::mt19937 random(2);
    const TAdvancedBitmap picture = RandomPicture(23, 17, random);
    for (long double amplification : {1.0L, 2.5L, 10.0L, 0.0L, -47.0L, -60.0L})
        for (long double generalisation : {0.1L, 0.5L, 1.0L, 3.7L, 10.0L})
            ExpectFilterMatches(TFilter::Sharpen, picture, SharpenLevelParam(amplification),
                                SharpenSizeParam(generalisation));
    for (long double amplification : {-1.0L, 0.0L, 1.0L, 2.5L, 10.0L})
        for (long double generalisation : {0.1L, 0.5L, 1.0L, 2.0L, 3.3L, 10.0L})
            ExpectFilterMatches(TFilter::Edges, picture, EdgesLevelParam(amplification),
                                EdgesSizeParam(generalisation));
}

TEST(FilterTest, WorkedExamples)
{
    // The sharpen dialog's defaults, amplification 1 and generalisation 1,
    // paint a 3 x 3 mask of weights -11, 10, 127 (signed about 128).
    const TBitmap mask = ExpectedMask(TFilter::Sharpen, SharpenLevelParam(1), SharpenSizeParam(1));
    ASSERT_EQ(mask.Width(), 3);
    ASSERT_EQ(mask.Height(), 3);
    const int weights[3][3] = {{-11, 10, -11}, {10, 127, 10}, {-11, 10, -11}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(mask.ScanLine(y)[x] - 128, weights[y][x]);

    std::mt19937 random(3);
    TBitmapProcesorThread thread;
    const TAdvancedBitmap picture = RandomPicture(19, 13, random);
    // Level 0 copies the picture.
    TAdvancedBitmap src(picture), dest;
    GaussBlur(thread, &dest, &src, 0);
    EXPECT_EQ(FirstDifference(dest, picture), -1);

    // Uniform pictures keep their value under both blurs and sharpening.
    for (int value : {0, 1, 77, 128, 254, 255}) {
        TAdvancedBitmap uniform;
        uniform.Reset(13, 11, TPixelFormat::pf24bit);
        FillSolid(uniform, std::uint8_t(value), std::uint8_t(255 - value), std::uint8_t(value / 2));
        for (long double level : {0.0L, 1.0L, 2.0L, 5.5L, 20.0L, 100.0L}) {
            GaussBlur(thread, &dest, &uniform, level);
            EXPECT_EQ(FirstDifference(dest, uniform), -1) << "gauss " << value << ' ' << double(level);
            TriangleBlur(thread, &dest, &uniform, level);
            EXPECT_EQ(FirstDifference(dest, uniform), -1) << "triangle " << value << ' ' << double(level);
        }
        Sharpen(thread, &dest, &uniform, SharpenLevelParam(1), SharpenSizeParam(1));
        EXPECT_EQ(FirstDifference(dest, uniform), -1) << "sharpen " << value;
    }

    // Sharpening clamps instead of wrapping: a bright dot on grey goes to
    // 255 (the sum is above 260), a dark dot on white to 0 (below 0).
    TAdvancedBitmap dot;
    dot.Reset(5, 5, TPixelFormat::pf24bit);
    FillSolid(dot, 100, 100, 100);
    std::fill(dot.ScanLine(2) + 6, dot.ScanLine(2) + 9, 255);
    Sharpen(thread, &dest, &dot, SharpenLevelParam(1), SharpenSizeParam(1));
    EXPECT_EQ(dest.ScanLine(2)[6], 255);
    EXPECT_EQ(dest.ScanLine(1)[6], 112);  // 1.001 / 123.001 * (113 * 100 + 10 * 255)
    EXPECT_EQ(dest.ScanLine(1)[3], 86);   // 1.001 / 123.001 * (134 * 100 - 11 * 255)
    FillSolid(dot, 255, 255, 255);
    std::fill(dot.ScanLine(2) + 6, dot.ScanLine(2) + 9, 0);
    Sharpen(thread, &dest, &dot, SharpenLevelParam(1), SharpenSizeParam(1));
    EXPECT_EQ(dest.ScanLine(2)[6], 0);

    // A one-pixel picture is filtered against itself.
    TAdvancedBitmap one;
    one.Reset(1, 1, TPixelFormat::pf24bit);
    FillSolid(one, 200, 3, 91);
    for (TFilter f : {TFilter::Gauss, TFilter::Triangle}) {
        RunFilter(thread, f, &dest, &one, 30, 0);
        EXPECT_EQ(FirstDifference(dest, one), -1) << Name(f);
    }
    Sharpen(thread, &dest, &one, SharpenLevelParam(4), SharpenSizeParam(3));
    EXPECT_EQ(FirstDifference(dest, one), -1);
}

TEST(FilterTest, EdgeMaskSummingToZeroSaturates)
{
    // Find a size and level at which the edge mask's weights sum to zero.
    long double zeroLevel = 0;
    int zeroSize = 0;
    for (int size = 4; size <= 12 && zeroSize == 0; ++size)
        for (int i = 1; i <= 600; ++i) {
            const TBitmap mask = ExpectedMask(TFilter::Edges, i * 0.005L, size);
            int sum = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    sum += mask.ScanLine(y)[x] - 128;
            if (sum == 0) {
                zeroLevel = i * 0.005L;
                zeroSize = size;
                break;
            }
        }
    ASSERT_GT(zeroSize, 0) << "no edge mask with a zero sum";
    std::mt19937 random(4);
    TAdvancedBitmap picture = RandomPicture(40, 30, random), dest;
    TBitmapProcesorThread thread;
    FindEdges(thread, &dest, &picture, zeroLevel, zeroSize);
    int saturated = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 120; ++x)
            saturated += dest.ScanLine(y)[x] == 0 || dest.ScanLine(y)[x] == 255;
    EXPECT_GT(saturated, 120 * 30 * 9 / 10);
}

TEST(FilterTest, ProgressAndMissingOrEmptyPictures)
{
    std::mt19937 random(5);
    for (TSumPath path : {TSumPath::Direct, TSumPath::Fft}) {
        PathGuard guard;
        convolution_detail::SetSumPathForTesting(path);
        for (TFilter f : {TFilter::Gauss, TFilter::Sharpen}) {
            TBitmapProcesorThread thread;
            TAdvancedBitmap src = RandomPicture(37, 29, random), dest;
            RunFilter(thread, f, &dest, &src, f == TFilter::Gauss ? 25 : SharpenLevelParam(1), 2);
            EXPECT_EQ(thread.FRow, 29);
            EXPECT_EQ(thread.FColumn, 37);
            EXPECT_EQ(thread.ProgressMax(), 37 * 29);
            EXPECT_EQ(thread.Progress(), 37 * 29);
        }
    }
    // Empty sources and missing bitmaps: nothing happens.
    for (auto size : {std::pair{0, 0}, std::pair{4, 0}, std::pair{0, 4}}) {
        TBitmapProcesorThread thread;
        TAdvancedBitmap src, dest = RandomPicture(3, 2, random);
        src.Reset(size.first, size.second, TPixelFormat::pf24bit);
        const TAdvancedBitmap before(dest);
        for (TFilter f : {TFilter::Gauss, TFilter::Triangle, TFilter::Sharpen, TFilter::Edges})
            RunFilter(thread, f, &dest, &src, 2, 2);
        EXPECT_EQ(FirstDifference(dest, before), -1);
        EXPECT_EQ(thread.ProgressMax(), 0);
    }
    TBitmapProcesorThread thread;
    TAdvancedBitmap src = RandomPicture(3, 2, random);
    GaussBlur(thread, nullptr, &src, 2);
    Sharpen(thread, &src, nullptr, 2, 2);
    EXPECT_EQ(thread.ProgressMax(), 0);
}

TEST(FilterTest, DestinationMayBeTheSourceAndPaletteSourcesBecome24Bits)
{
    std::mt19937 random(6);
    const TAdvancedBitmap picture = RandomPicture(21, 14, random);
    TBitmapProcesorThread thread;
    TAdvancedBitmap separate(picture), dest, inPlace(picture);
    GaussBlur(thread, &dest, &separate, 4);
    GaussBlur(thread, &inPlace, &inPlace, 4);
    EXPECT_EQ(FirstDifference(inPlace, dest), -1);

    TAdvancedBitmap src;
    src.Reset(6, 4, TPixelFormat::pf8bit);
    src.SetPalette(GreyPalette());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            src.ScanLine(y)[x] = std::uint8_t(40 * y + x);
    GaussBlur(thread, &dest, &src, 0);
    EXPECT_EQ(src.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(dest.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(dest.ScanLine(3)[3 * 5 + 1], 125);
}

// Runs the filter on the worker thread and terminates it at its first
// progress and again, on a new run, halfway; every row must be either fully
// filtered or as the destination held it. On the FFT path the gauge moves
// inside a band too, so the first stop may come before any row is whole;
// the halfway stop must leave both kinds.
void ExpectTerminationLeavesWholeRows(TSumPath path, std::int8_t code, long double p1, long double p2, int width,
                                      int height)
{
    PathGuard guard;
    std::mt19937 random(8);
    const TAdvancedBitmap picture = RandomPicture(width, height, random);
    TBitmap full;
    {
        TBitmapProcesorThread thread;
        TAdvancedBitmap src(picture), dest;
        Prepare(thread, code, src, dest, p1, p2);
        thread.Execute();
        full = dest;
    }
    convolution_detail::SetSumPathForTesting(path);
    for (const std::int64_t stopAt : {std::int64_t(1), std::int64_t(width) * height / 2}) {
        TAdvancedBitmap src(picture), dest;
        dest.Reset(width, height, TPixelFormat::pf24bit);
        FillSolid(dest, 1, 2, 3);
        const TAdvancedBitmap before(dest);
        TBitmapProcesorThread thread;
        Prepare(thread, code, src, dest, p1, p2);
        thread.Resume();
        while (thread.Progress() < stopAt && !thread.Finished())
            std::this_thread::yield();
        thread.Terminate();
        thread.WaitFor();
        int filtered = 0, untouched = 0;
        for (int y = 0; y < height; ++y) {
            const std::size_t bytes = 3 * std::size_t(width);
            const bool isFiltered = std::equal(dest.ScanLine(y), dest.ScanLine(y) + bytes, full.ScanLine(y));
            const bool isUntouched = std::equal(dest.ScanLine(y), dest.ScanLine(y) + bytes, before.ScanLine(y));
            ASSERT_TRUE(isFiltered || isUntouched) << "row " << y << " partly filtered, stop at " << stopAt;
            filtered += isFiltered;
            untouched += isUntouched && !isFiltered;
        }
        if (stopAt > 1) {
            EXPECT_GT(filtered, 0);
            EXPECT_GT(untouched, 0) << "the run ended before the terminate request; code " << int(code) << " path "
                                    << int(path);
        }
    }
}

TEST(FilterTest, TerminationLeavesWholeRows)
{
    ExpectTerminationLeavesWholeRows(TSumPath::Direct, op::GaussBlur, 60, 0, 900, 700);
    ExpectTerminationLeavesWholeRows(TSumPath::Direct, op::Sharpen, SharpenLevelParam(3), SharpenSizeParam(10), 900,
                                     700);
    // Bands of several hundred rows on the FFT path.
    ExpectTerminationLeavesWholeRows(TSumPath::Fft, op::TriangleBlur, 100, 0, 300, 3000);
}

// The records of the four filter dialogs fill the worker with the launcher
// formulas, and its code runs that filter: the batch table and the main
// window compare through FillThread and the dispatcher, so these two steps
// are checked here only.
TEST(FilterTest, RecordsRunTheirFilterWithTheLauncherFormulas)
{
    std::mt19937 random(9);
    const TAdvancedBitmap picture = RandomPicture(16, 9, random);
    const struct {
        std::function<void(TBitmapProcesorThread&)> fill;
        std::int8_t code;
        TFilter filter;
        long double p1, p2;
    } cases[] = {
        {[](auto& t) { FillThread(t, TGaussBlurParams{3.5L}); }, op::GaussBlur, TFilter::Gauss, 3.5L, 0},
        {[](auto& t) { FillThread(t, TTriangleBlurParams{-2}); }, op::TriangleBlur, TFilter::Triangle, -2, 0},
        {[](auto& t) { FillThread(t, TSharpenParams{7.5L, 1.5L}); }, op::Sharpen, TFilter::Sharpen,
         7.5L * 0.039955444L + 1.90004455L, 3},
        {[](auto& t) { FillThread(t, TFindEdgesParams{0.35L, 0.7L}); }, op::FindEdges, TFilter::Edges, 0.35L, 1.4L},
    };
    for (const auto& c : cases) {
        TBitmapProcesorThread thread, direct;
        TAdvancedBitmap src(picture), dest, directSrc(picture), directDest;
        Prepare(thread, op::Flip, src, dest, 0, 0);
        c.fill(thread);
        EXPECT_EQ(thread.FOperation, c.code);
        EXPECT_EQ(thread.FParam1, c.p1) << Name(c.filter);
        EXPECT_EQ(thread.FParam2, c.p2) << Name(c.filter);
        thread.Execute();
        RunFilter(direct, c.filter, &directDest, &directSrc, c.p1, c.p2);
        EXPECT_EQ(FirstDifference(dest, directDest), -1) << Name(c.filter);
    }
    // An absurd level is an error message, not a crash; the destination is untouched.
    TAdvancedBitmap src(picture), dest;
    TBitmapProcesorThread thread;
    Prepare(thread, op::GaussBlur, src, dest, 1e12L, 0);
    thread.Execute();
    EXPECT_FALSE(thread.FErrorMessage.empty());
    EXPECT_TRUE(dest.Empty());
}

}  // namespace
}  // namespace kadrimex
