#include "engine/Graphic.h"

#include <algorithm>
#include <cctype>

namespace kadrimex {

TJPEGImage::TJPEGImage(std::vector<std::uint8_t> compressed) : FData(std::move(compressed))
{
    const TBitmap decoded = DecodeJpeg(FData.data(), FData.size());
    FWidth = decoded.Width();
    FHeight = decoded.Height();
}

TJPEGImage TJPEGImage::Compress(const TBitmap& bitmap, int quality, bool progressive)
{
    TJPEGImage image;
    image.FData = EncodeJpeg(bitmap, quality, progressive);
    image.FWidth = bitmap.Width();
    image.FHeight = bitmap.Height();
    return image;
}

TBitmap TJPEGImage::ToBitmap() const
{
    if (FData.empty())
        return TBitmap();
    return DecodeJpeg(FData.data(), FData.size());
}

TIcon::TIcon(std::vector<std::uint8_t> fileBytes) : FData(std::move(fileBytes))
{
    FEntries = ParseIco(FData.data(), FData.size());
    FBest = BestIconEntry(FEntries);
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

TPicture TPicture::LoadFromFile(const std::string& path)
{
    std::string ext;
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });

    auto bytes = ReadFileBytes(path);
    TPicture picture;
    if (ext == ".jpg" || ext == ".jpeg")
        picture.Assign(TJPEGImage(std::move(bytes)));
    else if (ext == ".ico")
        picture.Assign(TIcon(std::move(bytes)));
    else
        picture.Assign(DecodeBmp(bytes.data(), bytes.size()));
    return picture;
}

bool MakeWorkingCopy(const TPicture& picture, TAdvancedBitmap& copy)
{
    TBitmap bitmap = picture.ToBitmap("TAdvancedBitmap");
    if (bitmap.Empty()) {
        copy = TAdvancedBitmap();
        return false;
    }
    static_cast<TBitmap&>(copy) = std::move(bitmap);
    return true;
}

}  // namespace kadrimex
