#include "transforms/Fourier.h"

#include "engine/Parallel.h"
#include "transforms/FastFourier.h"
#include "transforms/Fft.h"

#include <cmath>
#include <string>

namespace kadrimex {
namespace {

// The separable Gaussian of FFTGaussMask. Sample (x, y) is gx[x] * gy[y],
// multiplied by `scale` when the sum had to be normalised; computing the
// factors once per column and per row gives the same values as evaluating
// both exponentials at every sample.
struct GaussFactors {
    std::vector<long double> gx;
    std::vector<long double> gy;
    bool scaled = false;
    long double scale = 1;

    long double Value(int x, int y) const
    {
        const long double v = gx[std::size_t(x)] * gy[std::size_t(y)];
        return scaled ? v * scale : v;
    }
};

GaussFactors MakeGaussFactors(TBitmapProcesorThread& thread, int w, int h, long double ay, long double ax,
                              long double cx, long double cy)
{
    GaussFactors f;
    f.gx.resize(std::size_t(w));
    f.gy.assign(std::size_t(h), 0.0L);
    for (int x = 0; x < w; ++x) {
        const long double dx = x - cx;
        f.gx[std::size_t(x)] = expl(-ax * (dx * dx));
    }
    for (int y = 0; y < h; ++y) {
        if (thread.Terminated())
            return f;  // the rows not reached stay zero, nothing is normalised
        const long double dy = y - cy;
        f.gy[std::size_t(y)] = expl(-ay * (dy * dy));
    }
    // The sum runs in row-major order, as over the filled mask.
    long double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            sum += f.gx[std::size_t(x)] * f.gy[std::size_t(y)];
    const bool offOne = sum < 0.99999L || sum > 1.00001L;
    const bool offZero = sum < -0.0001L || sum > 0.0001L;
    if (offOne && offZero) {
        f.scaled = true;
        f.scale = sum > 0 ? 1 / sum : -1 / sum;
    }
    return f;
}

void CheckPaddedSides(int width, int height)
{
    const int wp = PaddedSize(width);
    const int hp = PaddedSize(height);
    if (wp > kMaxBitmapSide || hp > kMaxBitmapSide) {
        throw EOutOfResources("The FFT of a " + std::to_string(width) + " x " + std::to_string(height) +
                              " picture would be " + std::to_string(wp) + " x " + std::to_string(hp) +
                              " pixels, larger than a picture may be");
    }
}

bool Usable(const TAdvancedBitmap* destination, const TAdvancedBitmap* source)
{
    return destination && source && !source->Empty();
}

// The sizes and the three colour planes of one operation on `source`.
struct ColourPlanes {
    int W = 0, H = 0, Wp = 0, Hp = 0;
    ComplexPlane blue, green, red;

    ComplexSample* Blue() const { return blue.Data(); }
    ComplexSample* Green() const { return green.Data(); }
    ComplexSample* Red() const { return red.Data(); }
};

// Checks the memory for the planes and the 24-bit result (the padded size
// when `paddedResult`, else the source's size) before anything is
// allocated, then makes both pictures 24-bit. The double-precision paths
// need less than the 80-bit planes, so the check covers both.
void CheckAndConvert(TAdvancedBitmap& destination, TAdvancedBitmap& source, bool paddedResult)
{
    const int W = source.Width(), H = source.Height();
    if (paddedResult) {
        CheckPaddedSides(W, H);
        CheckFFTMemory(W, H, 3, RowStride(PaddedSize(W), 24) * std::uint64_t(PaddedSize(H)));
    } else {
        CheckFFTMemory(W, H, 3, RowStride(W, 24) * std::uint64_t(H));
    }
    source.SetPixelFormat(TPixelFormat::pf24bit);
    destination.SetPixelFormat(TPixelFormat::pf24bit);
}

// Allocates the three 80-bit planes of the source's padded size.
ColourPlanes AllocatePlanes(const TAdvancedBitmap& source)
{
    ColourPlanes p;
    p.W = source.Width();
    p.H = source.Height();
    p.Wp = PaddedSize(p.W);
    p.Hp = PaddedSize(p.H);
    p.blue = ComplexPlane(p.Wp, p.Hp);
    p.green = ComplexPlane(p.Wp, p.Hp);
    p.red = ComplexPlane(p.Wp, p.Hp);
    return p;
}

// After a double-precision inverse pass: nothing left, the listed bytes
// recomputed from the 80-bit planes, or the 80-bit inverse throughout.
void FinishInverse(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const ColourPlanes& p,
                   const fastfourier::Outcome& outcome)
{
    const ComplexSample* const planes[3] = {p.Blue(), p.Green(), p.Red()};
    if (outcome.tooMany) {
        RevFFT2D(thread, &destination, p.W, p.H, p.Blue(), p.Green(), p.Red());
        return;
    }
    const auto columns = [&](int kx0, int count, ComplexSample* const samples[3]) {
        for (int c = 0; c < 3; ++c)
            for (int ky = 0; samples[c] && ky < p.Hp; ++ky)
                for (int j = 0; j < count; ++j)
                    samples[c][std::size_t(j) * std::size_t(p.Hp) + std::size_t(ky)] =
                        planes[c][std::size_t(ky) * std::size_t(p.Wp) + std::size_t(kx0 + j)];
    };
    fastfourier::ExactInverseBytes(destination, columns, p.Wp, p.Hp, outcome.bytes);
}

}  // namespace

void FFTGaussMask(TBitmapProcesorThread& thread, long double* mask, int w, int h, long double ay, long double ax,
                  long double cx, long double cy)
{
    const GaussFactors f = MakeGaussFactors(thread, w, h, ay, ax, cx, cy);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            mask[std::size_t(y) * std::size_t(w) + std::size_t(x)] = f.Value(x, y);
}

void MakeFFT(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source)
{
    if (!Usable(destination, source))
        return;
    CheckAndConvert(*destination, *source, true);
    destination->SetSize(PaddedSize(source->Width()), PaddedSize(source->Height()));
    {
        const fastfourier::Outcome fast = fastfourier::SpectrumPicture(thread, *destination, *source);
        if (fast.cancelled)
            return;
        if (!fast.tooMany) {
            fastfourier::ExactSpectrumBytes(*destination, *source, fast.bytes);
            return;
        }
    }
    const ColourPlanes p = AllocatePlanes(*source);
    const int Wp = p.Wp, Hp = p.Hp;

    FFT2D(thread, p.Blue(), p.Green(), p.Red(), source);

    // Quadrant swap and byte conversion in one pass: pixel (x, y) shows the
    // sample that SwapQuadrants would bring there.
    const ComplexSample* const planes[3] = {p.Blue(), p.Green(), p.Red()};
    // Wp * Hp is a power of two: multiplying by its exact inverse gives the
    // same value as dividing by it.
    const long double scale = 1 / ((long double)Wp * (long double)Hp);
    TAdvancedBitmap& pixels = *destination;
    ParallelFor(Hp, [&](int y) {
        std::uint8_t* row = pixels.ScanLine(y);
        const std::size_t from = std::size_t((y + Hp / 2) % Hp) * std::size_t(Wp);
        for (int x = 0; x < Wp; ++x) {
            const std::size_t i = from + std::size_t((x + Wp / 2) % Wp);
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = CeilByte(planes[c][i].re * scale + 128);
        }
    });
}

void MakeRevFFT(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source)
{
    if (!Usable(destination, source))
        return;
    CheckAndConvert(*destination, *source, false);
    const fastfourier::Outcome fast = fastfourier::ReverseSpectrum(thread, *destination, *source);
    if (fast.cancelled || (!fast.tooMany && fast.bytes.empty()))
        return;
    if (!fast.tooMany) {
        fastfourier::ExactReverseBytes(*destination, *source, fast.bytes);
        return;
    }
    // Too many: the 80-bit engine throughout, from the whole planes.
    const fastfourier::ReverseSamples samples(*source);
    const int W = source->Width(), H = source->Height(), Wp = PaddedSize(W), Hp = PaddedSize(H);
    const ColourPlanes p = AllocatePlanes(*source);
    ComplexSample* const planes[3] = {p.Blue(), p.Green(), p.Red()};
    ParallelFor(H, [&](int y) {
        const std::size_t to = std::size_t((y + Hp / 2) % Hp) * std::size_t(Wp);
        for (int x = 0; x < W; ++x)
            samples.At(x, y, planes, to + std::size_t((x + Wp / 2) % Wp));
    });
    FinishInverse(thread, *destination, p, fast);
}

void MakeFFTGauss(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                  long double level)
{
    if (!Usable(destination, source))
        return;
    CheckAndConvert(*destination, *source, false);
    const int Wp = PaddedSize(source->Width()), Hp = PaddedSize(source->Height());

    const long double a = logl(500.0L) / ((level + 1) * (level + 1));
    const GaussFactors mask =
        MakeGaussFactors(thread, Wp, Hp, a, a, (long double)(Wp - 1) / 2, (long double)(Hp - 1) / 2);
    // The kernel is real: mask / M, where M is the mask sample that the
    // quadrant swap brings to index 0, so the zero frequency passes with
    // gain exactly 1 whatever the level. Kernel sample (x, y) after the swap
    // is mask sample ((x + Wp/2) mod Wp, (y + Hp/2) mod Hp); it is computed
    // where it is used instead of being stored as a fourth plane.
    fastfourier::GaussKernel kernel;
    kernel.gx = &mask.gx;
    kernel.gy = &mask.gy;
    kernel.scaled = mask.scaled;
    kernel.scale = mask.scale;
    kernel.peak = mask.Value(Wp / 2, Hp / 2);
    // A level within about 0.017 of -1 makes the Gaussian so narrow that M
    // underflows to 0 (at -1 itself the coefficient is infinite), and mask / M
    // would be 0 / 0, a black picture. The kernel's limit is used instead: 1
    // at the four samples nearest the mask's centre, which all equal M, and
    // 0 elsewhere. Every other level takes the quotient as it stands.
    kernel.narrowest = !(kernel.peak > 0) || !std::isfinite(kernel.peak);

    const fastfourier::Outcome fast = fastfourier::GaussBlur(thread, *destination, *source, kernel);
    if (fast.cancelled || (!fast.tooMany && fast.bytes.empty()))
        return;

    // The 80-bit spectrum times the kernel, for the bytes left.
    const ColourPlanes p = AllocatePlanes(*source);
    FFT2D(thread, p.Blue(), p.Green(), p.Red(), source);
    ComplexSample* const planes[3] = {p.Blue(), p.Green(), p.Red()};
    ParallelFor(Hp, [&](int y) {
        const int ys = (y + Hp / 2) % Hp;
        const std::size_t rowStart = std::size_t(y) * std::size_t(Wp);
        for (int x = 0; x < Wp; ++x) {
            const ComplexSample k = {kernel.At((x + Wp / 2) % Wp, ys), 0.0L};
            for (int c = 0; c < 3; ++c) {
                ComplexSample& s = planes[c][rowStart + std::size_t(x)];
                const ComplexSample old = s;
                s.re = old.re * k.re - old.im * k.im;
                s.im = old.re * k.im + old.im * k.re;
            }
        }
    });
    FinishInverse(thread, *destination, p, fast);
}

void FillThread(TBitmapProcesorThread& thread, const TFFTParams&)
{
    thread.FOperation = op::FFT;
}

void FillThread(TBitmapProcesorThread& thread, const TRevFFTParams&)
{
    thread.FOperation = op::RevFFT;
}

void FillThread(TBitmapProcesorThread& thread, const TFFTGaussParams& params)
{
    thread.FOperation = op::FFTGauss;
    thread.FParam1 = params.level;
}

}  // namespace kadrimex
