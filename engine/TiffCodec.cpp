// TIFF reading and writing through libtiff, entirely in memory.
//
// Read: the first page only (further pages, sub-files and their directory
// chain are never followed, so a looping chain cannot hold us); strips or
// tiles; no compression, LZW, Deflate, PackBits, CCITT RLE/G3/G4 (1-bit
// pages) and JPEG, with or without the horizontal predictor; chunky or
// planar samples; either byte order and either fill order. Unsigned
// samples of 1, 2, 4, 8 or 16 bits; other compressions, float or signed
// samples, YCbCr other than inside JPEG, CIELab and the like are refused.
//   - Palette pictures of 1, 2, 4, 8 bits open as 1, 4 (2 bits widen to 4),
//     4 and 8-bit palette pictures. A colour map whose entries are all below
//     256 was written with 8-bit entries (a common mistake) and is read so;
//     otherwise entries are 16-bit and become round(v / 257).
//   - Grey pictures of up to 8 bits open as palette pictures with an even
//     grey ramp of 2^bits entries; MinIsWhite pixels are inverted so that
//     index 0 is black. 16-bit grey opens as 24 bits.
//   - RGB of 8 or 16 bits (1, 2, 4 too) opens as 24 bits. CMYK (InkSet CMYK)
//     converts plainly: R = round((255 - C)(255 - K) / 255), G from M, B
//     from Y, each sample first brought to 8 bits.
//   - The first extra sample, when declared associated or unassociated
//     alpha, is composited over white: unassociated as
//     (c a + 255 (255 - a) + 127) div 255, associated (premultiplied) as
//     min(255, c + 255 - a); CMYK's alpha applies to the converted colour
//     as unassociated. Grey with alpha opens as an 8-bit grey ramp
//     (24 bits from 16-bit samples). Undeclared extra samples and the extra
//     samples of palette pictures are ignored.
//   - 16-bit samples become round(v / 257) before any other arithmetic
//     (compositing, CMYK); no colour management.
// Bad input: the header's sizes and the strips' or tiles' byte ranges are
// checked before any pixel memory is taken, and compressed data that could
// not fill the picture even at the codec's highest ratio is refused up
// front. A truncated or corrupt file is refused as a whole (no partial
// picture) with one sentence naming the problem. libtiff's messages are
// captured per handle, never printed. Large pictures in strips are decoded
// on several threads, each strip straight into the picture's rows.
//
// Write: little-endian classic TIFF (BigTIFF past 2 GB of pixels), strips
// of about 256 KB, LZW compression: lossless and read by every TIFF reader
// that reads compressed files, where Deflate is an extension some lack. On
// photos Deflate would be about 12 % smaller but compresses several times
// slower. 24-bit and grey 8-bit rows use the horizontal predictor, which
// shrinks photos to less than half; palette indices do not (differences of
// indices mean nothing). 1, 4 and 8-bit palette pictures are written as
// palette TIFF, or as grey when the palette is the even grey ramp of their
// depth; 15, 16 and 32-bit pictures as 8-bit RGB (the fourth byte of 32-bit
// pixels is dropped). Large pictures are compressed on several threads.
#include "engine/Codecs.h"
#include "engine/Parallel.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include <tiffio.h>

namespace kadrimex {

namespace {

[[noreturn]] void Fail(const std::string& reason)
{
    throw EImageError("TIFF: " + reason);
}

// libtiff's own allocations (tag arrays, codec state) are capped: a header
// claiming more is an attack, not a picture. Pixel buffers are ours.
constexpr tmsize_t kMaxLibtiffAllocation = tmsize_t(256) << 20;

// Highest expansion of each codec: decoded bytes per stored byte. Data too
// short to fill the picture even at this ratio is refused before the
// picture is allocated. LZW tops out near 1400:1 (a run of one byte), Deflate
// at 1032:1, PackBits at 64:1; JPEG spends at least two bits per block, so
// below 700:1 even with 4 x 4 chroma subsampling. CCITT has no useful bound
// (one bit a blank row), but a 1-bit picture is at most 128 MB.
std::uint64_t MaxRatio(std::uint16_t compression)
{
    switch (compression) {
    case COMPRESSION_NONE: return 1;
    case COMPRESSION_PACKBITS: return 64;
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE: return 4096;
    case COMPRESSION_JPEG: return 2048;
    default: return 0;  // unbounded
    }
}

bool SupportedCompression(std::uint16_t c)
{
    switch (c) {
    case COMPRESSION_NONE:
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
    case COMPRESSION_LZW:
    case COMPRESSION_JPEG:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
    case COMPRESSION_PACKBITS: return true;
    default: return false;
    }
}

// The file in memory as libtiff's client procedures see it. Reading maps
// the caller's buffer (libtiff then decodes straight from it); writing
// grows `out`.
struct TStream {
    const std::uint8_t* data = nullptr;
    std::uint64_t size = 0;
    std::vector<std::uint8_t>* out = nullptr;
    std::uint64_t pos = 0;
    std::string error;      // libtiff's first error message since it was cleared
    std::string lastError;  // and its latest
    bool outOfMemory = false;    // a write could not grow `out`
    bool dataEndsEarly = false;  // a decoder padded what was missing
};

tmsize_t StreamRead(thandle_t handle, void* buffer, tmsize_t count)
{
    auto* s = static_cast<TStream*>(handle);
    const std::uint8_t* data = s->out ? s->out->data() : s->data;
    const std::uint64_t size = s->out ? s->out->size() : s->size;
    if (count <= 0 || s->pos >= size)
        return 0;
    const std::uint64_t n = std::min<std::uint64_t>(std::uint64_t(count), size - s->pos);
    std::memcpy(buffer, data + s->pos, std::size_t(n));
    s->pos += n;
    return tmsize_t(n);
}

tmsize_t StreamWrite(thandle_t handle, void* buffer, tmsize_t count)
{
    auto* s = static_cast<TStream*>(handle);
    if (!s->out || count < 0)
        return -1;
    const std::uint64_t end = s->pos + std::uint64_t(count);
    try {
        if (end > s->out->size()) {
            if (end > s->out->capacity())
                s->out->reserve(std::max<std::uint64_t>(end, s->out->capacity() * 2));
            s->out->resize(std::size_t(end));
        }
    } catch (const std::bad_alloc&) {
        s->outOfMemory = true;
        return -1;
    }
    std::memcpy(s->out->data() + s->pos, buffer, std::size_t(count));
    s->pos = end;
    return count;
}

toff_t StreamSeek(thandle_t handle, toff_t offset, int whence)
{
    auto* s = static_cast<TStream*>(handle);
    const std::uint64_t size = s->out ? s->out->size() : s->size;
    std::uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = s->pos;
    else if (whence == SEEK_END)
        base = size;
    else if (whence != SEEK_SET)
        return toff_t(-1);
    // toff_t is unsigned: a backward move arrives as a huge offset and wraps
    // round. Reading stays inside the file. Writing may go past the end
    // (libtiff places tag data before it writes the directory in front of
    // it); the next write fills the gap.
    const std::uint64_t target = base + offset;
    if (target > (s->out ? (std::uint64_t(1) << 40) : size))
        return toff_t(-1);
    s->pos = target;
    return target;
}

int StreamClose(thandle_t)
{
    return 0;
}

toff_t StreamSize(thandle_t handle)
{
    auto* s = static_cast<TStream*>(handle);
    return s->out ? s->out->size() : s->size;
}

int StreamMap(thandle_t handle, void** base, toff_t* size)
{
    auto* s = static_cast<TStream*>(handle);
    if (s->out)
        return 0;
    // libtiff only reads through the map of a file opened for reading.
    *base = const_cast<std::uint8_t*>(s->data);
    *size = s->size;
    return 1;
}

void StreamUnmap(thandle_t, void*, toff_t) {}

int CaptureError(TIFF*, void* user, const char* module, const char* format, va_list args)
{
    auto* s = static_cast<TStream*>(user);
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    std::string message = module && *module ? std::string(module) + ": " + text : std::string(text);
    std::replace_if(message.begin(), message.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    // What the empty file name leaves in front of some messages.
    message.erase(0, message.find_first_not_of(": "));
    if (s->error.empty())
        s->error = message;
    s->lastError = std::move(message);
    return 1;  // handled: libtiff must not go on to its global handler
}

// Warnings are dropped, except that the data ran out: CCITT and JPEG then
// pad the rest of the strip and report success, and we refuse the file.
int CaptureWarning(TIFF*, void* user, const char*, const char* format, va_list args)
{
    auto* s = static_cast<TStream*>(user);
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    // CCITT: "Premature EOF", "Premature EOL"; libjpeg: "Premature end of
    // JPEG file", "premature end of data segment".
    if (std::strstr(text, "remature") != nullptr) {
        s->dataEndsEarly = true;
        if (s->error.empty())
            s->error = text;
    }
    return 1;
}

// Opens the stream with per-handle message capture. The global handlers,
// which print to stderr, are cleared once for any message libtiff still
// sends outside a handle.
TIFF* OpenStream(TStream& stream, const char* mode)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
    std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                         TIFFOpenOptionsFree);
    if (!options)
        throw EOutOfResources("Not enough memory to open a TIFF file");
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxLibtiffAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), CaptureError, &stream);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), CaptureWarning, &stream);
    // libtiff names the file in some messages: the empty name keeps them short.
    return TIFFClientOpenExt("", mode, &stream, StreamRead, StreamWrite, StreamSeek, StreamClose, StreamSize,
                             StreamMap, StreamUnmap, options.get());
}

struct TTiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TTiffHandle = std::unique_ptr<TIFF, TTiffCloser>;

// What the pixels mean, settled from the first directory before decoding.
enum class TKind { Palette, Grey, Rgb, Cmyk };

struct TLayout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bps = 0;
    int spp = 0;
    bool planar = false;
    bool tiled = false;
    bool minIsWhite = false;
    TKind kind = TKind::Rgb;
    int colourSamples = 0;  // 1, 3 or 4
    int alpha = -1;         // sample index of the alpha, or -1
    bool associated = false;
    std::uint32_t rowsPerStrip = 0;
    std::uint32_t tileWidth = 0;
    std::uint32_t tileHeight = 0;
    std::size_t rowBytes = 0;  // one row of one plane (planar) or of all samples
    TPixelFormat format = TPixelFormat::pf24bit;
    std::vector<TPaletteEntry> palette;
};

std::string Dimensions(std::uint64_t w, std::uint64_t h)
{
    return std::to_string(w) + " x " + std::to_string(h);
}

std::vector<TPaletteEntry> GreyRamp(int entries)
{
    std::vector<TPaletteEntry> ramp(static_cast<std::size_t>(entries));
    for (int i = 0; i < entries; ++i) {
        const auto v = std::uint8_t(i * 255 / (entries - 1));
        ramp[std::size_t(i)] = TPaletteEntry{v, v, v, 0};
    }
    return ramp;
}

TLayout ReadLayout(TIFF* tif, TStream& stream)
{
    TLayout L;
    std::uint16_t compression = COMPRESSION_NONE, photometric = 0, bps = 1, spp = 1;
    std::uint16_t planar = PLANARCONFIG_CONTIG, sampleFormat = SAMPLEFORMAT_UINT, inkSet = INKSET_CMYK;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &L.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &L.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        Fail("the colour interpretation is missing");

    if (L.width == 0 || L.height == 0)
        Fail("bad picture size " + Dimensions(L.width, L.height));
    if (L.width > std::uint32_t(kMaxBitmapSide) || L.height > std::uint32_t(kMaxBitmapSide) ||
        std::int64_t(L.width) * std::int64_t(L.height) > kMaxBitmapPixels)
        Fail("a picture of " + Dimensions(L.width, L.height) + " pixels is too large");
    if (!SupportedCompression(compression) || !TIFFIsCODECConfigured(compression))
        Fail("compression " + std::to_string(compression) + " is not supported");
    if (sampleFormat != SAMPLEFORMAT_UINT)
        Fail("only unsigned integer samples are supported");
    if (bps != 1 && bps != 2 && bps != 4 && bps != 8 && bps != 16)
        Fail(std::to_string(bps) + " bits per sample are not supported");
    if (planar != PLANARCONFIG_CONTIG && planar != PLANARCONFIG_SEPARATE)
        Fail("bad planar configuration " + std::to_string(planar));
    L.bps = bps;
    L.spp = spp;
    L.planar = planar == PLANARCONFIG_SEPARATE && spp > 1;

    switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
        L.kind = TKind::Grey;
        L.colourSamples = 1;
        L.minIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
        break;
    case PHOTOMETRIC_PALETTE:
        L.kind = TKind::Palette;
        L.colourSamples = 1;
        if (bps > 8)
            Fail("palette pictures of " + std::to_string(bps) + " bits are not supported");
        break;
    case PHOTOMETRIC_RGB:
        L.kind = TKind::Rgb;
        L.colourSamples = 3;
        break;
    case PHOTOMETRIC_YCBCR:
        // libjpeg converts to RGB; YCbCr stored any other way is refused.
        if (compression != COMPRESSION_JPEG || L.planar || bps != 8 || spp != 3)
            Fail("YCbCr pictures are only read JPEG-compressed");
        if (!TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB))
            Fail("the JPEG colour conversion cannot be set up");
        L.kind = TKind::Rgb;
        L.colourSamples = 3;
        break;
    case PHOTOMETRIC_SEPARATED:
        TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkSet);
        if (inkSet != INKSET_CMYK)
            Fail("separated pictures other than CMYK are not supported");
        L.kind = TKind::Cmyk;
        L.colourSamples = 4;
        break;
    default: Fail("colour interpretation " + std::to_string(photometric) + " is not supported");
    }
    if (spp < L.colourSamples)
        Fail(std::to_string(spp) + " samples per pixel are too few for its colour interpretation");
    // CCITT data has no bound on its expansion; one 1-bit sample a pixel
    // keeps such a picture within 128 MB.
    if ((bps != 1 || spp != 1) && (compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
                                   compression == COMPRESSION_CCITTFAX4))
        Fail("CCITT compression needs one 1-bit sample a pixel");

    std::uint16_t extraCount = 0;
    std::uint16_t* extra = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0 && extra &&
        L.kind != TKind::Palette && spp > L.colourSamples &&
        (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA)) {
        L.alpha = L.colourSamples;
        L.associated = extra[0] == EXTRASAMPLE_ASSOCALPHA;
    }

    if (L.kind == TKind::Palette) {
        std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
            Fail("the palette is missing");
        const std::size_t n = std::size_t(1) << bps;
        const bool eightBit = std::all_of(red, red + n, [](std::uint16_t v) { return v < 256; }) &&
                              std::all_of(green, green + n, [](std::uint16_t v) { return v < 256; }) &&
                              std::all_of(blue, blue + n, [](std::uint16_t v) { return v < 256; });
        auto to8 = [&](std::uint16_t v) { return std::uint8_t(eightBit ? v : (v + 128) / 257); };
        L.palette.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            L.palette[i] = TPaletteEntry{to8(red[i]), to8(green[i]), to8(blue[i]), 0};
    }
    if ((L.kind == TKind::Palette || L.kind == TKind::Grey) && bps <= 8) {
        if (L.kind == TKind::Grey) {
            const int entries = L.alpha >= 0 ? 256 : 1 << bps;
            L.palette = GreyRamp(entries);
        }
        const int paletteBits = L.kind == TKind::Grey && L.alpha >= 0 ? 8 : bps;
        L.format = paletteBits == 1 ? TPixelFormat::pf1bit
                   : paletteBits <= 4 ? TPixelFormat::pf4bit
                                      : TPixelFormat::pf8bit;
    } else {
        L.format = TPixelFormat::pf24bit;
    }

    // Where the data lies: every strip or tile inside the file, and enough
    // of it to fill the picture.
    L.tiled = TIFFIsTiled(tif) != 0;
    const std::uint64_t scanline = TIFFScanlineSize64(tif);
    const std::uint64_t planes = L.planar ? std::uint64_t(spp) : 1;
    std::uint64_t decodedBytes = 0;
    std::uint32_t striles = 0;
    const char* what = "strip";
    if (L.tiled) {
        what = "tile";
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &L.tileWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &L.tileHeight);
        const std::uint64_t pixelBits = std::uint64_t(bps) * (L.planar ? 1 : spp);
        if (L.tileWidth == 0 || L.tileHeight == 0 || L.tileWidth > 65536 || L.tileHeight > 65536 ||
            L.tileWidth * pixelBits % 8 != 0)
            Fail("bad tile size " + Dimensions(L.tileWidth, L.tileHeight));
        striles = TIFFNumberOfTiles(tif);
        decodedBytes = std::uint64_t(striles) * TIFFTileSize64(tif);
        // A tile may overhang the picture, but not by more than a few MB:
        // its buffer is taken whole.
        if (TIFFTileSize64(tif) > scanline * L.height + (std::uint64_t(16) << 20))
            Fail("tiles of " + Dimensions(L.tileWidth, L.tileHeight) + " pixels are too large for the picture");
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &L.rowsPerStrip);
        if (L.rowsPerStrip == 0)
            Fail("bad rows per strip");
        striles = TIFFNumberOfStrips(tif);
        decodedBytes = scanline * L.height * planes;
    }
    if (scanline == 0 || decodedBytes == 0 || striles == 0)
        Fail(stream.error.empty() ? "the picture's layout is inconsistent" : stream.error);
    L.rowBytes = std::size_t(scanline);
    std::uint64_t storedBytes = 0;
    for (std::uint32_t i = 0; i < striles; ++i) {
        int err = 0;
        const std::uint64_t offset = TIFFGetStrileOffsetWithErr(tif, i, &err);
        const std::uint64_t count = err ? 0 : TIFFGetStrileByteCountWithErr(tif, i, &err);
        if (err)
            Fail("the " + std::string(what) + " table is unreadable");
        if (offset > stream.size || count > stream.size - offset)
            Fail("file is truncated (" + std::string(what) + " " + std::to_string(i) + " lies past its end)");
        storedBytes += count;
    }
    const std::uint64_t ratio = MaxRatio(compression);
    if (ratio != 0 && storedBytes < (decodedBytes + ratio - 1) / ratio)
        Fail("file is truncated (" + std::to_string(storedBytes) + " bytes of data cannot hold a picture of " +
             Dimensions(L.width, L.height) + " pixels)");
    return L;
}

// Sample `index` of a packed row of `Bps`-bit samples (16-bit samples are
// already in the machine's byte order: libtiff swaps them).
template <int Bps>
inline unsigned SampleAt(const std::uint8_t* row, std::size_t index)
{
    if constexpr (Bps == 8) {
        return row[index];
    } else if constexpr (Bps == 16) {
        std::uint16_t v;
        std::memcpy(&v, row + 2 * index, 2);
        return v;
    } else {
        const std::size_t bit = index * Bps;
        return (row[bit >> 3] >> (8 - Bps - (bit & 7))) & ((1u << Bps) - 1);
    }
}

template <int Bps>
inline unsigned To8(unsigned v)
{
    if constexpr (Bps == 16)
        return (v + 128) / 257;
    else if constexpr (Bps == 8)
        return v;
    else
        return v * 255 / ((1u << Bps) - 1);
}

inline unsigned OverWhite(unsigned c, unsigned a, bool associated)
{
    if (associated)
        return std::min(255u, c + 255 - a);
    return (c * a + 255 * (255 - a) + 127) / 255;
}

inline void PutIndex(std::uint8_t* out, std::uint32_t x, unsigned v, TPixelFormat format)
{
    if (format == TPixelFormat::pf8bit) {
        out[x] = std::uint8_t(v);
    } else if (format == TPixelFormat::pf4bit) {
        std::uint8_t& byte = out[x >> 1];
        byte = (x & 1) ? std::uint8_t((byte & 0xF0) | v) : std::uint8_t((byte & 0x0F) | (v << 4));
    } else {
        std::uint8_t& byte = out[x >> 3];
        const auto bit = std::uint8_t(0x80 >> (x & 7));
        byte = v ? std::uint8_t(byte | bit) : std::uint8_t(byte & ~bit);
    }
}

// One row of any supported layout into the picture's row. `planes[c]` is
// sample c's row when planar, planes[0] the interleaved row otherwise.
template <int Bps>
void ConvertRowAs(const TLayout& L, const std::uint8_t* const* planes, std::uint8_t* out)
{
    const std::size_t spp = L.planar ? 1 : std::size_t(L.spp);
    auto sample = [&](std::uint32_t x, int c) {
        return L.planar ? SampleAt<Bps>(planes[c], x) : SampleAt<Bps>(planes[0], x * spp + std::size_t(c));
    };
    constexpr unsigned kMax = Bps == 16 ? 65535u : (1u << Bps) - 1;
    for (std::uint32_t x = 0; x < L.width; ++x) {
        unsigned r = 0, g = 0, b = 0;
        switch (L.kind) {
        case TKind::Palette: PutIndex(out, x, sample(x, 0), L.format); continue;
        case TKind::Grey: {
            unsigned v = sample(x, 0);
            if (L.minIsWhite)
                v = kMax - v;
            if (L.alpha < 0 && L.format != TPixelFormat::pf24bit) {
                PutIndex(out, x, v, L.format);
                continue;
            }
            r = g = b = To8<Bps>(v);
            break;
        }
        case TKind::Rgb:
            r = To8<Bps>(sample(x, 0));
            g = To8<Bps>(sample(x, 1));
            b = To8<Bps>(sample(x, 2));
            break;
        case TKind::Cmyk: {
            const unsigned k = 255 - To8<Bps>(sample(x, 3));
            r = ((255 - To8<Bps>(sample(x, 0))) * k + 127) / 255;
            g = ((255 - To8<Bps>(sample(x, 1))) * k + 127) / 255;
            b = ((255 - To8<Bps>(sample(x, 2))) * k + 127) / 255;
            break;
        }
        }
        if (L.alpha >= 0) {
            const unsigned a = To8<Bps>(sample(x, L.alpha));
            const bool associated = L.associated && L.kind != TKind::Cmyk;
            r = OverWhite(r, a, associated);
            g = OverWhite(g, a, associated);
            b = OverWhite(b, a, associated);
        }
        if (L.format == TPixelFormat::pf8bit) {
            out[x] = std::uint8_t(r);  // grey with alpha
        } else {
            out[3 * x] = std::uint8_t(b);
            out[3 * x + 1] = std::uint8_t(g);
            out[3 * x + 2] = std::uint8_t(r);
        }
    }
}

void ConvertRow(const TLayout& L, const std::uint8_t* const* planes, std::uint8_t* out)
{
    switch (L.bps) {
    case 1: ConvertRowAs<1>(L, planes, out); break;
    case 2: ConvertRowAs<2>(L, planes, out); break;
    case 4: ConvertRowAs<4>(L, planes, out); break;
    case 8: ConvertRowAs<8>(L, planes, out); break;
    default: ConvertRowAs<16>(L, planes, out); break;
    }
}

// Rows whose stored bytes are already the picture's bytes (up to a swap or
// an inversion done in place): libtiff decodes them straight into the row.
enum class TInPlace { No, Copy, Invert, SwapRgb };

TInPlace InPlaceKind(const TLayout& L)
{
    if (L.planar || L.alpha >= 0)
        return TInPlace::No;
    if ((L.kind == TKind::Palette || L.kind == TKind::Grey) && L.spp == 1 && L.bps != 2 && L.bps != 16)
        return L.minIsWhite ? TInPlace::Invert : TInPlace::Copy;
    if (L.kind == TKind::Rgb && L.spp == 3 && L.bps == 8)
        return TInPlace::SwapRgb;
    return TInPlace::No;
}

[[noreturn]] void DecodeFailed(const TStream& stream, const char* what, std::uint32_t index)
{
    Fail(std::string(what) + " " + std::to_string(index) + " cannot be decoded" +
         (stream.error.empty() ? std::string() : ": " + stream.error));
}

// Rows [first, last) of a chunky picture in strips, decoded a row at a
// time, straight into the picture's rows where the bytes allow.
void ReadStripRows(TIFF* tif, TStream& stream, const TLayout& L, TBitmap& bitmap, std::uint32_t first,
                   std::uint32_t last)
{
    const std::size_t outBytes = (std::size_t(L.width) * std::size_t(BitsPerPixel(L.format)) + 7) / 8;
    const std::size_t padding = bitmap.Stride() - outBytes;
    const TInPlace inPlace = InPlaceKind(L);
    std::unique_ptr<std::uint8_t[]> row;
    if (inPlace == TInPlace::No)
        row = AllocatePixels(L.rowBytes, false);
    for (std::uint32_t y = first; y < last; ++y) {
        std::uint8_t* line = bitmap.ScanLine(int(y));
        std::uint8_t* target = inPlace == TInPlace::No ? row.get() : line;
        stream.error.clear();
        if (TIFFReadScanline(tif, target, y, 0) < 0 || stream.dataEndsEarly)
            DecodeFailed(stream, "strip", y / L.rowsPerStrip);
        switch (inPlace) {
        case TInPlace::No: {
            const std::uint8_t* planes[1] = {row.get()};
            ConvertRow(L, planes, line);
            break;
        }
        case TInPlace::Copy: break;
        case TInPlace::Invert:
            for (std::size_t i = 0; i < L.rowBytes; ++i)
                line[i] = std::uint8_t(~line[i]);
            break;
        case TInPlace::SwapRgb:
            for (std::size_t i = 0; i + 2 < L.rowBytes; i += 3)
                std::swap(line[i], line[i + 2]);
            break;
        }
        std::memset(line + outBytes, 0, padding);
    }
}

// Planar samples or tiles: a band of rows (one strip or one row of tiles)
// is gathered per plane, then converted row by row.
void ReadBands(TIFF* tif, TStream& stream, const TLayout& L, TBitmap& bitmap)
{
    const std::size_t outBytes = (std::size_t(L.width) * std::size_t(BitsPerPixel(L.format)) + 7) / 8;
    const std::size_t padding = bitmap.Stride() - outBytes;
    const int usedPlanes = L.planar ? std::max(L.colourSamples, L.alpha + 1) : 1;

    const std::uint32_t bandRows = std::min(L.tiled ? L.tileHeight : L.rowsPerStrip, L.height);
    const std::size_t planeBytes = std::size_t(bandRows) * L.rowBytes;
    auto band = AllocatePixels(planeBytes * std::size_t(usedPlanes), false);
    std::unique_ptr<std::uint8_t[]> tile;
    std::size_t tileBytes = 0, tileRowBytes = 0, tilePixelBits = 0;
    if (L.tiled) {
        tileBytes = std::size_t(TIFFTileSize64(tif));
        tileRowBytes = std::size_t(TIFFTileRowSize64(tif));
        tilePixelBits = std::size_t(L.bps) * (L.planar ? 1 : std::size_t(L.spp));
        tile = AllocatePixels(tileBytes, false);
    }
    std::vector<const std::uint8_t*> planes(static_cast<std::size_t>(usedPlanes));
    for (std::uint32_t y0 = 0; y0 < L.height; y0 += bandRows) {
        const std::uint32_t rows = std::min(bandRows, L.height - y0);
        for (int p = 0; p < usedPlanes; ++p) {
            std::uint8_t* plane = band.get() + std::size_t(p) * planeBytes;
            if (!L.tiled) {
                const std::uint32_t strip = TIFFComputeStrip(tif, y0, std::uint16_t(p));
                const tmsize_t want = tmsize_t(rows * L.rowBytes);
                stream.error.clear();
                if (TIFFReadEncodedStrip(tif, strip, plane, want) != want || stream.dataEndsEarly)
                    DecodeFailed(stream, "strip", strip);
                continue;
            }
            for (std::uint32_t x0 = 0; x0 < L.width; x0 += L.tileWidth) {
                const std::uint32_t index = TIFFComputeTile(tif, x0, y0, 0, std::uint16_t(p));
                stream.error.clear();
                if (TIFFReadEncodedTile(tif, index, tile.get(), tmsize_t(tileBytes)) != tmsize_t(tileBytes) ||
                    stream.dataEndsEarly)
                    DecodeFailed(stream, "tile", index);
                const std::size_t at = std::size_t(x0) * tilePixelBits / 8;
                const std::size_t n = std::min(tileRowBytes, L.rowBytes - at);
                for (std::uint32_t r = 0; r < rows; ++r)
                    std::memcpy(plane + r * L.rowBytes + at, tile.get() + r * tileRowBytes, n);
            }
        }
        for (std::uint32_t r = 0; r < rows; ++r) {
            for (int p = 0; p < usedPlanes; ++p)
                planes[std::size_t(p)] = band.get() + std::size_t(p) * planeBytes + r * L.rowBytes;
            std::uint8_t* line = bitmap.ScanLine(int(y0 + r));
            ConvertRow(L, planes.data(), line);
            std::memset(line + outBytes, 0, padding);
        }
    }
}

// Decoding strips on several threads pays from this many bytes of rows.
constexpr std::uint64_t kParallelBytes = std::uint64_t(1) << 20;

// An open file with its checked layout.
struct TReader {
    TStream stream;
    TTiffHandle tif;
    TLayout layout;

    // libtiff holds the stream's address: the reader stays where it is made.
    TReader(const TReader&) = delete;
    TReader& operator=(const TReader&) = delete;
    TReader(const std::uint8_t* data, std::size_t size)
    {
        stream.data = data;
        stream.size = size;
        tif.reset(OpenStream(stream, "r"));
        // Opening reports what it skipped before what made it fail.
        if (!tif)
            Fail(stream.lastError.empty() ? "the file cannot be opened" : stream.lastError);
        stream.error.clear();  // complaints about tags libtiff skipped
        layout = ReadLayout(tif.get(), stream);
    }
};

}  // namespace

TBitmap DecodeTiff(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr)
        size = 0;
    if (size < 8 || !((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M')))
        Fail("not a TIFF file");
    // The first directory's offset: classic TIFF after the version word,
    // BigTIFF after the offset size and a reserved word.
    const bool little = data[0] == 'I';
    auto number = [&](std::size_t at, int bytes) {
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= std::uint64_t(data[at + std::size_t(little ? i : bytes - 1 - i)]) << (8 * i);
        return v;
    };
    const std::uint64_t version = number(2, 2);
    const std::uint64_t firstDirectory = version == 43 && size >= 16 ? number(8, 8) : number(4, 4);
    if (version != 42 && version != 43)
        Fail("not a TIFF file");
    if (firstDirectory >= size)
        Fail("file is truncated (its directory lies past the end)");
    TReader reader(data, size);
    TLayout L = reader.layout;
    TBitmap bitmap;
    // 1 and 4-bit rows are built with bit operations on whole bytes.
    if (BitsPerPixel(L.format) < 8 && InPlaceKind(L) == TInPlace::No)
        bitmap.Reset(int(L.width), int(L.height), L.format);
    else
        bitmap.ResetForOverwrite(int(L.width), int(L.height), L.format);
    if (L.tiled || L.planar) {
        ReadBands(reader.tif.get(), reader.stream, L, bitmap);
    } else {
        // Strips are independent: large pictures are decoded in runs of
        // strips on several threads, each through a handle of its own on
        // the same bytes.
        const std::uint32_t strips = (L.height - 1) / L.rowsPerStrip + 1;
        const std::uint64_t bytes = std::uint64_t(L.rowBytes) * L.height;
        const int runs = bytes < kParallelBytes ? 1 : int(std::min<std::uint64_t>(std::uint64_t(WorkerCount()), strips));
        auto rowOf = [&](int run) {
            const std::uint64_t strip = std::uint64_t(strips) * std::uint64_t(run) / std::uint64_t(runs);
            return std::uint32_t(std::min<std::uint64_t>(L.height, strip * L.rowsPerStrip));
        };
        ParallelFor(runs, [&](int run) {
            if (run == 0) {
                ReadStripRows(reader.tif.get(), reader.stream, L, bitmap, 0, rowOf(1));
            } else {
                TReader own(data, size);
                ReadStripRows(own.tif.get(), own.stream, own.layout, bitmap, rowOf(run), rowOf(run + 1));
            }
        });
    }
    if (!L.palette.empty())
        bitmap.SetPaletteEntries(std::move(L.palette));
    return bitmap;
}

namespace {

constexpr std::size_t kStripBytes = std::size_t(256) << 10;

bool IsGreyRamp(const std::vector<TPaletteEntry>& palette, int bits)
{
    const std::vector<TPaletteEntry> ramp = GreyRamp(1 << bits);
    return palette.size() == ramp.size() &&
           std::equal(palette.begin(), palette.end(), ramp.begin(), [](const TPaletteEntry& a, const TPaletteEntry& b) {
               return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
           });
}

// How a picture is written: the same fields go into every handle that
// compresses part of it.
struct TWriteLayout {
    const TBitmap* source = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bits = 0;  // 1, 4, 8 or 24
    bool grey = false;
    bool big = false;
    std::size_t rowBytes = 0;
    std::uint32_t rowsPerStrip = 0;
    std::vector<std::uint16_t> colourMap;  // red, green, blue entries of a palette picture
};

// A failed write: memory running out is told as for any picture.
[[noreturn]] void WriteFailed(const TStream& stream, const char* what)
{
    if (stream.outOfMemory)
        throw EOutOfResources("Not enough memory to save the picture");
    Fail(what + (stream.error.empty() ? std::string() : ": " + stream.error));
}

TTiffHandle StartFile(TStream& stream, const TWriteLayout& W)
{
    TTiffHandle tif(OpenStream(stream, W.big ? "w8l" : "wl"));
    if (!tif)
        WriteFailed(stream, "cannot start the file");
    TIFF* t = tif.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, W.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, W.height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, W.bits == 24 ? 8 : W.bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, W.bits == 24 ? 3 : 1);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                 W.bits == 24 ? PHOTOMETRIC_RGB : W.grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_PALETTE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    if (W.bits == 24 || (W.grey && W.bits == 8))
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, W.rowsPerStrip);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 72.0);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 72.0);
    if (!W.colourMap.empty()) {
        const std::size_t n = W.colourMap.size() / 3;
        auto* map = const_cast<std::uint16_t*>(W.colourMap.data());
        TIFFSetField(t, TIFFTAG_COLORMAP, map, map + n, map + 2 * n);
    }
    return tif;
}

// Compresses strips [first, last) through `tif`, under their numbers in
// the whole file. The rows are copied into a strip buffer (red first for
// 24 bits): libtiff's predictor works in the buffer it is given.
void WriteStrips(TIFF* tif, const TStream& stream, const TWriteLayout& W, std::uint32_t first, std::uint32_t last)
{
    auto strip = AllocatePixels(W.rowBytes * W.rowsPerStrip, false);
    for (std::uint32_t s = first; s < last; ++s) {
        const std::uint32_t y0 = s * W.rowsPerStrip;
        const std::uint32_t rows = std::min(W.rowsPerStrip, W.height - y0);
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint8_t* line = W.source->ScanLine(int(y0 + r));
            std::uint8_t* p = strip.get() + r * W.rowBytes;
            if (W.bits == 24) {
                for (std::size_t i = 0; i < W.rowBytes; i += 3) {
                    p[i] = line[i + 2];
                    p[i + 1] = line[i + 1];
                    p[i + 2] = line[i];
                }
            } else {
                std::memcpy(p, line, W.rowBytes);
            }
        }
        if (TIFFWriteEncodedStrip(tif, s, strip.get(), tmsize_t(rows * W.rowBytes)) < 0)
            WriteFailed(stream, "cannot write the picture");
    }
}

// Compressing strips on several threads pays from this many bytes of rows.
constexpr std::uint64_t kParallelWriteBytes = std::uint64_t(1) << 20;

}  // namespace

std::vector<std::uint8_t> EncodeTiff(const TBitmap& bitmap)
{
    if (bitmap.Empty())
        Fail("cannot save an empty picture");
    TWriteLayout W;
    W.bits = BitsPerPixel(bitmap.PixelFormat());
    TBitmap converted;
    W.source = &bitmap;
    if (W.bits == 15 || W.bits == 16 || W.bits == 32) {
        converted = bitmap;
        converted.SetPixelFormat(TPixelFormat::pf24bit);
        W.source = &converted;
        W.bits = 24;
    } else if (W.bits == 0) {
        W.bits = 24;  // device and custom formats are held as 24-bit pixels
    }
    W.width = std::uint32_t(W.source->Width());
    W.height = std::uint32_t(W.source->Height());
    if (W.bits <= 8) {
        std::vector<TPaletteEntry> palette = W.source->Palette();
        if (palette.empty())
            palette = GreyRamp(1 << W.bits);  // a palette picture without palette shows grey
        palette.resize(std::size_t(1) << W.bits);
        W.grey = IsGreyRamp(palette, W.bits);
        if (!W.grey) {
            const std::size_t n = palette.size();
            W.colourMap.resize(3 * n);
            for (std::size_t i = 0; i < n; ++i) {
                W.colourMap[i] = std::uint16_t(palette[i].peRed * 257);
                W.colourMap[n + i] = std::uint16_t(palette[i].peGreen * 257);
                W.colourMap[2 * n + i] = std::uint16_t(palette[i].peBlue * 257);
            }
        }
    }
    W.rowBytes = (std::size_t(W.width) * std::size_t(W.bits) + 7) / 8;
    W.rowsPerStrip = std::uint32_t(std::clamp<std::size_t>(kStripBytes / W.rowBytes, 1, W.height));
    const std::uint64_t rawBytes = std::uint64_t(W.rowBytes) * W.height;
    // Classic TIFF addresses 4 GB; LZW can grow incompressible data a little.
    W.big = rawBytes > (std::uint64_t(2) << 30);

    std::vector<std::uint8_t> out;
    TStream stream;
    stream.out = &out;
    try {
        out.reserve(std::size_t(std::min<std::uint64_t>(rawBytes / 2 + 4096, std::uint64_t(1) << 30)));
    } catch (const std::bad_alloc&) {
        throw EOutOfResources("Not enough memory to save the picture");
    }
    TTiffHandle tif = StartFile(stream, W);
    const std::uint32_t strips = (W.height - 1) / W.rowsPerStrip + 1;
    const int runs =
        rawBytes < kParallelWriteBytes ? 1 : int(std::min<std::uint64_t>(std::uint64_t(WorkerCount()), strips));
    if (runs == 1) {
        WriteStrips(tif.get(), stream, W, 0, strips);
    } else {
        // Each run of strips is compressed into a file of its own; the
        // compressed strips are then copied into this one in order.
        struct TRun {
            std::vector<std::uint8_t> bytes;
            std::vector<std::pair<std::uint64_t, std::uint64_t>> strips;  // offset, byte count
        };
        std::vector<TRun> parts(static_cast<std::size_t>(runs));
        auto firstStrip = [&](int run) { return std::uint32_t(std::uint64_t(strips) * std::uint64_t(run) / std::uint64_t(runs)); };
        ParallelFor(runs, [&](int run) {
            TRun& part = parts[std::size_t(run)];
            TStream own;
            own.out = &part.bytes;
            // Photos shrink to about a fifth: growing the buffer is then rare.
            try {
                part.bytes.reserve(std::size_t(rawBytes / std::uint64_t(runs) / 4 + 4096));
            } catch (const std::bad_alloc&) {
                throw EOutOfResources("Not enough memory to save the picture");
            }
            TTiffHandle handle = StartFile(own, W);
            WriteStrips(handle.get(), own, W, firstStrip(run), firstStrip(run + 1));
            for (std::uint32_t s = firstStrip(run); s < firstStrip(run + 1); ++s)
                part.strips.emplace_back(TIFFGetStrileOffset(handle.get(), s), TIFFGetStrileByteCount(handle.get(), s));
        });
        std::uint32_t s = 0;
        for (const TRun& part : parts)
            for (const auto& [offset, count] : part.strips) {
                if (offset + count > part.bytes.size() ||
                    TIFFWriteRawStrip(tif.get(), s++, const_cast<std::uint8_t*>(part.bytes.data() + offset),
                                      tmsize_t(count)) < 0)
                    WriteFailed(stream, "cannot write the picture");
            }
    }
    if (!TIFFWriteDirectory(tif.get()))
        WriteFailed(stream, "cannot finish the file");
    tif.reset();
    return out;
}

}  // namespace kadrimex
