#include "engine/PictureFiles.h"

#include "engine/Codecs.h"

#include <cctype>

namespace kadrimex {

std::string FileEnding(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ending = path.substr(dot);
    for (auto& c : ending)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return ending;
}

TFileFormat WritableFormatOf(const std::string& path)
{
    const std::string ending = FileEnding(path);
    return ending.size() > 1 ? WritableFormatNamed(ending.substr(1)) : TFileFormat::None;
}

TFileFormat WritableFormatNamed(const std::string& word)
{
    std::string lower = word;
    for (auto& c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "bmp")
        return TFileFormat::Bmp;
    if (lower == "jpg" || lower == "jpeg")
        return TFileFormat::Jpeg;
    if (lower == "png")
        return TFileFormat::Png;
    if (lower == "tif" || lower == "tiff")
        return TFileFormat::Tiff;
    if (lower == "webp")
        return TFileFormat::WebP;
    return TFileFormat::None;
}

std::string FormatEnding(TFileFormat format)
{
    switch (format) {
    case TFileFormat::Bmp: return ".bmp";
    case TFileFormat::Jpeg: return ".jpg";
    case TFileFormat::Png: return ".png";
    case TFileFormat::Tiff: return ".tif";
    case TFileFormat::WebP: return ".webp";
    case TFileFormat::None: break;
    }
    return {};
}

bool SavePictureFile(const std::string& path, const TBitmap& bitmap, TFileFormat format,
                     const std::function<bool()>& cancelled)
{
    switch (format) {
    case TFileFormat::Bmp:
        // Encoded while it is written, a block at a time.
        return SaveBmpFile(path, bitmap, cancelled);
    case TFileFormat::Jpeg:
    case TFileFormat::Png:
    case TFileFormat::Tiff:
    case TFileFormat::WebP: {
        const auto bytes = format == TFileFormat::Jpeg   ? EncodeJpeg(bitmap, 80, false)
                           : format == TFileFormat::Png  ? EncodePng(bitmap)
                           : format == TFileFormat::Tiff ? EncodeTiff(bitmap)
                                                         : EncodeWebp(bitmap, 80);
        if (cancelled && cancelled())
            return false;
        return WriteFileAtomically(path, bytes, cancelled);
    }
    case TFileFormat::None: break;
    }
    throw EImageError("Cannot write file " + path + ": unknown picture format");
}

}  // namespace kadrimex
