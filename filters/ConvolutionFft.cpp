#include "filters/ConvolutionFft.h"

#include "engine/Fftw.h"
#include "engine/Parallel.h"
#include "filters/Convolution.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kadrimex::convolution_detail {

// Error of one FFT-computed correlation sum.
//
// A tile x of N = T*T real samples, 0 <= x <= 255 (so ||x||_2 <= 255 sqrt(N)),
// is correlated with a block h of weights (l1 = sum |h|, l2 = sqrt(sum h^2),
// zero-padded to T x T):  y = (1/N) F*(X . conj(H)),  X = F x,  H = F h.
// FFTW's computed transform of any z satisfies ||fl(Fz) - Fz||_2 <= e ||Fz||_2
// with e the two-norm growth of fftw::ErrorGrowth (engine/Fftw.h) over
// fftw::Stages(log2 N) stages with fftw::TwiddleError(). Then, with
// u = 2^-53:
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
    const double u = fftw::Unit();
    const double n = double(side) * double(side);
    const double rootN = double(side);
    const double e = fftw::ErrorGrowth(u, fftw::TwiddleError(), fftw::Stages(std::log2(n))).twoNorm;
    return 255 * ((1 + e) * (e * rootN * l1 + e * (1 + e) * n * l2 + 3 * u * (1 + e) * (rootN * l1 + e * n * l2)) +
                  e * rootN * l1);
}

namespace {

// Largest acceptable worst-case error of an FFT sum before rounding.
constexpr double kFftErrorLimit = 0.125;
// A rounded FFT sum farther than this from an integer is recomputed
// directly (cannot happen within the bound; a guard against a wrong one).
constexpr double kFftResidualLimit = 0.25;
// Memory allowed for the spectra of the mask blocks.
constexpr double kSpectraBytesLimit = 256.0 * 1024 * 1024;

const char kNoFilterMemory[] = "Not enough memory for the filter";

// A tile's real samples and its half spectrum, aligned for FFTW.
struct TFftBuffer {
    fftw::TAligned<double> realData;
    fftw::TAligned<fftw_complex> spectrumData;
    double* real;
    fftw_complex* spectrum;
    explicit TFftBuffer(int side)
        : realData(fftw::AllocateAligned<double>(std::size_t(side) * std::size_t(side), kNoFilterMemory)),
          spectrumData(fftw::AllocateAligned<fftw_complex>(std::size_t(side) * std::size_t(side / 2 + 1),
                                                           kNoFilterMemory)),
          real(realData.get()), spectrum(spectrumData.get())
    {
    }
};

// The forward and inverse plans of a side x side tile, made on a buffer of
// the layout and alignment of every tile buffer.
struct TTilePlans {
    fftw::TPlan forward, inverse;
    explicit TTilePlans(int side)
    {
        const std::string failure = "Cannot prepare the filter's Fourier transform";
        TFftBuffer buffer(side);
        forward = fftw::TPlan::RealSquare(side, buffer.real, buffer.spectrum, true, failure);
        inverse = fftw::TPlan::RealSquare(side, buffer.real, buffer.spectrum, false, failure);
    }
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
constexpr double kFftUnitCost = 0.9;
constexpr double kTileFillCost = 2.0;

}  // namespace

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
    const TTilePlans plans(side);
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
        fftw_execute_dft_r2c(plans.forward.Get(), buffer->real, buffer->spectrum);
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
                fftw_execute_dft_r2c(plans.forward.Get(), work.real, work.spectrum);
                const fftw_complex* h = spectra[n]->spectrum;
                for (std::size_t s = 0; s < spectrumSize; ++s) {
                    const double re = work.spectrum[s][0] * h[s][0] - work.spectrum[s][1] * h[s][1];
                    const double im = work.spectrum[s][0] * h[s][1] + work.spectrum[s][1] * h[s][0];
                    work.spectrum[s][0] = re;
                    work.spectrum[s][1] = im;
                }
                fftw_execute_dft_c2r(plans.inverse.Get(), work.spectrum, work.real);
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

}  // namespace kadrimex::convolution_detail
