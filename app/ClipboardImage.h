// Pictures to and from the clipboard's images. Only the main window's Copy
// and Paste use these; the core stays free of the toolkit's image type.
#pragma once

#include "engine/Bitmap.h"

#include <QImage>

namespace kadrimex::ui {

// A copy of the displayed image that owns its pixels (the display image
// may point into the picture's bitmap): 32-bit RGB, with alpha only when
// the image has it (icons). Null for a null image.
QImage ClipboardImage(const QImage& display);

// A 24-bit bitmap of `image`: opaque pixels keep their exact colour,
// translucent ones are laid over white. Empty for a null image. Throws
// std::bad_alloc when the bitmap cannot be had.
TBitmap BitmapFromImage(const QImage& image);

}  // namespace kadrimex::ui
