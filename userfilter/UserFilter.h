// The user filter (operation 0x24): a square matrix of real coefficients,
// 1 x 1 to 7 x 7, convolved with each channel of a 24-bit picture in 80-bit
// arithmetic.
//
// Per channel: s = sum over i (rows), then j (columns) of m[i*N+j] * p, with
// p the byte of the source pixel (row r0+i, column c0+j) and edges repeated;
// v = (ScaleBias / divider) * s + offset; |v| when the absolute flag is set;
// v >= 255 gives 255, v <= 0 or not a number gives 0; the byte is Floor(v).
//
// A divider of 0 is accepted: the factor becomes an infinity of the
// divider's sign and the clamp rule decides, so a positive sum gives 255, a
// negative one 0 (255 with the absolute flag) and a zero sum (infinity times
// zero is not a number) 0.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"

#include <cstdint>
#include <memory>

namespace kadrimex {

namespace op {
inline constexpr std::int8_t UserFilter = 0x24;
}  // namespace op

// Lifts each result slightly so that a uniform area under a matrix whose
// coefficients sum to the divider keeps its value instead of flooring to
// one less.
inline constexpr long double ScaleBias = 1.00001L;

// Largest matrix side the user filter accepts.
inline constexpr int kMaxUserMatrixSize = 7;

// The one allocator of coefficient arrays handed to UserFilter: size*size
// zeroed 80-bit reals from new[]. UserFilter releases the array with
// delete[]; anyone else holding one releases it with ReleaseCoefficients.
// Throws EImageError for a size outside 0 to 7.
long double* AllocateCoefficients(int size);
void ReleaseCoefficients(long double* matrix) noexcept;

// Operation 0x24. Takes ownership of `matrix` (size*size coefficients,
// row-major from the top left, from AllocateCoefficients) and releases it
// on every path: normal end, cancellation, missing or empty bitmaps, and
// errors. Does nothing else when a bitmap is missing or the source is
// empty. Throws EImageError for a size outside 1 to 7 or a null matrix.
void UserFilter(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                long double* matrix, int size, long double scale, long double offset, std::uint8_t absolute);

// The convolution itself; does not take ownership of `matrix`. (cx, cy) is
// the matrix element that lies over the output pixel: the first row and
// column used are Floor(y - cy + 0.5) and Floor(x - cx + 0.5). Splits rows
// over all cores; tests the terminate request before every block of
// pixels it writes (a row, or at most 512 channel values of a row) and
// publishes progress after every row.
void ConvolveMatrix(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                    const long double* matrix, int size, long double cx, long double cy, long double divider,
                    long double offset, std::uint8_t absolute);

// The user filter dialog's values. FillThread hands the coefficients over
// to the worker (FMatrix), which passes them on to UserFilter.
struct TUserFilterParams {
    std::unique_ptr<long double[]> coefficients;  // size * size, from AllocateCoefficients
    int size = 0;
    long double divider = 1;
    long double offset = 0;
    bool absolute = false;
};

void FillThread(TBitmapProcesorThread& thread, TUserFilterParams params);

}  // namespace kadrimex
