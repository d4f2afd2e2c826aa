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

namespace kadrimex {

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

}  // namespace kadrimex
