// Plain, single-threaded Fourier operations written straight from their
// formulas, with nothing shared with the engine: the yardstick the fast
// paths are compared with byte for byte.
#pragma once

#include <cstdint>
#include <vector>

namespace kadrimex::reference {

struct Complex {
    long double re = 0;
    long double im = 0;
};

using Plane = std::vector<Complex>;

// A 24-bit picture: bytes blue, green, red, rows from the top, no padding.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgr;
    std::uint8_t& At(int x, int y, int c) { return bgr[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3 + std::size_t(c)]; }
    std::uint8_t At(int x, int y, int c) const { return bgr[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3 + std::size_t(c)]; }
};

int Padded(int length);
std::vector<Complex> Twiddles(int n, int sign);
void Fft1(Complex* line, int n, const std::vector<Complex>& table);
// Forward transform of a picture into three planes (blue, green, red).
void Fft2(const Picture& picture, Plane planes[3]);
// Inverse transform of three planes into a width x height picture.
Picture Rev2(Plane planes[3], int width, int height);
void Swap(Plane& plane, int wp, int hp);
void Mul(Plane& a, const Plane& b);
std::vector<long double> GaussMask(int w, int h, long double ay, long double ax, long double cx, long double cy);

Picture MakeFFT(const Picture& source);
Picture MakeRevFFT(const Picture& source);
// With the real kernel mask / M, M the sample the swap brings to index 0.
Picture MakeFFTGauss(const Picture& source, long double level);

}  // namespace kadrimex::reference
