// Histograms and tone tables: the histogram (operation code 4), a tone table
// applied to the picture (code 5) and histogram equalisation (code 6), with
// the tables the levels and curves commands build.
//
// Channel selector (the low byte of FIntParam): 0 all three channels, 1 red
// (byte 2 of a pixel), 2 green (byte 1), 3 blue (byte 0); any other value
// leaves the pixels unchanged.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace kadrimex {

// Operation codes of the tonal family.
namespace op {
inline constexpr std::int8_t Histogram = 4;
inline constexpr std::int8_t Curves = 5;
inline constexpr std::int8_t Levels = 6;
}  // namespace op

// Histogram modes of MakeHistograms.
namespace histogram_mode {
inline constexpr std::uint8_t Counts = 0;
inline constexpr std::uint8_t Fractions = 1;
inline constexpr std::uint8_t Cumulative = 2;
}  // namespace histogram_mode

// Fills the three arrays from `bitmap` (converted to 24 bits first): plain
// counts, or with mode 1 each count divided by the pixel count, or with
// mode 2 the running sums (entry 255 is the pixel count). Publishes no
// progress and does not test the terminate request. The fractions of an
// empty picture stay 0.
void MakeHistograms(std::uint8_t mode, THistogram& red, THistogram& green, THistogram& blue, TAdvancedBitmap* bitmap);

// Replaces each selected channel value v by table[v], in place.
void ApplyCurve(TBitmapProcesorThread& thread, TAdvancedBitmap* bitmap, const TToneTable* table,
                std::uint8_t channel);

// Each selected channel value v becomes trunc(cum[v] / cum[255] * 255) with
// the cumulative histogram of its own channel (cum[255] at least 0.001), in
// place.
void EqualizeHistogram(TBitmapProcesorThread& thread, TAdvancedBitmap* bitmap, std::uint8_t channel);

// The table of "Enhance color range" for the bounds f and t: 0 below
// lo = max(f, 0), 255 above hi = min(t, 255), trunc((i - lo) * 255 / (t - f))
// between, the scale in 80 bits from the bounds as given. Needs f < t.
TToneTable RangeTable(std::int32_t from, std::int32_t to);

// The levels dialog's check of the bounds, in its order: the message of the
// first that fails (UTF-8), or null when they are sound. A bound that was
// not an integer (nullopt) fails its own check.
const char* RangeBoundsError(std::optional<std::int32_t> from, std::optional<std::int32_t> to);

// The value of a bound typed as text: 1024 for text that is not an integer.
inline constexpr std::int32_t kBoundNotANumber = 1024;

// The levels dialog's values. Function 0 equalises (code 6); any other
// stretches the range from..to with RangeTable (code 5).
struct TLevelsParams {
    int function = 0;
    std::int32_t from = 55;
    std::int32_t to = 200;
    int channel = 0;
};

// The curves dialog's values: the sampled curve and the channel choice.
struct TCurveParams {
    TToneTable table{};
    int channel = 0;
};

// The histogram thread of the curves dialog: mode 1 into the three arrays,
// which the launcher keeps too.
struct THistogramParams {
    std::shared_ptr<THistogram> red;
    std::shared_ptr<THistogram> green;
    std::shared_ptr<THistogram> blue;
};

void FillThread(TBitmapProcesorThread& thread, const TLevelsParams& params);
void FillThread(TBitmapProcesorThread& thread, const TCurveParams& params);
void FillThread(TBitmapProcesorThread& thread, const THistogramParams& params);

}  // namespace kadrimex
