// PNG codec: every colour type, depth, tRNS and interlace case decoded from
// files libpng writes here, against colours worked out from the samples;
// every pixel format through our writer and back.
#include "engine/Codecs.h"

#include "CodecTestUtil.h"

#include <png.h>

#include <cstring>

namespace kadrimex {
namespace {

using testing::PixelRGBA;
using testing::RandomBitmap;
using testing::SamePicture;

struct TPngCase {
    int type;
    int depth;
    bool interlaced;
    bool trns;
    TPixelFormat expected;
};

constexpr int kW = 19;  // odd, so packed rows end inside a byte
constexpr int kH = 11;

std::uint8_t Over(int c, int a)
{
    return std::uint8_t((c * a + 255 * (255 - a) + 127) / 255);
}

int Round257(int v)
{
    return (2 * v + 257) / 514;
}

// A file of random samples; the first pixel's value is also the tRNS
// colour, so the transparent case occurs.
struct TPngFile {
    std::vector<std::uint8_t> bytes;
    std::vector<std::vector<int>> samples;  // per pixel, per channel
    std::vector<png_color> palette;
    std::vector<png_byte> alpha;
};

void Append(png_structp png, png_bytep data, png_size_t size)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

TPngFile MakePng(const TPngCase& c, std::uint32_t seed)
{
    TPngFile file;
    std::mt19937 rng(seed);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &file.bytes, Append, nullptr);
    png_set_IHDR(png, info, kW, kH, c.depth, c.type, c.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const int channels = c.type == PNG_COLOR_TYPE_RGB ? 3 : c.type == PNG_COLOR_TYPE_RGBA ? 4
                         : c.type == PNG_COLOR_TYPE_GA ? 2 : 1;
    // Fewer palette entries than indices the depth allows, all of them used.
    const int levels = c.type == PNG_COLOR_TYPE_PALETTE ? std::min(1 << c.depth, 200) : 1 << c.depth;
    for (int i = 0; i < kW * kH; ++i) {
        std::vector<int> pixel(static_cast<std::size_t>(channels));
        for (auto& v : pixel)
            v = int(rng() % unsigned(levels));
        file.samples.push_back(pixel);
    }
    if (c.type == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < levels; ++i)
            file.palette.push_back({std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())});
        png_set_PLTE(png, info, file.palette.data(), levels);
        if (c.trns) {
            for (int i = 0; i < std::min(levels, 3); ++i)
                file.alpha.push_back(std::uint8_t(rng()));
            png_set_tRNS(png, info, file.alpha.data(), int(file.alpha.size()), nullptr);
        }
    } else if (c.trns) {
        const auto& first = file.samples[0];
        png_color_16 colour{};
        colour.gray = png_uint_16(first[0]);
        colour.red = png_uint_16(first[0]);
        if (channels == 3) {
            colour.green = png_uint_16(first[1]);
            colour.blue = png_uint_16(first[2]);
        }
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<std::uint8_t> row(rowBytes);
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < kH; ++y) {
            std::fill(row.begin(), row.end(), 0);
            for (int x = 0; x < kW; ++x)
                for (int ch = 0; ch < channels; ++ch) {
                    const int v = file.samples[std::size_t(y * kW + x)][std::size_t(ch)];
                    const std::size_t bit = std::size_t(x * channels + ch) * std::size_t(c.depth);
                    if (c.depth == 16) {
                        row[bit / 8] = std::uint8_t(v >> 8);
                        row[bit / 8 + 1] = std::uint8_t(v);
                    } else {
                        row[bit / 8] |= std::uint8_t(v << (8 - c.depth - int(bit % 8)));
                    }
                }
            // Junk in the bits past the last pixel, which a reader must drop.
            if (const int used = kW * channels * c.depth % 8)
                row.back() |= std::uint8_t(0xFF >> used);
            png_write_row(png, row.data());
        }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return file;
}

std::array<int, 3> Expected(const TPngCase& c, const TPngFile& file, int x, int y)
{
    const auto& s = file.samples[std::size_t(y * kW + x)];
    const bool transparent = c.trns && c.type != PNG_COLOR_TYPE_PALETTE && s == file.samples[0];
    if (transparent)
        return {255, 255, 255};
    auto eight = [&](int v) { return c.depth == 16 ? Round257(v) : c.depth < 8 ? v * 255 / ((1 << c.depth) - 1) : v; };
    switch (c.type) {
    case PNG_COLOR_TYPE_PALETTE: {
        const png_color& e = file.palette[std::size_t(s[0])];
        const int a = std::size_t(s[0]) < file.alpha.size() ? file.alpha[std::size_t(s[0])] : 255;
        return {Over(e.red, a), Over(e.green, a), Over(e.blue, a)};
    }
    case PNG_COLOR_TYPE_GRAY: return {eight(s[0]), eight(s[0]), eight(s[0])};
    case PNG_COLOR_TYPE_GA: {
        const int g = Over(eight(s[0]), eight(s[1]));
        return {g, g, g};
    }
    case PNG_COLOR_TYPE_RGB: return {eight(s[0]), eight(s[1]), eight(s[2])};
    default: return {Over(eight(s[0]), eight(s[3])), Over(eight(s[1]), eight(s[3])), Over(eight(s[2]), eight(s[3]))};
    }
}

TEST(CodecPng, EveryColourTypeDepthAndInterlaceDecodesToTheExpectedColours)
{
    using F = TPixelFormat;
    const std::vector<TPngCase> cases = {
        {PNG_COLOR_TYPE_GRAY, 1, false, false, F::pf1bit},   {PNG_COLOR_TYPE_GRAY, 2, true, true, F::pf4bit},
        {PNG_COLOR_TYPE_GRAY, 2, false, false, F::pf4bit},   {PNG_COLOR_TYPE_GRAY, 4, true, false, F::pf4bit},
        {PNG_COLOR_TYPE_GRAY, 8, false, true, F::pf8bit},    {PNG_COLOR_TYPE_GRAY, 16, true, true, F::pf24bit},
        {PNG_COLOR_TYPE_PALETTE, 1, true, true, F::pf1bit},  {PNG_COLOR_TYPE_PALETTE, 2, false, true, F::pf4bit},
        {PNG_COLOR_TYPE_PALETTE, 4, false, false, F::pf4bit}, {PNG_COLOR_TYPE_PALETTE, 8, true, true, F::pf8bit},
        {PNG_COLOR_TYPE_RGB, 8, false, true, F::pf24bit},    {PNG_COLOR_TYPE_RGB, 16, true, true, F::pf24bit},
        {PNG_COLOR_TYPE_GA, 8, true, false, F::pf24bit},     {PNG_COLOR_TYPE_GA, 16, false, false, F::pf24bit},
        {PNG_COLOR_TYPE_RGBA, 8, false, false, F::pf24bit},  {PNG_COLOR_TYPE_RGBA, 16, true, false, F::pf24bit},
    };
    std::uint32_t seed = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type) + " depth " + std::to_string(c.depth) +
                     (c.interlaced ? " Adam7" : "") + (c.trns ? " tRNS" : ""));
        const TPngFile file = MakePng(c, seed++);
        const TBitmap bitmap = DecodePng(file.bytes.data(), file.bytes.size());
        ASSERT_EQ(bitmap.Width(), kW);
        ASSERT_EQ(bitmap.Height(), kH);
        ASSERT_EQ(bitmap.PixelFormat(), c.expected);
        const int bits = BitsPerPixel(c.expected);
        for (int y = 0; y < kH && bits < 8; ++y)
            ASSERT_EQ(bitmap.ScanLine(y)[kW * bits / 8] & (0xFF >> (kW * bits % 8)), 0) << "row " << y;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const auto got = PixelRGBA(bitmap, x, y);
                ASSERT_EQ((std::array<int, 3>{got[0], got[1], got[2]}), Expected(c, file, x, y))
                    << "pixel " << x << "," << y;
            }
    }
}

TEST(CodecPng, PalettePicturesKeepTheirFormatThroughAFileAndTheRestTheirColours)
{
    struct TCase {
        TPixelFormat format;
        bool greyRamp;
        int fileColourType;
    };
    for (const TCase c : {TCase{TPixelFormat::pf1bit, false, PNG_COLOR_TYPE_PALETTE},
                          TCase{TPixelFormat::pf1bit, true, PNG_COLOR_TYPE_GRAY},
                          TCase{TPixelFormat::pf4bit, false, PNG_COLOR_TYPE_PALETTE},
                          TCase{TPixelFormat::pf4bit, true, PNG_COLOR_TYPE_GRAY},
                          TCase{TPixelFormat::pf8bit, false, PNG_COLOR_TYPE_PALETTE},
                          TCase{TPixelFormat::pf8bit, true, PNG_COLOR_TYPE_GRAY},
                          TCase{TPixelFormat::pf15bit, false, PNG_COLOR_TYPE_RGB},
                          TCase{TPixelFormat::pf16bit, false, PNG_COLOR_TYPE_RGB},
                          TCase{TPixelFormat::pf24bit, false, PNG_COLOR_TYPE_RGB},
                          TCase{TPixelFormat::pf32bit, false, PNG_COLOR_TYPE_RGB}}) {
        SCOPED_TRACE("bits " + std::to_string(BitsPerPixel(c.format)) + (c.greyRamp ? " grey" : ""));
        TBitmap bitmap = RandomBitmap(37, 13, c.format, 7);
        if (c.greyRamp) {
            std::vector<TPaletteEntry> ramp(bitmap.Palette().size());
            for (std::size_t i = 0; i < ramp.size(); ++i) {
                const auto g = std::uint8_t(i * 255 / (ramp.size() - 1));
                ramp[i] = {g, g, g, 0};
            }
            bitmap.SetPaletteEntries(ramp);
        }
        TBitmap expected = bitmap;
        if (BitsPerPixel(c.format) > 8)
            expected.SetPixelFormat(TPixelFormat::pf24bit);
        const auto file = EncodePng(bitmap);
        ASSERT_GT(file.size(), 26u);
        EXPECT_EQ(file[25], c.fileColourType);
        EXPECT_TRUE(SamePicture(DecodePng(file.data(), file.size()), expected));
    }
}

}  // namespace
}  // namespace kadrimex
