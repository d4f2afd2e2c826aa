#include "engine/Bitmap.h"

#include <algorithm>
#include <cstring>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace kadrimex {

int BitsPerPixel(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit: return 15;
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit: return 32;
    default: return 0;
    }
}

TPixelFormat PixelFormatFromBits(int bits)
{
    switch (bits) {
    case 1: return TPixelFormat::pf1bit;
    case 4: return TPixelFormat::pf4bit;
    case 8: return TPixelFormat::pf8bit;
    case 15: return TPixelFormat::pf15bit;
    case 16: return TPixelFormat::pf16bit;
    case 24: return TPixelFormat::pf24bit;
    case 32: return TPixelFormat::pf32bit;
    default: return TPixelFormat::pfCustom;
    }
}

std::size_t RowStride(int width, int bits)
{
    // 15-bit pixels are stored in 16-bit words.
    const std::size_t storedBits = bits == 15 ? 16 : std::size_t(bits);
    return ((std::size_t(width) * storedBits + 31) / 32) * 4;
}

void AdviseHugePages(void* block, std::size_t bytes)
{
#ifdef __linux__
    // Filling the block then takes a few page faults instead of one per
    // 4 KiB, which dominate the cost of large pictures. Only the aligned
    // middle of the block can use them.
    constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
    if (bytes >= 2 * kHuge) {
        const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(block) + kHuge - 1) & ~(kHuge - 1);
        const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(kHuge - 1);
        if (end > begin)
            madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#else
    (void)block;
    (void)bytes;
#endif
}

std::unique_ptr<std::uint8_t[]> AllocatePixels(std::size_t bytes, bool zeroed)
{
    const std::size_t size = bytes == 0 ? 1 : bytes;
    std::unique_ptr<std::uint8_t[]> memory(new (std::nothrow) std::uint8_t[size]);
    if (!memory) {
        throw EOutOfResources("Not enough memory for a picture of " + std::to_string(bytes / (1024 * 1024)) +
                              " MB");
    }
    AdviseHugePages(memory.get(), bytes);
    if (zeroed)
        std::memset(memory.get(), 0, size);
    return memory;
}

TBitmap::TBitmap() = default;

TBitmap::TBitmap(const TBitmap& other)
{
    Assign(other);
}

TBitmap& TBitmap::operator=(const TBitmap& other)
{
    if (this != &other)
        Assign(other);
    return *this;
}

TBitmap::TBitmap(TBitmap&& other) noexcept
    : FWidth(other.FWidth), FHeight(other.FHeight), FPixelFormat(other.FPixelFormat), FStride(other.FStride),
      FBits(std::move(other.FBits)), FPalette(std::move(other.FPalette))
{
    other.FWidth = other.FHeight = 0;
    other.FStride = 0;
}

TBitmap& TBitmap::operator=(TBitmap&& other) noexcept
{
    if (this != &other) {
        FWidth = other.FWidth;
        FHeight = other.FHeight;
        FPixelFormat = other.FPixelFormat;
        FStride = other.FStride;
        FBits = std::move(other.FBits);
        FPalette = std::move(other.FPalette);
        other.FWidth = other.FHeight = 0;
        other.FStride = 0;
    }
    return *this;
}

TBitmap::~TBitmap() = default;

static int StorageBits(TPixelFormat format)
{
    const int bits = BitsPerPixel(format);
    // Device and custom formats are held as 24-bit pixels.
    return bits == 0 ? 24 : bits;
}

void TBitmap::Allocate(int width, int height, TPixelFormat format, bool zeroed)
{
    if (width < 0 || height < 0)
        throw EImageError("Invalid picture size " + std::to_string(width) + " x " + std::to_string(height));
    if (width > kMaxBitmapSide || height > kMaxBitmapSide ||
        std::int64_t(width) * std::int64_t(height) > kMaxBitmapPixels) {
        throw EOutOfResources("A picture of " + std::to_string(width) + " x " + std::to_string(height) +
                              " pixels is too large");
    }
    const std::size_t stride = RowStride(width, StorageBits(format));
    auto bits = AllocatePixels(stride * std::size_t(height), zeroed);
    FBits = std::move(bits);
    FStride = stride;
    FWidth = width;
    FHeight = height;
    FPixelFormat = format;
}

void TBitmap::Reset(int width, int height, TPixelFormat format)
{
    Allocate(width, height, format, true);
    FPalette.clear();
}

void TBitmap::ResetForOverwrite(int width, int height, TPixelFormat format)
{
    Allocate(width, height, format, false);
    FPalette.clear();
}

void TBitmap::SetSize(int width, int height)
{
    if (width == FWidth && height == FHeight)
        return;
    TBitmap old(std::move(*this));
    Allocate(width, height, old.FPixelFormat, true);
    FPalette = old.FPalette;
    const std::size_t copyBytes = std::min(FStride, old.FStride);
    const int copyRows = std::min(FHeight, old.FHeight);
    for (int y = 0; y < copyRows; ++y)
        std::memcpy(ScanLine(y), old.ScanLine(y), copyBytes);
}

void TBitmap::SetWidth(int width)
{
    SetSize(width, FHeight);
}

void TBitmap::SetHeight(int height)
{
    SetSize(FWidth, height);
}

std::uint8_t* TBitmap::ScanLine(int y)
{
    if (y < 0 || y >= FHeight)
        throw EImageError("Scan line index out of range");
    return FBits.get() + std::size_t(y) * FStride;
}

const std::uint8_t* TBitmap::ScanLine(int y) const
{
    if (y < 0 || y >= FHeight)
        throw EImageError("Scan line index out of range");
    return FBits.get() + std::size_t(y) * FStride;
}

void TBitmap::SetPalette(const TLogPalette& palette)
{
    SetPaletteEntries(palette.palPalEntry);
}

void TBitmap::SetPaletteEntries(std::vector<TPaletteEntry> entries)
{
    FPalette = std::move(entries);
}

void TBitmap::Assign(const TBitmap& source)
{
    if (this == &source)
        return;
    // Every byte is copied, so the storage need not be zeroed first.
    Allocate(source.FWidth, source.FHeight, source.FPixelFormat, !source.FBits);
    if (source.FBits)
        std::memcpy(FBits.get(), source.FBits.get(), FStride * std::size_t(FHeight));
    FPalette = source.FPalette;
}

void FillSolid(TBitmap& bitmap, std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < bitmap.Width(); ++x) {
            row[3 * x] = blue;
            row[3 * x + 1] = green;
            row[3 * x + 2] = red;
        }
    }
}

}  // namespace kadrimex
