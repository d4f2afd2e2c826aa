#include "filters/Convolution.h"

#include "engine/Parallel.h"
#include "filters/ScaledByte.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

namespace kadrimex {

namespace convolution_detail {

namespace {
std::atomic<TSumPath> gSumPath{TSumPath::Auto};
}

void SetSumPathForTesting(TSumPath path)
{
    gSumPath.store(path);
}

// Error of one FFT-computed correlation sum.
//
// A tile x of N = T*T real samples, 0 <= x <= 255 (so ||x||_2 <= 255 sqrt(N)),
// is correlated with a block h of weights (l1 = sum |h|, l2 = sqrt(sum h^2),
// zero-padded to T x T):  y = (1/N) F*(X . conj(H)),  X = F x,  H = F h.
// For a Cooley-Tukey FFT with twiddles accurate to mu, the computed
// transform of any z satisfies ||fl(Fz) - Fz||_2 <= e ||Fz||_2 with
// e = L eta / (1 - L eta), eta = mu + gamma4 (sqrt 2 + mu), L = log2 N
// (Higham, Accuracy and Stability of Numerical Algorithms, Thm 24.2).
// FFTW's power-of-two plans are such factorisations; L is taken as
// log2 N + 2 to cover the extra pass of the real-data transforms, and mu as
// 4 units in the last place. Then, with u = 2^-53:
//   ||dX||_2 <= e sqrt(N) ||x||_2,   ||dH||_inf <= ||dH||_2 <= e sqrt(N) l2,
//   ||H||_inf <= l1,  the complex product adds a relative 3u,
// so the product Z = X conj(H) is computed with
//   ||dZ||_2 <= e sqrt(N)||x||_2 l1 + e(1+e) N ||x||_2 l2
//               + 3u(1+e) sqrt(N)||x||_2 (l1 + e sqrt(N) l2),
// the inverse transform adds e ||F* Z||_2 <= e N ||x||_2 l1, and the
// scaling by 1/N is exact (a power of two). Dividing by N and using
// max-norm <= 2-norm and ||x||_2 <= 255 sqrt(N):
//   |error| <= 255 [ (1+e)(e sqrt(N) l1 + e(1+e) N l2
//                    + 3u(1+e)(sqrt(N) l1 + e N l2)) + e sqrt(N) l1 ].
// The exact sum is an integer, so rounding gives it whenever this stays
// below 0.5; the engine requires at most 0.125. Example: T = 512 and the
// 101 x 101 mask of a Gauss blur of level 100 (l1 < 2.7e6, l2 < 2.6e4)
// give about 0.06.
double FftErrorBound(int side, double l1, double l2)
{
    const double u = std::ldexp(1.0, -53);
    const double mu = 4 * u;
    const double gamma4 = 4 * u / (1 - 4 * u);
    const double eta = mu + gamma4 * (std::sqrt(2.0) + mu);
    const double n = double(side) * double(side);
    const double rootN = double(side);
    const double levels = std::log2(n) + 2;
    const double e = levels * eta / (1 - levels * eta);
    return 255 * ((1 + e) * (e * rootN * l1 + e * (1 + e) * n * l2 + 3 * u * (1 + e) * (rootN * l1 + e * n * l2)) +
                  e * rootN * l1);
}

}  // namespace convolution_detail

namespace {

using convolution_detail::TSumPath;

// Largest acceptable worst-case error of an FFT sum before rounding.
constexpr double kFftErrorLimit = 0.125;
// A rounded FFT sum farther than this from an integer is recomputed
// directly (cannot happen within the bound; a guard against a wrong one).
constexpr double kFftResidualLimit = 0.25;
// Memory allowed for the spectra of the mask blocks.
constexpr double kSpectraBytesLimit = 256.0 * 1024 * 1024;

int Clamp(int v, int lo, int hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

struct TKernel {
    int kw = 0;
    int kh = 0;
    int fw = 0;  // first mask column lies at x - fw
    int fh = 0;  // first mask row lies at y - fh
    std::vector<std::int64_t> w;  // row-major weights (a folded border cell can exceed 32 bits)
    std::int64_t absSum = 0;
    std::int64_t maxAbs = 0;  // largest |weight|
    std::int64_t sum = 0;
};

TKernel ReadKernel(const TBitmap& mask, bool isSigned)
{
    TKernel k;
    k.kw = mask.Width();
    k.kh = mask.Height();
    // floor(x - kw/2 + 0.51) (unsigned engine) and floor(x - kw/2 + 0.5)
    // (signed engine) are both x - floor(kw/2) for whole numbers.
    k.fw = k.kw / 2;
    k.fh = k.kh / 2;
    k.w.resize(std::size_t(k.kw) * std::size_t(k.kh));
    for (int i = 0; i < k.kh; ++i) {
        const std::uint8_t* row = mask.ScanLine(i);
        for (int j = 0; j < k.kw; ++j) {
            const std::int64_t v = isSigned ? std::int64_t(row[j]) - 128 : std::int64_t(row[j]);
            k.w[std::size_t(i) * std::size_t(k.kw) + std::size_t(j)] = v;
            k.sum += v;
            k.absSum += v < 0 ? -v : v;
            k.maxAbs = std::max(k.maxAbs, v < 0 ? -v : v);
        }
    }
    return k;
}

// Sum of |w| and the largest |w| of the kernel's weights.
void Measure(TKernel& k)
{
    k.absSum = 0;
    k.maxAbs = 0;
    for (std::int64_t v : k.w) {
        const std::int64_t m = v < 0 ? -v : v;
        k.absSum += m;
        k.maxAbs = std::max(k.maxAbs, m);
    }
}

// Cells of a mask wider (taller) than the picture that always read the same
// border column (row) are merged into one cell holding their summed
// weight: columns j <= fw - (width - 1) read column 0 for every x, columns
// j >= fw + width - 1 read the last column. The sums stay the same
// integers, and a mask of any size shrinks to at most (2 width - 1) x
// (2 height - 1) cells.
void FoldKernel(TKernel& k, int width, int height)
{
    const int left = std::max(k.fw - (width - 1), 0);
    const int right = std::min(k.fw + width - 1, k.kw - 1);
    const int top = std::max(k.fh - (height - 1), 0);
    const int bottom = std::min(k.fh + height - 1, k.kh - 1);
    if (left == 0 && top == 0 && right == k.kw - 1 && bottom == k.kh - 1)
        return;
    const int kw = right - left + 1;
    const int kh = bottom - top + 1;
    std::vector<std::int64_t> w(std::size_t(kw) * std::size_t(kh), 0);
    for (int i = 0; i < k.kh; ++i) {
        const int ii = std::clamp(i, top, bottom) - top;
        for (int j = 0; j < k.kw; ++j) {
            const int jj = std::clamp(j, left, right) - left;
            w[std::size_t(ii) * std::size_t(kw) + std::size_t(jj)] +=
                k.w[std::size_t(i) * std::size_t(k.kw) + std::size_t(j)];
        }
    }
    k.w = std::move(w);
    k.kw = kw;
    k.kh = kh;
    k.fw -= left;
    k.fh -= top;
    Measure(k);
}

// ---------------------------------------------------------------------------
// Direct sums: each output row is a sum of horizontally shifted rows of
// padded channel planes, vectorised over the row.

// acc[x] += w * p[x] for x < n. Weights fit in 16 bits, so the products
// are 16 x 16 -> 32-bit widening multiplies, which vectorise well.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void MultiplyAdd(std::int32_t* __restrict acc, const std::uint8_t* __restrict p, std::int16_t w, int n)
{
    for (int x = 0; x < n; ++x)
        acc[x] += std::int32_t(w) * std::int32_t(std::int16_t(p[x]));
}

void MultiplyAdd(std::int64_t* __restrict acc, const std::uint8_t* __restrict p, std::int64_t w, int n)
{
    for (int x = 0; x < n; ++x)
        acc[x] += w * std::int64_t(p[x]);
}

template <typename Acc>
bool DirectRows(TBitmapProcesorThread& thread, TBitmap& dest, const TBitmap& src, const TKernel& k,
                const TFastFinisher& finish)
{
    const int width = src.Width();
    const int height = src.Height();
    const std::size_t pw = std::size_t(width) + std::size_t(k.kw) - 1;
    // Plane c, row r, index q holds channel c of source pixel
    // (r, clamp(q - fw)): the border pixels repeated outward.
    std::vector<std::uint8_t> planes(3 * std::size_t(height) * pw);
    ParallelFor(height, [&](int r) {
        const std::uint8_t* s = src.ScanLine(r);
        for (int c = 0; c < 3; ++c) {
            std::uint8_t* p = &planes[(std::size_t(c) * std::size_t(height) + std::size_t(r)) * pw];
            for (std::size_t q = 0; q < pw; ++q)
                p[q] = s[3 * Clamp(int(q) - k.fw, 0, width - 1) + c];
        }
    });
    // With Acc = int32 the caller guarantees weights of at most 16 bits.
    using TWeight = std::conditional_t<std::is_same_v<Acc, std::int32_t>, std::int16_t, std::int64_t>;
    struct TTap {
        int j;
        TWeight w;
    };
    std::vector<std::vector<TTap>> taps(std::size_t(k.kh));
    for (int i = 0; i < k.kh; ++i)
        for (int j = 0; j < k.kw; ++j)
            if (const std::int64_t w = k.w[std::size_t(i) * std::size_t(k.kw) + std::size_t(j)])
                taps[std::size_t(i)].push_back({j, TWeight(w)});

    return ParallelRows(thread, height, width, [&](int y) {
        std::vector<Acc> acc(static_cast<std::size_t>(width));
        std::uint8_t* out = dest.ScanLine(y);
        for (int c = 0; c < 3; ++c) {
            std::fill(acc.begin(), acc.end(), Acc(0));
            Acc* a = acc.data();
            for (int i = 0; i < k.kh; ++i) {
                const int r = Clamp(y - k.fh + i, 0, height - 1);
                const std::uint8_t* prow = &planes[(std::size_t(c) * std::size_t(height) + std::size_t(r)) * pw];
                for (const TTap& t : taps[std::size_t(i)])
                    MultiplyAdd(a, prow + t.j, t.w, width);
            }
            for (int x = 0; x < width; ++x)
                out[3 * x + c] = finish(std::int64_t(a[x]));
        }
    });
}

// ---------------------------------------------------------------------------
// FFT sums: the mask is cut into blocks; each block is correlated with
// T x T tiles of the edge-repeated picture by overlap-save, each sum rounded
// to the integer it must be (see FftErrorBound), and the blocks' integers
// are added. Rows are processed in bands one tile high; the tiles and
// channels of a band run in parallel.

struct TFftBuffer {
    double* real = nullptr;
    fftw_complex* spectrum = nullptr;
    explicit TFftBuffer(int side)
    {
        const std::size_t n = std::size_t(side) * std::size_t(side);
        real = static_cast<double*>(fftw_malloc(sizeof(double) * n));
        spectrum = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * std::size_t(side) *
                                                          std::size_t(side / 2 + 1)));
        if (!real || !spectrum) {
            fftw_free(real);
            fftw_free(spectrum);
            throw EOutOfResources("Not enough memory for the filter");
        }
    }
    ~TFftBuffer()
    {
        fftw_free(real);
        fftw_free(spectrum);
    }
    TFftBuffer(const TFftBuffer&) = delete;
    TFftBuffer& operator=(const TFftBuffer&) = delete;
};

// The planner is not thread-safe: plans are made and destroyed under one
// lock, and executed on new arrays from any thread, which FFTW allows.
// Planning with FFTW_ESTIMATE costs well under a millisecond, so each run
// makes its own pair; FFTW's global state is released at exit.
std::mutex& PlannerLock()
{
    return FftwPlannerLock();
}

struct TFftwCleanup {
    int livePlans = 0;
    ~TFftwCleanup()
    {
        std::lock_guard<std::mutex> guard(PlannerLock());
        if (livePlans == 0)
            fftw_cleanup();
    }
};

TFftwCleanup& FftwState()
{
    static TFftwCleanup state;
    return state;
}

class TPlans {
public:
    explicit TPlans(int side)
    {
        PlannerLock();  // constructed before the cleanup object, so destroyed after it
        TFftwCleanup& state = FftwState();
        std::lock_guard<std::mutex> guard(PlannerLock());
        TFftBuffer buffer(side);
        forward = fftw_plan_dft_r2c_2d(side, side, buffer.real, buffer.spectrum, FFTW_ESTIMATE);
        inverse = fftw_plan_dft_c2r_2d(side, side, buffer.spectrum, buffer.real, FFTW_ESTIMATE);
        if (!forward || !inverse) {
            Destroy();
            throw EOutOfResources("Cannot prepare the filter's Fourier transform");
        }
        ++state.livePlans;
    }
    ~TPlans()
    {
        std::lock_guard<std::mutex> guard(PlannerLock());
        Destroy();
        --FftwState().livePlans;
    }
    TPlans(const TPlans&) = delete;
    TPlans& operator=(const TPlans&) = delete;

    fftw_plan forward = nullptr;
    fftw_plan inverse = nullptr;

private:
    void Destroy()
    {
        if (forward)
            fftw_destroy_plan(forward);
        if (inverse)
            fftw_destroy_plan(inverse);
        forward = inverse = nullptr;
    }
};

struct TBlock {
    int bi = 0, bj = 0, h = 0, w = 0;
    double l1 = 0, l2 = 0;
};

struct THeavyCell {
    int i, j;
    std::int64_t w;
};

struct TFftLayout {
    int side = 0;
    int outH = 0, outW = 0;  // valid outputs per tile
    std::vector<TBlock> blocks;
    // The kernel the blocks are cut from: the mask's weights with the heavy
    // cells set to 0. Heavy cells (merged border cells, |w| > 255) would
    // loosen the error bound; they are summed directly instead.
    TKernel light;
    std::vector<THeavyCell> heavy;
    double cost = 0;
};

std::vector<TBlock> SplitKernel(const TKernel& k, int maxBlock)
{
    const int nr = (k.kh + maxBlock - 1) / maxBlock;
    const int nc = (k.kw + maxBlock - 1) / maxBlock;
    const int bh = (k.kh + nr - 1) / nr;
    const int bw = (k.kw + nc - 1) / nc;
    std::vector<TBlock> blocks;
    for (int bi = 0; bi < k.kh; bi += bh)
        for (int bj = 0; bj < k.kw; bj += bw) {
            TBlock b;
            b.bi = bi;
            b.bj = bj;
            b.h = std::min(bh, k.kh - bi);
            b.w = std::min(bw, k.kw - bj);
            double squares = 0;
            bool any = false;
            for (int i = 0; i < b.h; ++i)
                for (int j = 0; j < b.w; ++j) {
                    const double v = k.w[std::size_t(bi + i) * std::size_t(k.kw) + std::size_t(bj + j)];
                    b.l1 += std::fabs(v);
                    squares += v * v;
                    any = any || v != 0;
                }
            b.l2 = std::sqrt(squares);
            if (any)
                blocks.push_back(b);
        }
    return blocks;
}

// Relative costs per output channel value, measured on this kind of machine:
// one multiply-add of the direct sums, and one unit of T^2 log2(T^2) for a
// forward plus inverse real transform of a tile.
constexpr double kDirectTapCost = 0.12;
constexpr double kFftUnitCost = 0.9;
constexpr double kTileFillCost = 2.0;

// The cheapest FFT layout whose error bound holds, or side 0 when none does.
TFftLayout ChooseFftLayout(const TKernel& kernel, int width, int height, bool smallBlocks)
{
    TFftLayout best;
    TKernel k = kernel;
    std::vector<THeavyCell> heavy;
    for (int i = 0; i < k.kh; ++i)
        for (int j = 0; j < k.kw; ++j) {
            std::int64_t& w = k.w[std::size_t(i) * std::size_t(k.kw) + std::size_t(j)];
            if (w > 255 || w < -255) {
                heavy.push_back({i, j, w});
                w = 0;
            }
        }
    // The heavy cells' direct sums gather through the column table.
    const double heavyCost = 4 * kDirectTapCost * double(heavy.size()) * double(width) * double(height);
    const int largest = std::max(k.kh, k.kw);
    for (int maxBlock : {largest, 512, 256, 128, 64, 32}) {
        if (maxBlock > largest || (smallBlocks && maxBlock != std::min(largest, 32)))
            continue;
        std::vector<TBlock> blocks = SplitKernel(k, maxBlock);
        if (blocks.empty())
            continue;
        int bh = 0, bw = 0;
        for (const TBlock& b : blocks) {
            bh = std::max(bh, b.h);
            bw = std::max(bw, b.w);
        }
        for (int side = 32; side <= 4096; side *= 2) {
            if (side < 2 * std::max(bh, bw))
                continue;
            bool exact = true;
            for (const TBlock& b : blocks)
                exact = exact && convolution_detail::FftErrorBound(side, b.l1, b.l2) <= kFftErrorLimit;
            if (!exact)
                continue;
            const double spectraBytes = double(blocks.size()) * side * (side / 2 + 1) * 16.0;
            if (spectraBytes > kSpectraBytesLimit)
                continue;
            const int outH = side - bh + 1;
            const int outW = side - bw + 1;
            const double tiles = std::ceil(double(height) / outH) * std::ceil(double(width) / outW);
            const double n = double(side) * side;
            const double cost =
                tiles * double(blocks.size()) * (kFftUnitCost * n * std::log2(n) + kTileFillCost * n) + heavyCost;
            if (best.side == 0 || cost < best.cost) {
                best.side = side;
                best.outH = outH;
                best.outW = outW;
                best.blocks = blocks;
                best.cost = cost;
            }
        }
    }
    if (best.side != 0) {
        best.light = std::move(k);
        best.heavy = std::move(heavy);
    }
    return best;
}

bool FftRows(TBitmapProcesorThread& thread, TBitmap& dest, const TBitmap& src, const TFastFinisher& finish,
             const TFftLayout& layout)
{
    const TKernel& k = layout.light;
    const int width = src.Width();
    const int height = src.Height();
    const int side = layout.side;
    const std::size_t half = std::size_t(side / 2 + 1);
    const std::size_t spectrumSize = std::size_t(side) * half;
    const TPlans plans(side);
    const double scale = 1.0 / (double(side) * double(side));

    // Conjugated spectra of the blocks: multiplying by them correlates.
    std::vector<std::unique_ptr<TFftBuffer>> spectra;
    for (const TBlock& b : layout.blocks) {
        if (thread.Terminated())
            return false;
        auto buffer = std::make_unique<TFftBuffer>(side);
        std::fill(buffer->real, buffer->real + std::size_t(side) * std::size_t(side), 0.0);
        for (int i = 0; i < b.h; ++i)
            for (int j = 0; j < b.w; ++j)
                buffer->real[std::size_t(i) * std::size_t(side) + std::size_t(j)] =
                    k.w[std::size_t(b.bi + i) * std::size_t(k.kw) + std::size_t(b.bj + j)];
        fftw_execute_dft_r2c(plans.forward, buffer->real, buffer->spectrum);
        for (std::size_t s = 0; s < spectrumSize; ++s)
            buffer->spectrum[s][1] = -buffer->spectrum[s][1];
        spectra.push_back(std::move(buffer));
    }

    // Byte offset of the source pixel in edge-repeated column q (q - fw
    // clamped into the picture), for every column a tile can reach.
    std::vector<int> columnOffset(std::size_t(width) + std::size_t(k.kw) + std::size_t(side));
    for (std::size_t q = 0; q < columnOffset.size(); ++q)
        columnOffset[q] = 3 * Clamp(int(q) - k.fw, 0, width - 1);

    const int tileColumns = (width + layout.outW - 1) / layout.outW;
    for (int ty = 0; ty < height; ty += layout.outH) {
        if (thread.Terminated())
            return false;
        const int bandRows = std::min(layout.outH, height - ty);
        // A band of a large mask takes seconds: the stop request is heeded
        // between blocks and the gauge moves as each block of a tile is done.
        // The tiles write into a copy of the band's rows, which reaches the
        // picture only when every tile is done, so a stop leaves whole rows.
        const std::size_t bandStride = 3 * std::size_t(width);
        std::vector<std::uint8_t> band(std::size_t(bandRows) * bandStride);
        const std::int64_t units = std::int64_t(tileColumns) * 3 * std::int64_t(layout.blocks.size() + 1);
        std::int64_t unitsDone = 0;
        std::mutex progressLock;  // so the gauge never steps back
        const auto unitDone = [&] {
            const std::lock_guard<std::mutex> guard(progressLock);
            ++unitsDone;
            thread.PublishProgress(std::int64_t(ty) * width + std::int64_t(bandRows) * width * unitsDone / units);
        };
        ParallelFor(tileColumns * 3, [&](int task) {
            if (thread.Terminated())
                return;
            const int c = task % 3;
            const int tx = (task / 3) * layout.outW;
            const int cols = std::min(layout.outW, width - tx);
            TFftBuffer work(side);
            std::vector<std::int64_t> acc(std::size_t(bandRows) * std::size_t(cols), 0);
            for (std::size_t n = 0; n < layout.blocks.size(); ++n) {
                if (thread.Terminated())
                    return;
                const TBlock& b = layout.blocks[n];
                // Only rows and columns that valid outputs read are filled;
                // the rest stays zero.
                const int fillRows = std::min(side, bandRows + b.h - 1);
                const int fillCols = std::min(side, cols + b.w - 1);
                std::fill(work.real, work.real + std::size_t(side) * std::size_t(side), 0.0);
                for (int p = 0; p < fillRows; ++p) {
                    const std::uint8_t* s = src.ScanLine(Clamp(ty + b.bi + p - k.fh, 0, height - 1)) + c;
                    const int* offset = &columnOffset[std::size_t(tx + b.bj)];
                    double* row = work.real + std::size_t(p) * std::size_t(side);
                    for (int q = 0; q < fillCols; ++q)
                        row[q] = s[offset[q]];
                }
                fftw_execute_dft_r2c(plans.forward, work.real, work.spectrum);
                const fftw_complex* h = spectra[n]->spectrum;
                for (std::size_t s = 0; s < spectrumSize; ++s) {
                    const double re = work.spectrum[s][0] * h[s][0] - work.spectrum[s][1] * h[s][1];
                    const double im = work.spectrum[s][0] * h[s][1] + work.spectrum[s][1] * h[s][0];
                    work.spectrum[s][0] = re;
                    work.spectrum[s][1] = im;
                }
                fftw_execute_dft_c2r(plans.inverse, work.spectrum, work.real);
                unitDone();
                for (int p = 0; p < bandRows; ++p) {
                    const double* row = work.real + std::size_t(p) * std::size_t(side);
                    std::int64_t* a = &acc[std::size_t(p) * std::size_t(cols)];
                    for (int q = 0; q < cols; ++q) {
                        const double v = row[q] * scale;
                        double rounded = std::nearbyint(v);
                        if (std::fabs(v - rounded) > kFftResidualLimit) {
                            std::int64_t exact = 0;
                            for (int i = 0; i < b.h; ++i) {
                                const std::uint8_t* s =
                                    src.ScanLine(Clamp(ty + p + b.bi + i - k.fh, 0, height - 1)) + c;
                                for (int j = 0; j < b.w; ++j)
                                    exact += std::int64_t(k.w[std::size_t(b.bi + i) * std::size_t(k.kw) +
                                                              std::size_t(b.bj + j)]) *
                                             s[columnOffset[std::size_t(tx + q + b.bj + j)]];
                            }
                            rounded = double(exact);
                        }
                        a[q] += std::int64_t(rounded);
                    }
                }
            }
            for (const THeavyCell& cell : layout.heavy)
                for (int p = 0; p < bandRows; ++p) {
                    const std::uint8_t* s = src.ScanLine(Clamp(ty + p + cell.i - k.fh, 0, height - 1)) + c;
                    const int* offset = &columnOffset[std::size_t(tx + cell.j)];
                    std::int64_t* a = &acc[std::size_t(p) * std::size_t(cols)];
                    for (int q = 0; q < cols; ++q)
                        a[q] += std::int64_t(cell.w) * s[offset[q]];
                }
            for (int p = 0; p < bandRows; ++p) {
                std::uint8_t* out = band.data() + std::size_t(p) * bandStride + 3 * std::size_t(tx) + std::size_t(c);
                const std::int64_t* a = &acc[std::size_t(p) * std::size_t(cols)];
                for (int q = 0; q < cols; ++q)
                    out[3 * q] = finish(a[q]);
            }
            unitDone();
        });
        if (thread.Terminated())
            return false;
        for (int p = 0; p < bandRows; ++p)
            std::copy_n(band.data() + std::size_t(p) * bandStride, bandStride, dest.ScanLine(ty + p));
        thread.FRow = ty + bandRows;
        thread.PublishProgress(std::int64_t(ty + bandRows) * width);
    }
    return true;
}

// The kernel a folded mask holds, for the picture it was folded for.
TKernel KernelOf(const TFoldedMask& mask)
{
    TKernel k;
    k.kw = mask.FoldedWidth();
    k.kh = mask.FoldedHeight();
    k.fw = mask.MaskWidth() / 2 - mask.Left();
    k.fh = mask.MaskHeight() / 2 - mask.Top();
    k.w = mask.Weights();
    for (std::int64_t v : k.w)
        k.sum += v;
    Measure(k);
    return k;
}

// kernelOf(width, height) gives the mask's kernel folded for the picture.
template <typename KernelOf>
void Convolve(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
              KernelOf kernelOf, bool isSigned)
{
    if (!destination || !source)
        return;
    if (!thread.BeginProgress(source->Width(), source->Height()))
        return;
    const int width = source->Width();
    const int height = source->Height();
    source->SetPixelFormat(TPixelFormat::pf24bit);
    // The sums read the source while the destination is written: when both
    // are the same bitmap, read from a copy.
    std::unique_ptr<TBitmap> sourceCopy;
    const TBitmap* src = source;
    if (destination == source) {
        sourceCopy = std::make_unique<TBitmap>(*source);
        src = sourceCopy.get();
    }
    destination->SetPixelFormat(TPixelFormat::pf24bit);
    destination->SetSize(width, height);

    const TKernel k = kernelOf(width, height);
    const long double s = 0.001L + (long double)k.sum;
    const TFinisher exact{1.001L / s, isSigned};
    const TFastFinisher finish(exact, 255 * k.absSum);

    if (k.kw == 0 || k.kh == 0) {
        // No cells: every sum is 0.
        const std::uint8_t value = exact.Exact(0);
        if (!ParallelRows(thread, height, width, [&](int y) {
                std::fill(destination->ScanLine(y), destination->ScanLine(y) + 3 * std::size_t(width), value);
            }))
            return;
    } else {
        TSumPath path = convolution_detail::gSumPath.load();
        TFftLayout layout;
        if (path != TSumPath::Direct) {
            layout = ChooseFftLayout(k, width, height, path == TSumPath::FftSmallBlocks);
            if (layout.side == 0)
                path = TSumPath::Direct;
            else if (path == TSumPath::Auto) {
                std::int64_t taps = 0;
                for (std::int64_t w : k.w)
                    taps += w != 0;
                const double directCost = kDirectTapCost * double(taps) * double(width) * double(height);
                const double fftCost = layout.cost;
                path = fftCost < directCost ? TSumPath::Fft : TSumPath::Direct;
            }
        }
        if (path == TSumPath::Fft || path == TSumPath::FftSmallBlocks) {
            if (!FftRows(thread, *destination, *src, finish, layout))
                return;
        } else {
            // 255 * sum |w| bounds every partial sum.
            const bool finished = 255 * k.absSum <= 0x7fffffff && k.maxAbs <= 0x7fff
                                      ? DirectRows<std::int32_t>(thread, *destination, *src, k, finish)
                                      : DirectRows<std::int64_t>(thread, *destination, *src, k, finish);
            if (!finished)
                return;
        }
    }
    thread.FRow = height;
    thread.FColumn = width;
}

// The kernel of a mask bitmap, folded for the picture.
auto BitmapKernel(const TBitmap& mask, bool isSigned)
{
    return [&mask, isSigned](int width, int height) {
        TKernel k = ReadKernel(mask, isSigned);
        FoldKernel(k, width, height);
        return k;
    };
}

}  // namespace

void ConvolveUnsigned(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                      const TBitmap* mask)
{
    if (mask)
        Convolve(thread, destination, source, BitmapKernel(*mask, false), false);
}

void ConvolveSigned(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                    const TBitmap* mask)
{
    if (mask)
        Convolve(thread, destination, source, BitmapKernel(*mask, true), true);
}

void Convolve(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
              const TFoldedMask& mask)
{
    Convolve(
        thread, destination, source,
        [&](int width, int height) {
            if (width != mask.PictureWidth() || height != mask.PictureHeight())
                throw EImageError("The filter mask was folded for a picture of another size");
            return KernelOf(mask);
        },
        mask.IsSigned());
}

}  // namespace kadrimex
