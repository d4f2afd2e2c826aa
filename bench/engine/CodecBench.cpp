// Codec speed on the 12 MP photograph: JPEG decode and encode, and the
// 36 MB 24-bit BMP it makes, all in memory (no disk in the timing).
#include "engine/Codecs.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>

using namespace kadrimex;

namespace {

const std::vector<std::uint8_t>& PhotoJpeg()
{
    static const std::vector<std::uint8_t> bytes = [] {
        std::ifstream in(std::string(KADRIMEX_SHARED_DIR) + "/testdata/rocket-4000x3000.jpg", std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    return bytes;
}

const TBitmap& PhotoBitmap()
{
    static const TBitmap bitmap = DecodeJpeg(PhotoJpeg().data(), PhotoJpeg().size());
    return bitmap;
}

bool HavePhoto(benchmark::State& state)
{
    if (PhotoJpeg().empty()) {
        state.SkipWithError("rocket-4000x3000.jpg not found in the shared test data");
        return false;
    }
    return true;
}

void BM_JpegDecode12MP(benchmark::State& state)
{
    if (!HavePhoto(state))
        return;
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeJpeg(PhotoJpeg().data(), PhotoJpeg().size()));
}

void BM_JpegEncode12MP(benchmark::State& state)
{
    if (!HavePhoto(state))
        return;
    for (auto _ : state)
        benchmark::DoNotOptimize(EncodeJpeg(PhotoBitmap()));
}

void BM_BmpEncode36MB(benchmark::State& state)
{
    if (!HavePhoto(state))
        return;
    for (auto _ : state)
        benchmark::DoNotOptimize(EncodeBmp(PhotoBitmap()));
}

void BM_BmpDecode36MB(benchmark::State& state)
{
    if (!HavePhoto(state))
        return;
    const auto file = EncodeBmp(PhotoBitmap());
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeBmp(file.data(), file.size()));
}

}  // namespace

BENCHMARK(BM_JpegDecode12MP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegEncode12MP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpEncode36MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpDecode36MB)->Unit(benchmark::kMillisecond);
