// The filters paint their masks folded for the picture (border cells summed
// as painted, the mask never stored). Checked byte for byte against the
// stored-mask path (paint the bitmap, then convolve it) for masks smaller
// than, as large as and far larger than the picture; folded cells past 32
// bits; and a stop while a huge mask is painted.
#include "filters/Convolution.h"
#include "filters/Filters.h"
#include "filters/Masks.h"
#include "tests/support/TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <thread>

namespace kadrimex {
namespace {

struct TFilterCase {
    const char* name;
    bool isSigned;
    void (*filter)(TBitmapProcesorThread&, TAdvancedBitmap*, TAdvancedBitmap*, long double, long double);
    void (*paint)(TBitmapProcesorThread&, TBitmap*, long double, long double);
};

const TFilterCase kFilters[] = {
    {"gauss", false, [](auto& t, auto* d, auto* s, long double p, long double) { GaussBlur(t, d, s, p); },
     [](auto& t, TBitmap* m, long double p, long double) { PaintGaussMask(t, m, GaussBaseLevel, p + 1, p + 1); }},
    {"triangle", false, [](auto& t, auto* d, auto* s, long double p, long double) { TriangleBlur(t, d, s, p); },
     [](auto& t, TBitmap* m, long double p, long double) { PaintTriangleMask(t, m, -0.1L, p + 1, p + 1); }},
    {"sharpen", true, [](auto& t, auto* d, auto* s, long double p, long double q) { Sharpen(t, d, s, p, q); },
     [](auto& t, TBitmap* m, long double p, long double q) {
         PaintSharpenMask(t, m, p * GaussBaseLevel, q + 1, q + 1);
     }},
    {"edges", true, [](auto& t, auto* d, auto* s, long double p, long double q) { FindEdges(t, d, s, p, q); },
     [](auto& t, TBitmap* m, long double p, long double q) { PaintEdgeMask(t, m, p, q, q); }},
};

TAdvancedBitmap Filtered(const TFilterCase& f, const TAdvancedBitmap& source, long double p1, long double p2)
{
    TBitmapProcesorThread thread(true);
    TAdvancedBitmap src(source), dst;
    f.filter(thread, &dst, &src, p1, p2);
    return dst;
}

TAdvancedBitmap StoredMaskFiltered(const TFilterCase& f, const TAdvancedBitmap& source, long double p1, long double p2)
{
    TBitmapProcesorThread thread(true);
    TAdvancedBitmap src(source), dst;
    TBitmap mask;
    mask.SetPixelFormat(TPixelFormat::pf8bit);
    f.paint(thread, &mask, p1, p2);
    if (f.isSigned)
        ConvolveSigned(thread, &dst, &src, &mask);
    else
        ConvolveUnsigned(thread, &dst, &src, &mask);
    return dst;
}

TEST(HugeMask, FoldedMasksGiveTheStoredMasksBytes)
{
    struct TParams {
        long double p1, p2;
    };
    // First parameter the level (blurs) or the sharpen / edge level, second
    // the sharpen or edge size; sizes from 1 cell to 14 times the picture.
    const TParams params[] = {{0, 0}, {1.5L, 2.5L}, {8, 9}, {1.94L, 40}, {150, 150}};
    const std::pair<int, int> sizes[] = {{1, 1}, {5, 3}, {16, 9}, {7, 12}};
    std::mt19937 random(11);
    for (const auto& [w, h] : sizes) {
        TAdvancedBitmap flat = test::RandomPicture(w, h, random);
        const TAdvancedBitmap noise = test::RandomPicture(w, h, random);
        for (int y = 0; y < h; ++y)
            std::fill_n(flat.ScanLine(y), 3 * w, std::uint8_t(201));
        for (const TAdvancedBitmap* picture : {&noise, static_cast<const TAdvancedBitmap*>(&flat)})
            for (const TFilterCase& f : kFilters)
                for (const TParams& p : params)
                    EXPECT_EQ(test::FirstDifference(Filtered(f, *picture, p.p1, p.p2),
                                                    StoredMaskFiltered(f, *picture, p.p1, p.p2)),
                              -1)
                        << f.name << ' ' << double(p.p1) << ' ' << double(p.p2) << " on " << w << 'x' << h;
    }
}

// A 5001 x 5001 Gauss mask on one pixel folds into one cell of about
// 2.8e9, past 32 bits: the pixel keeps its value only if the sum is exact.
TEST(HugeMask, FoldedCellsPastThirtyTwoBitsAreExact)
{
    TAdvancedBitmap pixel;
    pixel.Reset(1, 1, TPixelFormat::pf24bit);
    pixel.ScanLine(0)[0] = 1;
    pixel.ScanLine(0)[1] = 77;
    pixel.ScanLine(0)[2] = 255;
    EXPECT_EQ(test::FirstDifference(Filtered(kFilters[0], pixel, 5000, 0), pixel), -1);
}

// A stop while a 30001-square mask is painted: painting publishes progress,
// the filter returns with the destination sized and no row filtered.
TEST(HugeMask, AStopWhilePaintingEndsTheFilter)
{
    TBitmapProcesorThread thread(true);
    std::mt19937 random(3);
    TAdvancedBitmap src = test::RandomPicture(64, 48, random), dst;
    std::thread worker([&] { GaussBlur(thread, &dst, &src, 30000); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (thread.Progress() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::int64_t progress = thread.Progress();
    thread.Terminate();
    worker.join();
    EXPECT_GT(progress, 0);
    EXPECT_LT(progress, thread.ProgressMax());
    ASSERT_EQ(dst.Width(), 64);
    for (int y = 0; y < dst.Height(); ++y)
        EXPECT_EQ(std::count(dst.ScanLine(y), dst.ScanLine(y) + 3 * 64, 0), 3 * 64) << "row " << y << " filtered";
}

}  // namespace
}  // namespace kadrimex
