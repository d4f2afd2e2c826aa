#include "filters/Filters.h"

#include "filters/Convolution.h"
#include "filters/Masks.h"

namespace kadrimex {

namespace {

enum class TEngine { Unsigned, Signed };

// Steps shared by the four filters: check the bitmaps, paint the private
// mask folded for the source's size (a mask larger than the picture is
// never stored whole), convolve with the engine of its kind. The painting
// counts as the first pass of the progress bar; after a stop while painting
// the convolution only sizes the destination and stops before its first row.
template <typename Paint>
void RunFilter(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
               TEngine engine, Paint paint)
{
    if (!destination || !source)
        return;
    thread.FWidth = source->Width();
    thread.FHeight = source->Height();
    if (thread.FWidth < 1 || thread.FHeight < 1)
        return;
    thread.BeginProgress(thread.FWidth, thread.FHeight);
    TFoldedMask mask(thread.FWidth, thread.FHeight, engine == TEngine::Signed);
    paint(mask);
    Convolve(thread, destination, source, mask);
}

}  // namespace

void GaussBlur(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
               long double level)
{
    RunFilter(thread, destination, source, TEngine::Unsigned, [&](TFoldedMask& mask) {
        PaintGaussMaskInto(thread, mask, GaussBaseLevel, level + 1, level + 1);
    });
}

void TriangleBlur(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                  long double level)
{
    RunFilter(thread, destination, source, TEngine::Unsigned, [&](TFoldedMask& mask) {
        PaintTriangleMaskInto(thread, mask, -0.1L, level + 1, level + 1);
    });
}

void Sharpen(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
             long double level, long double size)
{
    RunFilter(thread, destination, source, TEngine::Signed, [&](TFoldedMask& mask) {
        PaintSharpenMaskInto(thread, mask, level * GaussBaseLevel, size + 1, size + 1);
    });
}

void FindEdges(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
               long double level, long double size)
{
    // The edge mask is `size` wide, not size + 1.
    RunFilter(thread, destination, source, TEngine::Signed,
              [&](TFoldedMask& mask) { PaintEdgeMaskInto(thread, mask, level, size, size); });
}

long double SharpenLevelParam(long double amplification)
{
    return amplification * 0.039955444L + 1.90004455L;
}

long double SharpenSizeParam(long double generalisation)
{
    return generalisation * 2;
}

long double EdgesLevelParam(long double amplification)
{
    return amplification;
}

long double EdgesSizeParam(long double generalisation)
{
    return generalisation * 2;
}

void FillThread(TBitmapProcesorThread& thread, const TGaussBlurParams& params)
{
    thread.FOperation = op::GaussBlur;
    thread.FParam1 = params.level;
}

void FillThread(TBitmapProcesorThread& thread, const TTriangleBlurParams& params)
{
    thread.FOperation = op::TriangleBlur;
    thread.FParam1 = params.level;
}

void FillThread(TBitmapProcesorThread& thread, const TSharpenParams& params)
{
    thread.FOperation = op::Sharpen;
    thread.FParam1 = SharpenLevelParam(params.amplification);
    thread.FParam2 = SharpenSizeParam(params.generalisation);
}

void FillThread(TBitmapProcesorThread& thread, const TFindEdgesParams& params)
{
    thread.FOperation = op::FindEdges;
    thread.FParam1 = EdgesLevelParam(params.amplification);
    thread.FParam2 = EdgesSizeParam(params.generalisation);
}

}  // namespace kadrimex
