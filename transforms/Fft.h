// The two-dimensional FFT engine shared by the Fourier operations: complex
// planes of 80-bit samples over the power-of-two padded picture, the forward
// transform of a 24-bit bitmap into three planes (blue, green, red) and the
// inverse transform back into a bitmap.
//
// The two-dimensional transforms take the worker thread: they own its
// FTwiddleTable while they run and publish its progress. Their fast paths
// spread rows, columns and channels over all cores but keep every
// butterfly's arithmetic and order, so each result is bit-identical to the
// plain single-threaded algorithm.
#pragma once

#include "engine/ProcessorThread.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace kadrimex {

// One complex value: real part, then imaginary part.
struct ComplexSample {
    long double re;
    long double im;
};

// Padded length of an image side: the smallest power of two that is at
// least `length` and at least 2 (1 -> 2, 3 -> 4, 1025 -> 2048).
int PaddedSize(int length);
// Number of doublings of 1 needed to reach the power of two n.
int Log2Of(int n);

// Wp x Hp samples in row-major order; sample (x, y) has index y * Wp + x.
// Created zeroed. Throws EOutOfResources when the memory cannot be had.
class ComplexPlane {
public:
    ComplexPlane() = default;
    ComplexPlane(int width, int height);

    ComplexSample* Data() const { return FData.get(); }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    std::size_t Size() const { return std::size_t(FWidth) * std::size_t(FHeight); }
    ComplexSample& operator[](std::size_t i) const { return FData.get()[i]; }
    // Frees the samples early (the operations release planes as soon as they
    // are done with them to keep the peak low).
    void Release() { FData.reset(); }

private:
    struct FreeSamples {
        void operator()(ComplexSample* p) const { std::free(p); }
    };
    std::unique_ptr<ComplexSample, FreeSamples> FData;
    int FWidth = 0;
    int FHeight = 0;
};

// Fills entries 0..N-1 of `table` with (cos(2pi k/N), sign * sin(2pi k/N)),
// the angle computed in double precision as k * 6.283185307179586 / N and
// its cosine and sine taken in extended precision. sign is -1 for the
// forward transform, +1 for the inverse.
void FillTwiddleTable(ComplexSample* table, int N, int sign);

// FFT1D of a line of N samples with an explicit table (filled for N).
void TransformLine(ComplexSample* line, int N, const ComplexSample* table);

// Sample k of TransformLine(line, N, table), bit for bit, without changing
// `line`: only the butterflies that sample depends on are computed (about
// 2N operations instead of N log2 N). scratch holds N samples.
ComplexSample LineSample(const ComplexSample* line, int N, int k, const ComplexSample* table, ComplexSample* scratch);

// The byte of v clamped into [0, 255] and rounded up (the integer part,
// plus 1 when a fraction remains). A value that is not above 0, NaN
// included, gives 0.
inline std::uint8_t CeilByte(long double v)
{
    if (!(v > 0))
        return 0;
    if (v >= 255)
        return 255;
    // ceill() on an 80-bit value is slow. The double nearest to v lies within
    // one unit of it, so its truncation needs at most a step of correction.
    int k = int(double(v));
    while (k < v)
        ++k;
    while (k - 1 >= v)
        --k;
    return std::uint8_t(k);
}

// In-place unscaled radix-2 transform of a line of N samples (N a power of
// two, at least 2) with the table currently in the thread's FTwiddleTable.
void FFT1D(TBitmapProcesorThread& thread, ComplexSample* line, int N);
// Forward transform of the source (converted to 24 bits) into three planes
// of its padded size, mirroring the picture into the padding. Progress 0 %
// to 50 %.
void FFT2D(TBitmapProcesorThread& thread, ComplexSample* blue, ComplexSample* green, ComplexSample* red,
           TAdvancedBitmap* source);
// Inverse transform of three planes of the padded size of W x H into a
// 24-bit W x H destination; the planes are overwritten. Progress 50 % to
// 100 %.
void RevFFT2D(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, int W, int H, ComplexSample* blue,
              ComplexSample* green, ComplexSample* red);
// Exchanges diagonal quadrants in place (zero frequency <-> centre).
void SwapQuadrants(ComplexSample* plane, int Wp, int Hp);
// a <- a * b, sample by sample.
void MulSpectrum(ComplexSample* a, const ComplexSample* b, int Wp, int Hp);

// Memory the operating system reports as available for new allocations
// (MemAvailable); falls back to the free physical pages.
std::uint64_t AvailableMemoryBytes();

// Refuses, with EOutOfResources naming the picture and padded sizes, an FFT
// of a width x height picture that needs `planes` complex planes plus
// `extraBytes` when that exceeds nine tenths of `availableBytes`.
void CheckFFTMemory(int width, int height, int planes, std::uint64_t extraBytes, std::uint64_t availableBytes);
// The same against AvailableMemoryBytes().
void CheckFFTMemory(int width, int height, int planes, std::uint64_t extraBytes = 0);

}  // namespace kadrimex
