// File codecs of the core: BMP and ICO are our own, JPEG goes through
// libjpeg-turbo, PNG through libpng, TIFF through libtiff, WebP through
// libwebp. Every decoder validates its header before it allocates and
// throws EImageError with one short sentence for a malformed, truncated or
// unsupported file.
#pragma once

#include "engine/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kadrimex {

// BMP: core (OS/2) and info headers v3/v4/v5; 1, 4, 8, 16, 24, 32 bits;
// BI_RGB, BI_BITFIELDS, RLE4, RLE8; bottom-up and top-down.
TBitmap DecodeBmp(const std::uint8_t* data, std::size_t size);
// Writes the picture's own format: 1/4/8 with palette, 15 as 5-5-5,
// 16 as 5-6-5 bit fields, 24, 32.
std::vector<std::uint8_t> EncodeBmp(const TBitmap& bitmap);

// JPEG: baseline, progressive, greyscale and CMYK decode to 24 bits.
// The first `heldBytes` of decoded rows are held apart from the picture
// until the data has proven itself; the rest decode into the picture.
inline constexpr std::size_t kJpegHeldBytes = std::size_t(16) << 20;
TBitmap DecodeJpeg(const std::uint8_t* data, std::size_t size, std::size_t heldBytes = kJpegHeldBytes);
// Encodes a picture of any format (converted to 24 bits on a copy).
std::vector<std::uint8_t> EncodeJpeg(const TBitmap& bitmap, int quality = 80, bool progressive = false);

// The EXIF Orientation (1 to 8) of a JPEG file; 1 when it has none or its
// EXIF block is damaged.
int JpegOrientation(const std::uint8_t* data, std::size_t size);
// The picture as a viewer shows a file of that EXIF orientation: a lossless
// mirror, half turn or quarter turn (sides swapped for 5 to 8). Pictures of
// 8 bits a pixel or more; orientation 1 or an unknown one returns a copy.
TBitmap OrientUpright(const TBitmap& stored, int orientation);

// PNG: every colour type and depth, tRNS, interlaced. Palette and grey
// pictures of up to 8 bits decode to 1, 4 or 8-bit palette pictures, the
// rest to 24 bits with alpha composited over white.
TBitmap DecodePng(const std::uint8_t* data, std::size_t size);
// Palette pictures as palette PNG (grey PNG for a grey ramp), the rest as
// 8-bit RGB.
std::vector<std::uint8_t> EncodePng(const TBitmap& bitmap);

// WebP: lossy, lossless, alpha (composited over white), the first frame of
// an animation; always 24 bits.
TBitmap DecodeWebp(const std::uint8_t* data, std::size_t size);
// Lossy at `quality` (0 to 100); any format is converted to 24 bits on a copy.
std::vector<std::uint8_t> EncodeWebp(const TBitmap& bitmap, int quality = 80);

// TIFF, first page: strips or tiles, uncompressed, LZW, Deflate, PackBits,
// CCITT (1 bit) or JPEG, chunky or planar, either byte order. Palette and
// grey pictures of up to 8 bits open as 1/4/8-bit palette pictures, the rest
// as 24 bits (alpha over white, CMYK converted plainly). See TiffCodec.cpp.
TBitmap DecodeTiff(const std::uint8_t* data, std::size_t size);
// Lossless LZW: palette pictures as palette (or grey) TIFF, the rest as
// 8-bit RGB with the horizontal predictor.
std::vector<std::uint8_t> EncodeTiff(const TBitmap& bitmap);

// One entry of an icon file.
struct TIconEntry {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    bool png = false;                 // PNG-compressed entry (decoded by the UI layer)
    std::vector<std::uint8_t> bytes;  // the entry's raw bytes
};

// Parses the icon directory; throws EImageError for a malformed file.
std::vector<TIconEntry> ParseIco(const std::uint8_t* data, std::size_t size);
// True when the entry can be decoded: a DIB entry decodes, a PNG entry's
// chunks are whole with sound checksums.
bool IconEntryIntact(const TIconEntry& entry);
// Index of the entry best for display: largest, then deepest.
std::size_t BestIconEntry(const std::vector<TIconEntry>& entries);
// Decodes a DIB icon entry to a 32-bit picture (fourth byte alpha, the AND
// mask applied where the entry has no alpha of its own).
TBitmap DecodeIconDib(const TIconEntry& entry);

// Opens `path` for reading without waiting on a FIFO or a device and refuses
// anything but a regular file. Returns the descriptor; throws EImageError
// "<failure> PATH: reason".
int OpenRegularFile(const std::string& path, const std::string& failure = "Cannot open file");

// Whole-file helpers.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
// Writes to a temporary file beside `path` and renames it over the target,
// so a failed write never destroys an existing file. A symbolic link is
// followed: its final target is replaced and keeps its permissions. A
// hard-linked target is replaced by a new file; its other names keep the
// old contents. `cancelled` is asked between blocks and before the rename;
// when it answers true the temporary file is removed, the target is left as
// it was, and the result is false. Where the file system allows, the file is
// anonymous until complete, so a killed writer leaves nothing; elsewhere a
// killed writer's file, named by TemporaryWriteName, is removed by the next
// write to the same target.
bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                         const std::function<bool()>& cancelled = {});
// The same for a file of `size` bytes handed over in blocks of at most
// kWriteBlock bytes: `block(offset, count)` returns the bytes from `offset`
// on, valid until the next call.
inline constexpr std::size_t kWriteBlock = std::size_t(4) << 20;
using TBlockSource = std::function<const std::uint8_t*(std::uint64_t offset, std::size_t count)>;
bool WriteFileAtomically(const std::string& path, std::uint64_t size, const TBlockSource& block,
                         const std::function<bool()>& cancelled = {});
// The n-th name (from 0) a complete temporary file of `target` (a final
// target, no link) takes before its rename: short enough for any target.
std::string TemporaryWriteName(const std::string& target, int n);
// Refuses early (EImageError, "Cannot write file PATH: reason") a `path`
// whose folder is missing, not a folder, or not writable by us, and a path
// that names something other than a regular file, so a long operation
// fails before it starts rather than at its end.
void CheckWritableDestination(const std::string& path);
// EncodeBmp's bytes written as WriteFileAtomically writes them, a block at a
// time, so the whole file is never held in memory.
bool SaveBmpFile(const std::string& path, const TBitmap& bitmap, const std::function<bool()>& cancelled = {});

}  // namespace kadrimex
