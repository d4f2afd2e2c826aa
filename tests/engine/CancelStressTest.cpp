// Every operation of the table started on the worker and cancelled or
// destroyed at a random moment: before it starts, after a random delay (the
// mask painting of the blurs falls there), at a random share of its
// progress (the FFT's column pass is its second quarter), or by destroying
// the thread while it runs. Nothing may crash or leak (the sanitizer build
// runs this too), a cancel is no error, the completion callback runs once,
// and where the routine works row by row each pixel of a cancelled result
// is either its finished value or still untouched.
//
// KADRIMEX_STRESS_ITERATIONS sets the number of runs (default 60);
// KADRIMEX_STRESS_SEED the first seed.
#include "engine/ProcessorThread.h"
#include "filters/Filters.h"
#include "filters/Generators.h"
#include "filters/Resample.h"
#include "tests/support/TestPictures.h"
#include "tonal/Tone.h"
#include "transforms/FlipRotate.h"
#include "transforms/Fourier.h"
#include "userfilter/UserFilter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <thread>

using namespace kadrimex;

namespace {

enum class TMoment { BeforeResume, AfterDelay, AtProgress, DestroyRunning };

// What a cancelled result is allowed to hold.
enum class TPartial {
    // Multi-pass or resampling routines: only size and format are promised.
    Unchecked,
    // Each 24-bit pixel is the finished one or as the destination held it.
    PixelFinishedOrUntouched,
};

struct TStressCase {
    std::int8_t code;
    TDestinationPolicy policy;
    TPartial partial;
    // Fills the thread for a picture of `width` x `height` from `random`,
    // after AttachBitmaps.
    std::function<void(TBitmapProcesorThread&, std::mt19937&, int width, int height)> fill;
};

int Uniform(std::mt19937& random, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(random);
}

const std::vector<TStressCase>& Cases()
{
    using P = TDestinationPolicy;
    using R = std::mt19937;
    using T = TBitmapProcesorThread;
    static const std::vector<TStressCase> cases = {
        {op::Resize, P::NewEmpty24, TPartial::Unchecked,
         [](T& t, R& r, int, int) { FillThread(t, TResizeParams{Uniform(r, 1, 60), Uniform(r, 1, 60), Uniform(r, 0, 2)}); }},
        {op::Flip, P::NewEmpty24, TPartial::PixelFinishedOrUntouched,
         [](T& t, R& r, int, int) {
             FillThread(t, TFlipRotateParams{Uniform(r, 0, 1) ? TFlipRotateChoice::FlipVertical
                                                              : TFlipRotateChoice::FlipHorizontal});
         }},
        {op::Rotate, P::NewEmpty24, TPartial::Unchecked,
         [](T& t, R& r, int, int) {
             FillThread(t, TFlipRotateParams{TFlipRotateChoice::Rotate, Uniform(r, -700, 700) / 100.0L,
                                             Uniform(r, 0, 1) == 1});
         }},
        {op::Histogram, P::SourceOnly, TPartial::Unchecked,
         [](T& t, R&, int, int) {
             FillThread(t, THistogramParams{std::make_shared<THistogram>(), std::make_shared<THistogram>(),
                                            std::make_shared<THistogram>()});
         }},
        {op::Curves, P::WorkingCopyInPlace, TPartial::PixelFinishedOrUntouched,
         [](T& t, R& r, int, int) {
             TCurveParams params;
             for (auto& v : params.table)
                 v = std::uint8_t(Uniform(r, 0, 255));
             params.channel = Uniform(r, 0, 3);
             FillThread(t, params);
         }},
        {op::Levels, P::WorkingCopyInPlace, TPartial::PixelFinishedOrUntouched,
         [](T& t, R& r, int, int) {
             const int from = Uniform(r, 0, 255);
             FillThread(t, TLevelsParams{Uniform(r, 0, 1), from, Uniform(r, from, 255), Uniform(r, 0, 3)});
         }},
        {op::GaussBlur, P::NewEmpty24, TPartial::PixelFinishedOrUntouched,
         [](T& t, R& r, int, int) { FillThread(t, TGaussBlurParams{Uniform(r, 1, 300) / 10.0L}); }},
        {op::TriangleBlur, P::NewEmpty24, TPartial::PixelFinishedOrUntouched,
         [](T& t, R& r, int, int) { FillThread(t, TTriangleBlurParams{Uniform(r, 1, 300) / 10.0L}); }},
        {op::Sharpen, P::NewEmpty24, TPartial::PixelFinishedOrUntouched,
         [](T& t, R& r, int, int) {
             FillThread(t, TSharpenParams{Uniform(r, 1, 100) / 10.0L, Uniform(r, 1, 200) / 10.0L});
         }},
        {op::FindEdges, P::NewEmpty24, TPartial::PixelFinishedOrUntouched,
         [](T& t, R& r, int, int) {
             FillThread(t, TFindEdgesParams{Uniform(r, 1, 100) / 10.0L, Uniform(r, 1, 200) / 10.0L});
         }},
        {op::UserFilter, P::NewEmpty24, TPartial::PixelFinishedOrUntouched,
         [](T& t, R& r, int, int) {
             TUserFilterParams params;
             params.size = 2 * Uniform(r, 0, 3) + 1;
             params.coefficients.reset(AllocateCoefficients(params.size));
             for (int i = 0; i < params.size * params.size; ++i)
                 params.coefficients[std::size_t(i)] = Uniform(r, -20, 20) / 4.0L;
             params.divider = Uniform(r, 1, 9);
             params.offset = Uniform(r, -50, 50);
             params.absolute = Uniform(r, 0, 1) == 1;
             FillThread(t, std::move(params));
         }},
        {op::GaussGenerator, P::NewForGenerator, TPartial::Unchecked,
         [](T& t, R& r, int w, int h) { FillThread(t, TGaussGeneratorParams{Uniform(r, -100, 100) * 1.0L, w, h}); }},
        {op::TriangleGenerator, P::NewForGenerator, TPartial::Unchecked,
         [](T& t, R& r, int w, int h) {
             FillThread(t, TTriangleGeneratorParams{Uniform(r, -100, 100) * 1.0L, Uniform(r, 0, 628) / 100.0L, w, h});
         }},
        {op::ShapeGenerator, P::NewForGenerator, TPartial::Unchecked,
         [](T& t, R& r, int w, int h) {
             FillThread(t, TShapeGeneratorParams{Uniform(r, 0, 5), Uniform(r, 1, 100) / 10.0L, w, h});
         }},
        {op::SharpenGenerator, P::NewForGenerator, TPartial::Unchecked,
         [](T& t, R& r, int w, int h) { FillThread(t, TSharpenGeneratorParams{Uniform(r, -100, 100) * 1.0L, w, h}); }},
        {op::EdgeGenerator, P::NewForGenerator, TPartial::Unchecked,
         [](T& t, R& r, int w, int h) { FillThread(t, TEdgeGeneratorParams{Uniform(r, -100, 100) * 1.0L, w, h}); }},
        {op::FFT, P::NewEmpty24, TPartial::Unchecked, [](T& t, R&, int, int) { FillThread(t, TFFTParams{}); }},
        {op::RevFFT, P::NewEmpty24, TPartial::Unchecked, [](T& t, R&, int, int) { FillThread(t, TRevFFTParams{}); }},
        {op::FFTGauss, P::NewEmpty24, TPartial::Unchecked,
         [](T& t, R& r, int, int) { FillThread(t, TFFTGaussParams{Uniform(r, 1, 300) / 10.0L}); }},
    };
    return cases;
}

long EnvironmentNumber(const char* name, long fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::strtol(text, nullptr, 10) : fallback;
}

// One prepared run: the thread, its bitmaps, and the input kept for the
// comparison.
struct TRun {
    std::unique_ptr<TBitmapProcesorThread> thread = std::make_unique<TBitmapProcesorThread>(true);
    TOperationBitmaps bitmaps;
    TAdvancedBitmap input;
};

TRun Prepare(const TStressCase& c, unsigned seed)
{
    std::mt19937 random(seed);
    const int width = Uniform(random, 1, 40);
    const int height = Uniform(random, 1, 40);
    TRun run;
    std::unique_ptr<TAdvancedBitmap> copy;
    if (NeedsWorkingCopy(c.policy)) {
        run.input = test::RandomPicture(width, height, random);
        copy = std::make_unique<TAdvancedBitmap>();
        copy->Assign(run.input);
    }
    run.bitmaps = AttachBitmaps(*run.thread, c.policy, std::move(copy));
    c.fill(*run.thread, random, width, height);
    return run;
}

// Pixel (x, y) of a 24-bit picture, or 0 outside it.
std::uint32_t PixelAt(const TBitmap& b, int x, int y)
{
    if (x >= b.Width() || y >= b.Height())
        return 0;
    const std::uint8_t* p = b.ScanLine(y) + 3 * x;
    return p[0] | p[1] << 8 | p[2] << 16;
}

}  // namespace

TEST(CancelStress, EveryOperationSurvivesCancelAndDestructionAtAnyMoment)
{
    // A code added to the table without a case here fails.
    std::set<int> covered;
    for (const TStressCase& c : Cases())
        covered.insert(c.code);
    for (int code = -128; code < 128; ++code)
        EXPECT_EQ(FindOperation(std::int8_t(code)) != nullptr, covered.count(code) == 1) << "code " << code;

    const long iterations = EnvironmentNumber("KADRIMEX_STRESS_ITERATIONS", 60);
    const unsigned firstSeed = unsigned(EnvironmentNumber("KADRIMEX_STRESS_SEED", 1));
    std::mt19937 chooser(firstSeed);
    int cancelledPartials = 0;
    for (long i = 0; i < iterations; ++i) {
        const unsigned seed = firstSeed + unsigned(i);
        const TStressCase& c = Cases()[std::size_t(i) % Cases().size()];
        const auto moment = TMoment(Uniform(chooser, 0, 3));
        SCOPED_TRACE(testing::Message() << "code " << int(c.code) << " seed " << seed << " moment " << int(moment));

        TRun run = Prepare(c, seed);
        std::atomic<int> completions{0};
        run.thread->OnTerminate = [&](TBitmapProcesorThread*) { ++completions; };
        if (moment == TMoment::BeforeResume)
            run.thread->Terminate();
        run.thread->Resume();
        if (moment == TMoment::AfterDelay || moment == TMoment::DestroyRunning) {
            std::this_thread::sleep_for(std::chrono::microseconds(Uniform(chooser, 0, 3000)));
            if (moment == TMoment::DestroyRunning) {
                run.thread.reset();
                EXPECT_EQ(completions.load(), 1);
                continue;  // the bitmaps outlive the thread and go with the run
            }
            run.thread->Terminate();
        } else if (moment == TMoment::AtProgress) {
            const double share = Uniform(chooser, 0, 100) / 100.0;
            while (!run.thread->Finished() &&
                   (run.thread->ProgressMax() == 0 || run.thread->Progress() < share * run.thread->ProgressMax()))
                std::this_thread::yield();
            run.thread->Terminate();
        }
        run.thread->WaitFor();
        EXPECT_EQ(completions.load(), 1);
        EXPECT_EQ(run.thread->FErrorMessage, "");
        EXPECT_LE(run.thread->Progress(), run.thread->ProgressMax());
        TAdvancedBitmap* result = run.bitmaps.destination.get();
        if (!result)
            continue;

        // The same operation uncancelled gives the finished values.
        TRun full = Prepare(c, seed);
        full.thread->Execute();
        ASSERT_EQ(full.thread->FErrorMessage, "");
        const TBitmap& finished = *full.bitmaps.destination;
        if (c.partial == TPartial::Unchecked || result->PixelFormat() != TPixelFormat::pf24bit) {
            EXPECT_LE(result->Width(), std::max(finished.Width(), run.input.Width()));
            continue;
        }
        // The untouched state: the working copy for in-place operations, a
        // zeroed picture of the routine's size otherwise (or still empty).
        const bool inPlace = c.policy == TDestinationPolicy::WorkingCopyInPlace;
        ASSERT_TRUE(result->Empty() || (result->Width() == finished.Width() && result->Height() == finished.Height()));
        bool differs = false;
        for (int y = 0; y < result->Height(); ++y)
            for (int x = 0; x < result->Width(); ++x) {
                const std::uint32_t got = PixelAt(*result, x, y);
                const std::uint32_t untouched = inPlace ? PixelAt(run.input, x, y) : 0;
                ASSERT_TRUE(got == PixelAt(finished, x, y) || got == untouched) << "pixel " << x << ", " << y;
                differs = differs || got != PixelAt(finished, x, y);
            }
        cancelledPartials += differs;
    }
    // The moments must reach half-done results now and then.
    if (iterations >= 60) {
        EXPECT_GT(cancelledPartials, 0);
    }
    RecordProperty("partial_results", cancelledPartials);
}
