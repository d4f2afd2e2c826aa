// The two convolution engines of the built-in filters.
//
// Each output channel value is  v = norm * acc  where acc is the sum of
// weight * source byte over the mask placed with its first cell at
// (y - kh/2, x - kw/2) (integer halves), border pixels repeated outward,
// and norm = 1.001 / (0.001 + sum of weights), all in long double.
//   ConvolveUnsigned: weight = mask byte; stores the low 8 bits of floor(v).
//   ConvolveSigned:   weight = mask byte - 128; stores 255 for v >= 255,
//                     0 for v <= 0, else floor(v).
//
// Weights and pixels are bytes, so acc is an exact integer: it is summed in
// integers (directly for small masks, through exact-rounded FFTs for large
// ones) and norm is applied once per value in long double, which gives the
// same bits as summing the products as long doubles.
//
// Progress: FWidth/FHeight/FProgressMax are set from the source; rows are
// shared among all cores and the finished rows are published as they
// complete; the terminate request is tested before each row (before each
// band of rows on the FFT path), so an early stop leaves whole rows filtered
// and the others as the destination held them. After a full run FRow =
// FHeight and FColumn = FWidth.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"
#include "filters/Masks.h"

namespace kadrimex {

void ConvolveUnsigned(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                      const TBitmap* mask);
void ConvolveSigned(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                    const TBitmap* mask);
// The engine of the mask's kind (signed or not) with a mask folded for the
// source's size as it was painted (TFoldedMask), so that a mask of any size
// costs no more memory than its folded cells.
void Convolve(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
              const TFoldedMask& mask);

namespace convolution_detail {

// Which way of summing the engines take; Auto picks the cheaper exact one.
// Tests force each path to compare it with the plain sums; FftSmallBlocks
// cuts every mask larger than 32 cells a side into blocks.
enum class TSumPath { Auto, Direct, Fft, FftSmallBlocks };
void SetSumPathForTesting(TSumPath path);

// Largest error of the FFT sums of one mask block of real-valued weights on
// a tile of `side` x `side` samples no larger than 255, by the bound proved
// in ConvolutionFft.cpp. Exposed for the tests.
double FftErrorBound(int side, double weightAbsSum, double weightSquareSum);

}  // namespace convolution_detail

}  // namespace kadrimex
