// The working bitmap: one picture in memory in any of the supported pixel
// formats, reached row by row. Rows are stored top-down, each padded to a
// multiple of four bytes like a device-independent bitmap, so a row can be
// written to a BMP file as it stands.
//
// Pixel layouts seen through ScanLine(y):
//   pf1bit   palette indices, 8 pixels a byte, leftmost pixel in the high bit
//   pf4bit   palette indices, 2 pixels a byte, leftmost pixel in the high nibble
//   pf8bit   palette index, one byte a pixel
//   pf15bit  16-bit little-endian word 0RRRRRGG GGGBBBBB (5-5-5)
//   pf16bit  16-bit little-endian word RRRRRGGG GGGBBBBB (5-6-5)
//   pf24bit  bytes blue, green, red
//   pf32bit  bytes blue, green, red, and a fourth byte kept as it is
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace kadrimex {

// An error the user sees as one clear sentence: unreadable or malformed
// files, impossible conversions, pictures too large for memory.
class EImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Allocation of pixel memory or work planes failed or was refused.
class EOutOfResources : public EImageError {
public:
    using EImageError::EImageError;
};

enum class TPixelFormat : std::uint8_t {
    pfDevice,
    pf1bit,
    pf4bit,
    pf8bit,
    pf15bit,
    pf16bit,
    pf24bit,
    pf32bit,
    pfCustom
};

// Bits per pixel of a format; 0 for pfDevice and pfCustom.
int BitsPerPixel(TPixelFormat format);
// The format with that many bits per pixel (1, 4, 8, 15, 16, 24, 32);
// pfCustom for any other count.
TPixelFormat PixelFormatFromBits(int bits);

struct TPaletteEntry {
    std::uint8_t peRed = 0;
    std::uint8_t peGreen = 0;
    std::uint8_t peBlue = 0;
    std::uint8_t peFlags = 0;
    friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};

// A logical palette as the operations build it: a version word (0x300)
// followed by its entries.
struct TLogPalette {
    std::uint16_t palVersion = 0x300;
    std::vector<TPaletteEntry> palPalEntry;
};

// Largest side and largest pixel count a bitmap accepts. Files and dialogs
// that ask for more are refused before any memory is taken.
inline constexpr int kMaxBitmapSide = 65535;
inline constexpr std::int64_t kMaxBitmapPixels = std::int64_t(1) << 30;

// Bytes of one stored row of `width` pixels of `bits` bits, padded to 4.
std::size_t RowStride(int width, int bits);

class TBitmap {
public:
    TBitmap();
    TBitmap(const TBitmap& other);
    TBitmap& operator=(const TBitmap& other);
    TBitmap(TBitmap&& other) noexcept;
    TBitmap& operator=(TBitmap&& other) noexcept;
    virtual ~TBitmap();

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // Resizing keeps the pixels that still fit (top-left anchored); new
    // pixels are zero bytes. Throws EOutOfResources for absurd sizes.
    void SetWidth(int width);
    void SetHeight(int height);
    void SetSize(int width, int height);
    bool Empty() const { return FWidth == 0 || FHeight == 0; }

    TPixelFormat PixelFormat() const { return FPixelFormat; }
    // Converts the pixels in place (see PixelConvert.cpp). Setting the
    // format a bitmap already has changes nothing.
    void SetPixelFormat(TPixelFormat format);

    // Row y, counted from the top. Valid until the size or format changes.
    std::uint8_t* ScanLine(int y);
    const std::uint8_t* ScanLine(int y) const;
    std::size_t Stride() const { return FStride; }

    // Palette of a 1, 4 or 8-bit picture (empty for the other formats).
    const std::vector<TPaletteEntry>& Palette() const { return FPalette; }
    void SetPalette(const TLogPalette& palette);
    void SetPaletteEntries(std::vector<TPaletteEntry> entries);

    // Copies pixels, format and palette.
    void Assign(const TBitmap& source);

    // True for a 1-bit picture whose two colours are black and white.
    bool Monochrome() const;
    // true: re-encodes the picture as 1 bit with the palette black, white.
    // false on a monochrome picture: back to the device format (24 bits).
    void SetMonochrome(bool value);

    // Low-level: replace size, format, storage and palette at once; used by
    // codecs and converters. Allocates zeroed rows.
    void Reset(int width, int height, TPixelFormat format);
    // As Reset, but the rows hold arbitrary bytes: for callers that write
    // every byte of every row, padding included, right away.
    void ResetForOverwrite(int width, int height, TPixelFormat format);

private:
    void Allocate(int width, int height, TPixelFormat format, bool zeroed);

    int FWidth = 0;
    int FHeight = 0;
    TPixelFormat FPixelFormat = TPixelFormat::pfDevice;
    std::size_t FStride = 0;
    std::unique_ptr<std::uint8_t[]> FBits;
    std::vector<TPaletteEntry> FPalette;
};

// The working bitmap of the operations: TBitmap under the system's own name.
class TAdvancedBitmap : public TBitmap {
public:
    using TBitmap::TBitmap;
};

// Fills a 24-bit picture with one colour.
void FillSolid(TBitmap& bitmap, std::uint8_t red, std::uint8_t green, std::uint8_t blue);

// Allocates memory for pixel data or work planes, zeroed unless the caller
// overwrites it all; throws EOutOfResources naming the size when it cannot
// be had.
std::unique_ptr<std::uint8_t[]> AllocatePixels(std::size_t bytes, bool zeroed = true);
// Asks for 2 MiB pages over the block when it is large enough to gain.
void AdviseHugePages(void* block, std::size_t bytes);

// The rows of a bitmap of any format as blue, green, red bytes, exactly as
// SetPixelFormat(pf24bit) converts them, one row at a time: a consumer of
// 24-bit rows (the JPEG encoder) needs no whole 24-bit copy.
class TBgrRowReader {
public:
    explicit TBgrRowReader(const TBitmap& source);
    ~TBgrRowReader();
    TBgrRowReader(const TBgrRowReader&) = delete;
    TBgrRowReader& operator=(const TBgrRowReader&) = delete;
    // Row y: a pointer into the bitmap when it is stored in 24 bits,
    // otherwise into `buffer` (3 * width bytes), filled.
    const std::uint8_t* Row(int y, std::uint8_t* buffer);

private:
    class TImpl;
    std::unique_ptr<TImpl> FImpl;
};

}  // namespace kadrimex
