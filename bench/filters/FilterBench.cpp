// The built-in filters on two photos (1920 x 1080 and 4000 x 3000):
// Gauss blur of level 2, 20 and 100 and sharpen 1/1, through the automatic
// choice of summing path, each path forced, and the plain long double
// reference engine of the tests. The reference is run on a 96 x 96 crop
// (48 x 48 for level 100) and its time per pixel extrapolated to the whole
// photo (counter "reference_s_full"). Target: Gauss level 100 on
// 4000 x 3000 under 5 s on a 2-core machine.
#include "engine/Codecs.h"
#include "filters/Convolution.h"
#include "filters/Filters.h"
#include "filters/Masks.h"

#include "FilterReference.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <string>

using namespace kadrimex;
using convolution_detail::TSumPath;

namespace {

const char* const kPhotos[] = {"coffee-1920x1080.jpg", "rocket-4000x3000.jpg"};

// Decoded photo, or an empty bitmap when the file is absent.
const TAdvancedBitmap& Photo(int index)
{
    static std::map<int, TAdvancedBitmap> cache;
    auto it = cache.find(index);
    if (it != cache.end())
        return it->second;
    TAdvancedBitmap photo;
#ifdef KADRIMEX_SHARED_DIR
    const std::string path = std::string(KADRIMEX_SHARED_DIR) + "/testdata/" + kPhotos[index];
    if (std::filesystem::exists(path)) {
        const auto bytes = ReadFileBytes(path);
        static_cast<TBitmap&>(photo) = DecodeJpeg(bytes.data(), bytes.size());
    }
#endif
    return cache.emplace(index, std::move(photo)).first->second;
}

struct TCase {
    const char* name;
    bool sharpen;
    long double p1, p2;
};

const TCase kCases[] = {{"gauss2", false, 2, 0},
                        {"gauss20", false, 20, 0},
                        {"gauss100", false, 100, 0},
                        {"sharpen1_1", true, SharpenLevelParam(1), SharpenSizeParam(1)}};

void RunCase(const TCase& c, TAdvancedBitmap* dest, TAdvancedBitmap* src)
{
    TBitmapProcesorThread thread;
    if (c.sharpen)
        Sharpen(thread, dest, src, c.p1, c.p2);
    else
        GaussBlur(thread, dest, src, c.p1);
}

void BM_Filter(benchmark::State& state, int photo, TCase c, TSumPath path)
{
    const TAdvancedBitmap& picture = Photo(photo);
    if (picture.Empty()) {
        state.SkipWithError((std::string(kPhotos[photo]) + " is absent from the shared test data").c_str());
        return;
    }
    convolution_detail::SetSumPathForTesting(path);
    for (auto _ : state) {
        TAdvancedBitmap src(picture), dest;
        RunCase(c, &dest, &src);
        benchmark::DoNotOptimize(dest.ScanLine(0));
    }
    convolution_detail::SetSumPathForTesting(TSumPath::Auto);
    state.counters["MPix/s"] = benchmark::Counter(double(picture.Width()) * picture.Height() * 1e-6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Reference(benchmark::State& state, int photo, TCase c)
{
    const TAdvancedBitmap& picture = Photo(photo);
    if (picture.Empty()) {
        state.SkipWithError((std::string(kPhotos[photo]) + " is absent from the shared test data").c_str());
        return;
    }
    const int side = c.p1 >= 100 ? 48 : 96;
    TBitmap crop;
    crop.Reset(side, side, TPixelFormat::pf24bit);
    for (int y = 0; y < side; ++y)
        std::copy(picture.ScanLine(y), picture.ScanLine(y) + 3 * side, crop.ScanLine(y));
    TBitmapProcesorThread thread;
    TBitmap mask;
    mask.SetPixelFormat(TPixelFormat::pf8bit);
    if (c.sharpen)
        PaintSharpenMask(thread, &mask, c.p1 * GaussBaseLevel, c.p2 + 1, c.p2 + 1);
    else
        PaintGaussMask(thread, &mask, GaussBaseLevel, c.p1 + 1, c.p1 + 1);
    TBitmap out;
    for (auto _ : state) {
        test::ReferenceConvolve(crop, mask, c.sharpen, out);
        benchmark::DoNotOptimize(out.ScanLine(0));
    }
    // Seconds per iteration scaled from the crop to the whole photo.
    state.counters["reference_s_full"] = benchmark::Counter(
        1.0 / (double(picture.Width()) * picture.Height() / (double(side) * side)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

const int kRegistered = [] {
    const char* photoNames[] = {"1920x1080", "4000x3000"};
    const std::pair<TSumPath, const char*> paths[] = {
        {TSumPath::Auto, "auto"}, {TSumPath::Direct, "direct"}, {TSumPath::Fft, "fft"}};
    for (int photo = 0; photo < 2; ++photo)
        for (const TCase& c : kCases) {
            for (const auto& [path, pathName] : paths) {
                // The direct sums of the 101 x 101 mask take minutes on the large photo.
                if (path == TSumPath::Direct && c.p1 >= 100 && photo == 1)
                    continue;
                benchmark::RegisterBenchmark(
                    (std::string("Filter/") + photoNames[photo] + "/" + c.name + "/" + pathName).c_str(),
                    BM_Filter, photo, c, path)
                    ->Unit(benchmark::kMillisecond)
                    ->Iterations(1)
                    ->UseRealTime();
            }
            benchmark::RegisterBenchmark((std::string("Reference/") + photoNames[photo] + "/" + c.name).c_str(),
                                         BM_Reference, photo, c)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1)
                ->UseRealTime();
        }
    return 0;
}();

}  // namespace
