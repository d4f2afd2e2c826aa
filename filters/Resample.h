// Resizing (operation code 1): the destination, already sized by the
// launcher, is filled from the source by one of three interpolations,
// FResampleMode:
//   0  nearest neighbour: the source pixel under the destination pixel's
//      centre, ((x + 0.5) sw / W, (y + 0.5) sh / H)
//   1  a separable tent (triangle) filter around that centre whose half-width
//      is one source pixel when enlarging (bilinear) and one destination
//      pixel when shrinking (an area-weighted tent, so a reduction does not
//      alias); weights normalised, the result rounded to nearest
//   2  the Gaussian resampling of ResampleWithMask
// Both bitmaps become 24 bits per pixel; progress and the terminate request
// once per destination row, rows spread over all cores.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"

#include <cstdint>

namespace kadrimex {

namespace op {
inline constexpr std::int8_t Resize = 1;
}  // namespace op

void Resize(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
            std::uint8_t mode);

// The Gaussian resampling with an 8-bit `mask`: for destination pixel
// (x, y) the mask is centred on (sw x / max(W - 1, 1), sh y / max(H - 1, 1))
// and steps through neighbouring source pixels when shrinking, by sw / W of
// a pixel when enlarging; each channel is the low byte of
// floor(1.001 / (0.001 + sum of mask bytes) * sum of byte products).
void ResampleWithMask(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                      const TBitmap& mask);

// The resize dialog's values: the new size and the interpolation index
// (1 and 2 pass as they are, anything else gives 0). FillThread sizes the
// destination, so it runs after the bitmaps are attached.
struct TResizeParams {
    int width;
    int height;
    int mode;
};

void FillThread(TBitmapProcesorThread& thread, const TResizeParams& params);

}  // namespace kadrimex
