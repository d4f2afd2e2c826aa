// The displayed graphic: what Open, New, Save and the operations leave in
// the picture. A bitmap, a compressed JPEG (decoded on demand, re-encoded on
// save) or an icon (shown only; it cannot be processed).
#pragma once

#include "engine/Bitmap.h"
#include "engine/Codecs.h"

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace kadrimex {

class TJPEGImage {
public:
    TJPEGImage() = default;
    // `upright`: the pixels are turned as the file's EXIF Orientation asks;
    // the compressed bytes stay as stored.
    explicit TJPEGImage(std::vector<std::uint8_t> compressed, bool upright = false);
    // Compresses a picture (CompressionQuality, ProgressiveEncoding).
    static TJPEGImage Compress(const TBitmap& bitmap, int quality = 80, bool progressive = false);

    const std::vector<std::uint8_t>& Data() const { return FData; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    bool Empty() const { return FWidth == 0 || FHeight == 0; }
    // Decodes to a 24-bit bitmap.
    TBitmap ToBitmap() const;
    // As ToBitmap, but takes the decoded pixels without a copy when no
    // other image shares them; the image is left empty.
    TBitmap TakeBitmap();

private:
    std::vector<std::uint8_t> FData;
    int FWidth = 0;
    int FHeight = 0;
    // The data decoded once when the image is made (which also proves the
    // data readable); shared by copies, never changed while shared.
    std::shared_ptr<TBitmap> FDecoded;
};

class TIcon {
public:
    TIcon() = default;
    explicit TIcon(std::vector<std::uint8_t> fileBytes);

    const std::vector<std::uint8_t>& Data() const { return FData; }
    const TIconEntry& Best() const { return FEntries[FBest]; }
    int Width() const { return FEntries.empty() ? 0 : Best().width; }
    int Height() const { return FEntries.empty() ? 0 : Best().height; }
    bool Empty() const { return FEntries.empty(); }

private:
    std::vector<std::uint8_t> FData;
    std::vector<TIconEntry> FEntries;
    std::size_t FBest = 0;
};

class TPicture {
public:
    using Graphic = std::variant<std::monostate, TBitmap, TJPEGImage, TIcon>;

    const Graphic& graphic() const { return FGraphic; }
    bool IsBitmap() const { return std::holds_alternative<TBitmap>(FGraphic); }
    bool IsJpeg() const { return std::holds_alternative<TJPEGImage>(FGraphic); }
    bool IsIcon() const { return std::holds_alternative<TIcon>(FGraphic); }
    // Class name of the current graphic ("TBitmap", "TJPEGImage", "TIcon").
    std::string GraphicClassName() const;
    bool Empty() const;
    int Width() const;
    int Height() const;

    void Assign(TBitmap bitmap) { FGraphic = std::move(bitmap); }
    void Assign(TJPEGImage jpeg) { FGraphic = std::move(jpeg); }
    void Assign(TIcon icon) { FGraphic = std::move(icon); }
    void Clear() { FGraphic = std::monostate{}; }

    // The picture as a bitmap (a copy; JPEG decoded). An icon raises
    // EImageError("Cannot assign a TIcon to a <targetClass>").
    TBitmap ToBitmap(const std::string& targetClass = "TAdvancedBitmap") const;
    // As ToBitmap, moving the pixels out; the picture is left empty.
    TBitmap TakeBitmap(const std::string& targetClass = "TAdvancedBitmap");

    // Loads a file by its extension (.jpg/.jpeg, .ico, .bmp, .png,
    // .tif/.tiff, .webp); any other name is recognised by the file's
    // signature. A PNG, TIFF or WebP name on other content is refused. `upright` turns a JPEG as its EXIF
    // Orientation asks; false keeps the stored orientation.
    static TPicture LoadFromFile(const std::string& path, bool upright = true);

private:
    Graphic FGraphic;
};

// Builds the working copy of a displayed picture. Returns false (and leaves
// `copy` empty) when the picture is empty; throws EImageError for an icon.
bool MakeWorkingCopy(const TPicture& picture, TAdvancedBitmap& copy);
// As above, for a picture no longer needed: its pixels move into the copy
// instead of being copied, so the peak is one picture, not two.
bool MakeWorkingCopy(TPicture&& picture, TAdvancedBitmap& copy);

}  // namespace kadrimex
