// The FFT sums of the convolution engines (filters/Convolution.h), used by
// them alone: the mask is cut into blocks; each block is correlated with
// T x T tiles of the edge-repeated picture by overlap-save through FFTW
// (engine/Fftw.h), each sum rounded to the integer it must be (see
// FftErrorBound), and the blocks' integers are added. Rows are processed in
// bands one tile high; the tiles and channels of a band run in parallel.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"
#include "filters/ScaledByte.h"

#include <cstdint>
#include <vector>

namespace kadrimex::convolution_detail {

// The integer kernel of a mask, as both ways of summing take it.
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

// v held within [lo, hi].
inline int Clamp(int v, int lo, int hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

// Relative cost per output channel value of one multiply-add of the direct
// sums, measured on this kind of machine; the FFT layouts' costs are in the
// same unit.
constexpr double kDirectTapCost = 0.12;

// A block of the kernel: h rows from bi, w columns from bj, and the 1- and
// 2-norms of its weights.
struct TBlock {
    int bi = 0, bj = 0, h = 0, w = 0;
    double l1 = 0, l2 = 0;
};

// A kernel cell summed directly: row i, column j, weight w.
struct THeavyCell {
    int i, j;
    std::int64_t w;
};

// How the FFT path sums: tiles of side x side giving outH x outW valid
// outputs each, the blocks, the heavy cells, and the estimated cost.
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

// The cheapest FFT layout whose error bound holds, or side 0 when none does.
TFftLayout ChooseFftLayout(const TKernel& kernel, int width, int height, bool smallBlocks);

// The sums of `layout` over the picture, finished into dest; progress and
// stop checks between blocks of a tile. False when stopped.
bool FftRows(TBitmapProcesorThread& thread, TBitmap& dest, const TBitmap& src, const TFastFinisher& finish,
             const TFftLayout& layout);

}  // namespace kadrimex::convolution_detail
