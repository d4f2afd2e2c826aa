#include "FourierReference.h"

#include <cmath>
#include <utility>

namespace kadrimex::reference {

int Padded(int length)
{
    int n = 1;
    do {
        n = n * 2;
    } while (n < length);
    return n;
}

std::vector<Complex> Twiddles(int n, int sign)
{
    std::vector<Complex> table(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        const double angle = (double)k * 6.283185307179586 / (double)n;
        table[std::size_t(k)].re = cosl(angle);
        table[std::size_t(k)].im = sign * sinl(angle);
    }
    return table;
}

void Fft1(Complex* line, int n, const std::vector<Complex>& table)
{
    int m = 0;
    for (int p = 1; p < n; p = p * 2)
        m = m + 1;
    int half = n / 2;
    int step = 1;
    for (int pass = 0; pass < m; ++pass) {
        for (int j = 0; j < half; ++j) {
            const Complex w = table[std::size_t(j * step)];
            for (int i = j; i < n; i = i + 2 * half) {
                const Complex a = line[i];
                const Complex b = line[i + half];
                line[i].re = a.re + b.re;
                line[i].im = a.im + b.im;
                Complex d;
                d.re = a.re - b.re;
                d.im = a.im - b.im;
                line[i + half].re = w.re * d.re - w.im * d.im;
                line[i + half].im = w.re * d.im + w.im * d.re;
            }
        }
        half = half / 2;
        step = step * 2;
    }
    int j = 0;
    for (int i = 1; i <= n - 2; ++i) {
        int k = n / 2;
        while (k <= j) {
            j = j - k;
            k = k / 2;
        }
        j = j + k;
        if (i < j)
            std::swap(line[i], line[j]);
    }
}

namespace {

// Fft1 of every column of the three planes, through a copy of the column.
void Columns(Plane planes[3], int wp, int hp, const std::vector<Complex>& table)
{
    std::vector<Complex> column(static_cast<std::size_t>(hp));
    for (int x = 0; x < wp; ++x) {
        for (int c = 0; c < 3; ++c) {
            for (int y = 0; y < hp; ++y)
                column[std::size_t(y)] = planes[c][std::size_t(y * wp + x)];
            Fft1(column.data(), hp, table);
            for (int y = 0; y < hp; ++y)
                planes[c][std::size_t(y * wp + x)] = column[std::size_t(y)];
        }
    }
}

}  // namespace

void Fft2(const Picture& picture, Plane planes[3])
{
    const int w = picture.width;
    const int h = picture.height;
    const int wp = Padded(w);
    const int hp = Padded(h);
    for (int c = 0; c < 3; ++c)
        planes[c].assign(std::size_t(wp) * std::size_t(hp), Complex{});
    std::vector<Complex> table = Twiddles(wp, -1);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < wp; ++x) {
            int sx = x;
            if (x >= w)
                sx = 2 * w - 1 - x;
            for (int c = 0; c < 3; ++c) {
                planes[c][std::size_t(y * wp + x)].re = picture.At(sx, y, c);
                planes[c][std::size_t(y * wp + x)].im = 0;
            }
        }
        for (int c = 0; c < 3; ++c)
            Fft1(&planes[c][std::size_t(y * wp)], wp, table);
    }
    for (int y = h; y < hp; ++y)
        for (int c = 0; c < 3; ++c)
            for (int x = 0; x < wp; ++x)
                planes[c][std::size_t(y * wp + x)] = planes[c][std::size_t((2 * h - 1 - y) * wp + x)];
    table = Twiddles(hp, -1);
    Columns(planes, wp, hp, table);
}

namespace {

// Clamp into [0, 255], then the integer part plus 1 when a fraction remains.
std::uint8_t ClampCeil(long double v)
{
    if (!(v > 0))
        v = 0;
    if (v >= 255)
        v = 255;
    const long double whole = truncl(v);
    return std::uint8_t(int(whole) + (v > whole ? 1 : 0));
}

}  // namespace

Picture Rev2(Plane planes[3], int width, int height)
{
    const int wp = Padded(width);
    const int hp = Padded(height);
    Picture out;
    out.width = width;
    out.height = height;
    out.bgr.assign(std::size_t(width) * std::size_t(height) * 3, 0);
    std::vector<Complex> table = Twiddles(hp, +1);
    Columns(planes, wp, hp, table);
    table = Twiddles(wp, +1);
    for (int y = 0; y < height; ++y) {
        for (int c = 0; c < 3; ++c)
            Fft1(&planes[c][std::size_t(y * wp)], wp, table);
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const long double v = (planes[c][std::size_t(y * wp + x)].re + 0.49L) / ((long double)wp * hp);
                out.At(x, y, c) = ClampCeil(v);
            }
    }
    return out;
}

void Swap(Plane& plane, int wp, int hp)
{
    for (int y = 0; y < hp / 2; ++y)
        for (int x = 0; x < wp / 2; ++x) {
            std::swap(plane[std::size_t(y * wp + x)], plane[std::size_t((y + hp / 2) * wp + x + wp / 2)]);
            std::swap(plane[std::size_t(y * wp + x + wp / 2)], plane[std::size_t((y + hp / 2) * wp + x)]);
        }
}

void Mul(Plane& a, const Plane& b)
{
    for (std::size_t i = 0; i < a.size(); ++i) {
        const Complex old = a[i];
        a[i].re = old.re * b[i].re - old.im * b[i].im;
        a[i].im = old.re * b[i].im + old.im * b[i].re;
    }
}

std::vector<long double> GaussMask(int w, int h, long double ay, long double ax, long double cx, long double cy)
{
    std::vector<long double> mask(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        const long double gy = expl(-ay * ((y - cy) * (y - cy)));
        for (int x = 0; x < w; ++x) {
            const long double gx = expl(-ax * ((x - cx) * (x - cx)));
            mask[std::size_t(y * w + x)] = gx * gy;
        }
    }
    long double s = 0;
    for (const long double v : mask)
        s = s + v;
    if ((s < 0.99999L || s > 1.00001L) && (s < -0.0001L || s > 0.0001L)) {
        const long double f = s > 0 ? 1 / s : -1 / s;
        for (long double& v : mask)
            v = v * f;
    }
    return mask;
}

Picture MakeFFT(const Picture& source)
{
    const int wp = Padded(source.width);
    const int hp = Padded(source.height);
    Plane planes[3];
    Fft2(source, planes);
    for (auto& plane : planes)
        Swap(plane, wp, hp);
    Picture out;
    out.width = wp;
    out.height = hp;
    out.bgr.assign(std::size_t(wp) * std::size_t(hp) * 3, 0);
    const long double n = (long double)wp * hp;
    for (int y = 0; y < hp; ++y)
        for (int x = 0; x < wp; ++x)
            for (int c = 0; c < 3; ++c)
                out.At(x, y, c) = ClampCeil(planes[c][std::size_t(y * wp + x)].re / n + 128);
    return out;
}

Picture MakeRevFFT(const Picture& source)
{
    const int w = source.width;
    const int h = source.height;
    const int wp = Padded(w);
    const int hp = Padded(h);
    const long double n = (long double)wp * hp;
    const std::vector<Complex> row = Twiddles(wp, +1);
    const std::vector<Complex> column = Twiddles(hp, +1);
    Plane planes[3];
    for (auto& plane : planes)
        plane.assign(std::size_t(wp) * std::size_t(hp), Complex{});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const long double r = n * (source.At(x, y, c) - 128);
                const long double q =
                    -(row[std::size_t(x)].re * column[std::size_t(y)].im + column[std::size_t(y)].re * row[std::size_t(x)].im);
                planes[c][std::size_t(y * wp + x)] = Complex{r, r * q};
            }
    for (auto& plane : planes)
        Swap(plane, wp, hp);
    return Rev2(planes, w, h);
}

Picture MakeFFTGauss(const Picture& source, long double level)
{
    const int wp = Padded(source.width);
    const int hp = Padded(source.height);
    Plane planes[3];
    Fft2(source, planes);
    const long double a = logl(500.0L) / ((level + 1) * (level + 1));
    const std::vector<long double> mask = GaussMask(wp, hp, a, a, (wp - 1) / 2.0L, (hp - 1) / 2.0L);
    const long double m = mask[std::size_t((hp / 2) * wp + wp / 2)];
    Plane kernel(mask.size());
    for (std::size_t i = 0; i < mask.size(); ++i)
        kernel[i] = Complex{mask[i] / m, 0};
    Swap(kernel, wp, hp);
    for (auto& plane : planes)
        Mul(plane, kernel);
    return Rev2(planes, source.width, source.height);
}

}  // namespace kadrimex::reference
