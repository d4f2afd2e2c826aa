// Flip and rotation of the 4000 x 3000 rocket photograph in-process: the
// mirror, a quarter turn (pixel moves only) and the bicubic turn by 0.3 rad,
// each including the new destination. flip_vs_convert.sh times the whole
// batch process of flip next to convert of the same picture.
// Run: bench_flip_rotate [--benchmark_filter=...]
#include "engine/Codecs.h"
#include "transforms/FlipRotate.h"

#include <benchmark/benchmark.h>

#include <string>

namespace kadrimex {
namespace {

const TBitmap& Rocket()
{
    static const TBitmap photo = [] {
        const auto bytes = ReadFileBytes(std::string(KADRIMEX_SHARED_DIR) + "/testdata/rocket-4000x3000.jpg");
        return DecodeJpeg(bytes.data(), bytes.size());
    }();
    return photo;
}

void Run(benchmark::State& state, const TFlipRotateParams& params)
{
    TAdvancedBitmap source;
    static_cast<TBitmap&>(source) = Rocket();
    for (auto _ : state) {
        TBitmapProcesorThread thread(true);
        TAdvancedBitmap destination;
        destination.SetPixelFormat(TPixelFormat::pf24bit);
        thread.FSource = &source;
        thread.FDestination = &destination;
        FillThread(thread, params);
        thread.Execute();
        benchmark::DoNotOptimize(destination.ScanLine(0));
    }
}

void BM_Flip(benchmark::State& state) { Run(state, {TFlipRotateChoice::FlipHorizontal, 0, false}); }
void BM_QuarterTurn(benchmark::State& state) { Run(state, {TFlipRotateChoice::Rotate, 1.57079632679489L, true}); }
void BM_Rotate03(benchmark::State& state) { Run(state, {TFlipRotateChoice::Rotate, 0.3L, false}); }

BENCHMARK(BM_Flip)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QuarterTurn)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rotate03)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kadrimex

BENCHMARK_MAIN();
