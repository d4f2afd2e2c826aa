// Picture files by format: which formats can be written, chosen by a file
// name's ending, and one save call that encodes and writes any of them
// through WriteFileAtomically, so the editor and kadrimex-batch write the
// same bytes and a failed save leaves the old file.
#pragma once

#include "engine/Bitmap.h"

#include <functional>
#include <string>

namespace kadrimex {

enum class TFileFormat { None, Bmp, Jpeg, Png, Tiff, WebP };

// The file name's ending, lower case, with its dot (".jpg"); empty when the
// name has none.
std::string FileEnding(const std::string& path);
// The format written for a name's ending (".bmp", ".jpg", ".jpeg", ".png",
// ".tif", ".tiff", ".webp"); None for any other ending.
TFileFormat WritableFormatOf(const std::string& path);
// The format named by a word such as "bmp" or "jpg" (as `-f` takes it);
// None when it names no writable format.
TFileFormat WritableFormatNamed(const std::string& word);
// The usual ending of a format, with its dot (".bmp", ".jpg", ".png", ".tif",
// ".webp").
std::string FormatEnding(TFileFormat format);

// Encodes `bitmap` as `format` and writes it to `path`:
//   Bmp   the picture's own pixel format;
//   Jpeg  quality 80, baseline;
//   Png   palette pictures as palette (or grey) PNG, the rest as 8-bit RGB;
//   Tiff  LZW, palette pictures as palette (or grey) TIFF, the rest as
//         8-bit RGB;
//   WebP  lossy, quality 80.
// `cancelled` is asked while encoding and writing; when it answers true
// nothing is written and the result is false. Throws EImageError for a
// write error.
bool SavePictureFile(const std::string& path, const TBitmap& bitmap, TFileFormat format,
                     const std::function<bool()>& cancelled = {});

}  // namespace kadrimex
