#include "filters/Resample.h"

#include "engine/Parallel.h"
#include "filters/Masks.h"
#include "filters/ScaledByte.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>
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

// Consecutive mask cells that read the same source index act as one cell
// whose weight is the sum of theirs, which leaves every sum the same
// integer. For each destination column: `slots` runs of mask columns
// [begin, end) and the byte offset of the source pixel they read, padded
// with empty runs to the same count for every column.
struct TColumnRuns {
    int slots = 1;
    std::vector<int> offset, begin, end;

    TColumnRuns(const std::vector<int>& taps, int count, int cells)
    {
        const auto runsOf = [&](int d) {
            const int* t = &taps[std::size_t(d) * std::size_t(cells)];
            int runs = cells > 0 ? 1 : 0;
            for (int k = 1; k < cells; ++k)
                runs += t[k] != t[k - 1];
            return runs;
        };
        for (int d = 0; d < count; ++d)
            slots = std::max(slots, runsOf(d));
        const std::size_t n = std::size_t(count) * std::size_t(slots);
        offset.assign(n, 0);
        begin.assign(n, 0);
        end.assign(n, 0);
        for (int d = 0; d < count; ++d) {
            const int* t = &taps[std::size_t(d) * std::size_t(cells)];
            std::size_t s = std::size_t(d) * std::size_t(slots);
            for (int k = 0; k < cells; ++s) {
                int e = k + 1;
                while (e < cells && t[e] == t[k])
                    ++e;
                offset[s] = 3 * t[k];
                begin[s] = k;
                end[s] = e;
                k = e;
            }
        }
    }
};

// One destination row: each pixel adds, for every run of mask rows, its
// runs of mask columns (weights from the row run's prefix sums) times the
// source bytes they read. FixedSlots is the run count per column when known
// at compile time (0: `slots`).
template <typename Acc, int FixedSlots>
void ResamplePixels(std::uint8_t* out, int W, int slots, const Acc* weights, std::size_t stride,
                    const std::uint8_t* const* rows, std::size_t runs, const TColumnRuns& columns,
                    const TFastFinisher& finish, const std::vector<std::uint8_t>& table)
{
    const std::size_t n = FixedSlots > 0 ? std::size_t(FixedSlots) : std::size_t(slots);
    const int* offset = columns.offset.data();
    const int* begin = columns.begin.data();
    const int* end = columns.end.data();
    for (int x = 0; x < W; ++x) {
        Acc a0 = 0, a1 = 0, a2 = 0;
        const std::size_t first = std::size_t(x) * n;
        for (std::size_t k = 0; k < runs; ++k) {
            const Acc* p = weights + k * stride;
            const std::uint8_t* in = rows[k];
            for (std::size_t c = first; c < first + n; ++c) {
                const Acc w = p[end[c]] - p[begin[c]];
                const std::uint8_t* q = in + offset[c];
                a0 += w * q[0];
                a1 += w * q[1];
                a2 += w * q[2];
            }
        }
        if (!table.empty()) {
            out[3 * x] = table[std::size_t(a0)];
            out[3 * x + 1] = table[std::size_t(a1)];
            out[3 * x + 2] = table[std::size_t(a2)];
        } else {
            out[3 * x] = finish(a0);
            out[3 * x + 1] = finish(a1);
            out[3 * x + 2] = finish(a2);
        }
    }
}

// The rows of the resampling: per destination row the runs of mask rows
// that read one source row become one weight row (prefix sums over the
// mask columns), and each destination pixel adds its runs of columns of
// those rows. Acc is int32 when 255 times the mask sum fits in it.
template <typename Acc>
void ResampleRows(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source,
                  const std::vector<int>& rowTaps, int kh, int kw, const std::vector<std::int32_t>& prefix,
                  const TColumnRuns& columns, const TFastFinisher& finish, const std::vector<std::uint8_t>& table)
{
    const int W = destination.Width(), H = destination.Height();
    const std::size_t stride = std::size_t(kw + 1);
    struct TScratch {
        std::vector<Acc> weights;  // prefix sums of one row run each
        std::vector<const std::uint8_t*> rows;
    };
    std::vector<TScratch> scratch(static_cast<std::size_t>(WorkerCount()));
    const int slots = columns.slots;
    ParallelRows(
        thread, H, [&](std::int64_t rows) { return rows * W; },
        [&](int y, int worker) {
            TScratch& s = scratch[std::size_t(worker)];
            s.weights.clear();
            s.rows.clear();
            const int* taps = &rowTaps[std::size_t(y) * std::size_t(kh)];
            for (int i = 0; i < kh;) {
                int e = i + 1;
                while (e < kh && taps[e] == taps[i])
                    ++e;
                const std::size_t base = s.weights.size();
                s.weights.resize(base + stride, Acc(0));
                for (int r = i; r < e; ++r)
                    for (std::size_t j = 0; j < stride; ++j)
                        s.weights[base + j] += Acc(prefix[std::size_t(r) * stride + j]);
                s.rows.push_back(source.ScanLine(taps[i]));
                i = e;
            }
            const std::size_t runs = s.rows.size();
            std::uint8_t* out = destination.ScanLine(y);
            // Enlarging masks read two or three source columns a pixel: a
            // fixed count lets the compiler unroll the pixel's sums.
            const auto pixels = [&](auto fixedSlots) {
                ResamplePixels<Acc, decltype(fixedSlots)::value>(out, W, slots, s.weights.data(), stride,
                                                                 s.rows.data(), runs, columns, finish, table);
            };
            if (slots == 2)
                pixels(std::integral_constant<int, 2>{});
            else if (slots == 3)
                pixels(std::integral_constant<int, 3>{});
            else
                pixels(std::integral_constant<int, 0>{});
        });
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
    // in integers, and norm is applied as written through the exact
    // finisher. Row i of `prefix` holds the sums of the first j bytes of
    // mask row i, j = 0 .. kw (at most 255 times a side: 32 bits suffice).
    std::int64_t total = 0;
    std::vector<std::int32_t> prefix(std::size_t(kh) * std::size_t(kw + 1));
    for (int i = 0; i < kh; ++i) {
        std::int32_t* p = &prefix[std::size_t(i) * std::size_t(kw + 1)];
        for (int j = 0; j < kw; ++j)
            p[j + 1] = p[j] + mask.ScanLine(i)[j];
        total += p[kw];
    }
    const TFastFinisher finish(TFinisher{1.001L / (0.001L + static_cast<long double>(total)), false}, 255 * total);
    const std::vector<std::uint8_t> table = ScaledByteTable(finish, 255 * total);
    const std::vector<int> rowTaps = MaskTaps(H, sh, kh, static_cast<long double>(kh) / 2);
    const TColumnRuns columns(MaskTaps(W, sw, kw, static_cast<long double>(kw) / 2), W, kw);
    if (255 * total <= INT32_MAX)
        ResampleRows<std::int32_t>(thread, *destination, *source, rowTaps, kh, kw, prefix, columns, finish, table);
    else
        ResampleRows<std::int64_t>(thread, *destination, *source, rowTaps, kh, kw, prefix, columns, finish, table);
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
