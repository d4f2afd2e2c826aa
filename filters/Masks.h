// Filter masks: 8-bit pictures whose bytes are convolution weights.
//
// An unsigned mask (grey palette) weighs each cell by its byte; a signed
// mask (signed palette) by byte - 128. The painters only write bytes: the
// caller gives the mask its pixel format and palette, the painter sets the
// size (the ceiling of the real width and height) and fills every cell,
// computing in long double exactly as the formulas are written, because the
// stored bytes must match bit for bit.
//
// Every painter tests the thread's terminate request at the start of each
// row and returns at once when it is set; none publishes progress.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"

#include <cstdint>

namespace kadrimex {

// Gauss level of the blur and resize masks and the reference level of the
// sharpen mask.
inline constexpr long double GaussBaseLevel = 500.0L;

inline constexpr long double kPi = 3.141592653589793238462643383279502884L;
// Pi rounded to double precision, the value the edge mask works with.
inline constexpr long double kEdgePi = 3.141592653589793238462643383279502884;

// Number of columns (rows) of a mask of real width (height) `size`: its
// ceiling, 0 for a size of 0 or below. Throws EOutOfResources for a size
// larger than any bitmap and EImageError for a size that is not a number.
int MaskSide(long double size);

// Floor of `value` as a 32-bit integer after the wrap rule: a value above
// 2147483647 is first replaced by its remainder modulo 256. A value that is
// not a number (a tent with a foot of 0.5 can produce one) gives 0.
std::int32_t WrappedFloor(long double value);

// Gives the mask its size; an 8-bit mask is what every painter writes, so a
// bitmap of another format is converted first (a narrower row could not
// hold one byte a cell).
void PrepareMask(TBitmap& mask, int width, int height);

// Calls paintRow(y, row) for every row of the mask, testing the terminate
// request before each.
template <typename PaintRow>
void PaintRows(TBitmapProcesorThread& thread, TBitmap& mask, PaintRow paintRow)
{
    for (int y = 0; y < mask.Height(); ++y) {
        if (thread.Terminated())
            return;
        paintRow(y, mask.ScanLine(y));
    }
}

// 255 * A^-(dx^2/B^2 + dy^2/C^2) around the mask centre; A <= 0 acts as 1e-30.
void PaintGaussMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
                    long double height);

// Separable tent with foot `foot`; bytes capped at 255.
void PaintTriangleMask(TBitmapProcesorThread& thread, TBitmap* mask, long double foot, long double width,
                       long double height);

// The tent rotated by `angle` radians on a square canvas of side
// ceil(0.66 * sqrt(width^2 + height^2)). Uses the thread's FRow and FColumn
// as its loop counters.
void PaintRotatedTriangleMask(TBitmapProcesorThread& thread, TBitmap* mask, long double foot, long double angle,
                              long double width, long double height);

// Signed: the Gauss mask modulated by one cosine period. The logarithm of
// level / GaussBaseLevel needs a positive level; a level of 0 or below is
// painted as 1e-30, the substitute PaintGaussMask uses for its envelope, so
// envelope and modulation agree and the mask is the limit for a level
// falling to 0.
void PaintSharpenMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
                      long double height);

// Signed: a positive ring and a negative ring (scaled by `level`) anchored
// at the top-left corner.
void PaintEdgeMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
                   long double height);

// The tent profile over span `span` with foot `foot` at coordinate `t`:
// 1 at span/2, 0 at foot*span and (1 - foot)*span. At a foot of exactly 0.5
// both sides would divide by zero; there the profile is the limit of the
// tent as the foot approaches 0.5 from below (the steepest generator
// setting): 1 exactly at span/2 and 0 everywhere else.
long double TentProfile(long double span, long double foot, long double t);

}  // namespace kadrimex
