// How soon each operation heeds a stop request and how soon its gauge
// first moves. For every operation code, on one picture, the worker runs
// alone once to time it, then is stopped at several points of its run
// (stages: early, a quarter, half, three quarters of its own length); the
// table gives the first movement of the gauge and the worst time from the
// request to the end of the thread. Run it with the cores busy to see the
// worst case: `yes > /dev/null & yes > /dev/null & cancel_bench [W H]`.
#include "engine/ProcessorThread.h"
#include "filters/Filters.h"
#include "filters/Generators.h"
#include "filters/Resample.h"
#include "tonal/Tone.h"
#include "transforms/FlipRotate.h"
#include "transforms/Fourier.h"
#include "userfilter/UserFilter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace kadrimex;
using Clock = std::chrono::steady_clock;

namespace {

struct TCase {
    const char* name;
    TDestinationPolicy policy;
    std::function<void(TBitmapProcesorThread&)> fill;
};

TAdvancedBitmap Picture(int width, int height)
{
    TAdvancedBitmap picture;
    picture.Reset(width, height, TPixelFormat::pf24bit);
    std::mt19937 random(5);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 3 * width; ++x)
            picture.ScanLine(y)[x] = std::uint8_t(random());
    return picture;
}

struct TRun {
    double total = 0;       // seconds, run to its end (or to the stop)
    double firstMove = -1;  // seconds until the gauge first moved, -1 never
    double stop = 0;        // seconds from the request to the end
};

// Runs the case; with `stopAfter` >= 0 requests the stop that many seconds
// after the start.
TRun Run(const TCase& c, const TAdvancedBitmap& picture, double stopAfter)
{
    TBitmapProcesorThread thread(true);
    std::unique_ptr<TAdvancedBitmap> copy;
    if (NeedsWorkingCopy(c.policy))
        copy = std::make_unique<TAdvancedBitmap>(picture);
    TOperationBitmaps bitmaps = AttachBitmaps(thread, c.policy, std::move(copy));
    c.fill(thread);
    TRun r;
    const Clock::time_point start = Clock::now();
    Clock::time_point requested{};
    const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    thread.Resume();
    std::int64_t firstProgress = -1;
    while (!thread.Finished()) {
        const std::int64_t progress = thread.Progress();
        if (firstProgress < 0 && thread.ProgressMax() > 0)
            firstProgress = progress;
        if (r.firstMove < 0 && firstProgress >= 0 && progress != firstProgress)
            r.firstMove = seconds(Clock::now() - start);
        if (stopAfter >= 0 && requested == Clock::time_point{} && seconds(Clock::now() - start) >= stopAfter) {
            requested = Clock::now();
            thread.Terminate();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    thread.WaitFor();
    const Clock::time_point end = Clock::now();
    r.total = seconds(end - start);
    if (requested != Clock::time_point{})
        r.stop = seconds(end - requested);
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    const int width = argc > 2 ? std::atoi(argv[1]) : 4000;
    const int height = argc > 2 ? std::atoi(argv[2]) : 3000;
    const std::string only = argc > 3 ? argv[3] : "";
    const TAdvancedBitmap picture = Picture(width, height);
    const auto user = [](int size) {
        TUserFilterParams p;
        p.coefficients.reset(AllocateCoefficients(size));
        for (int k = 0; k < size * size; ++k)
            p.coefficients[k] = 0.37L * (k % 5) - 0.5L;
        p.size = size;
        return p;
    };
    const auto histogram = [](TBitmapProcesorThread& t) {
        FillThread(t, THistogramParams{std::make_shared<THistogram>(), std::make_shared<THistogram>(),
                                       std::make_shared<THistogram>()});
    };
    using P = TDestinationPolicy;
    const std::vector<TCase> cases = {
        {"gauss 20", P::NewEmpty24, [](auto& t) { FillThread(t, TGaussBlurParams{20}); }},
        {"gauss 1000", P::NewEmpty24, [](auto& t) { FillThread(t, TGaussBlurParams{1000}); }},
        {"triangle 300", P::NewEmpty24, [](auto& t) { FillThread(t, TTriangleBlurParams{300}); }},
        {"sharpen 50 10", P::NewEmpty24, [](auto& t) { FillThread(t, TSharpenParams{50, 10}); }},
        {"edges 50 10", P::NewEmpty24, [](auto& t) { FillThread(t, TFindEdgesParams{50, 10}); }},
        {"user 7x7", P::NewEmpty24, [&](auto& t) { FillThread(t, user(7)); }},
        {"resize x2", P::NewEmpty24, [&](auto& t) { FillThread(t, TResizeParams{2 * width, 2 * height, 2}); }},
        {"rotate 0.3", P::NewEmpty24,
         [](auto& t) { FillThread(t, TFlipRotateParams{TFlipRotateChoice::Rotate, 0.3L, true}); }},
        {"fft", P::NewEmpty24, [](auto& t) { FillThread(t, TFFTParams{}); }},
        {"revfft", P::NewEmpty24, [](auto& t) { FillThread(t, TRevFFTParams{}); }},
        {"fftgauss 20", P::NewEmpty24, [](auto& t) { FillThread(t, TFFTGaussParams{20}); }},
        {"equalize", P::WorkingCopyInPlace, [](auto& t) { FillThread(t, TLevelsParams{0, 0, 0, 0}); }},
        {"histogram", P::SourceOnly, histogram},
        {"gen-gauss", P::NewForGenerator, [&](auto& t) { FillThread(t, TGaussGeneratorParams{3, width, height}); }},
        {"gen-shape", P::NewForGenerator,
         [&](auto& t) { FillThread(t, TShapeGeneratorParams{2, 3, width, height}); }},
    };
    std::printf("%d x %d, %u cores\n", width, height, std::thread::hardware_concurrency());
    std::printf("| operation | run (s) | first gauge movement (s) | worst stop (s) | stop at (s) |\n|---|---|---|---|---|\n");
    for (const TCase& c : cases) {
        if (!only.empty() && only != c.name)
            continue;
        const TRun whole = Run(c, picture, -1);
        double worst = 0, worstAt = 0;
        for (const double share : {0.02, 0.25, 0.5, 0.75}) {
            const double at = whole.total * share;
            const TRun stopped = Run(c, picture, at);
            if (stopped.stop >= worst)
                worst = stopped.stop, worstAt = at;
        }
        std::printf("| %s | %.2f | %s | %.3f | %.2f |\n", c.name, whole.total,
                    whole.firstMove < 0 ? "never" : std::to_string(whole.firstMove).substr(0, 5).c_str(), worst,
                    worstAt);
        std::fflush(stdout);
    }
    return 0;
}
