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
// Write: 1, 4 and 8-bit palette pictures as palette PNG, or as grey PNG of
// the same depth when the palette is the exact grey ramp; every other
// format as 8-bit RGB. Photographs use the Paeth filter and zlib level 6
// with the filtered strategy: measured on a 12 MP photo, 1.1 % larger than
// zlib level 7 and 1.7 times as fast.
//
// libpng reports fatal errors by longjmp to the setjmp of the function that
// called it. Those functions keep every object with a destructor in a heap
// state owned by their caller, so the jump skips no cleanup, and nothing
// C++ throws through libpng's own frames: a failed allocation in our write
// callback is turned into a libpng error and rethrown after the jump.
#include "engine/Codecs.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>

#include <png.h>

namespace kadrimex {

namespace {

// Deflate never expands more than 1032 to 1; a little more for the chunk
// overhead of tiny files.
constexpr std::uint64_t kMaxInflateRatio = 1040;

struct TPngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    bool writing = false;
    char message[200] = {};
    bool outOfMemory = false;

    // Reading: the file and how far libpng has read it.
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t offset = 0;
    std::string refusal;  // a reason found by our own checks
    TBitmap bitmap;
    std::vector<TPaletteEntry> palette;
    std::unique_ptr<std::uint8_t[]> rows;  // the whole interlaced picture, or one row

    // Writing.
    std::vector<std::uint8_t> out;
    std::vector<png_color> colours;

    ~TPngState()
    {
        if (writing)
            png_destroy_write_struct(&png, info ? &info : nullptr);
        else if (png)
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

void WriteData(png_structp png, png_bytep bytes, png_size_t count)
{
    auto* state = static_cast<TPngState*>(png_get_io_ptr(png));
    try {
        state->out.insert(state->out.end(), bytes, bytes + count);
    } catch (const std::bad_alloc&) {
        state->outOfMemory = true;
        png_error(png, "out of memory");
    }
}

void FlushData(png_structp) {}

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

bool EncodeInto(TPngState& s, const TBitmap& bitmap)
{
    if (setjmp(png_jmpbuf(s.png)))
        return false;
    png_set_write_fn(s.png, &s, WriteData, FlushData);
    const int bits = BitsPerPixel(bitmap.PixelFormat());
    const bool indexed = bits <= 8;
    const bool grey = indexed && IsGreyRamp(bitmap);
    png_set_IHDR(s.png, s.info, png_uint_32(bitmap.Width()), png_uint_32(bitmap.Height()), indexed ? bits : 8,
                 grey ? PNG_COLOR_TYPE_GRAY : indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    auto& colours = s.colours;
    if (indexed && !grey) {
        // The whole palette of the format, so every index a row holds has its colour.
        colours.resize(std::size_t(1) << bits);
        const auto& palette = bitmap.Palette();
        for (std::size_t i = 0; i < colours.size() && i < palette.size(); ++i)
            colours[i] = {palette[i].peRed, palette[i].peGreen, palette[i].peBlue};
        png_set_PLTE(s.png, s.info, colours.data(), int(colours.size()));
    }
    // Indices and few-level greys compress best unfiltered; photographs and
    // 8-bit greys with Paeth.
    const bool photo = !indexed || (grey && bits == 8);
    png_set_filter(s.png, PNG_FILTER_TYPE_BASE, photo ? PNG_FILTER_PAETH : PNG_FILTER_NONE);
    png_set_compression_level(s.png, 6);
    png_set_compression_mem_level(s.png, 9);
    png_set_compression_strategy(s.png, photo ? 1 /* Z_FILTERED */ : 0 /* Z_DEFAULT_STRATEGY */);
    png_write_info(s.png, s.info);
    if (!indexed)
        png_set_bgr(s.png);
    for (int y = 0; y < bitmap.Height(); ++y)
        png_write_row(s.png, const_cast<png_bytep>(bitmap.ScanLine(y)));
    png_write_end(s.png, s.info);
    return true;
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
    auto state = std::make_unique<TPngState>();
    state->writing = true;
    state->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, state.get(), OnError, OnWarning);
    if (!state->png || !(state->info = png_create_info_struct(state->png)))
        throw EOutOfResources("Not enough memory to save the picture");
    if (!EncodeInto(*state, *source)) {
        if (state->outOfMemory)
            throw EOutOfResources("Not enough memory to save the picture");
        throw EImageError(std::string("PNG: ") + state->message);
    }
    return std::move(state->out);
}

}  // namespace kadrimex
