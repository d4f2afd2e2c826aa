// The colour depth command: the picture re-encoded at another pixel format
// (palettes fitted to the picture for 1, 4 and 8 bits), and with
// `monochrome` then as one bit with the two colours black and white. It runs
// on the caller's thread; the bitmap's own conversions do the work.
#pragma once

#include "engine/Bitmap.h"

namespace kadrimex {

struct TColourDepthParams {
    TPixelFormat format = TPixelFormat::pf8bit;
    bool monochrome = false;
};

// Changes `picture` in place. Throws EImageError (EOutOfResources when memory
// runs out); the picture may then be left between the two steps, so the
// commands convert a working copy.
void ChangeColourDepth(TBitmap& picture, const TColourDepthParams& params);

}  // namespace kadrimex
