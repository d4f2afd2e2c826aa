// Double-precision paths of the three Fourier operations (transforms/
// Fourier.h). They compute every output value through FFTW (engine/Fftw.h)
// in double precision, one channel at a time through the same half
// spectrum, together with a proven bound on its distance from the value of
// the 80-bit engine (transforms/Fft.h). A byte whose whole interval
// [value - bound, value + bound] gives one byte is final; the others are
// listed and recomputed bit for bit along the 80-bit path, or, when there
// are too many of them, the operation runs the 80-bit engine throughout.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"
#include "transforms/Fft.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kadrimex::fastfourier {

// One output byte the bound could not decide: channel c of pixel (x, y).
struct Undecided {
    int c, x, y;
};

// What a double-precision pass leaves to do.
struct Outcome {
    bool cancelled = false;        // the terminate request stopped it
    bool tooMany = false;          // more undecided bytes than are worth recomputing
    std::vector<Undecided> bytes;  // the undecided bytes (empty when tooMany)
};

// The real Gauss kernel of the blur: (gx[xs] gy[ys], times scale when
// `scaled`) / peak at mask sample (xs, ys), or, when `narrowest`, 1 at the
// four samples nearest the mask's centre and 0 elsewhere.
struct GaussKernel {
    const std::vector<long double>* gx = nullptr;
    const std::vector<long double>* gy = nullptr;
    bool scaled = false;
    long double scale = 1;
    long double peak = 1;
    bool narrowest = false;

    long double At(int xs, int ys) const;
};

// The Wp x Hp spectrum picture of `source` into `destination` (already
// 24-bit and Wp x Hp). Undecided bytes are left for ExactSpectrumBytes.
Outcome SpectrumPicture(TBitmapProcesorThread& thread, TAdvancedBitmap& destination,
                        const TAdvancedBitmap& source);
// The 80-bit values of the listed spectrum picture bytes.
void ExactSpectrumBytes(TAdvancedBitmap& destination, const TAdvancedBitmap& source,
                        const std::vector<Undecided>& bytes);

// The reverse transform of the spectrum picture `source` into
// `destination` (24-bit, the source's size).
Outcome ReverseSpectrum(TBitmapProcesorThread& thread, TAdvancedBitmap& destination,
                        const TAdvancedBitmap& source);
// The Gauss blur of `source` through its spectrum into `destination`
// (24-bit, the source's size).
Outcome GaussBlur(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source,
                  const GaussKernel& kernel);
// Writes columns kx0 .. kx0 + count - 1 of the 80-bit plane of each channel
// c whose columns[c] is not null (natural order, as RevFFT2D takes it), Hp
// samples each, one column after the other.
using PlaneColumns = std::function<void(int kx0, int count, ComplexSample* const columns[3])>;
// Columns handed to PlaneColumns at a time.
constexpr int kColumns = 16;
// The 80-bit values of the listed bytes of the inverse transform of the
// blue, green and red planes. Only the channels with listed bytes are
// read, one column at a time, so the planes need not exist as a whole.
void ExactInverseBytes(TAdvancedBitmap& destination, const PlaneColumns& columns, int Wp, int Hp,
                       const std::vector<Undecided>& bytes);

// The 80-bit plane samples of the reverse transform: spectrum picture pixel
// (x, y) as (b - 128) N (1, q), N = Wp Hp, q the phase factor of (x, y).
class ReverseSamples {
public:
    explicit ReverseSamples(const TAdvancedBitmap& source);
    // Writes out[c][at] for the channels c whose out[c] is not null.
    void At(int x, int y, ComplexSample* const out[3], std::size_t at) const;

private:
    const TAdvancedBitmap& FSource;
    std::vector<ComplexSample> FRowTable, FColumnTable;
    long double FCount;
};
// The 80-bit values of the listed bytes of the reverse transform of the
// spectrum picture `source`, without its planes.
void ExactReverseBytes(TAdvancedBitmap& destination, const TAdvancedBitmap& source,
                       const std::vector<Undecided>& bytes);

// Bounds on the distance between the double-precision and the 80-bit value
// of every output byte, in byte units, proved in FourierBounds.cpp. z1 and z2 are the 1- and 2-norms of
// the padded picture channel (forward transforms); s1 and s2 those of the
// spectrum bytes minus 128 (reverse); k1, k2 and kmax the 1-norm, 2-norm
// and largest value of the kernel over the whole plane.
double SpectrumBound(int Wp, int Hp, double z1, double z2);
double ReverseBound(int Wp, int Hp, double s1, double s2);
double GaussBound(int Wp, int Hp, double z1, double z2, double k1, double k2, double kmax);

// The byte of a value (0 when not above 0, 255 from 255 on, else the
// ceiling), or -1 when the values within `bound` of v do not all give the
// same byte.
int DecidedByte(double v, double bound);
// Slack for the rounding of the conversion of value v to a byte, added to
// the bound.
double ConversionSlack(double v);

}  // namespace kadrimex::fastfourier
