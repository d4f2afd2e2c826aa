// The three Fourier operations built on the FFT engine (transforms/Fft.h):
// the spectrum picture, the reverse transform of such a picture, and a
// Gaussian low-pass blur applied to the spectrum.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"

#include <vector>

namespace kadrimex {

// Operation 0x60: a Wp x Hp picture of the real part of the source's
// spectrum divided by Wp * Hp, plus 128, zero frequency at (Wp/2, Hp/2).
void MakeFFT(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source);

// Operation 0x61: reads the source as a spectrum picture made by MakeFFT
// and transforms it back into a picture of the source's size. Samples
// outside the source's area of the padded planes are zero.
void MakeRevFFT(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source);

// Operation 0x62: blurs the source by multiplying its spectrum with a
// Gaussian of filtration level `level` (a larger level passes more
// frequencies). The kernel is real and scaled so that the zero frequency
// passes with gain 1: the blur keeps the mean brightness at every level.
void MakeFFTGauss(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                  long double level);

// Fills mask[y * w + x] with exp(-ax (x - cx)^2) * exp(-ay (y - cy)^2) and
// scales the values to sum 1 (or -1) unless the sum is already within
// 1e-5 of 1 or within 1e-4 of 0. Tests the terminate request once per row;
// rows not reached are left zero.
void FFTGaussMask(TBitmapProcesorThread& thread, long double* mask, int w, int h, long double ay, long double ax,
                  long double cx, long double cy);

// Codes of the Fourier operations.
namespace op {
inline constexpr std::int8_t FFT = 0x60;
inline constexpr std::int8_t RevFFT = 0x61;
inline constexpr std::int8_t FFTGauss = 0x62;
}  // namespace op

// The dialog values of the Fourier commands (the two transforms have none).
// FillThread sets the operation code and the worker's fields.
struct TFFTParams {};
struct TRevFFTParams {};
struct TFFTGaussParams {
    long double level;  // filter level dialog
};

void FillThread(TBitmapProcesorThread& thread, const TFFTParams& params);
void FillThread(TBitmapProcesorThread& thread, const TRevFFTParams& params);
void FillThread(TBitmapProcesorThread& thread, const TFFTGaussParams& params);

}  // namespace kadrimex
