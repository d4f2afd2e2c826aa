// The four built-in filters (operation codes 0x20 to 0x23): each paints a
// private mask from its parameters and convolves the source into the
// destination with it.
//
//   GaussBlur     PaintGaussMask(GaussBaseLevel, level + 1, level + 1), unsigned engine
//   TriangleBlur  PaintTriangleMask(-0.1, level + 1, level + 1), unsigned engine
//   Sharpen       PaintSharpenMask(level * GaussBaseLevel, size + 1, size + 1), signed engine
//   FindEdges     PaintEdgeMask(level, size, size), signed engine
//
// A missing bitmap or an empty source ends the routine without change.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"

#include <cstdint>

namespace kadrimex {

// Operation codes of the four filters.
namespace op {
inline constexpr std::int8_t GaussBlur = 0x20;
inline constexpr std::int8_t TriangleBlur = 0x21;
inline constexpr std::int8_t Sharpen = 0x22;
inline constexpr std::int8_t FindEdges = 0x23;
}  // namespace op

void GaussBlur(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
               long double level);
void TriangleBlur(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
                  long double level);
void Sharpen(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
             long double level, long double size);
void FindEdges(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, TAdvancedBitmap* source,
               long double level, long double size);

// What the launchers (the editor's and the batch tool's) put into FParam1
// and FParam2 from the sharpen dialog's values, so that both produce the
// same bits. The blurs take the filter level dialog's level as it is.
long double SharpenLevelParam(long double amplification);     // amplification * 0.039955444 + 1.90004455
long double SharpenSizeParam(long double generalisation);     // generalisation * 2
long double EdgesLevelParam(long double amplification);       // amplification as entered
long double EdgesSizeParam(long double generalisation);       // generalisation * 2

// The dialog values of each filter command. FillThread puts them into the
// worker's fields with the formulas above and sets the operation code; the
// editor and the batch tool both go through it.
struct TGaussBlurParams {
    long double level;  // filter level dialog
};
struct TTriangleBlurParams {
    long double level;  // filter level dialog
};
struct TSharpenParams {
    long double amplification;  // sharpen dialog
    long double generalisation;
};
struct TFindEdgesParams {
    long double amplification;  // sharpen dialog
    long double generalisation;
};

void FillThread(TBitmapProcesorThread& thread, const TGaussBlurParams& params);
void FillThread(TBitmapProcesorThread& thread, const TTriangleBlurParams& params);
void FillThread(TBitmapProcesorThread& thread, const TSharpenParams& params);
void FillThread(TBitmapProcesorThread& thread, const TFindEdgesParams& params);

}  // namespace kadrimex
