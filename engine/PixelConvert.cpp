// placeholder: replaced by the codec / pixel-format work
#include "engine/Bitmap.h"
namespace kadrimex {
void TBitmap::SetPixelFormat(TPixelFormat format) { if (format != FPixelFormat) { int w = FWidth, h = FHeight; Reset(w, h, format); } }
bool TBitmap::Monochrome() const { return false; }
void TBitmap::SetMonochrome(bool) {}
}
