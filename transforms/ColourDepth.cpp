#include "transforms/ColourDepth.h"

namespace kadrimex {

void ChangeColourDepth(TBitmap& picture, const TColourDepthParams& params)
{
    picture.SetPixelFormat(params.format);
    if (params.monochrome)
        picture.SetMonochrome(true);
}

}  // namespace kadrimex
