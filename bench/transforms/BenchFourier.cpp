// fft, revfft and fftgauss 20 on photographs. The 4000 x 3000 picture is the
// rocket photograph of the test data; the square ones are its centre
// resampled to 1024 x 1024 and 2048 x 2048 (area averaging), so all three
// have photographic content. Run: bench_fourier [--benchmark_filter=...]
#include "engine/Codecs.h"
#include "engine/ProcessorThread.h"
#include "transforms/Fourier.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace kadrimex {
namespace {

const TBitmap& Rocket()
{
    static const TBitmap photo = [] {
        const auto bytes = ReadFileBytes(std::string(KADRIMEX_SHARED_DIR) + "/testdata/rocket-4000x3000.jpg");
        TBitmap b = DecodeJpeg(bytes.data(), bytes.size());
        b.SetPixelFormat(TPixelFormat::pf24bit);
        return b;
    }();
    return photo;
}

// The centre 3000 x 3000 square averaged down to side x side.
TBitmap Square(int side)
{
    const TBitmap& photo = Rocket();
    const int crop = photo.Height();
    const int left = (photo.Width() - crop) / 2;
    TBitmap out;
    out.Reset(side, side, TPixelFormat::pf24bit);
    for (int y = 0; y < side; ++y) {
        const int y0 = y * crop / side, y1 = (y + 1) * crop / side;
        for (int x = 0; x < side; ++x) {
            const int x0 = left + x * crop / side, x1 = left + (x + 1) * crop / side;
            for (int c = 0; c < 3; ++c) {
                long sum = 0;
                for (int sy = y0; sy < y1; ++sy)
                    for (int sx = x0; sx < x1; ++sx)
                        sum += photo.ScanLine(sy)[3 * sx + c];
                out.ScanLine(y)[3 * x + c] = std::uint8_t(sum / ((y1 - y0) * (x1 - x0)));
            }
        }
    }
    return out;
}

const TBitmap& Picture(int side)
{
    static std::map<int, TBitmap> cache;
    if (side == 0)
        return Rocket();
    auto it = cache.find(side);
    if (it == cache.end())
        it = cache.emplace(side, Square(side)).first;
    return it->second;
}

void RunOperation(benchmark::State& state, std::int8_t code, long double level)
{
    const TBitmap& input = Picture(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        TAdvancedBitmap source;
        source.Assign(input);
        TAdvancedBitmap destination;
        destination.SetPixelFormat(TPixelFormat::pf24bit);
        TBitmapProcesorThread thread(true);
        thread.FOperation = code;
        thread.FSource = &source;
        thread.FDestination = &destination;
        thread.FParam1 = level;
        state.ResumeTiming();
        thread.Execute();
        if (!thread.FErrorMessage.empty())
            state.SkipWithError(thread.FErrorMessage.c_str());
        benchmark::DoNotOptimize(destination.ScanLine(0));
    }
    state.SetLabel(std::to_string(input.Width()) + "x" + std::to_string(input.Height()));
}

void BM_FFT(benchmark::State& state) { RunOperation(state, op::FFT, 0); }
void BM_RevFFT(benchmark::State& state) { RunOperation(state, op::RevFFT, 0); }
void BM_FFTGauss20(benchmark::State& state) { RunOperation(state, op::FFTGauss, 20); }

// Argument: the side of the square picture, 0 for the 4000 x 3000 photograph.
BENCHMARK(BM_FFT)->Arg(1024)->Arg(2048)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_RevFFT)->Arg(1024)->Arg(2048)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_FFTGauss20)->Arg(1024)->Arg(2048)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace kadrimex

BENCHMARK_MAIN();
