#include "transforms/FastFourier.h"

#include "engine/Parallel.h"

#include <fftw3.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace kadrimex::fastfourier {

// Error bounds
//
// Both computations are compared with the exact transform T of the values
// they start from. Let u be the unit roundoff (2^-53 for double, 2^-64 for
// the 80-bit engine), mu the error of the twiddle factors and
// eta = mu + gamma4 (sqrt 2 + mu), gamma4 = 4u / (1 - 4u). For a
// Cooley-Tukey FFT of N = 2^m points made of L radix-2 stages:
//  - every stage maps each of its inputs through one butterfly, a complex
//    addition or subtraction and at most one multiplication by a twiddle,
//    so along every path from input n to output k the computed weight is
//    within a factor (1 + eta) per stage of the exact one: each output is
//    off by at most G ||x||_1 with G = (1 + eta)^L - 1;
//  - in the 2-norm, ||fl(Tx) - Tx||_2 <= e ||Tx||_2 = e sqrt(N) ||x||_2 with
//    e = L eta / (1 - L eta) (Higham, Accuracy and Stability of Numerical
//    Algorithms, Thm 24.2), and one output is at most the 2-norm.
// The 80-bit engine is such an FFT with L = m. Its twiddles are taken of
// the double angle fl(k * c) / N, c the double nearest 2 pi: the product is
// rounded once (at most 2 pi u_double away), the division by the power of
// two N is exact and |c - 2 pi| < 2.5e-16, so the angle is within 9.5e-16
// of 2 pi k / N; with the error of cosl and sinl, mu = 2^-49 covers it.
// FFTW's power-of-two plans are Cooley-Tukey factorisations; L = m + 2
// covers the extra pass of its real-data transforms, and mu = 4 ulps.
// Products with the kernel and the double copies of tables and kernel add
// small relative errors, counted below; the conversion to bytes adds
// 4 u |v| + 2^-40 (DecidedByte's callers add it).
namespace {

const double kUnit = std::ldexp(1.0, -53);
const double kUnit80 = std::ldexp(1.0, -64);

struct Growth {
    double perOutput;  // G: the bound of one output per unit of ||x||_1
    double twoNorm;    // e
};

Growth StageGrowth(double u, double mu, double stages)
{
    const double gamma4 = 4 * u / (1 - 4 * u);
    const double eta = mu + gamma4 * (std::sqrt(2.0) + mu);
    Growth g;
    // expm1 and log1p are accurate to an ulp or two; 1e-6 covers them.
    g.perOutput = std::expm1(stages * std::log1p(eta)) * (1 + 1e-6);
    g.twoNorm = stages * eta / (1 - stages * eta) * (1 + 1e-6);
    return g;
}

struct PairGrowth {
    Growth fast, exact;
    double G() const { return fast.perOutput + exact.perOutput; }
    double E() const { return fast.twoNorm + exact.twoNorm; }
};

PairGrowth Growths(int Wp, int Hp)
{
    const double m = double(Log2Of(Wp) + Log2Of(Hp));
    return {StageGrowth(kUnit, 4 * kUnit, m + 2), StageGrowth(kUnit80, std::ldexp(1.0, -49), m)};
}

// Slack for the rounding of the conversion of value v to a byte.
double ConversionSlack(double v)
{
    return 4 * kUnit * std::fabs(v) + std::ldexp(1.0, -40);
}

}  // namespace

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
    const double input = 12 * kUnit;
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

long double GaussKernel::At(int xs, int ys) const
{
    if (narrowest) {
        const bool nearX = xs == int(gx->size()) / 2 || xs == int(gx->size()) / 2 - 1;
        const bool nearY = ys == int(gy->size()) / 2 || ys == int(gy->size()) / 2 - 1;
        return nearX && nearY ? 1 : 0;
    }
    const long double v = (*gx)[std::size_t(xs)] * (*gy)[std::size_t(ys)];
    return (scaled ? v * scale : v) / peak;
}

namespace {

// Columns of one FFTW column transform: adjacent complex columns, so each
// row of a block is 128 contiguous bytes.
constexpr int kBlock = 8;
// Undecided bytes listed at most; past this the operation runs the 80-bit
// engine.
constexpr std::size_t kMaxUndecided = 1 << 14;

struct FreeAligned {
    void operator()(void* p) const { std::free(p); }
};

template <typename T>
std::unique_ptr<T[], FreeAligned> AllocateAligned(std::size_t count)
{
    const std::size_t bytes = (count * sizeof(T) + 63) / 64 * 64;
    T* p = static_cast<T*>(std::aligned_alloc(64, bytes == 0 ? 64 : bytes));
    if (!p)
        throw EOutOfResources("Not enough memory for the spectrum of the picture");
    AdviseHugePages(p, bytes);
    return std::unique_ptr<T[], FreeAligned>(p);
}

// The half spectra (columns 0 .. Wp/2) of the three channels, Hp rows each.
// Rows are padded to a multiple of 4 complex values so that every row and
// every block of columns has the alignment of the first.
struct Spectra {
    int Wp = 0, Hp = 0, Wc = 0, stride = 0;
    std::unique_ptr<fftw_complex[], FreeAligned> data[3];

    Spectra(int wp, int hp) : Wp(wp), Hp(hp), Wc(wp / 2 + 1), stride((wp / 2 + 1 + 3) / 4 * 4)
    {
        for (auto& d : data)
            d = AllocateAligned<fftw_complex>(std::size_t(stride) * std::size_t(Hp));
    }
    fftw_complex* Row(int c, int y) const { return data[c].get() + std::size_t(y) * std::size_t(stride); }
    // Real part of full-plane sample (kx, ky) of channel c.
    double Real(int c, int kx, int ky) const
    {
        if (kx <= Wp / 2)
            return Row(c, ky)[kx][0];
        return Row(c, (Hp - ky) % Hp)[Wp - kx][0];
    }
};

// One worker's real line of Wp values.
struct Scratch {
    std::vector<std::unique_ptr<double[], FreeAligned>> lines;
    Scratch(int workers, int Wp)
    {
        for (int i = 0; i < workers; ++i)
            lines.push_back(AllocateAligned<double>(std::size_t(Wp)));
    }
    double* Line(int worker) const { return lines[std::size_t(worker)].get(); }
};

// The plans of one direction: a row plan between a real line and a half
// spectrum row, and column plans over kBlock columns and over the rest.
class Plans {
public:
    Plans(const Spectra& s, double* line, bool forward)
    {
        std::lock_guard<std::mutex> guard(FftwPlannerLock());
        const int sign = forward ? FFTW_FORWARD : FFTW_BACKWARD;
        const unsigned flags = FFTW_ESTIMATE;
        row = forward ? fftw_plan_dft_r2c_1d(s.Wp, line, s.Row(0, 0), flags)
                      : fftw_plan_dft_c2r_1d(s.Wp, s.Row(0, 0), line, flags);
        const int block = std::min(kBlock, s.Wc);
        const int n = s.Hp;
        column = fftw_plan_many_dft(1, &n, block, s.Row(0, 0), nullptr, s.stride, 1, s.Row(0, 0), nullptr, s.stride, 1,
                                    sign, flags);
        const int rest = s.Wc % block;
        if (rest != 0)
            lastColumns = fftw_plan_many_dft(1, &n, rest, s.Row(0, 0), nullptr, s.stride, 1, s.Row(0, 0), nullptr,
                                             s.stride, 1, sign, flags);
        if (!row || !column || (rest != 0 && !lastColumns)) {
            Destroy();
            throw EOutOfResources("Cannot prepare the Fourier transform");
        }
    }
    ~Plans()
    {
        std::lock_guard<std::mutex> guard(FftwPlannerLock());
        Destroy();
    }
    Plans(const Plans&) = delete;
    Plans& operator=(const Plans&) = delete;

    fftw_plan row = nullptr, column = nullptr, lastColumns = nullptr;

private:
    void Destroy()
    {
        for (fftw_plan p : {row, column, lastColumns})
            if (p)
                fftw_destroy_plan(p);
        row = column = lastColumns = nullptr;
    }
};

// Column transforms of all three channels, published as progress from
// `base`.
bool ColumnTransforms(TBitmapProcesorThread& thread, const Spectra& s, const Plans& plans, std::int64_t base)
{
    const int block = std::min(kBlock, s.Wc);
    const int blocks = (s.Wc + block - 1) / block;
    // As the 80-bit column pass: the last block publishes column Wp - 1.
    const std::int64_t columns = s.Wp - 1, half = s.Hp / 2;
    return ParallelRows(
        thread, blocks, [=](std::int64_t done) { return base + done * columns / blocks * half; },
        [&](int b, int) {
            const int x0 = b * block;
            const fftw_plan plan = x0 + block <= s.Wc ? plans.column : plans.lastColumns;
            for (int c = 0; c < 3; ++c)
                fftw_execute_dft(plan, s.Row(c, 0) + x0, s.Row(c, 0) + x0);
        });
}

struct ChannelNorms {
    double one[3] = {0, 0, 0};
    double two[3] = {0, 0, 0};
};

// Forward transform of the mirrored, padded picture into s, with progress
// 0 % to 50 % as FFT2D reports it. Returns the norms of the padded
// channels, or false when cancelled.
bool Forward(TBitmapProcesorThread& thread, const TAdvancedBitmap& source, Spectra& s, ChannelNorms& norms)
{
    const int W = source.Width(), H = source.Height(), Wp = s.Wp, Hp = s.Hp;
    thread.FWidth = 2 * Wp;
    thread.FHeight = Hp;
    thread.SetProgressMax(2 * std::int64_t(Wp) * Hp);
    thread.FRow = 0;
    thread.FColumn = 0;
    thread.UpdateProgress();

    const int workers = WorkerCount();
    Scratch scratch(workers, Wp);
    const Plans plans(s, scratch.Line(0), true);
    // Integer sums of the bytes and their squares, per worker and channel.
    std::vector<std::uint64_t> sums(std::size_t(workers) * 6, 0);
    const std::int64_t width = 2 * std::int64_t(Wp);
    const bool complete = ParallelRows(
        thread, H, [=](std::int64_t done) { return done / 4 * width; },
        [&](int y, int worker) {
            const std::uint8_t* row = source.ScanLine(y);
            double* line = scratch.Line(worker);
            // Row y also stands for padding row 2H - 1 - y when that exists.
            const std::uint64_t times = y >= 2 * H - Hp ? 2 : 1;
            for (int c = 0; c < 3; ++c) {
                std::uint64_t one = 0, two = 0;
                for (int x = 0; x < Wp; ++x) {
                    const int sx = x < W ? x : 2 * W - 1 - x;
                    const std::uint64_t b = row[3 * sx + c];
                    line[x] = double(b);
                    one += b;
                    two += b * b;
                }
                sums[std::size_t(worker) * 6 + std::size_t(c)] += times * one;
                sums[std::size_t(worker) * 6 + 3 + std::size_t(c)] += times * two;
                fftw_execute_dft_r2c(plans.row, line, s.Row(c, y));
            }
        });
    if (!complete)
        return false;
    for (int y = H; y < Hp; ++y)
        for (int c = 0; c < 3; ++c)
            std::memcpy(s.Row(c, y), s.Row(c, 2 * H - 1 - y), sizeof(fftw_complex) * std::size_t(s.Wc));
    for (int c = 0; c < 3; ++c) {
        std::uint64_t one = 0, two = 0;
        for (int w = 0; w < workers; ++w) {
            one += sums[std::size_t(w) * 6 + std::size_t(c)];
            two += sums[std::size_t(w) * 6 + 3 + std::size_t(c)];
        }
        norms.one[c] = double(one) * (1 + 1e-15);
        norms.two[c] = std::sqrt(double(two)) * (1 + 1e-15);
    }
    thread.FRow = Hp / 4;
    thread.FColumn = 0;
    thread.UpdateProgress();
    return ColumnTransforms(thread, s, plans, std::int64_t(Hp / 4) * width);
}

// Collects undecided bytes from several workers; gives up past
// kMaxUndecided.
class UndecidedList {
public:
    void Add(const Undecided& u)
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (FBytes.size() < kMaxUndecided)
            FBytes.push_back(u);
        else
            FOverflow = true;
    }
    // The outcome, too many when the bytes fall into more than `groups`
    // distinct lines, each of which costs about N operations to recompute.
    Outcome Finish(bool byColumn, std::size_t groups)
    {
        Outcome o;
        std::set<std::pair<int, int>> lines;
        for (const Undecided& u : FBytes)
            lines.insert({u.c, byColumn ? u.x : u.y});
        o.tooMany = FOverflow || lines.size() > groups;
        if (!o.tooMany)
            o.bytes = std::move(FBytes);
        return o;
    }

private:
    std::mutex FLock;
    std::vector<Undecided> FBytes;
    bool FOverflow = false;
};

// Lines of N operations that are cheaper to recompute than a whole 80-bit
// transform of about N log2 N butterflies per channel.
std::size_t GroupLimit(int Wp, int Hp)
{
    return std::size_t(std::max(2, (Log2Of(Wp) + Log2Of(Hp)) / 2));
}

// Inverse transform of the half spectra (already Hermitian), progress 50 %
// to 100 % as RevFFT2D reports it; byte (x, y, c) is decided from
// (out + add) * mul, out the real output, with bound[c].
Outcome Inverse(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, int W, int H, Spectra& s, double add,
                double mul, const double bound[3])
{
    const int Wp = s.Wp, Hp = s.Hp;
    thread.FWidth = 2 * Wp;
    thread.FHeight = Hp;
    thread.SetProgressMax(2 * std::int64_t(Wp) * Hp);
    thread.FRow = Hp / 2;
    thread.FColumn = 0;
    thread.UpdateProgress();
    Outcome o;
    const int workers = WorkerCount();
    Scratch scratch(workers, Wp);
    const Plans plans(s, scratch.Line(0), false);
    const std::int64_t width = 2 * std::int64_t(Wp);
    if (!ColumnTransforms(thread, s, plans, std::int64_t(Hp / 2) * width)) {
        o.cancelled = true;
        return o;
    }
    thread.FRow = Hp / 2 + Hp / 4;
    thread.FColumn = 0;
    thread.UpdateProgress();
    UndecidedList undecided;
    const std::int64_t base = std::int64_t(thread.FRow) * width;
    const bool complete = ParallelRows(
        thread, H, [=](std::int64_t done) { return base + done * (Wp / 2); },
        [&](int y, int worker) {
            std::uint8_t* row = destination.ScanLine(y);
            double* line = scratch.Line(worker);
            for (int c = 0; c < 3; ++c) {
                fftw_execute_dft_c2r(plans.row, s.Row(c, y), line);
                for (int x = 0; x < W; ++x) {
                    const double v = (line[x] + add) * mul;
                    const int byte = DecidedByte(v, bound[c] + ConversionSlack(v));
                    row[3 * x + c] = std::uint8_t(byte < 0 ? 0 : byte);
                    if (byte < 0)
                        undecided.Add({c, x, y});
                }
            }
        });
    o = undecided.Finish(false, GroupLimit(Wp, Hp));
    o.cancelled = !complete;
    return o;
}

}  // namespace

Outcome SpectrumPicture(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source)
{
    const int Wp = PaddedSize(source.Width()), Hp = PaddedSize(source.Height());
    Spectra s(Wp, Hp);
    ChannelNorms norms;
    Outcome o;
    if (!Forward(thread, source, s, norms)) {
        o.cancelled = true;
        return o;
    }
    double bound[3];
    for (int c = 0; c < 3; ++c)
        bound[c] = SpectrumBound(Wp, Hp, norms.one[c], norms.two[c]);
    // Pixel (x, y) shows the sample the quadrant swap brings there.
    const double scale = 1 / (double(Wp) * double(Hp));
    UndecidedList undecided;
    ParallelFor(Hp, [&](int y) {
        std::uint8_t* row = destination.ScanLine(y);
        const int ky = (y + Hp / 2) % Hp;
        for (int x = 0; x < Wp; ++x) {
            const int kx = (x + Wp / 2) % Wp;
            for (int c = 0; c < 3; ++c) {
                const double v = s.Real(c, kx, ky) * scale + 128;
                const int byte = DecidedByte(v, bound[c] + ConversionSlack(v));
                row[3 * x + c] = std::uint8_t(byte < 0 ? 0 : byte);
                if (byte < 0)
                    undecided.Add({c, x, y});
            }
        }
    });
    return undecided.Finish(true, GroupLimit(Wp, Hp));
}

void ExactSpectrumBytes(TAdvancedBitmap& destination, const TAdvancedBitmap& source,
                        const std::vector<Undecided>& bytes)
{
    const int W = source.Width(), H = source.Height();
    const int Wp = PaddedSize(W), Hp = PaddedSize(H);
    std::map<std::pair<int, int>, std::vector<Undecided>> columns;
    for (const Undecided& u : bytes)
        columns[{u.c, u.x}].push_back(u);
    std::vector<const std::vector<Undecided>*> groups;
    for (const auto& entry : columns)
        groups.push_back(&entry.second);
    std::vector<ComplexSample> rowTable(static_cast<std::size_t>(Wp)), columnTable(static_cast<std::size_t>(Hp));
    FillTwiddleTable(rowTable.data(), Wp, -1);
    FillTwiddleTable(columnTable.data(), Hp, -1);
    const long double scale = 1 / ((long double)Wp * (long double)Hp);
    ParallelFor(int(groups.size()), [&](int g) {
        const std::vector<Undecided>& group = *groups[std::size_t(g)];
        const int c = group.front().c;
        const int kx = (group.front().x + Wp / 2) % Wp;
        // Column kx of the row pass: output kx of each image row, then the
        // padding rows mirrored, then the column transform.
        std::vector<ComplexSample> line(static_cast<std::size_t>(Wp)), work(static_cast<std::size_t>(Wp)), column(static_cast<std::size_t>(Hp));
        for (int y = 0; y < H; ++y) {
            const std::uint8_t* row = source.ScanLine(y);
            for (int x = 0; x < Wp; ++x) {
                const int sx = x < W ? x : 2 * W - 1 - x;
                line[std::size_t(x)] = {(long double)row[3 * sx + c], 0.0L};
            }
            column[std::size_t(y)] = LineSample(line.data(), Wp, kx, rowTable.data(), work.data());
        }
        for (int y = H; y < Hp; ++y)
            column[std::size_t(y)] = column[std::size_t(2 * H - 1 - y)];
        TransformLine(column.data(), Hp, columnTable.data());
        for (const Undecided& u : group) {
            const int ky = (u.y + Hp / 2) % Hp;
            destination.ScanLine(u.y)[3 * u.x + c] = CeilByte(column[std::size_t(ky)].re * scale + 128);
        }
    });
}

Outcome ReverseSpectrum(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source)
{
    const int W = source.Width(), H = source.Height();
    const int Wp = PaddedSize(W), Hp = PaddedSize(H);
    Spectra s(Wp, Hp);
    // Double copies of the row and column tables of the phase factor q.
    std::vector<ComplexSample> rowTable(static_cast<std::size_t>(Wp)), columnTable(static_cast<std::size_t>(Hp));
    FillTwiddleTable(rowTable.data(), Wp, +1);
    FillTwiddleTable(columnTable.data(), Hp, +1);
    std::vector<double> rc(static_cast<std::size_t>(Wp)), rs(static_cast<std::size_t>(Wp)), cc(static_cast<std::size_t>(Hp)), cs(static_cast<std::size_t>(Hp));
    for (int i = 0; i < Wp; ++i) {
        rc[std::size_t(i)] = double(rowTable[std::size_t(i)].re);
        rs[std::size_t(i)] = double(rowTable[std::size_t(i)].im);
    }
    for (int i = 0; i < Hp; ++i) {
        cc[std::size_t(i)] = double(columnTable[std::size_t(i)].re);
        cs[std::size_t(i)] = double(columnTable[std::size_t(i)].im);
    }
    // Sample (kx, ky) holds source pixel ((kx + Wp/2) mod Wp, (ky + Hp/2)
    // mod Hp) as (b - 128)(1, q), zero outside the picture; the half
    // spectrum gets its Hermitian part, whose inverse is the real part of
    // the inverse of the whole plane. Pixel columns of half-spectrum column
    // kx and of its mirror (Wp - kx) mod Wp, -1 outside the picture:
    std::vector<int> columnOf(static_cast<std::size_t>(s.Wc)), mirrorOf(static_cast<std::size_t>(s.Wc));
    for (int kx = 0; kx < s.Wc; ++kx) {
        const int x = (kx + Wp / 2) % Wp, m = ((Wp - kx) % Wp + Wp / 2) % Wp;
        columnOf[std::size_t(kx)] = x < W ? x : -1;
        mirrorOf[std::size_t(kx)] = m < W ? m : -1;
    }
    // The three channels' (b - 128)(1, q) at pixel (x, y) of `row`.
    struct Pixel {
        double re[3], im[3];
    };
    const auto pixel = [&](const std::uint8_t* row, int x, int y) {
        Pixel p{};
        if (row && x >= 0) {
            const double q = -(rc[std::size_t(x)] * cs[std::size_t(y)] + cc[std::size_t(y)] * rs[std::size_t(x)]);
            for (int c = 0; c < 3; ++c) {
                p.re[c] = double(int(row[3 * x + c]) - 128);
                p.im[c] = p.re[c] * q;
            }
        }
        return p;
    };
    ParallelFor(Hp, [&](int ky) {
        const int y = (ky + Hp / 2) % Hp, my = ((Hp - ky) % Hp + Hp / 2) % Hp;
        const std::uint8_t* row = y < H ? source.ScanLine(y) : nullptr;
        const std::uint8_t* mirrorRow = my < H ? source.ScanLine(my) : nullptr;
        fftw_complex* out[3] = {s.Row(0, ky), s.Row(1, ky), s.Row(2, ky)};
        for (int kx = 0; kx < s.Wc; ++kx) {
            const Pixel a = pixel(row, columnOf[std::size_t(kx)], y);
            const Pixel m = pixel(mirrorRow, mirrorOf[std::size_t(kx)], my);
            for (int c = 0; c < 3; ++c) {
                out[c][kx][0] = (a.re[c] + m.re[c]) * 0.5;
                out[c][kx][1] = (a.im[c] - m.im[c]) * 0.5;
            }
        }
    });
    double bound[3];
    for (int c = 0; c < 3; ++c) {
        std::uint64_t one = 0, two = 0;
        for (int y = 0; y < H; ++y) {
            const std::uint8_t* row = source.ScanLine(y);
            for (int x = 0; x < W; ++x) {
                const int d = std::abs(int(row[3 * x + c]) - 128);
                one += std::uint64_t(d);
                two += std::uint64_t(d * d);
            }
        }
        bound[c] = ReverseBound(Wp, Hp, double(one) * (1 + 1e-15), std::sqrt(double(two)) * (1 + 1e-15));
    }
    destination.SetSize(W, H);
    return Inverse(thread, destination, W, H, s, 0.49 / (double(Wp) * double(Hp)), 1, bound);
}

Outcome GaussBlur(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source,
                  const GaussKernel& kernel)
{
    const int W = source.Width(), H = source.Height();
    const int Wp = PaddedSize(W), Hp = PaddedSize(H);
    destination.SetSize(W, H);
    Spectra s(Wp, Hp);
    ChannelNorms norms;
    Outcome o;
    if (!Forward(thread, source, s, norms)) {
        // As the 80-bit engine: the reverse transform starts and stops at
        // its first column.
        thread.FRow = Hp / 2;
        thread.FColumn = 0;
        thread.UpdateProgress();
        o.cancelled = true;
        return o;
    }
    // Double copies of the kernel factors: each kernel value is then within
    // 6 u of the 80-bit one, 7 u with the half sum below.
    std::vector<double> gx(static_cast<std::size_t>(Wp)), gy(static_cast<std::size_t>(Hp));
    double factor = 0;
    if (!kernel.narrowest) {
        for (int i = 0; i < Wp; ++i)
            gx[std::size_t(i)] = double((*kernel.gx)[std::size_t(i)]);
        for (int i = 0; i < Hp; ++i)
            gy[std::size_t(i)] = double((*kernel.gy)[std::size_t(i)]);
        factor = double((kernel.scaled ? kernel.scale : 1.0L) / kernel.peak);
    }
    const auto value = [&](int kx, int ky) -> double {
        const int xs = (kx + Wp / 2) % Wp, ys = (ky + Hp / 2) % Hp;
        if (kernel.narrowest)
            return double(kernel.At(xs, ys));
        return gx[std::size_t(xs)] * gy[std::size_t(ys)] * factor;
    };
    // The spectrum of a real picture is Hermitian, so the real part of the
    // inverse of X K is the inverse of X times the symmetric half sum of K.
    // Kernel norms over the whole plane: columns 1 .. Wp/2 - 1 of the half
    // plane stand for two columns.
    std::vector<double> k1(static_cast<std::size_t>(Hp)), k2(static_cast<std::size_t>(Hp)), kmax(static_cast<std::size_t>(Hp));
    ParallelFor(Hp, [&](int ky) {
        double one = 0, two = 0, most = 0;
        for (int kx = 0; kx < s.Wc; ++kx) {
            const double k = value(kx, ky), m = value((Wp - kx) % Wp, (Hp - ky) % Hp);
            const double half = (k + m) * 0.5;
            const double times = kx == 0 || kx == Wp / 2 ? 1 : 2;
            one += times * half;
            two += times * (k * k + m * m) * 0.5;
            most = std::max(most, std::max(k, m));
            for (int c = 0; c < 3; ++c) {
                fftw_complex& v = s.Row(c, ky)[kx];
                v[0] *= half;
                v[1] *= half;
            }
        }
        k1[std::size_t(ky)] = one;
        k2[std::size_t(ky)] = two;
        kmax[std::size_t(ky)] = most;
    });
    double one = 0, two = 0, most = 0;
    for (int ky = 0; ky < Hp; ++ky) {
        one += k1[std::size_t(ky)];
        two += k2[std::size_t(ky)];
        most = std::max(most, kmax[std::size_t(ky)]);
    }
    // 8 u covers the double kernel against the 80-bit one and the rounding
    // of the sums (at most log2 N u relative each, far below).
    const double slack = 1 + 8 * kUnit + double(Log2Of(Wp) + Log2Of(Hp) + 2) * kUnit;
    double bound[3];
    for (int c = 0; c < 3; ++c)
        bound[c] = GaussBound(Wp, Hp, norms.one[c], norms.two[c], one * slack, std::sqrt(two * slack) * slack,
                              most * slack);
    return Inverse(thread, destination, W, H, s, 0.49, 1 / (double(Wp) * double(Hp)), bound);
}

void ExactInverseBytes(TAdvancedBitmap& destination, const PlaneColumns& columns, int Wp, int Hp,
                       const std::vector<Undecided>& bytes)
{
    // The rows to recompute per channel, and for each its bytes.
    std::map<std::pair<int, int>, std::vector<Undecided>> rows;
    for (const Undecided& u : bytes)
        rows[{u.c, u.y}].push_back(u);
    std::vector<int> rowsOf[3];
    for (const auto& entry : rows)
        rowsOf[entry.first.first].push_back(entry.first.second);
    // Row i of channel c after the column pass, filled column by column.
    std::vector<std::vector<ComplexSample>> passed[3];
    for (int c = 0; c < 3; ++c)
        passed[c].assign(rowsOf[c].size(), std::vector<ComplexSample>(std::size_t(Wp)));
    std::vector<ComplexSample> rowTable(static_cast<std::size_t>(Wp)), columnTable(static_cast<std::size_t>(Hp));
    FillTwiddleTable(rowTable.data(), Wp, +1);
    FillTwiddleTable(columnTable.data(), Hp, +1);
    // Each column is read once and gives output y of its transform for
    // every listed row y. Columns come kColumns at a time, so the planes or
    // pictures behind them are read along their rows.
    const int blocks = (Wp + kColumns - 1) / kColumns;
    const int chunks = std::min(blocks, 4 * WorkerCount());
    ParallelFor(chunks, [&](int chunk) {
        std::vector<ComplexSample> samples[3], work(static_cast<std::size_t>(Hp));
        ComplexSample* wanted[3] = {nullptr, nullptr, nullptr};
        for (int c = 0; c < 3; ++c)
            if (!rowsOf[c].empty()) {
                samples[c].resize(std::size_t(kColumns) * std::size_t(Hp));
                wanted[c] = samples[c].data();
            }
        for (int b = chunk * blocks / chunks; b < (chunk + 1) * blocks / chunks; ++b) {
            const int kx0 = b * kColumns, count = std::min(kColumns, Wp - kx0);
            columns(kx0, count, wanted);
            for (int c = 0; c < 3; ++c)
                for (int j = 0; wanted[c] && j < count; ++j)
                    for (std::size_t i = 0; i < rowsOf[c].size(); ++i)
                        passed[c][i][std::size_t(kx0 + j)] =
                            LineSample(wanted[c] + std::size_t(j) * std::size_t(Hp), Hp, rowsOf[c][i],
                                       columnTable.data(), work.data());
        }
    });
    std::vector<std::pair<int, std::size_t>> lines;
    for (int c = 0; c < 3; ++c)
        for (std::size_t i = 0; i < rowsOf[c].size(); ++i)
            lines.push_back({c, i});
    const long double scale = 1 / ((long double)Wp * (long double)Hp);
    ParallelFor(int(lines.size()), [&](int l) {
        const auto [c, i] = lines[std::size_t(l)];
        const int y = rowsOf[c][i];
        std::vector<ComplexSample>& row = passed[c][i];
        TransformLine(row.data(), Wp, rowTable.data());
        for (const Undecided& u : rows.at({c, y}))
            destination.ScanLine(y)[3 * u.x + c] = CeilByte((row[std::size_t(u.x)].re + 0.49L) * scale);
    });
}

ReverseSamples::ReverseSamples(const TAdvancedBitmap& source)
    : FSource(source), FRowTable(std::size_t(PaddedSize(source.Width()))),
      FColumnTable(std::size_t(PaddedSize(source.Height()))),
      FCount((long double)FRowTable.size() * (long double)FColumnTable.size())
{
    FillTwiddleTable(FRowTable.data(), int(FRowTable.size()), +1);
    FillTwiddleTable(FColumnTable.data(), int(FColumnTable.size()), +1);
}

void ReverseSamples::At(int x, int y, ComplexSample* const out[3], std::size_t at) const
{
    const ComplexSample r0 = FRowTable[std::size_t(x)], column = FColumnTable[std::size_t(y)];
    const long double q = -(r0.re * column.im + column.re * r0.im);
    const std::uint8_t* pixel = FSource.ScanLine(y) + 3 * x;
    for (int c = 0; c < 3; ++c)
        if (out[c]) {
            const long double r = FCount * (long double)(int(pixel[c]) - 128);
            out[c][at] = {r, r * q};
        }
}

void ExactReverseBytes(TAdvancedBitmap& destination, const TAdvancedBitmap& source,
                       const std::vector<Undecided>& bytes)
{
    const int W = source.Width(), H = source.Height(), Wp = PaddedSize(W), Hp = PaddedSize(H);
    const ReverseSamples samples(source);
    // Plane sample (kx, ky) is pixel ((kx + Wp/2) mod Wp, (ky + Hp/2) mod
    // Hp), zero outside the picture. Column by column, so the rows' bytes
    // stay in the cache from one column to the next.
    const auto columns = [&](int kx0, int width, ComplexSample* const out[3]) {
        for (int c = 0; c < 3; ++c)
            if (out[c])
                std::memset(static_cast<void*>(out[c]), 0, sizeof(ComplexSample) * std::size_t(width) * std::size_t(Hp));
        for (int j = 0; j < width; ++j) {
            const int x = (kx0 + j + Wp / 2) % Wp;
            for (int ky = 0; x < W && ky < Hp; ++ky) {
                const int y = (ky + Hp / 2) % Hp;
                if (y < H)
                    samples.At(x, y, out, std::size_t(j) * std::size_t(Hp) + std::size_t(ky));
            }
        }
    };
    ExactInverseBytes(destination, columns, Wp, Hp, bytes);
}

}  // namespace kadrimex::fastfourier
