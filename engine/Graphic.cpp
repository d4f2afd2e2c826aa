#include "engine/Graphic.h"

#include <algorithm>
#include <cctype>

namespace kadrimex {

TJPEGImage::TJPEGImage(std::vector<std::uint8_t> compressed, bool upright) : FData(std::move(compressed))
{
    auto decoded = std::make_shared<TBitmap>(DecodeJpeg(FData.data(), FData.size()));
    const int orientation = upright ? JpegOrientation(FData.data(), FData.size()) : 1;
    if (orientation != 1)
        *decoded = OrientUpright(*decoded, orientation);
    FWidth = decoded->Width();
    FHeight = decoded->Height();
    FDecoded = std::move(decoded);
}

TJPEGImage TJPEGImage::Compress(const TBitmap& bitmap, int quality, bool progressive)
{
    // Later operations see the compressed picture, not the original.
    return TJPEGImage(EncodeJpeg(bitmap, quality, progressive));
}

TBitmap TJPEGImage::ToBitmap() const
{
    if (FDecoded)
        return *FDecoded;
    return TBitmap();
}

TBitmap TJPEGImage::TakeBitmap()
{
    TBitmap bitmap = FDecoded.use_count() == 1 ? std::move(*FDecoded) : ToBitmap();
    *this = TJPEGImage();
    return bitmap;
}

TIcon::TIcon(std::vector<std::uint8_t> fileBytes) : FData(std::move(fileBytes))
{
    FEntries = ParseIco(FData.data(), FData.size());
    // The best of the entries that can be decoded; an icon with none is
    // refused when it is opened, not when it is shown.
    std::vector<TIconEntry> intact;
    std::vector<std::size_t> index;
    for (std::size_t i = 0; i < FEntries.size(); ++i)
        if (IconEntryIntact(FEntries[i])) {
            intact.push_back(FEntries[i]);
            index.push_back(i);
        }
    if (intact.empty())
        throw EImageError("ICO: the icon holds no entry that can be decoded");
    FBest = index[BestIconEntry(intact)];
}

std::string TPicture::GraphicClassName() const
{
    if (IsJpeg())
        return "TJPEGImage";
    if (IsIcon())
        return "TIcon";
    return "TBitmap";
}

bool TPicture::Empty() const
{
    return Width() == 0 || Height() == 0;
}

int TPicture::Width() const
{
    return std::visit(
        [](const auto& g) -> int {
            if constexpr (std::is_same_v<std::decay_t<decltype(g)>, std::monostate>)
                return 0;
            else
                return g.Width();
        },
        FGraphic);
}

int TPicture::Height() const
{
    return std::visit(
        [](const auto& g) -> int {
            if constexpr (std::is_same_v<std::decay_t<decltype(g)>, std::monostate>)
                return 0;
            else
                return g.Height();
        },
        FGraphic);
}

TBitmap TPicture::ToBitmap(const std::string& targetClass) const
{
    if (IsIcon())
        throw EImageError("Cannot assign a TIcon to a " + targetClass);
    if (const auto* jpeg = std::get_if<TJPEGImage>(&FGraphic))
        return jpeg->ToBitmap();
    if (const auto* bitmap = std::get_if<TBitmap>(&FGraphic))
        return *bitmap;
    return TBitmap();
}

TBitmap TPicture::TakeBitmap(const std::string& targetClass)
{
    TBitmap bitmap;
    if (auto* jpeg = std::get_if<TJPEGImage>(&FGraphic))
        bitmap = jpeg->TakeBitmap();
    else if (auto* own = std::get_if<TBitmap>(&FGraphic))
        bitmap = std::move(*own);
    else
        bitmap = ToBitmap(targetClass);  // an icon is refused, nothing is empty
    Clear();
    return bitmap;
}

namespace {

enum class TKind { None, Bmp, Jpeg, Icon, Png, Tiff, WebP };

// The format the file's first bytes announce.
TKind KindOfContent(const std::vector<std::uint8_t>& bytes)
{
    auto starts = [&](std::initializer_list<std::uint8_t> signature, std::size_t at = 0) {
        return bytes.size() >= at + signature.size() && std::equal(signature.begin(), signature.end(), bytes.begin() + std::ptrdiff_t(at));
    };
    if (starts({'B', 'M'}))
        return TKind::Bmp;
    if (starts({0xFF, 0xD8, 0xFF}))
        return TKind::Jpeg;
    if (starts({0, 0, 1, 0}))
        return TKind::Icon;
    if (starts({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}))
        return TKind::Png;
    if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42}) || starts({'I', 'I', 43, 0}) || starts({'M', 'M', 0, 43}))
        return TKind::Tiff;
    if (starts({'R', 'I', 'F', 'F'}) && starts({'W', 'E', 'B', 'P'}, 8))
        return TKind::WebP;
    return TKind::None;
}

const char* KindName(TKind kind)
{
    switch (kind) {
    case TKind::Bmp: return "BMP";
    case TKind::Jpeg: return "JPEG";
    case TKind::Icon: return "ICO";
    case TKind::Png: return "PNG";
    case TKind::Tiff: return "TIFF";
    case TKind::WebP: return "WebP";
    case TKind::None: break;
    }
    return "unknown";
}

}  // namespace

TPicture TPicture::LoadFromFile(const std::string& path, bool upright)
{
    std::string ext;
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });

    auto bytes = ReadFileBytes(path);
    const TKind content = KindOfContent(bytes);
    TKind kind;
    if (ext == ".jpg" || ext == ".jpeg")
        kind = TKind::Jpeg;
    else if (ext == ".ico")
        kind = TKind::Icon;
    else if (ext == ".bmp")
        kind = TKind::Bmp;
    else if (ext == ".png")
        kind = TKind::Png;
    else if (ext == ".tif" || ext == ".tiff")
        kind = TKind::Tiff;
    else if (ext == ".webp")
        kind = TKind::WebP;
    else if (content != TKind::None)
        kind = content;
    else
        throw EImageError("Unknown picture file extension (" + ext + ")");
    // The newer formats' decoders would only say "not a PNG file"; name what
    // the file really is. BMP, JPEG and icon files keep their decoders' words.
    if ((kind == TKind::Png || kind == TKind::Tiff || kind == TKind::WebP) && content != kind)
        throw EImageError(std::string("The file is not a ") + KindName(kind) + " picture as its extension (" + ext +
                          ") says" + (content != TKind::None ? std::string(" but a ") + KindName(content) + " picture" : ""));

    TPicture picture;
    switch (kind) {
    case TKind::Jpeg: picture.Assign(TJPEGImage(std::move(bytes), upright)); break;
    case TKind::Icon: picture.Assign(TIcon(std::move(bytes))); break;
    case TKind::Bmp: picture.Assign(DecodeBmp(bytes.data(), bytes.size())); break;
    case TKind::Png: picture.Assign(DecodePng(bytes.data(), bytes.size())); break;
    case TKind::Tiff: picture.Assign(DecodeTiff(bytes.data(), bytes.size())); break;
    case TKind::WebP: picture.Assign(DecodeWebp(bytes.data(), bytes.size())); break;
    case TKind::None: break;
    }
    return picture;
}

namespace {

bool AdoptWorkingCopy(TBitmap bitmap, TAdvancedBitmap& copy)
{
    if (bitmap.Empty()) {
        copy = TAdvancedBitmap();
        return false;
    }
    static_cast<TBitmap&>(copy) = std::move(bitmap);
    return true;
}

}  // namespace

bool MakeWorkingCopy(const TPicture& picture, TAdvancedBitmap& copy)
{
    return AdoptWorkingCopy(picture.ToBitmap("TAdvancedBitmap"), copy);
}

bool MakeWorkingCopy(TPicture&& picture, TAdvancedBitmap& copy)
{
    return AdoptWorkingCopy(picture.TakeBitmap("TAdvancedBitmap"), copy);
}

}  // namespace kadrimex
