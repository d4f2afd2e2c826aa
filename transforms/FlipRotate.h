// Mirroring (operation code 2) and rotation by any angle (operation code 3).
//
// MakeFlip copies the source into a new W x H destination, mirrored left to
// right (mode 0) or top to bottom (mode 1); any other mode leaves the new
// destination as it is made. Progress and the terminate request before every
// row.
//
// MakeRotate turns the picture about its centre by `angle` radians, positive
// counter-clockwise on screen. Destination pixel centre (x + 0.5, y + 0.5),
// taken relative to the destination's centre as (dx, dy), reads the source at
//   sx = cos(a) dx - sin(a) dy + W / 2 - 0.5
//   sy = sin(a) dx + cos(a) dy + H / 2 - 0.5
// (pixel centres of the source at whole numbers) with Catmull-Rom bicubic
// weights over the 4 x 4 neighbours (CatmullRomWeights of the fractions),
// edge pixels repeated outward. Each channel, in doubles, is the sum over the
// four rows, top first, of wy[i] times the row's sum of wx[j] times the
// pixel, left first; it is rounded half up and clamped to 0..255. Destination pixels whose
// centre falls outside the source rectangle are white. The destination is
// W x H, or with `enlarge` the bounding box of the turned picture,
// ceil(W |cos a| + H |sin a|) x ceil(W |sin a| + H |cos a|). An angle within
// 1e-9 of a multiple of pi/2 is a quarter turn done as an exact pixel
// permutation (an enlarged quarter turn is H x W). Rows spread over all
// cores, progress and the terminate request once per destination row.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"

#include <cstdint>

namespace kadrimex {

namespace op {
inline constexpr std::int8_t Flip = 2;
inline constexpr std::int8_t Rotate = 3;
}  // namespace op

void MakeFlip(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
              std::uint8_t mode);

// The bicubic weights of the taps at -1, 0, 1, 2 for a fraction t in [0, 1):
//   w0 = ((-t / 2 + 1) t - 1/2) t     w1 = (3t / 2 - 5/2) t t + 1
//   w2 = ((-3t / 2 + 2) t + 1/2) t    w3 = (t / 2 - 1/2) t t
void CatmullRomWeights(double t, double* w);

void MakeRotate(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                long double angle, bool enlarge);

// The size MakeRotate gives a W x H picture turned by `angle`. Throws
// EImageError for an angle that is not a finite number.
struct TRotatedSize {
    int width;
    int height;
};
TRotatedSize RotatedSize(int width, int height, long double angle, bool enlarge);

// The flip/rotate dialog's choice: code 2 with FIntParam 1 (top to bottom)
// or 0 (left to right) and FParam2 0, or code 3 with FParam2 the angle and
// FIntParam 1 when the bitmap is enlarged, else 0.
enum class TFlipRotateChoice { FlipVertical, FlipHorizontal, Rotate };

struct TFlipRotateParams {
    TFlipRotateChoice choice = TFlipRotateChoice::FlipHorizontal;
    long double angle = 0;
    bool enlarge = false;
};

void FillThread(TBitmapProcesorThread& thread, const TFlipRotateParams& params);

}  // namespace kadrimex
