#include "engine/Codecs.h"
#include "tests/engine/CodecTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tiffio.h>

using namespace kadrimex;
using namespace kadrimex::testing;

namespace {

// A TIFF variant for libtiff's own writer; the samples come from Sample().
struct TVariant {
    const char* name;
    std::uint16_t photometric;
    int bps;
    int spp;
    std::uint16_t compression = COMPRESSION_NONE;
    std::uint16_t extra = 0;  // the first extra sample's meaning; 0 declares none
    bool bigEndian = false;
    bool tiled = false;
    bool planar = false;
    bool predictor = false;
    TPixelFormat format = TPixelFormat::pf24bit;
    int tolerance = 0;  // JPEG's loss
    bool eightBitMap = false;
    bool lsbFirst = false;  // FillOrder 2: the first pixel in the low bit
};

constexpr int kW = 37, kH = 23;

// Random samples, or a smooth ramp for JPEG.
unsigned Sample(const TVariant& v, int x, int y, int c)
{
    const unsigned max = v.bps == 16 ? 65535u : (1u << v.bps) - 1;
    if (v.tolerance)
        return unsigned(x * 3 + y * 2 + c * 30 + 20) * max / 255;
    std::uint32_t h = std::uint32_t(x * 73856093) ^ std::uint32_t(y * 19349663) ^ std::uint32_t(c * 83492791);
    h = (h ^ (h >> 13)) * 0x5bd1e995u;
    return (h ^ (h >> 15)) % (max + 1);
}

std::uint16_t MapEntry(const TVariant& v, int i, int c)
{
    const unsigned x = unsigned(i * 40503 + c * 21011 + 7) & 0xFFFF;
    return std::uint16_t(v.eightBitMap ? x & 0xFF : x);
}

// Packs samples [first, first + count) of every pixel of row y, MSB first;
// 16-bit samples in the machine's order, as libtiff takes them.
std::vector<std::uint8_t> PackRow(const TVariant& v, int y, int first, int count, int width)
{
    std::vector<std::uint8_t> row((std::size_t(width) * count * v.bps + 7) / 8);
    std::size_t i = 0;
    for (int x = 0; x < width; ++x)
        for (int c = first; c < first + count; ++c, ++i) {
            const unsigned s = x < kW && y < kH ? Sample(v, x, y, c) : 0;
            if (v.bps == 16) {
                const std::uint16_t w = std::uint16_t(s);
                std::memcpy(&row[2 * i], &w, 2);
            } else if (v.bps == 8) {
                row[i] = std::uint8_t(s);
            } else {
                row[i * v.bps / 8] |= std::uint8_t(s << (8 - v.bps - i * v.bps % 8));
            }
        }
    return row;
}

std::vector<std::uint8_t> WriteVariant(const TVariant& v)
{
    const auto path = TempFolder("tiff") / "v.tif";
    TIFF* t = TIFFOpen(path.c_str(), v.bigEndian ? "wb" : "wl");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kW);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, kH);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, v.bps);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, v.spp);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, v.photometric);
    TIFFSetField(t, TIFFTAG_COMPRESSION, v.compression);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, v.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    if (v.predictor)
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (v.lsbFirst)
        TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
    if (v.compression == COMPRESSION_CCITTFAX3)
        TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING);
    if (v.compression == COMPRESSION_JPEG) {
        TIFFSetField(t, TIFFTAG_JPEGQUALITY, 95);
        if (v.photometric == PHOTOMETRIC_YCBCR)
            TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    const int colours = v.photometric == PHOTOMETRIC_SEPARATED ? 4 : v.photometric == PHOTOMETRIC_RGB ||
                                                                         v.photometric == PHOTOMETRIC_YCBCR
                                                                     ? 3
                                                                     : 1;
    if (v.spp > colours) {
        std::vector<std::uint16_t> extra(std::size_t(v.spp - colours), EXTRASAMPLE_UNSPECIFIED);
        extra[0] = v.extra;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, std::uint16_t(extra.size()), extra.data());
    }
    std::vector<std::uint16_t> map(3u << v.bps);
    if (v.photometric == PHOTOMETRIC_PALETTE) {
        const std::size_t n = std::size_t(1) << v.bps;
        for (std::size_t i = 0; i < map.size(); ++i)
            map[i] = MapEntry(v, int(i % n), int(i / n));
        TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
    }
    const int planes = v.planar ? v.spp : 1;
    const int perPlane = v.planar ? 1 : v.spp;
    if (v.tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
        std::vector<std::uint8_t> tile(std::size_t(TIFFTileSize(t)));
        for (int p = 0; p < planes; ++p)
            for (int y0 = 0; y0 < kH; y0 += 16)
                for (int x0 = 0; x0 < kW; x0 += 16) {
                    const std::size_t rowBytes = tile.size() / 16;
                    for (int r = 0; r < 16; ++r) {
                        const auto full = PackRow(v, y0 + r, p, perPlane, x0 + 16);
                        std::memcpy(&tile[r * rowBytes], &full[full.size() - rowBytes], rowBytes);
                    }
                    TIFFWriteTile(t, tile.data(), std::uint32_t(x0), std::uint32_t(y0), 0, std::uint16_t(p));
                }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, v.compression == COMPRESSION_JPEG ? 16 : 5);
        for (int p = 0; p < planes; ++p)
            for (int y = 0; y < kH; ++y) {
                auto row = PackRow(v, y, p * perPlane, perPlane, kW);
                TIFFWriteScanline(t, row.data(), std::uint32_t(y), std::uint16_t(p));
            }
    }
    TIFFClose(t);
    auto bytes = ReadAll(path);
    std::filesystem::remove_all(path.parent_path());
    return bytes;
}

// The colour a pixel must show, by the plain formulas: samples scaled to
// 8 bits, CMYK as (255 - C)(255 - K) / 255, alpha over white.
std::array<int, 3> Expected(const TVariant& v, int x, int y)
{
    const double max = v.bps == 16 ? 65535 : (1 << v.bps) - 1;
    auto s8 = [&](int c) { return int(std::lround(Sample(v, x, y, c) * 255 / max)); };
    std::array<int, 3> rgb{};
    switch (v.photometric) {
    case PHOTOMETRIC_PALETTE:
        for (int c = 0; c < 3; ++c) {
            const int e = MapEntry(v, int(Sample(v, x, y, 0)), c);
            rgb[std::size_t(c)] = v.eightBitMap ? e : int(std::lround(e / 257.0));
        }
        return rgb;
    case PHOTOMETRIC_MINISWHITE: rgb.fill(255 - s8(0)); break;
    case PHOTOMETRIC_MINISBLACK: rgb.fill(s8(0)); break;
    case PHOTOMETRIC_SEPARATED:
        for (int c = 0; c < 3; ++c)
            rgb[std::size_t(c)] = int(std::lround((255 - s8(c)) * (255 - s8(3)) / 255.0));
        break;
    default: rgb = {s8(0), s8(1), s8(2)};
    }
    const int a = v.extra ? s8(int(v.spp) - 1) : 255;
    for (int& c : rgb)
        c = v.extra == EXTRASAMPLE_ASSOCALPHA ? std::min(255, c + 255 - a)
                                              : int(std::lround((c * a + 255 * (255 - a)) / 255.0));
    return rgb;
}

TEST(TiffCodec, EveryVariantDecodesToThePlainFormulas)
{
    constexpr auto G = PHOTOMETRIC_MINISBLACK, W = PHOTOMETRIC_MINISWHITE, P = PHOTOMETRIC_PALETTE,
                   RGB = PHOTOMETRIC_RGB, CMYK = PHOTOMETRIC_SEPARATED;
    constexpr auto U = EXTRASAMPLE_UNASSALPHA, A = EXTRASAMPLE_ASSOCALPHA;
    using F = TPixelFormat;
    const TVariant variants[] = {
        {"1-bit black-is-0, big-endian", G, 1, 1, COMPRESSION_NONE, 0, true, false, false, false, F::pf1bit},
        {"1-bit white-is-0, G4", W, 1, 1, COMPRESSION_CCITTFAX4, 0, false, false, false, false, F::pf1bit},
        {"1-bit white-is-0, G3 2D, tiles", W, 1, 1, COMPRESSION_CCITTFAX3, 0, false, true, false, false, F::pf1bit},
        {"1-bit, CCITT RLE", W, 1, 1, COMPRESSION_CCITTRLE, 0, true, false, false, false, F::pf1bit},
        {"1-bit, G4, low bit first", W, 1, 1, COMPRESSION_CCITTFAX4, 0, false, false, false, false, F::pf1bit, 0,
         false, true},
        {"4-bit grey, low bit first", G, 4, 1, COMPRESSION_NONE, 0, false, false, false, false, F::pf4bit, 0, false,
         true},
        {"2-bit grey, PackBits", G, 2, 1, COMPRESSION_PACKBITS, 0, false, false, false, false, F::pf4bit},
        {"4-bit grey, LZW tiles", G, 4, 1, COMPRESSION_LZW, 0, true, true, false, false, F::pf4bit},
        {"4-bit white-is-0", W, 4, 1, COMPRESSION_NONE, 0, false, false, false, false, F::pf4bit},
        {"8-bit grey, Deflate, predictor", G, 8, 1, COMPRESSION_ADOBE_DEFLATE, 0, true, false, false, true, F::pf8bit},
        {"8-bit white-is-0, LZW", W, 8, 1, COMPRESSION_LZW, 0, false, false, false, false, F::pf8bit},
        {"8-bit grey and alpha, planar", G, 8, 2, COMPRESSION_LZW, U, false, false, true, false, F::pf8bit},
        {"16-bit grey, LZW, predictor", G, 16, 1, COMPRESSION_LZW, 0, true, false, false, true},
        {"1-bit palette", P, 1, 1, COMPRESSION_PACKBITS, 0, false, false, false, false, F::pf1bit},
        {"2-bit palette", P, 2, 1, COMPRESSION_NONE, 0, true, false, false, false, F::pf4bit},
        {"4-bit palette, tiles", P, 4, 1, COMPRESSION_LZW, 0, false, true, false, false, F::pf4bit},
        {"8-bit palette, big-endian tiles", P, 8, 1, COMPRESSION_ADOBE_DEFLATE, 0, true, true, false, false,
         F::pf8bit},
        {"8-bit palette, 8-bit colour map", P, 8, 1, COMPRESSION_NONE, 0, false, false, false, false, F::pf8bit, 0,
         true},
        {"RGB", RGB, 8, 3},
        {"RGB, LZW, predictor, big-endian", RGB, 8, 3, COMPRESSION_LZW, 0, true, false, false, true},
        {"RGB, planar Deflate tiles", RGB, 8, 3, COMPRESSION_ADOBE_DEFLATE, 0, false, true, true},
        {"RGB, planar PackBits strips", RGB, 8, 3, COMPRESSION_PACKBITS, 0, true, false, true},
        {"RGB with undeclared extra", RGB, 8, 4, COMPRESSION_LZW, EXTRASAMPLE_UNSPECIFIED},
        {"RGBA unassociated", RGB, 8, 4, COMPRESSION_LZW, U, false, false, false, true},
        {"RGBA associated, planar tiles", RGB, 8, 4, COMPRESSION_NONE, A, true, true, true},
        {"RGB 16-bit, LZW, predictor, big-endian", RGB, 16, 3, COMPRESSION_LZW, 0, true, false, false, true},
        {"RGBA 16-bit associated, tiles", RGB, 16, 4, COMPRESSION_ADOBE_DEFLATE, A, false, true},
        {"RGBA 16-bit unassociated, planar, big-endian", RGB, 16, 4, COMPRESSION_NONE, U, true, false, true},
        {"CMYK", CMYK, 8, 4, COMPRESSION_LZW},
        {"CMYK 16-bit, planar, big-endian", CMYK, 16, 4, COMPRESSION_NONE, 0, true, false, true},
        {"JPEG YCbCr", PHOTOMETRIC_YCBCR, 8, 3, COMPRESSION_JPEG, 0, false, false, false, false, F::pf24bit, 6},
        {"JPEG grey, tiles", G, 8, 1, COMPRESSION_JPEG, 0, true, true, false, false, F::pf8bit, 3},
    };
    for (const TVariant& v : variants) {
        SCOPED_TRACE(v.name);
        const auto file = WriteVariant(v);
        const TBitmap b = DecodeTiff(file.data(), file.size());
        ASSERT_EQ(b.Width(), kW);
        ASSERT_EQ(b.Height(), kH);
        ASSERT_EQ(b.PixelFormat(), v.format);
        if ((v.photometric == G || v.photometric == W) && v.bps <= 8 && !v.extra) {
            EXPECT_EQ(b.Palette().size(), std::size_t(1) << v.bps);  // the grey ramp of its depth
        }
        int worst = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const auto got = PixelRGBA(b, x, y);
                const auto want = Expected(v, x, y);
                for (int c = 0; c < 3; ++c)
                    worst = std::max(worst, std::abs(got[std::size_t(c)] - want[std::size_t(c)]));
            }
        EXPECT_LE(worst, v.tolerance);
    }
}

// A little-endian TIFF made by hand: one directory of LONG entries (the
// strip's offset and byte count added), then `dataBytes` of data;
// `nextIfd` 8 chains the directory to itself; `fill` is the data's byte.
std::vector<std::uint8_t> TinyTiff(std::vector<std::pair<std::uint16_t, std::uint32_t>> tags, std::size_t dataBytes,
                                   std::uint32_t nextIfd = 0, int fill = -1)
{
    const std::uint32_t dataAt = std::uint32_t(8 + 2 + 12 * (tags.size() + 2) + 4);
    tags.push_back({273, dataAt});
    tags.push_back({279, std::uint32_t(dataBytes)});
    std::sort(tags.begin(), tags.end());
    std::vector<std::uint8_t> f = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            f.push_back(std::uint8_t(v >> (8 * i)));
    };
    put(std::uint32_t(tags.size()), 2);
    for (const auto& [tag, value] : tags) {
        put(tag, 2);
        put(4, 2);  // LONG
        put(1, 4);
        put(value, 4);
    }
    put(nextIfd, 4);
    for (std::size_t i = 0; i < dataBytes; ++i)
        f.push_back(std::uint8_t(fill < 0 ? i * 37 : fill));
    return f;
}

std::vector<std::pair<std::uint16_t, std::uint32_t>> GreyTags(std::uint32_t w, std::uint32_t h, std::uint32_t bps = 8,
                                                              std::uint32_t compression = COMPRESSION_NONE)
{
    return {{256, w}, {257, h}, {258, bps}, {259, compression}, {262, PHOTOMETRIC_MINISBLACK}};
}

std::uint16_t PhotometricOf(const std::vector<std::uint8_t>& file)
{
    const auto dir = TempFolder("tiff");
    WriteAll(dir / "f.tif", file);
    TIFF* t = TIFFOpen((dir / "f.tif").c_str(), "r");
    std::uint16_t photometric = 0;
    if (t) {
        TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFClose(t);
    }
    std::filesystem::remove_all(dir);
    return photometric;
}

TEST(TiffCodec, SavedPicturesReadBackUnchanged)
{
    using F = TPixelFormat;
    struct TCase {
        F format;
        bool greyRamp;
        std::uint16_t photometric;
        int width = 301;  // several strips
        int height = 250;
    };
    const TCase cases[] = {
        {F::pf1bit, false, PHOTOMETRIC_PALETTE},    {F::pf4bit, false, PHOTOMETRIC_PALETTE},
        {F::pf8bit, false, PHOTOMETRIC_PALETTE},    {F::pf1bit, true, PHOTOMETRIC_MINISBLACK},
        {F::pf4bit, true, PHOTOMETRIC_MINISBLACK},  {F::pf8bit, true, PHOTOMETRIC_MINISBLACK},
        {F::pf24bit, false, PHOTOMETRIC_RGB},       {F::pf15bit, false, PHOTOMETRIC_RGB},
        {F::pf16bit, false, PHOTOMETRIC_RGB},       {F::pf32bit, false, PHOTOMETRIC_RGB},
        {F::pf24bit, false, PHOTOMETRIC_RGB, 700, 600},  // over 1 MB: strips written and read on threads
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << BitsPerPixel(c.format) << " bits" << (c.greyRamp ? ", grey" : ""));
        TBitmap picture = RandomBitmap(c.width, c.height, c.format, 7);
        if (c.greyRamp) {
            const int n = 1 << BitsPerPixel(c.format);
            std::vector<TPaletteEntry> ramp;
            for (int i = 0; i < n; ++i)
                ramp.push_back({std::uint8_t(i * 255 / (n - 1)), std::uint8_t(i * 255 / (n - 1)),
                                std::uint8_t(i * 255 / (n - 1)), 0});
            picture.SetPaletteEntries(ramp);
        }
        const auto file = EncodeTiff(picture);
        EXPECT_EQ(PhotometricOf(file), c.photometric);
        TBitmap expected = picture;
        if (BitsPerPixel(c.format) > 8)
            expected.SetPixelFormat(F::pf24bit);
        EXPECT_TRUE(SamePicture(DecodeTiff(file.data(), file.size()), expected));
    }
}

TEST(TiffCodec, BadFilesAreRefusedWithOneSentenceAndNoOutput)
{
    std::vector<std::uint8_t> good = EncodeTiff(RandomBitmap(64, 64, TPixelFormat::pf24bit, 3));
    std::vector<std::uint8_t> corrupt = good;
    std::fill(corrupt.begin() + 8, corrupt.begin() + 400, 0xFF);  // the first strip's LZW codes
    // Over 1 MB, decoded on threads: a strip late in the file is damaged.
    std::vector<std::uint8_t> corruptLate = EncodeTiff(RandomBitmap(700, 600, TPixelFormat::pf24bit, 5));
    std::fill(corruptLate.end() - corruptLate.size() / 4, corruptLate.end() - corruptLate.size() / 4 + 400, 0xFF);
    auto tags = [](std::vector<std::pair<std::uint16_t, std::uint32_t>> t, std::uint16_t tag, std::uint32_t value) {
        std::erase_if(t, [&](const auto& entry) { return entry.first == tag; });
        t.push_back({tag, value});
        return t;
    };
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
        const char* message;
    } cases[] = {
        {"empty", {}, "TIFF: not a TIFF file"},
        {"a BMP", EncodeBmp(RandomBitmap(4, 4, TPixelFormat::pf24bit, 1)), "TIFF: not a TIFF file"},
        {"no directory", {'I', 'I', 42, 0, 8, 0, 0, 0}, "TIFF: "},
        {"10^6 x 10^6 in 100 bytes", TinyTiff(GreyTags(1000000, 1000000), 10), "too large"},
        {"LZW too short for its size", TinyTiff(GreyTags(60000, 16000, 8, COMPRESSION_LZW), 100),
         "file is truncated"},
        {"cut in the middle", std::vector<std::uint8_t>(good.begin(), good.begin() + good.size() / 2),
         "file is truncated"},
        {"uncompressed strip too short", TinyTiff(GreyTags(16, 16), 200), "TIFF: "},
        {"corrupt LZW", corrupt, "cannot be decoded"},
        // Eight rows of G4 (a V0 code each), then the data ends.
        {"G4 ending early", TinyTiff(GreyTags(16, 64, 1, COMPRESSION_CCITTFAX4), 1, 0, 0xFF), "Premature EOF"},
        {"corrupt LZW late in a large file", corruptLate, "cannot be decoded"},
        {"float samples", TinyTiff(tags(GreyTags(4, 4, 32), 339, SAMPLEFORMAT_IEEEFP), 64), "unsigned integer"},
        {"12-bit samples", TinyTiff(GreyTags(4, 4, 12), 24), "12 bits per sample"},
        {"CIELab", TinyTiff(tags(GreyTags(4, 4), 262, PHOTOMETRIC_CIELAB), 16), "interpretation 8"},
        {"JPEG 2000", TinyTiff(GreyTags(4, 4, 8, 34712), 16), "compression 34712"},
    };
    ::testing::internal::CaptureStderr();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string message = ErrorOf([&] { DecodeTiff(c.file.data(), c.file.size()); });
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
    // A directory chain that loops back to itself: the first page opens.
    const auto loop = TinyTiff(GreyTags(2, 2), 4, 8);
    const TBitmap b = DecodeTiff(loop.data(), loop.size());
    EXPECT_EQ(PixelRGBA(b, 1, 1)[0], 3 * 37);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
