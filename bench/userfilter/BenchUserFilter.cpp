// User filter throughput on real photographs. Two matrix kinds per size:
// "int" (a box of ones: the integer path) and "real" (a Gaussian-like bell
// of reals: the 80-bit path). The matrices are the ones compare_opencv.py
// builds, so the figures line up.
#include "engine/Graphic.h"
#include "engine/ProcessorThread.h"
#include "userfilter/UserFilter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace kadrimex;

namespace {

const TAdvancedBitmap* Photo(const std::string& name)
{
    static std::map<std::string, std::unique_ptr<TAdvancedBitmap>> cache;
    auto& slot = cache[name];
    if (!slot) {
        const std::string path = std::string(KADRIMEX_SHARED_DIR) + "/testdata/" + name;
        if (!std::filesystem::exists(path))
            return nullptr;
        slot = std::make_unique<TAdvancedBitmap>();
        MakeWorkingCopy(TPicture::LoadFromFile(path), *slot);
        slot->SetPixelFormat(TPixelFormat::pf24bit);
    }
    return slot.get();
}

// exp(-(di^2 + dj^2) / (2 * (n/4)^2)), summed as the divider.
std::vector<long double> Bell(int n, long double& sum)
{
    std::vector<long double> m(std::size_t(n * n));
    const long double sigma = n / 4.0L, c = (n - 1) / 2.0L;
    sum = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const long double d2 = (i - c) * (i - c) + (j - c) * (j - c);
            sum += m[std::size_t(i * n + j)] = std::exp(-d2 / (2 * sigma * sigma));
        }
    return m;
}

void Run(benchmark::State& state, const char* photo, int n, bool real)
{
    const TAdvancedBitmap* source = Photo(photo);
    if (!source) {
        state.SkipWithError((std::string(photo) + " not found in the shared test data").c_str());
        return;
    }
    long double divider = n * n;
    std::vector<long double> m(std::size_t(n * n), 1);
    if (real)
        m = Bell(n, divider);
    TAdvancedBitmap src(*source), dst;
    for (auto _ : state) {
        TBitmapProcesorThread thread(true);
        long double* matrix = AllocateCoefficients(n);
        std::copy(m.begin(), m.end(), matrix);
        UserFilter(thread, &dst, &src, matrix, n, divider, 0, 0);
        benchmark::DoNotOptimize(dst.ScanLine(0));
    }
    state.counters["Mpx/s"] = benchmark::Counter(double(src.Width()) * src.Height() * double(state.iterations()) / 1e6,
                                                 benchmark::Counter::kIsRate);
}

void Register()
{
    for (const char* photo : {"coffee-1920x1080.jpg", "rocket-4000x3000.jpg"})
        for (int n : {3, 5, 7})
            for (bool real : {false, true}) {
                const std::string name =
                    std::string("UserFilter/") + photo + "/" + std::to_string(n) + "x" + std::to_string(n) +
                    (real ? "/real" : "/int");
                benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& s) { Run(s, photo, n, real); })
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->MinTime(0.5);
            }
}

}  // namespace

int main(int argc, char** argv)
{
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
