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
// row and stops at once when it is set; none publishes progress into a
// bitmap. Each also paints into a TMaskCanvas, such as a TFoldedMask.
#pragma once

#include "engine/Bitmap.h"
#include "engine/Parallel.h"
#include "engine/ProcessorThread.h"

#include <cstdint>
#include <functional>
#include <vector>

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

// Calls paintRow(y, row) for every row of the mask on all cores, testing
// the terminate request before each row. Rows are independent, so the bytes
// do not depend on the order.
template <typename PaintRow>
void PaintRows(TBitmapProcesorThread& thread, TBitmap& mask, PaintRow paintRow)
{
    ParallelRows(
        thread, mask.Height(), [&](std::int64_t) { return thread.Progress(); },
        [&](int y, int) { paintRow(y, mask.ScanLine(y)); });
}

// f(x) for x in [0, count): a row-independent factor computed once per
// column, so a cell computes with the very same value.
template <typename Factor>
std::vector<long double> ColumnTable(int count, Factor f)
{
    std::vector<long double> table(std::size_t(count > 0 ? count : 0));
    for (int x = 0; x < count; ++x)
        table[std::size_t(x)] = f(x);
    return table;
}

// cos and sin of an 80-bit argument through the double-precision library
// routines, with a bound on the distance from the 80-bit results: rounding
// the argument to double moves the result by at most the rounding (both
// functions are 1-Lipschitz), and each library result is within 3e-16 of the
// true value. A non-finite argument gives a non-finite error.
struct TBoundedValue {
    long double value;
    long double error;
};
TBoundedValue BoundedCos(long double x);
TBoundedValue BoundedSin(long double x);

// The byte of a value known only to within `error` of v: byteOf must be
// non-decreasing on [v - error, v + error], so equal bytes at both ends are
// the byte of every value between. False when they differ (the caller then
// computes the cell literally) or the error is not small.
template <typename Real, typename ByteOf>
bool DecidedByte(Real v, Real error, ByteOf byteOf, std::uint8_t& byte)
{
    if (!(error < Real(0.25)) || !(v == v))
        return false;
    const std::uint8_t low = byteOf(v - error);
    if (low != byteOf(v + error))
        return false;
    byte = low;
    return true;
}

// Where a painter writes its rows. Prepare(width, height) gives the mask
// its size, before any row; Rows calls paintRow(y, row) for every row y on
// all cores, row holding Width() bytes for the painter to fill (they are
// read only after paintRow returns), testing the terminate request before
// each row.
class TMaskCanvas {
public:
    virtual ~TMaskCanvas() = default;
    virtual void Prepare(int width, int height) = 0;
    virtual int Width() const = 0;
    virtual void Rows(TBitmapProcesorThread& thread,
                      const std::function<void(int y, std::uint8_t* row)>& paintRow) = 0;
};

// A mask as the convolution of a pictureWidth x pictureHeight picture sees
// it, kept without storing the mask. The convolution places the mask's
// first cell at (x - Width() / 2, y - height / 2) and clamps what it reads
// to the picture, so every mask column at or left of `left` reads picture
// column 0 for every x, and every column at or right of left + width - 1
// the last one (likewise for rows): those cells act as one cell holding the
// sum of their weights. The rows are folded so as they are painted, in
// 64-bit integers (exact). Painting a mask with more cells than the
// picture has pixels publishes its progress as the painted share of
// ProgressMax(); a smaller one leaves the progress as it is. Weights are the bytes, or byte - 128 for
// a signed mask. A mask no larger than the picture folds to itself.
class TFoldedMask final : public TMaskCanvas {
public:
    TFoldedMask(int pictureWidth, int pictureHeight, bool isSigned);
    void Prepare(int width, int height) override;
    int Width() const override { return FMaskWidth; }
    void Rows(TBitmapProcesorThread& thread,
              const std::function<void(int y, std::uint8_t* row)>& paintRow) override;

    int MaskWidth() const { return FMaskWidth; }
    int MaskHeight() const { return FMaskHeight; }
    // Folded size; the first column (row) lies at x - (MaskWidth() / 2 - Left()).
    int FoldedWidth() const { return FWidth; }
    int FoldedHeight() const { return FHeight; }
    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    bool IsSigned() const { return FSigned; }
    int PictureWidth() const { return FPictureWidth; }
    int PictureHeight() const { return FPictureHeight; }
    const std::vector<std::int64_t>& Weights() const { return FWeights; }

private:
    int FPictureWidth, FPictureHeight;
    bool FSigned;
    int FMaskWidth = 0, FMaskHeight = 0;
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    std::vector<std::int64_t> FWeights;
};

// 255 * A^-(dx^2/B^2 + dy^2/C^2) around the mask centre; A <= 0 acts as 1e-30.
void PaintGaussMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
                    long double height);
void PaintGaussMaskInto(TBitmapProcesorThread& thread, TMaskCanvas& canvas, long double level, long double width,
                        long double height);

// Separable tent with foot `foot`; bytes capped at 255.
void PaintTriangleMask(TBitmapProcesorThread& thread, TBitmap* mask, long double foot, long double width,
                       long double height);
void PaintTriangleMaskInto(TBitmapProcesorThread& thread, TMaskCanvas& canvas, long double foot, long double width,
                           long double height);

// The tent rotated by `angle` radians on a square canvas of side
// ceil(0.66 * sqrt(width^2 + height^2)). A cell's coordinates along the
// tent come from the rotation formula where its rounding cannot change the
// byte, and from the polar formula otherwise.
void PaintRotatedTriangleMask(TBitmapProcesorThread& thread, TBitmap* mask, long double foot, long double angle,
                              long double width, long double height);
void PaintRotatedTriangleMaskInto(TBitmapProcesorThread& thread, TMaskCanvas& canvas, long double foot,
                                  long double angle, long double width, long double height);

// Signed: the Gauss mask modulated by one cosine period. The logarithm of
// level / GaussBaseLevel needs a positive level; a level of 0 or below is
// painted as 1e-30, the substitute PaintGaussMask uses for its envelope, so
// envelope and modulation agree and the mask is the limit for a level
// falling to 0.
void PaintSharpenMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
                      long double height);
void PaintSharpenMaskInto(TBitmapProcesorThread& thread, TMaskCanvas& canvas, long double level, long double width,
                          long double height);

// Signed: a positive ring and a negative ring (scaled by `level`) anchored
// at the top-left corner.
void PaintEdgeMask(TBitmapProcesorThread& thread, TBitmap* mask, long double level, long double width,
                   long double height);
void PaintEdgeMaskInto(TBitmapProcesorThread& thread, TMaskCanvas& canvas, long double level, long double width,
                       long double height);

// The tent profile over span `span` with foot `foot` at coordinate `t`:
// 1 at span/2, 0 at foot*span and (1 - foot)*span. At a foot of exactly 0.5
// both sides would divide by zero; there the profile is the limit of the
// tent as the foot approaches 0.5 from below (the steepest generator
// setting): 1 exactly at span/2 and 0 everywhere else.
long double TentProfile(long double span, long double foot, long double t);

}  // namespace kadrimex
