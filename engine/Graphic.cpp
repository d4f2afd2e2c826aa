#include "engine/Graphic.h"

#include <algorithm>
#include <cctype>

namespace kadrimex {

TJPEGImage::TJPEGImage(std::vector<std::uint8_t> compressed) : FData(std::move(compressed))
{
    auto decoded = std::make_shared<TBitmap>(DecodeJpeg(FData.data(), FData.size()));
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

TPicture TPicture::LoadFromFile(const std::string& path)
{
    std::string ext;
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });

    auto bytes = ReadFileBytes(path);
    enum class Kind { Bmp, Jpeg, Icon } kind;
    if (ext == ".jpg" || ext == ".jpeg")
        kind = Kind::Jpeg;
    else if (ext == ".ico")
        kind = Kind::Icon;
    else if (ext == ".bmp")
        kind = Kind::Bmp;
    else if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
        kind = Kind::Bmp;
    else if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
        kind = Kind::Jpeg;
    else if (bytes.size() >= 4 && bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 1 && bytes[3] == 0)
        kind = Kind::Icon;
    else
        throw EImageError("Unknown picture file extension (" + ext + ")");

    TPicture picture;
    switch (kind) {
    case Kind::Jpeg: picture.Assign(TJPEGImage(std::move(bytes))); break;
    case Kind::Icon: picture.Assign(TIcon(std::move(bytes))); break;
    case Kind::Bmp: picture.Assign(DecodeBmp(bytes.data(), bytes.size())); break;
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
