#include "filters/Convolution.h"

#include "engine/Parallel.h"
#include "filters/ConvolutionFft.h"
#include "filters/ScaledByte.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
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

}  // namespace convolution_detail

namespace {

using convolution_detail::Clamp;
using convolution_detail::kDirectTapCost;
using convolution_detail::TFftLayout;
using convolution_detail::TKernel;
using convolution_detail::TSumPath;

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
            layout = convolution_detail::ChooseFftLayout(k, width, height, path == TSumPath::FftSmallBlocks);
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
            if (!convolution_detail::FftRows(thread, *destination, *src, finish, layout))
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
