// Pixel-format conversion of a 4000 x 3000 photo-like picture. Targets:
// 24 -> 8 bits well under 2 s; 8 -> 24 and 16 <-> 24 bits in tens of ms.
#include "engine/Bitmap.h"
#include "engine/Codecs.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

using namespace kadrimex;

namespace {

// A 4000 x 3000 24-bit picture; pixel(rng, x, y, bgr) writes each pixel.
template <typename Pixel>
TBitmap MakePicture(std::uint32_t seed, Pixel pixel)
{
    TBitmap b;
    b.Reset(4000, 3000, TPixelFormat::pf24bit);
    std::mt19937 rng(seed);
    for (int y = 0; y < b.Height(); ++y) {
        std::uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < b.Width(); ++x)
            pixel(rng, x, y, row + 3 * x);
    }
    return b;
}

// Smooth gradients with mild noise: millions of distinct colours, like a
// camera photo, so the reduction takes its fitted-palette path.
const TBitmap& Photo()
{
    static const TBitmap photo = MakePicture(1, [](std::mt19937& rng, int x, int y, std::uint8_t* bgr) {
        const double u = x / 4000.0, v = y / 3000.0;
        const int n = int(rng() % 9) - 4;
        bgr[0] = std::uint8_t(std::clamp(int(255 * v * (1 - 0.5 * u)) + n, 0, 255));
        bgr[1] = std::uint8_t(std::clamp(int(127.5 + 127.5 * std::sin(5 * u + 3 * v)) + n, 0, 255));
        bgr[2] = std::uint8_t(std::clamp(int(255 * u * (0.6 + 0.4 * std::sin(7 * v))) + n, 0, 255));
    });
    return photo;
}

const TBitmap& PhotoIn(TPixelFormat format)
{
    static TBitmap eight, sixteen;
    TBitmap& cached = format == TPixelFormat::pf8bit ? eight : sixteen;
    if (cached.Empty()) {
        cached = Photo();
        cached.SetPixelFormat(format);
    }
    return cached;
}

// Every pixel a random colour: the worst case for the nearest-entry search.
const TBitmap& Noise()
{
    static const TBitmap noise = MakePicture(2, [](std::mt19937& rng, int, int, std::uint8_t* bgr) {
        for (int c = 0; c < 3; ++c)
            bgr[c] = std::uint8_t(rng());
    });
    return noise;
}

// The 12-megapixel test photograph, when the shared test data is there.
const TBitmap& Rocket()
{
    static const TBitmap rocket = [] {
        try {
            const auto bytes = ReadFileBytes(std::string(KADRIMEX_SHARED_DIR) + "/testdata/rocket-4000x3000.jpg");
            TBitmap b = DecodeJpeg(bytes.data(), bytes.size());
            b.SetPixelFormat(TPixelFormat::pf24bit);
            return b;
        } catch (const EImageError&) {
            return TBitmap();
        }
    }();
    return rocket;
}

void Convert(benchmark::State& state, const TBitmap& source, TPixelFormat to)
{
    for (auto _ : state) {
        state.PauseTiming();
        TBitmap b = source;
        state.ResumeTiming();
        b.SetPixelFormat(to);
        benchmark::DoNotOptimize(b.ScanLine(0));
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(source.Width()) * source.Height());
}

void BM_24To8(benchmark::State& state) { Convert(state, Photo(), TPixelFormat::pf8bit); }
void BM_24To8Noise(benchmark::State& state) { Convert(state, Noise(), TPixelFormat::pf8bit); }
void BM_24To8Rocket(benchmark::State& state)
{
    if (Rocket().Empty()) {
        state.SkipWithError("testdata/rocket-4000x3000.jpg is not available");
        return;
    }
    Convert(state, Rocket(), TPixelFormat::pf8bit);
}
void BM_24To4(benchmark::State& state) { Convert(state, Photo(), TPixelFormat::pf4bit); }
void BM_8To24(benchmark::State& state) { Convert(state, PhotoIn(TPixelFormat::pf8bit), TPixelFormat::pf24bit); }
void BM_24To16(benchmark::State& state) { Convert(state, Photo(), TPixelFormat::pf16bit); }
void BM_16To24(benchmark::State& state) { Convert(state, PhotoIn(TPixelFormat::pf16bit), TPixelFormat::pf24bit); }

void BM_Monochrome(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        TBitmap b = Photo();
        state.ResumeTiming();
        b.SetMonochrome(true);
        benchmark::DoNotOptimize(b.ScanLine(0));
    }
}

}  // namespace

BENCHMARK(BM_24To8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_24To8Noise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_24To8Rocket)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_24To4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_8To24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_24To16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_16To24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Monochrome)->Unit(benchmark::kMillisecond);
