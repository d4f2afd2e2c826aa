#include "filters/Resample.h"

#include "engine/Parallel.h"
#include "filters/Masks.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kadrimex {
namespace {

int Clamp(long double position, int count)
{
    const long double f = std::floor(position);
    return f <= 0 ? 0 : f >= count - 1 ? count - 1 : int(f);
}

// For every destination index d of `count` and mask cell k of `cells`: the
// source index the cell reads, evaluated exactly as the formula is written.
std::vector<int> MaskTaps(int count, int sourceCount, int cells, long double half)
{
    std::vector<int> taps(std::size_t(count) * std::size_t(cells));
    const bool shrinking = count <= sourceCount;
    for (int d = 0; d < count; ++d) {
        const long double centre = static_cast<long double>(sourceCount) * d / std::max(count - 1, 1);
        for (int k = 0; k < cells; ++k) {
            const long double position = shrinking ? k - half + centre + 0.5L
                                                   : (k - half + 0.5L) * sourceCount / count + centre;
            taps[std::size_t(d) * std::size_t(cells) + std::size_t(k)] = Clamp(position, sourceCount);
        }
    }
    return taps;
}

// One tent of the triangle mode: the source indices and normalised weights
// a destination index reads.
struct TTent {
    std::vector<int> index;
    std::vector<double> weight;
};

std::vector<TTent> TentWeights(int count, int sourceCount)
{
    const double scale = double(sourceCount) / count;
    const double half = std::max(1.0, scale);
    std::vector<TTent> tents(static_cast<std::size_t>(count));
    for (int d = 0; d < count; ++d) {
        const double centre = (d + 0.5) * scale;
        TTent& tent = tents[std::size_t(d)];
        double sum = 0;
        for (int k = int(std::floor(centre - half)); k <= int(std::ceil(centre + half)); ++k) {
            const double w = 1 - std::fabs(k + 0.5 - centre) / half;
            if (w <= 0)
                continue;
            tent.index.push_back(std::clamp(k, 0, sourceCount - 1));
            tent.weight.push_back(w);
            sum += w;
        }
        for (double& w : tent.weight)
            w /= sum;
    }
    return tents;
}

// The low byte of floor(norm * acc) in 80 bits. The product is at most
// about 256, so in double it lies within 1e-12 of the 80-bit one (norm
// rounded to double and the product each err by a relative 2^-53): where
// it is farther than 1e-9 from a whole number both floors agree, and only
// the rest is computed in 80 bits.
std::uint8_t LowByteOfScaled(long double norm, double normDouble, std::int64_t acc)
{
    const double q = normDouble * double(acc);
    const double f = std::floor(q);
    if (q - f > 1e-9 && f + 1 - q > 1e-9)
        return std::uint8_t(static_cast<std::int64_t>(f));
    return std::uint8_t(static_cast<std::int64_t>(std::floor(norm * static_cast<long double>(acc))));
}

bool BeginResampling(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source)
{
    if (!destination || !source || source->Width() < 1 || source->Height() < 1)
        return false;
    if (!thread.BeginProgress(destination->Width(), destination->Height()))
        return false;
    source->SetPixelFormat(TPixelFormat::pf24bit);
    destination->SetPixelFormat(TPixelFormat::pf24bit);
    return true;
}

void ResampleNearest(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source)
{
    const int W = destination.Width(), H = destination.Height();
    const int sw = source.Width(), sh = source.Height();
    std::vector<int> column(std::size_t(W), 0);
    for (int x = 0; x < W; ++x)
        column[std::size_t(x)] = std::min(int((x + 0.5) * sw / W), sw - 1);
    ParallelRows(thread, H, W, [&](int y) {
        const std::uint8_t* in = source.ScanLine(std::min(int((y + 0.5) * sh / H), sh - 1));
        std::uint8_t* out = destination.ScanLine(y);
        for (int x = 0; x < W; ++x)
            std::copy_n(in + 3 * column[std::size_t(x)], 3, out + 3 * x);
    });
}

void ResampleTent(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source)
{
    const int W = destination.Width(), H = destination.Height();
    const std::vector<TTent> columns = TentWeights(W, source.Width());
    const std::vector<TTent> rows = TentWeights(H, source.Height());
    ParallelRows(thread, H, W, [&](int y) {
        const TTent& down = rows[std::size_t(y)];
        std::uint8_t* out = destination.ScanLine(y);
        for (int x = 0; x < W; ++x) {
            const TTent& across = columns[std::size_t(x)];
            double sum[3] = {0, 0, 0};
            for (std::size_t i = 0; i < down.index.size(); ++i) {
                const std::uint8_t* in = source.ScanLine(down.index[i]);
                for (std::size_t j = 0; j < across.index.size(); ++j) {
                    const double w = down.weight[i] * across.weight[j];
                    const std::uint8_t* p = in + 3 * across.index[j];
                    for (int c = 0; c < 3; ++c)
                        sum[c] += w * p[c];
                }
            }
            for (int c = 0; c < 3; ++c)
                out[3 * x + c] = std::uint8_t(std::clamp(std::floor(sum[c] + 0.5), 0.0, 255.0));
        }
    });
}

}  // namespace

void ResampleWithMask(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                      const TBitmap& mask)
{
    if (!BeginResampling(thread, destination, source))
        return;
    const int W = destination->Width(), H = destination->Height();
    const int sw = source->Width(), sh = source->Height();
    const int kw = mask.Width(), kh = mask.Height();

    // Mask bytes times channel bytes are whole numbers: the sums are exact
    // in integers, and norm is applied once, in 80 bits, as written.
    std::int64_t total = 0;
    std::vector<std::int64_t> weights(std::size_t(kw) * std::size_t(kh));
    for (int i = 0; i < kh; ++i)
        for (int j = 0; j < kw; ++j)
            total += weights[std::size_t(i) * std::size_t(kw) + std::size_t(j)] = mask.ScanLine(i)[j];
    const long double S = 0.001L + static_cast<long double>(total);
    const long double norm = 1.001L / S;
    const double normDouble = double(norm);
    const std::vector<int> rowTaps = MaskTaps(H, sh, kh, static_cast<long double>(kh) / 2);
    const std::vector<int> columnTaps = MaskTaps(W, sw, kw, static_cast<long double>(kw) / 2);

    ParallelRows(thread, H, W, [&](int y) {
        std::uint8_t* out = destination->ScanLine(y);
        for (int x = 0; x < W; ++x) {
            std::int64_t acc[3] = {0, 0, 0};
            for (int i = 0; i < kh; ++i) {
                const std::uint8_t* in = source->ScanLine(rowTaps[std::size_t(y) * std::size_t(kh) + std::size_t(i)]);
                const std::int64_t* weightRow = &weights[std::size_t(i) * std::size_t(kw)];
                const int* taps = &columnTaps[std::size_t(x) * std::size_t(kw)];
                for (int j = 0; j < kw; ++j) {
                    const std::uint8_t* p = in + 3 * taps[j];
                    acc[0] += weightRow[j] * p[0];
                    acc[1] += weightRow[j] * p[1];
                    acc[2] += weightRow[j] * p[2];
                }
            }
            for (int c = 0; c < 3; ++c)
                out[3 * x + c] = LowByteOfScaled(norm, normDouble, acc[c]);
        }
    });
}

void Resize(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source, std::uint8_t mode)
{
    if (!destination || !source)
        return;
    const int sw = source->Width(), sh = source->Height();
    const int W = destination->Width(), H = destination->Height();
    thread.FWidth = W;
    thread.FHeight = H;
    if (sw < 1 || sh < 1 || W < 1 || H < 1)
        return;
    if (mode == 0 || mode == 1) {
        if (!BeginResampling(thread, destination, source))
            return;
        if (mode == 0)
            ResampleNearest(thread, *destination, *source);
        else
            ResampleTent(thread, *destination, *source);
        return;
    }
    const long double fx = sw >= W ? static_cast<long double>(sw) / W : static_cast<long double>(W) / sw + 1;
    const long double fy = sh >= H ? static_cast<long double>(sh) / H : static_cast<long double>(H) / sh + 1;
    TBitmap mask;
    mask.SetPixelFormat(TPixelFormat::pf8bit);
    mask.SetPalette(GreyPalette());
    PaintGaussMask(thread, &mask, GaussBaseLevel, fx, fy);
    ResampleWithMask(thread, destination, source, mask);
}

void FillThread(TBitmapProcesorThread& thread, const TResizeParams& params)
{
    thread.FOperation = op::Resize;
    thread.FResampleMode = params.mode == 1 || params.mode == 2 ? std::uint8_t(params.mode) : 0;
    if (thread.FDestination)
        thread.FDestination->SetSize(params.width, params.height);
}

}  // namespace kadrimex
