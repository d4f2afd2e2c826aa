// Literal versions of the tonal routines, pixel by pixel in 80-bit reals as
// the formulas are written: the references of the fast routines.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"

#include <cmath>

namespace kadrimex::test {

inline void ReferenceHistograms(int mode, THistogram& red, THistogram& green, THistogram& blue, TBitmap bitmap)
{
    red.fill(0);
    green.fill(0);
    blue.fill(0);
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) {
            const std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
            blue[p[0]] += 1;
            green[p[1]] += 1;
            red[p[2]] += 1;
        }
    for (THistogram* h : {&red, &green, &blue}) {
        if (mode == 1) {
            long double sum = 0;
            for (int i = 0; i < 256; ++i)
                sum += (*h)[std::size_t(i)];
            for (int i = 0; i < 256; ++i)
                (*h)[std::size_t(i)] /= sum;
        } else if (mode == 2) {
            for (int i = 1; i < 256; ++i)
                (*h)[std::size_t(i)] = (*h)[std::size_t(i)] + (*h)[std::size_t(i - 1)];
        }
    }
}

// Whether byte k (0 blue, 1 green, 2 red) is selected by `channel`.
inline bool Selected(int channel, int k)
{
    return channel == 0 ? true : channel == 1 ? k == 2 : channel == 2 ? k == 1 : channel == 3 ? k == 0 : false;
}

inline TBitmap ReferenceCurve(TBitmap bitmap, const TToneTable& table, int channel)
{
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            for (int k = 0; k < 3; ++k)
                if (Selected(channel, k)) {
                    std::uint8_t& v = bitmap.ScanLine(y)[3 * x + k];
                    v = table[v];
                }
    return bitmap;
}

inline TBitmap ReferenceEqualize(TBitmap bitmap, int channel)
{
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    THistogram red, green, blue;
    ReferenceHistograms(2, red, green, blue, bitmap);
    for (THistogram* h : {&red, &green, &blue})
        if ((*h)[255] < 0.001L)
            (*h)[255] = 0.001L;
    const THistogram* byByte[3] = {&blue, &green, &red};
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            for (int k = 0; k < 3; ++k)
                if (Selected(channel, k)) {
                    std::uint8_t& v = bitmap.ScanLine(y)[3 * x + k];
                    const THistogram& cum = *byByte[k];
                    v = std::uint8_t(std::trunc(cum[v] / cum[255] * 255));
                }
    return bitmap;
}

inline TToneTable ReferenceRangeTable(int f, int t)
{
    const int lo = f > 0 ? f : 0;
    const int hi = t < 255 ? t : 255;
    const long double scale = 255.0L / (t - f);
    TToneTable table{};
    for (int i = 0; i < 256; ++i)
        table[std::size_t(i)] = i < lo ? 0 : i > hi ? 255 : std::uint8_t(std::trunc((i - lo) * scale));
    return table;
}

}  // namespace kadrimex::test
