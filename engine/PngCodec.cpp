// PNG through libpng.
//
// Read: every colour type and bit depth, tRNS, Adam7 interlacing. Palette
// pictures open as 1, 4 or 8-bit palette pictures (2 bits widen to 4), with
// tRNS alpha composited over white into the palette entries. Grey pictures
// of up to 8 bits open as palette pictures with a grey ramp (2-bit grey
// becomes 4-bit indices 5v, so the ramp stays exact); a tRNS grey turns its
// ramp entry white. Everything else opens as 24 bits: 16-bit samples become
// round(v / 257), alpha (own or from tRNS) is composited over white as
// (c·a + 255·(255 − a) + 127) div 255. gAMA, iCCP, sBIT and the text chunks
// are ignored: the pixels are taken as stored.
// A truncated or corrupt file is refused as a whole with the reason; no
// partly decoded picture is given. A header claiming more pixels than the
// rest of the file could hold at deflate's largest ratio is refused before
// the picture is allocated.
//
// Write (our own container and zlib stream, not libpng): 1, 4 and 8-bit
// palette pictures as palette PNG, or as grey PNG of the same depth when the
// palette is the exact grey ramp; every other format as 8-bit RGB.
// Photographs use the Paeth filter and zlib level 6 with the filtered
// strategy: measured on a 12 MP photo, 1.1 % larger than zlib level 7 and
// 1.7 times as fast. The filtered rows are cut into bands of about 2 MiB
// deflated at once on all cores; each band is primed with the 32 KiB before
// it, so it compresses almost as one stream would, and ends in a sync flush
// so the bands join into one zlib stream.
//
// libpng reports fatal read errors by longjmp to the setjmp of the function
// that called it. That function keeps every object with a destructor in a
// heap state owned by its caller, so the jump skips no cleanup.
#include "engine/Codecs.h"
#include "engine/Parallel.h"

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include <png.h>
#include <zlib.h>

namespace kadrimex {

namespace {

// Deflate never expands more than 1032 to 1; a little more for the chunk
// overhead of tiny files.
constexpr std::uint64_t kMaxInflateRatio = 1040;

struct TPngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[200] = {};

    // Reading: the file and how far libpng has read it.
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t offset = 0;
    std::string refusal;  // a reason found by our own checks
    TBitmap bitmap;
    std::vector<TPaletteEntry> palette;
    std::unique_ptr<std::uint8_t[]> rows;  // the whole interlaced picture, or one row

    ~TPngState()
    {
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

void OnError(png_structp png, png_const_charp message)
{
    auto* state = static_cast<TPngState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadData(png_structp png, png_bytep target, png_size_t count)
{
    auto* state = static_cast<TPngState*>(png_get_io_ptr(png));
    if (count > state->size - state->offset)
        png_error(png, "file is truncated");
    std::memcpy(target, state->data + state->offset, count);
    state->offset += count;
}

std::uint8_t Over(unsigned c, unsigned a)
{
    return std::uint8_t((c * a + 255 * (255 - a) + 127) / 255);
}

// One row of 8-bit samples (grey, grey+alpha, RGB, RGBA) as blue, green, red.
void RowTo24(const std::uint8_t* in, std::uint8_t* out, int width, int channels)
{
    switch (channels) {
    case 1:
        for (int x = 0; x < width; ++x, out += 3)
            out[0] = out[1] = out[2] = in[x];
        break;
    case 2:
        for (int x = 0; x < width; ++x, in += 2, out += 3)
            out[0] = out[1] = out[2] = Over(in[0], in[1]);
        break;
    case 3:
        for (int x = 0; x < width; ++x, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
        break;
    default:
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = Over(in[2], in[3]);
            out[1] = Over(in[1], in[3]);
            out[2] = Over(in[0], in[3]);
        }
        break;
    }
}

// How a decoded row becomes a bitmap row.
enum class TRowKind { Packed, TwoBit, Samples };

// Everything between setjmp and the end of the decode; returns false after a
// libpng error.
bool DecodeInto(TPngState& s)
{
    if (setjmp(png_jmpbuf(s.png)))
        return false;
    png_set_read_fn(s.png, &s, ReadData);
    png_set_user_limits(s.png, kMaxBitmapSide, kMaxBitmapSide);
    // Chunks whose contents we never use are skipped unread (and unchecked).
    static const png_byte ignored[] = {'i', 'C', 'C', 'P', 0, 'z', 'T', 'X', 't', 0, 'i', 'T', 'X', 't', 0,
                                       't', 'E', 'X', 't', 0, 's', 'P', 'L', 'T', 0, 'e', 'X', 'I', 'f', 0};
    png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_NEVER, ignored, int(sizeof ignored / 5));
    png_read_info(s.png, s.info);

    const png_uint_32 width = png_get_image_width(s.png, s.info);
    const png_uint_32 height = png_get_image_height(s.png, s.info);
    const int depth = png_get_bit_depth(s.png, s.info);
    const int type = png_get_color_type(s.png, s.info);
    const bool interlaced = png_get_interlace_type(s.png, s.info) != PNG_INTERLACE_NONE;
    const int fileChannels = png_get_channels(s.png, s.info);
    if (std::int64_t(width) * std::int64_t(height) > kMaxBitmapPixels) {
        s.refusal = "the picture is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")";
        return true;
    }
    const std::uint64_t rawBytes =
        std::uint64_t(height) * (1 + (std::uint64_t(width) * std::uint64_t(fileChannels * depth) + 7) / 8);
    if (rawBytes > std::uint64_t(s.size - s.offset) * kMaxInflateRatio + 4096) {
        s.refusal = "file is truncated (too short for a " + std::to_string(width) + " x " + std::to_string(height) +
                    " picture)";
        return true;
    }

    TPixelFormat format = TPixelFormat::pf24bit;
    TRowKind kind = TRowKind::Samples;
    unsigned indexStep = 1;
    // In the state: a libpng error must not jump over a destructor.
    auto& palette = s.palette;
    const bool indexed = type == PNG_COLOR_TYPE_PALETTE || (type == PNG_COLOR_TYPE_GRAY && depth <= 8);
    if (indexed) {
        format = depth == 1 ? TPixelFormat::pf1bit : depth <= 4 ? TPixelFormat::pf4bit : TPixelFormat::pf8bit;
        palette.resize(std::size_t(1) << BitsPerPixel(format));
        kind = depth == 2 ? TRowKind::TwoBit : TRowKind::Packed;
        indexStep = type == PNG_COLOR_TYPE_GRAY && depth == 2 ? 5 : 1;
        if (depth == 2)
            png_set_packing(s.png);
        png_bytep alpha = nullptr;
        int alphaCount = 0;
        png_color_16p grey = nullptr;
        if (png_get_valid(s.png, s.info, PNG_INFO_tRNS))
            png_get_tRNS(s.png, s.info, &alpha, &alphaCount, &grey);
        if (type == PNG_COLOR_TYPE_PALETTE) {
            png_colorp colours = nullptr;
            int count = 0;
            png_get_PLTE(s.png, s.info, &colours, &count);
            // Indices past the palette show black, as in a BMP file.
            for (int i = 0; i < count && i < int(palette.size()); ++i) {
                const unsigned a = i < alphaCount && alpha ? alpha[i] : 255;
                palette[i] = {Over(colours[i].red, a), Over(colours[i].green, a), Over(colours[i].blue, a), 0};
            }
        } else {
            // The ramp over the format's indices; 2-bit grey v is index 5v,
            // whose ramp grey is 85v.
            const std::size_t count = palette.size();
            for (std::size_t i = 0; i < count; ++i) {
                const auto g = std::uint8_t(i * 255 / (count - 1));
                palette[i] = {g, g, g, 0};
            }
            if (grey && alphaCount > 0 && grey->gray < (1u << depth))
                palette[std::size_t(grey->gray) * indexStep] = {255, 255, 255, 0};
        }
    } else {
        if (png_get_valid(s.png, s.info, PNG_INFO_tRNS))
            png_set_tRNS_to_alpha(s.png);
        if (depth == 16)
            png_set_scale_16(s.png);
    }
    const int passes = png_set_interlace_handling(s.png);
    png_read_update_info(s.png, s.info);
    const int channels = png_get_channels(s.png, s.info);
    const std::size_t rowBytes = png_get_rowbytes(s.png, s.info);

    s.bitmap.Reset(int(width), int(height), format);
    if (!palette.empty())
        s.bitmap.SetPaletteEntries(palette);
    const std::size_t bufferRows = interlaced ? height : 1;
    s.rows = AllocatePixels(rowBytes * bufferRows, true);
    auto rowAt = [&](png_uint_32 y) { return s.rows.get() + (interlaced ? rowBytes * y : 0); };
    auto store = [&](png_uint_32 y) {
        const std::uint8_t* in = rowAt(y);
        std::uint8_t* out = s.bitmap.ScanLine(int(y));
        switch (kind) {
        case TRowKind::Packed:
            std::memcpy(out, in, rowBytes);
            // libpng leaves the bits past the last pixel as the buffer had
            // them; the picture's are always zero.
            if (const int used = int(width * unsigned(depth) % 8))
                out[rowBytes - 1] &= std::uint8_t(0xFF00 >> used);
            break;
        case TRowKind::TwoBit:
            for (png_uint_32 x = 0; x < width; ++x) {
                const auto index = std::uint8_t((in[x] & 3) * indexStep);
                out[x / 2] |= std::uint8_t(x % 2 ? index : index << 4);
            }
            break;
        case TRowKind::Samples: RowTo24(in, out, int(width), channels); break;
        }
    };
    if (interlaced) {
        for (int pass = 0; pass < passes; ++pass)
            for (png_uint_32 y = 0; y < height; ++y)
                png_read_row(s.png, rowAt(y), nullptr);
        for (png_uint_32 y = 0; y < height; ++y)
            store(y);
    } else {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(s.png, rowAt(y), nullptr);
            store(y);
        }
    }
    // The image data must end properly; chunks after it are not read.
    return true;
}

bool IsGreyRamp(const TBitmap& bitmap)
{
    const auto& palette = bitmap.Palette();
    const std::size_t count = std::size_t(1) << BitsPerPixel(bitmap.PixelFormat());
    if (palette.size() != count)
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        const auto g = std::uint8_t(i * 255 / (count - 1));
        if (palette[i].peRed != g || palette[i].peGreen != g || palette[i].peBlue != g)
            return false;
    }
    return true;
}

// Big-endian 32 bits, as every PNG number is stored.
void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(v >> shift));
}

// One chunk: length, type, data, CRC-32 of type and data.
void PutChunk(std::vector<std::uint8_t>& out, const char* type, const std::uint8_t* data, std::size_t size)
{
    PutU32(out, std::uint32_t(size));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (size)
        out.insert(out.end(), data, data + size);
    const uLong crc = crc32(0, out.data() + typeAt, uInt(4 + size));
    PutU32(out, std::uint32_t(crc));
}

std::uint8_t Paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    return std::uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Row y as PNG stores it: the filter type byte, then the row's bytes,
// Paeth-filtered against row y - 1 (zeros above the first row) for
// photographs, unfiltered otherwise. 24-bit rows are blue, green, red in the
// bitmap and red, green, blue in the file; Paeth works on each channel
// alone, so the row is filtered as stored and the channels swapped after.
void FilterRow(const TBitmap& bitmap, int y, std::size_t rowBytes, int pixelBytes, bool paeth, std::uint8_t* out)
{
    const std::uint8_t* cur = bitmap.ScanLine(y);
    std::uint8_t* row = out + 1;
    if (!paeth) {
        out[0] = 0;
        std::memcpy(row, cur, rowBytes);
        return;
    }
    out[0] = 4;
    const int n = pixelBytes;
    if (y == 0) {
        // Above is zero: Paeth picks the left neighbour.
        for (std::size_t i = 0; i < rowBytes; ++i)
            row[i] = std::uint8_t(cur[i] - (i >= std::size_t(n) ? cur[i - n] : 0));
    } else {
        const std::uint8_t* up = bitmap.ScanLine(y - 1);
        for (int i = 0; i < n; ++i)
            row[i] = std::uint8_t(cur[i] - up[i]);
        for (std::size_t i = std::size_t(n); i < rowBytes; ++i)
            row[i] = std::uint8_t(cur[i] - Paeth(cur[i - n], up[i], up[i - n]));
    }
    if (n == 3)
        for (std::size_t i = 0; i + 2 < rowBytes; i += 3)
            std::swap(row[i], row[i + 2]);
}

// Filtered bytes per deflate band: bands are deflated at once on all cores.
// The band count follows from the size alone, so a picture is written to the
// same bytes on every machine.
constexpr std::size_t kBandBytes = std::size_t(2) << 20;
// Deflate's window: each band is primed with this much of the data before it.
constexpr std::size_t kWindow = 32768;
constexpr std::size_t kIdatChunk = std::size_t(1) << 20;

struct TBand {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
    uLong adler = 0;  // of the band's filtered rows
};

// Raw deflate of one band at level 6, primed with the bytes before it, ended
// by a sync flush (or, for the last band, the final block) so the bands
// concatenate into one stream.
void DeflateBand(const std::uint8_t* window, std::size_t windowSize, const std::uint8_t* data, std::size_t size,
                 bool last, bool photo, TBand& band)
{
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -15, 9, photo ? Z_FILTERED : Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
    struct TEnd {
        z_stream& z;
        ~TEnd() { deflateEnd(&z); }
    } ender{z};
    if (windowSize > 0)
        deflateSetDictionary(&z, window, uInt(windowSize));
    // Not zeroed: pages deflate never reaches are never touched.
    std::size_t capacity = deflateBound(&z, uLong(size)) + 64;
    band.bytes = AllocatePixels(capacity, false);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = uInt(size);
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        z.next_out = band.bytes.get() + z.total_out;
        z.avail_out = uInt(capacity - z.total_out);
        const int result = deflate(&z, flush);
        // A sync flush is complete once all input is taken and output room
        // is left over (a repeated call with nothing to do says Z_BUF_ERROR).
        if (result == Z_STREAM_END ||
            (!last && (result == Z_OK || result == Z_BUF_ERROR) && z.avail_in == 0 && z.avail_out > 0))
            break;
        if (result != Z_OK && result != Z_BUF_ERROR)
            throw EImageError("PNG: compression failed");
        auto grown = AllocatePixels(capacity * 2, false);
        std::memcpy(grown.get(), band.bytes.get(), z.total_out);
        band.bytes = std::move(grown);
        capacity *= 2;
    }
    band.size = z.total_out;
    band.adler = adler32(adler32(0, nullptr, 0), data, uInt(size));
}

std::vector<std::uint8_t> EncodeRows(const TBitmap& bitmap)
{
    const int bits = BitsPerPixel(bitmap.PixelFormat());
    const bool indexed = bits <= 8;
    const bool grey = indexed && IsGreyRamp(bitmap);
    // Indices and few-level greys compress best unfiltered; photographs and
    // 8-bit greys with Paeth.
    const bool photo = !indexed || (grey && bits == 8);
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const std::size_t rowBytes = (std::size_t(width) * std::size_t(indexed ? bits : 24) + 7) / 8;
    const std::size_t line = rowBytes + 1;

    std::vector<std::uint8_t> out;
    static const std::uint8_t signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    out.insert(out.end(), signature, signature + 8);
    std::vector<std::uint8_t> header;
    PutU32(header, std::uint32_t(width));
    PutU32(header, std::uint32_t(height));
    header.push_back(std::uint8_t(indexed ? bits : 8));
    header.push_back(grey ? 0 : indexed ? 3 : 2);
    header.insert(header.end(), {0, 0, 0});
    PutChunk(out, "IHDR", header.data(), header.size());
    if (indexed && !grey) {
        // The whole palette of the format, so every index a row holds has its colour.
        std::vector<std::uint8_t> colours(3 * (std::size_t(1) << bits), 0);
        const auto& palette = bitmap.Palette();
        for (std::size_t i = 0; i < colours.size() / 3 && i < palette.size(); ++i) {
            colours[3 * i] = palette[i].peRed;
            colours[3 * i + 1] = palette[i].peGreen;
            colours[3 * i + 2] = palette[i].peBlue;
        }
        PutChunk(out, "PLTE", colours.data(), colours.size());
    }

    // Bands of whole rows, each filtered and deflated on its own thread. A
    // row's filter needs only the rows as stored, so a band also filters the
    // rows before it that fill deflate's window, to prime its dictionary.
    const std::size_t bandRows = std::max<std::size_t>(1, kBandBytes / line);
    const int bands = int((std::size_t(height) + bandRows - 1) / bandRows);
    const std::size_t primeRows = (kWindow + line - 1) / line;
    std::vector<TBand> packed(static_cast<std::size_t>(bands));
    // Filtered rows, one buffer per band at work, reused by later bands.
    std::mutex spareLock;
    std::vector<std::unique_ptr<std::uint8_t[]>> spare;
    const std::size_t scratchBytes = line * std::min<std::size_t>(std::size_t(height), bandRows + primeRows);
    const int pixelBytes = indexed ? 1 : 3;
    ParallelFor(bands, [&](int b) {
        const std::size_t first = std::size_t(b) * bandRows;
        const std::size_t end = std::min(std::size_t(height), first + bandRows);
        const std::size_t from = first > primeRows ? first - primeRows : 0;
        std::unique_ptr<std::uint8_t[]> rows;
        {
            std::lock_guard<std::mutex> lock(spareLock);
            if (!spare.empty()) {
                rows = std::move(spare.back());
                spare.pop_back();
            }
        }
        if (!rows)
            rows = AllocatePixels(scratchBytes, false);
        for (std::size_t y = from; y < end; ++y)
            FilterRow(bitmap, int(y), rowBytes, pixelBytes, photo, rows.get() + line * (y - from));
        const std::size_t prime = line * (first - from);
        const std::size_t window = std::min(prime, kWindow);
        DeflateBand(rows.get() + prime - window, window, rows.get() + prime, line * (end - first), b == bands - 1,
                    photo, packed[std::size_t(b)]);
        std::lock_guard<std::mutex> lock(spareLock);
        spare.push_back(std::move(rows));
    });
    spare.clear();

    // The zlib stream: header (32 KiB window, default level), the bands, the
    // Adler-32 of all the rows.
    std::vector<std::uint8_t> stream;
    std::size_t streamSize = 6;
    for (const auto& band : packed)
        streamSize += band.size;
    stream.reserve(streamSize);
    stream.push_back(0x78);
    stream.push_back(0x9C);
    uLong sum = adler32(0, nullptr, 0);
    for (int b = 0; b < bands; ++b) {
        const std::size_t first = std::size_t(b) * bandRows;
        const std::size_t end = std::min(std::size_t(height), first + bandRows);
        auto& band = packed[std::size_t(b)];
        sum = adler32_combine(sum, band.adler, z_off_t(line * (end - first)));
        stream.insert(stream.end(), band.bytes.get(), band.bytes.get() + band.size);
        band.bytes.reset();
    }
    PutU32(stream, std::uint32_t(sum));

    out.reserve(out.size() + stream.size() + (stream.size() / kIdatChunk + 2) * 12);
    for (std::size_t at = 0; at < stream.size(); at += kIdatChunk)
        PutChunk(out, "IDAT", stream.data() + at, std::min(kIdatChunk, stream.size() - at));
    PutChunk(out, "IEND", nullptr, 0);
    return out;
}

}  // namespace

TBitmap DecodePng(const std::uint8_t* data, std::size_t size)
{
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0)
        throw EImageError(size < 8 ? "PNG: file is truncated" : "PNG: not a PNG file");
    // The header's size is checked here, so the refusal names it.
    if (size >= 24 && std::memcmp(data + 12, "IHDR", 4) == 0) {
        auto u32 = [&](std::size_t at) {
            return std::uint32_t(data[at]) << 24 | std::uint32_t(data[at + 1]) << 16 |
                   std::uint32_t(data[at + 2]) << 8 | std::uint32_t(data[at + 3]);
        };
        const std::uint32_t width = u32(16);
        const std::uint32_t height = u32(20);
        if (width > std::uint32_t(kMaxBitmapSide) || height > std::uint32_t(kMaxBitmapSide))
            throw EImageError("PNG: the picture is too large (" + std::to_string(width) + " x " +
                              std::to_string(height) + ")");
    }
    auto state = std::make_unique<TPngState>();
    state->data = data;
    state->size = size;
    state->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, state.get(), OnError, OnWarning);
    if (!state->png || !(state->info = png_create_info_struct(state->png)))
        throw EOutOfResources("Not enough memory to read the PNG file");
    const bool done = DecodeInto(*state);
    if (!state->refusal.empty())
        throw EImageError("PNG: " + state->refusal);
    if (!done)
        throw EImageError(std::string("PNG: ") + state->message);
    return std::move(state->bitmap);
}

std::vector<std::uint8_t> EncodePng(const TBitmap& bitmap)
{
    if (bitmap.Empty())
        throw EImageError("PNG: cannot save an empty picture");
    const TBitmap* source = &bitmap;
    TBitmap converted;
    if (BitsPerPixel(bitmap.PixelFormat()) > 8 && bitmap.PixelFormat() != TPixelFormat::pf24bit) {
        converted.Assign(bitmap);
        converted.SetPixelFormat(TPixelFormat::pf24bit);
        source = &converted;
    }
    try {
        return EncodeRows(*source);
    } catch (const std::bad_alloc&) {
        throw EOutOfResources("Not enough memory to save the picture");
    }
}

}  // namespace kadrimex
