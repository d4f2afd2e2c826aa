#include "tonal/Tone.h"

#include "engine/Parallel.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <vector>

namespace kadrimex {
namespace {

// Rows handed to one task of the row loops: small enough to balance, large
// enough that the per-band counts cost nothing.
constexpr int kBandRows = 32;

int BandCount(int height)
{
    return (height + kBandRows - 1) / kBandRows;
}

// The three byte maps of a selector: map k is applied to byte k of every
// pixel (blue, green, red); an unselected byte keeps its value. False for
// a selector that selects nothing.
bool ByteMaps(std::uint8_t channel, const TToneTable& blue, const TToneTable& green, const TToneTable& red,
              std::array<TToneTable, 3>& maps)
{
    if (channel > 3)
        return false;
    for (auto& map : maps)
        for (int v = 0; v < 256; ++v)
            map[std::size_t(v)] = std::uint8_t(v);
    if (channel == 0 || channel == 3)
        maps[0] = blue;
    if (channel == 0 || channel == 2)
        maps[1] = green;
    if (channel == 0 || channel == 1)
        maps[2] = red;
    return true;
}

// Applies `maps` to every pixel of the 24-bit `bitmap` (when `apply`),
// publishing the progress once per finished row. No terminate test: the
// routines that use it run to the end.
void MapRows(TBitmapProcesorThread& thread, TAdvancedBitmap& bitmap, const std::array<TToneTable, 3>& maps,
             bool apply)
{
    const int W = bitmap.Width(), H = bitmap.Height();
    std::atomic<std::int64_t> finishedRows{0};
    ParallelFor(BandCount(H), [&](int band) {
        const int last = std::min(H, (band + 1) * kBandRows);
        for (int y = band * kBandRows; y < last; ++y) {
            if (apply) {
                std::uint8_t* p = bitmap.ScanLine(y);
                for (int x = 0; x < W; ++x, p += 3) {
                    p[0] = maps[0][p[0]];
                    p[1] = maps[1][p[1]];
                    p[2] = maps[2][p[2]];
                }
            }
            thread.PublishProgress((finishedRows.fetch_add(1, std::memory_order_relaxed) + 1) * W);
        }
    });
    thread.FRow = H - 1;
    thread.FColumn = W - 1;
}

}  // namespace

void MakeHistograms(std::uint8_t mode, THistogram& red, THistogram& green, THistogram& blue, TAdvancedBitmap* bitmap)
{
    red.fill(0);
    green.fill(0);
    blue.fill(0);
    if (!bitmap || bitmap->Empty())
        return;
    bitmap->SetPixelFormat(TPixelFormat::pf24bit);
    const int W = bitmap->Width(), H = bitmap->Height();

    // Whole counts per band (at most 2^30 pixels, so 32 bits hold them),
    // summed afterwards: exact, and the 80-bit entries are those counts.
    using TBandCounts = std::array<std::uint32_t, 3 * 256>;
    std::vector<TBandCounts> bands(std::size_t(BandCount(H)));
    ParallelFor(BandCount(H), [&](int band) {
        TBandCounts& counts = bands[std::size_t(band)];
        counts.fill(0);
        const int last = std::min(H, (band + 1) * kBandRows);
        for (int y = band * kBandRows; y < last; ++y) {
            const std::uint8_t* p = bitmap->ScanLine(y);
            for (int x = 0; x < W; ++x, p += 3) {
                ++counts[p[0]];
                ++counts[256 + p[1]];
                ++counts[512 + p[2]];
            }
        }
    });
    THistogram* arrays[3] = {&blue, &green, &red};
    for (int c = 0; c < 3; ++c) {
        THistogram& h = *arrays[c];
        for (int v = 0; v < 256; ++v) {
            std::uint64_t count = 0;
            for (const TBandCounts& counts : bands)
                count += counts[std::size_t(256 * c + v)];
            h[std::size_t(v)] = static_cast<long double>(count);
        }
        if (mode == histogram_mode::Fractions) {
            long double sum = 0;
            for (long double entry : h)
                sum += entry;
            for (long double& entry : h)
                entry = entry / sum;
        } else if (mode == histogram_mode::Cumulative) {
            for (int i = 1; i < 256; ++i)
                h[std::size_t(i)] = h[std::size_t(i)] + h[std::size_t(i - 1)];
        }
    }
}

void ApplyCurve(TBitmapProcesorThread& thread, TAdvancedBitmap* bitmap, const TToneTable* table, std::uint8_t channel)
{
    if (!bitmap || !table)
        return;
    if (!thread.BeginProgress(bitmap->Width(), bitmap->Height()))
        return;
    bitmap->SetPixelFormat(TPixelFormat::pf24bit);
    std::array<TToneTable, 3> maps;
    const bool apply = ByteMaps(channel, *table, *table, *table, maps);
    MapRows(thread, *bitmap, maps, apply);
}

void EqualizeHistogram(TBitmapProcesorThread& thread, TAdvancedBitmap* bitmap, std::uint8_t channel)
{
    if (!bitmap)
        return;
    if (!thread.BeginProgress(bitmap->Width(), bitmap->Height()))
        return;
    bitmap->SetPixelFormat(TPixelFormat::pf24bit);
    THistogram red, green, blue;
    MakeHistograms(histogram_mode::Cumulative, red, green, blue, bitmap);
    // Each channel value maps through its own cumulative histogram; the
    // floor keeps an all-zero histogram from dividing by zero.
    TToneTable tables[3];
    THistogram* cumulative[3] = {&blue, &green, &red};
    for (int c = 0; c < 3; ++c) {
        THistogram& cum = *cumulative[c];
        if (cum[255] < 0.001L)
            cum[255] = 0.001L;
        for (int v = 0; v < 256; ++v)
            tables[c][std::size_t(v)] = std::uint8_t(std::trunc(cum[std::size_t(v)] / cum[255] * 255));
    }
    std::array<TToneTable, 3> maps;
    const bool apply = ByteMaps(channel, tables[0], tables[1], tables[2], maps);
    MapRows(thread, *bitmap, maps, apply);
}

TToneTable RangeTable(std::int32_t from, std::int32_t to)
{
    const std::int32_t lo = from > 0 ? from : 0;
    const std::int32_t hi = to < 255 ? to : 255;
    const long double scale = 255.0L / static_cast<long double>(std::int64_t(to) - from);
    TToneTable table{};
    for (int i = 0; i < 256; ++i) {
        if (i < lo) {
            table[std::size_t(i)] = 0;
        } else if (i > hi) {
            table[std::size_t(i)] = 255;
        } else {
            // Within 0..255 for every pair the checks pass; the clamp only
            // keeps bounds that were never checked from an undefined cast.
            const long double v = std::trunc(static_cast<long double>(i - lo) * scale);
            table[std::size_t(i)] = std::uint8_t(v >= 0 && v <= 255 ? int(v) : v > 255 ? 255 : 0);
        }
    }
    return table;
}

const char* RangeBoundsError(std::optional<std::int32_t> from, std::optional<std::int32_t> to)
{
    if (!from || *from < -32767 || *from > 255)
        return "Może byś tak podał rozsądny próg dolny? Musi być <256 i nie za ujemny...";
    if (!to || *to < 1 || *to > 32767)
        return "Może byś tak podał rozsądny próg górny? Musi być >1 i nie za olbrzymi (<32767).";
    if (*from >= *to)
        return "No i co to ma być? Ty pomyśl trochę i wstukaj próg dolny MNIEJSZY od górnego!";
    return nullptr;
}

void FillThread(TBitmapProcesorThread& thread, const TLevelsParams& params)
{
    thread.FIntParam = params.channel;
    if (params.function == 0) {
        thread.FOperation = op::Levels;
        return;
    }
    thread.FCurve = std::make_unique<TToneTable>(RangeTable(params.from, params.to));
    thread.FOperation = op::Curves;
}

void FillThread(TBitmapProcesorThread& thread, const TCurveParams& params)
{
    thread.FCurve = std::make_unique<TToneTable>(params.table);
    thread.FIntParam = params.channel;
    thread.FOperation = op::Curves;
}

void FillThread(TBitmapProcesorThread& thread, const THistogramParams& params)
{
    thread.FHistogram0 = params.red;
    thread.FHistogram1 = params.green;
    thread.FHistogram2 = params.blue;
    thread.FOperation = op::Histogram;
}

}  // namespace kadrimex
