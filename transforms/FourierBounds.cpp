// The proven bounds of the double-precision Fourier paths
// (transforms/FastFourier.h) and the byte decision they feed.
//
// Both computations are compared with the exact transform T of the values
// they start from. Let u be the unit roundoff (2^-53 for double, 2^-64 for
// the 80-bit engine) and mu the error of the twiddle factors. Either
// computation is a Cooley-Tukey FFT of L radix-2 stages, whose outputs are
// off by at most G ||x||_1 each and by e ||Tx||_2 in the 2-norm, with G
// and e as fftw::ErrorGrowth (engine/Fftw.h) derives them.
// The 80-bit engine is such an FFT with L = m, N = 2^m. Its twiddles are
// taken of the double angle fl(k * c) / N, c the double nearest 2 pi: the
// product is rounded once (at most 2 pi u_double away), the division by the
// power of two N is exact and |c - 2 pi| < 2.5e-16, so the angle is within
// 9.5e-16 of 2 pi k / N; with the error of cosl and sinl, mu = 2^-49 covers
// it. FFTW's plans take fftw::Stages(m) stages and fftw::TwiddleError().
// Products with the kernel and the double copies of tables and kernel add
// small relative errors, counted below; the conversion to bytes adds
// 4 u |v| + 2^-40 (ConversionSlack).
#include "transforms/FastFourier.h"

#include "engine/Fftw.h"
#include "transforms/Fft.h"

#include <algorithm>
#include <cmath>

namespace kadrimex::fastfourier {
namespace {

const double kUnit80 = std::ldexp(1.0, -64);

struct Growth {
    double perOutput;  // G: the bound of one output per unit of ||x||_1
    double twoNorm;    // e
};

Growth StageGrowth(double u, double mu, double stages)
{
    const fftw::TErrorGrowth raw = fftw::ErrorGrowth(u, mu, stages);
    // expm1 and log1p are accurate to an ulp or two; 1e-6 covers them.
    return {raw.perOutput * (1 + 1e-6), raw.twoNorm * (1 + 1e-6)};
}

struct PairGrowth {
    Growth fast, exact;
    double G() const { return fast.perOutput + exact.perOutput; }
    double E() const { return fast.twoNorm + exact.twoNorm; }
};

PairGrowth Growths(int Wp, int Hp)
{
    const double m = double(Log2Of(Wp) + Log2Of(Hp));
    return {StageGrowth(fftw::Unit(), fftw::TwiddleError(), fftw::Stages(m)),
            StageGrowth(kUnit80, std::ldexp(1.0, -49), m)};
}

}  // namespace

double ConversionSlack(double v)
{
    return 4 * fftw::Unit() * std::fabs(v) + std::ldexp(1.0, -40);
}

double SpectrumBound(int Wp, int Hp, double z1, double z2)
{
    // Output v = Re X / N + 128: both computations are within G ||z||_1 and
    // e sqrt(N) ||z||_2 of the exact X.
    const PairGrowth g = Growths(Wp, Hp);
    const double n = double(Wp) * double(Hp);
    return std::min(g.G() * z1, g.E() * std::sqrt(n) * z2) / n;
}

double ReverseBound(int Wp, int Hp, double s1, double s2)
{
    // Input x = (b - 128)(1, q) / 1 (the factor N of both sides cancels
    // exactly with the division by N), |q| <= 1, so ||x|| <= sqrt 2 ||b - 128||.
    // The double input is off by at most 12 u |b - 128| per sample: the
    // double tables (u), q from them (8 u), the product (u) and the
    // Hermitian half sum (sqrt 2 u). The output is Re T x.
    const PairGrowth g = Growths(Wp, Hp);
    const double n = double(Wp) * double(Hp);
    const double kappa = 1.41422;
    const double input = 12 * fftw::Unit();
    const double perOutput = (g.exact.perOutput * kappa + g.fast.perOutput * (kappa + input) + input) * s1;
    const double twoNorm =
        std::sqrt(n) * (g.exact.twoNorm * kappa + g.fast.twoNorm * (kappa + input) + input) * s2;
    return std::min(perOutput, twoNorm);
}

double GaussBound(int Wp, int Hp, double z1, double z2, double k1, double k2, double kmax)
{
    // Exact result: Re T*(X K) / N with X = T z. The 80-bit spectrum P and
    // the double one are each within G ||z||_1 (A per sample) of X; the
    // kernel products add u |P K| (80-bit), 9 u |X K| (double copy of the
    // kernel, its symmetric half sum, the product). With ||X||_2 = sqrt(N)
    // ||z||_2, sum |X| K <= ||X||_2 ||K||_2 and ||X K||_2 <= kmax ||X||_2.
    const PairGrowth g = Growths(Wp, Hp);
    const double kUnit = fftw::Unit();
    const double n = double(Wp) * double(Hp);
    const double xNorm = std::sqrt(n) * z2;
    // Sample by sample: each output of the inverse moves by at most the
    // 1-norm of the change of its input, plus G times that input's 1-norm.
    const double a = g.G() * z1;
    const double xk = xNorm * k2;
    const double y1 = xk + a * k1;
    const double perOutput = a * k1 + (kUnit80 + 9 * kUnit) * y1 + g.G() * y1;
    // In the 2-norm.
    const double y2 = kmax * xNorm * (1 + g.E());
    const double twoNorm = std::sqrt(n) * (g.E() * xNorm * kmax + (kUnit80 + 9 * kUnit) * y2 + g.E() * y2);
    return std::min(perOutput, twoNorm) * (1 + 1e-6) / n;
}

int DecidedByte(double v, double bound)
{
    // Inside (1, 254) the byte is the ceiling: v - bound and v + bound share
    // it when both lie in (t, t + 1], t the integer part of v.
    if (v > 1 && v < 254) {
        const int t = int(v);
        if (v - bound > t && v + bound <= t + 1)
            return t + 1;
    }
    const auto byte = [](double w) { return !(w > 0) ? 0 : w >= 255 ? 255 : int(std::ceil(w)); };
    const int low = byte(v - bound);
    return low == byte(v + bound) ? low : -1;
}

}  // namespace kadrimex::fastfourier
