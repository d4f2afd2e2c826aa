// The tonal routines on the 4000 x 3000 photo of the shared test data:
// MakeHistograms (mode 1, as the curves dialog runs it; target under 30 ms),
// equalisation of all channels, and a tone curve on all channels. The copy
// of the photo each run starts from is made outside the timing.
#include "engine/Codecs.h"
#include "tonal/Tone.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

using namespace kadrimex;

namespace {

const char* const kPhoto = "rocket-4000x3000.jpg";

const TAdvancedBitmap& Photo()
{
    static const TAdvancedBitmap photo = [] {
        TAdvancedBitmap decoded;
        const std::string path = std::string(KADRIMEX_SHARED_DIR) + "/testdata/" + kPhoto;
        if (std::filesystem::exists(path)) {
            const auto bytes = ReadFileBytes(path);
            static_cast<TBitmap&>(decoded) = DecodeJpeg(bytes.data(), bytes.size());
        }
        return decoded;
    }();
    return photo;
}

bool Ready(benchmark::State& state)
{
    if (Photo().Empty())
        state.SkipWithError((std::string(kPhoto) + " is absent from the shared test data").c_str());
    return !Photo().Empty();
}

void BM_Histogram(benchmark::State& state)
{
    if (!Ready(state))
        return;
    TAdvancedBitmap picture(Photo());
    THistogram red, green, blue;
    for (auto _ : state) {
        MakeHistograms(histogram_mode::Fractions, red, green, blue, &picture);
        benchmark::DoNotOptimize(red[0]);
    }
}

template <class Run>
void Timed(benchmark::State& state, Run run)
{
    if (!Ready(state))
        return;
    for (auto _ : state) {
        state.PauseTiming();
        TAdvancedBitmap picture(Photo());
        state.ResumeTiming();
        TBitmapProcesorThread thread;
        run(thread, picture);
        benchmark::DoNotOptimize(picture.ScanLine(0));
    }
}

void BM_Equalize(benchmark::State& state)
{
    Timed(state, [](TBitmapProcesorThread& thread, TAdvancedBitmap& picture) { EqualizeHistogram(thread, &picture, 0); });
}

void BM_Curve(benchmark::State& state)
{
    const TToneTable table = RangeTable(55, 200);
    Timed(state, [&](TBitmapProcesorThread& thread, TAdvancedBitmap& picture) { ApplyCurve(thread, &picture, &table, 0); });
}

BENCHMARK(BM_Histogram)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Equalize)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Curve)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
