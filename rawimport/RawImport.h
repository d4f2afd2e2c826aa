// Headerless ("RAW") pictures: the file's bytes are laid out as the user
// says, either line by line in a bitmap's own pixel layout (Typical) or as
// pixels of B bytes each averaged into 24 bits (Multibyte), and palette
// files of 3-byte entries red, green, blue.
//
// File sizes and offsets are 64-bit. Bytes the file does not supply are
// zero: the end of a last, incomplete line, the pixels past W div 8 or
// W div 2 in 1 and 4-bit lines, and a short palette file's missing
// components.
#pragma once

#include "engine/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kadrimex {

// The bytes of a RAW or palette file, read at any 64-bit offset.
class TRawSource {
public:
    virtual ~TRawSource() = default;
    virtual std::int64_t Size() const = 0;
    // Reads up to `count` bytes at `offset`; fewer only at the end. Throws
    // EImageError when the medium fails.
    virtual std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count) const = 0;
};

// A file open read-only, shared with other programs. Opening never blocks
// and only a regular file is accepted (a FIFO or a device is refused, so
// it cannot hang the caller). Reads are positioned, so several threads may
// read one file at once. Throws EImageError naming the file.
class TRawFile final : public TRawSource {
public:
    explicit TRawFile(const std::string& path);
    ~TRawFile() override;
    TRawFile(const TRawFile&) = delete;
    TRawFile& operator=(const TRawFile&) = delete;

    const std::string& Path() const { return FPath; }
    // The size now: the file may grow or shrink while it is open.
    std::int64_t Size() const override;
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count) const override;

private:
    std::string FPath;
    int FHandle = -1;
};

// Bytes in memory (tests, fuzzing).
class TRawMemory final : public TRawSource {
public:
    TRawMemory(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}
    std::int64_t Size() const override { return std::int64_t(FSize); }
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count) const override;

private:
    const std::uint8_t* FData;
    std::size_t FSize;
};

enum class TRawMode { Typical, Multibyte };

// The options of the RAW dialog.
struct TRawOptions {
    int width = 320;                               // W, 1 ... 1000000
    std::int64_t skip = 0;                         // S, bytes skipped at the start
    int lineLimit = -1;                            // L; below 1: no limit
    bool bottomUp = false;                         // the first line is the bottom row
    TRawMode mode = TRawMode::Typical;
    TPixelFormat format = TPixelFormat::pf8bit;    // Typical: 1, 4, 8, 15, 16, 24, 32 bits
    std::string paletteFile;                       // Typical, 1/4/8 bits; empty: grey
    int multiplier = 1;                            // M, 1 ... 255
    int bytesPerPixel = 1;                         // B, Multibyte, 1 ... 255
};

// Ranges of the dialog's spin edits.
inline constexpr int kRawMaxWidth = 1000000;
inline constexpr std::int64_t kRawMaxSkip = 2147000000;
inline constexpr int kRawMaxMultiplier = 255;
inline constexpr int kRawMaxBytesPerPixel = 255;

// The line limit box's text as a whole number; −1 when it is not one (such
// as "no"). Blanks around the number are allowed.
int ParseLineLimit(std::string_view text);

// Where the picture starts in the file, how many lines it has (after the
// line limit) and how many file bytes one line takes.
struct TRawLayout {
    std::int64_t skip = 0;
    std::int64_t lines = 0;  // 0: Multibyte with no byte after the skip
    std::int64_t lineBytes = 0;
};

// Typical: A = size − S bytes remain; with none left the picture is the
// last byte of the file on one line. n = Ceil of the exact quotient of the
// depth table, then the limit.
TRawLayout TypicalLayout(std::int64_t fileSize, TPixelFormat format, int lineLimit, int width, std::int64_t skip);
// Multibyte: n = Ceil(A / B / W), then the limit; lines = 0 when A < 1.
TRawLayout MultibyteLayout(std::int64_t fileSize, int bytesPerPixel, int lineLimit, int width, std::int64_t skip);
// The layout of either mode.
TRawLayout RawLayout(const TRawOptions& options, std::int64_t fileSize);

// Tested between lines; true stops the decode.
using TRawCancel = std::function<bool()>;

// Each decoder builds the new picture aside and moves it into `bitmap` only
// when complete, so a failure (EImageError, EOutOfResources for a picture
// too large) or a cancel leaves `bitmap` as it was. They return false when
// cancelled, and DecodeMultibyte also when no byte remains after the skip.
bool DecodeTypical(const TRawSource& stream, TBitmap& bitmap, const std::string& paletteFileName, int multiplier,
                   bool bottomUp, TPixelFormat format, int lineLimit, int width, std::int64_t skip,
                   const TRawCancel& cancelled = {});
bool DecodeMultibyte(const TRawSource& stream, TBitmap& bitmap, bool bottomUp, int bytesPerPixel, int lineLimit,
                     int width, std::int64_t skip, const TRawCancel& cancelled = {});
// The decoder of the options' mode.
bool DecodeRaw(const TRawSource& stream, const TRawOptions& options, TBitmap& bitmap, const TRawCancel& cancelled = {});

// The grey ramp of a 1, 4 or 8-bit picture: entry i = (i × step × M) mod 256
// with step 255, 16 or 1. Other depths are left alone.
void MakeGreyPalette(TBitmap& bitmap, int multiplier);
// 2, 16 or 256 entries of red, green, blue from the start of `palette`,
// each component (byte × M) mod 256; nothing is read beyond them.
void LoadPaletteFile(TBitmap& bitmap, int multiplier, const TRawSource& palette);
// The same from the file at `path`; a file that cannot be opened, is not a
// regular file or holds fewer than 3 bytes fails with EImageError
// ("Cannot read the palette file: ..."). Other depths read nothing.
void LoadPaletteFile(TBitmap& bitmap, int multiplier, const std::string& path);

}  // namespace kadrimex
