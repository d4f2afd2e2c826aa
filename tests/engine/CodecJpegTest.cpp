#include "engine/Codecs.h"
#include "tests/engine/CodecTestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>

using namespace kadrimex;
using namespace kadrimex::testing;

namespace {

// A smooth picture (JPEG-friendly) of odd size.
TBitmap Smooth(int w, int h)
{
    TBitmap b;
    b.Reset(w, h, TPixelFormat::pf24bit);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = b.ScanLine(y) + 3 * x;
            p[0] = std::uint8_t(x * 255 / w);
            p[1] = std::uint8_t(y * 255 / h);
            p[2] = std::uint8_t((x + y) * 127 / (w + h) + 64);
        }
    return b;
}

// Offset of the first marker FF <code>, or npos.
std::size_t FindMarker(const std::vector<std::uint8_t>& f, std::uint8_t code)
{
    for (std::size_t i = 0; i + 1 < f.size(); ++i)
        if (f[i] == 0xFF && f[i + 1] == code)
            return i;
    return std::string::npos;
}

double MeanAbsDifference(const TBitmap& a, const TBitmap& b)
{
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int i = 0; i < 3 * a.Width(); ++i)
            sum += std::abs(a.ScanLine(y)[i] - b.ScanLine(y)[i]);
    return sum / (3.0 * a.Width() * a.Height());
}

// Plain libjpeg with its own defaults: the reference our encoder must match,
// or a writer of colour spaces our encoder does not produce.
std::vector<std::uint8_t> LibjpegEncode(int w, int h, int components, J_COLOR_SPACE in, J_COLOR_SPACE stored,
                                        const std::vector<std::uint8_t>& samples, int quality)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = components;
    c.in_color_space = in;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, stored);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + std::size_t(c.next_scanline) * w * components);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return out;
}

std::string DecodeError(const std::vector<std::uint8_t>& f, std::size_t size)
{
    return ErrorOf([&] { DecodeJpeg(f.data(), size); });
}

}  // namespace

TEST(JpegCodec, SavesBaselineQuality80WithStandard420Sampling)
{
    const TBitmap picture = Smooth(37, 29);
    const auto file = EncodeJpeg(picture);

    // Byte for byte what libjpeg's defaults at quality 80 write: a baseline
    // frame, 2x2, 1x1, 1x1 sampling, the standard tables scaled by 40 %.
    std::vector<std::uint8_t> samples;
    for (int y = 0; y < picture.Height(); ++y)
        samples.insert(samples.end(), picture.ScanLine(y), picture.ScanLine(y) + 3 * picture.Width());
    EXPECT_EQ(file, LibjpegEncode(37, 29, 3, JCS_EXT_BGR, JCS_YCbCr, samples, 80));
    // Noise fills several of the encoder's output buffers.
    const TBitmap noise = RandomBitmap(640, 480, TPixelFormat::pf24bit, 5);
    std::vector<std::uint8_t> noiseSamples;
    for (int y = 0; y < noise.Height(); ++y)
        noiseSamples.insert(noiseSamples.end(), noise.ScanLine(y), noise.ScanLine(y) + 3 * noise.Width());
    const auto noiseFile = EncodeJpeg(noise);
    EXPECT_GT(noiseFile.size(), std::size_t(1) << 17);
    EXPECT_EQ(noiseFile, LibjpegEncode(640, 480, 3, JCS_EXT_BGR, JCS_YCbCr, noiseSamples, 80));

    const TBitmap decoded = DecodeJpeg(file.data(), file.size());
    ASSERT_EQ(decoded.PixelFormat(), TPixelFormat::pf24bit);
    ASSERT_EQ(decoded.Width(), 37);
    ASSERT_EQ(decoded.Height(), 29);
    EXPECT_LT(MeanAbsDifference(picture, decoded), 3.0);

    const auto progressive = EncodeJpeg(picture, 80, true);
    EXPECT_NE(FindMarker(progressive, 0xC2), std::string::npos);
    EXPECT_LT(MeanAbsDifference(picture, DecodeJpeg(progressive.data(), progressive.size())), 3.0);
}

TEST(JpegCodec, OtherFormatsSaveAsTheir24BitConversion)
{
    // Rows are converted one batch at a time as the encoder asks; the file
    // is the one the whole 24-bit conversion gives, for every format.
    for (const TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                                      TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf32bit}) {
        const TBitmap picture = RandomBitmap(37, 21, format, 4);
        TBitmap expanded = picture;
        expanded.SetPixelFormat(TPixelFormat::pf24bit);
        EXPECT_EQ(EncodeJpeg(picture), EncodeJpeg(expanded)) << BitsPerPixel(format);
    }
    EXPECT_THROW(EncodeJpeg(TBitmap()), EImageError);
}

TEST(JpegCodec, GreyscaleAndCmykDecodeToBlueGreenRed)
{
    std::vector<std::uint8_t> grey(24 * 8);
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = std::uint8_t(i % 24 * 10);
    auto file = LibjpegEncode(24, 8, 1, JCS_GRAYSCALE, JCS_GRAYSCALE, grey, 100);
    TBitmap b = DecodeJpeg(file.data(), file.size());
    ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
    for (int x = 0; x < 24; ++x) {
        const std::uint8_t* p = b.ScanLine(3) + 3 * x;
        EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << x;
        EXPECT_NEAR(p[0], x * 10, 3) << x;
    }

    // Adobe CMYK stores inverted inks (255 = no ink). Flat 16 x 16 fields,
    // once as CMYK and once as YCCK.
    struct Ink {
        std::array<std::uint8_t, 4> stored;
        std::array<int, 3> rgb;
    };
    const Ink inks[] = {
        {{0, 255, 255, 255}, {0, 255, 255}},      // full cyan
        {{255, 255, 0, 255}, {255, 255, 0}},      // full yellow
        {{255, 255, 255, 128}, {128, 128, 128}},  // half black
        {{255, 128, 255, 128}, {128, 64, 128}},   // half magenta over half black
    };
    for (J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
        for (const Ink& ink : inks) {
            std::vector<std::uint8_t> samples;
            for (int i = 0; i < 16 * 16; ++i)
                samples.insert(samples.end(), ink.stored.begin(), ink.stored.end());
            file = LibjpegEncode(16, 16, 4, JCS_CMYK, stored, samples, 100);
            b = DecodeJpeg(file.data(), file.size());
            const auto rgba = PixelRGBA(b, 7, 7);
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(rgba[std::size_t(c)], ink.rgb[std::size_t(c)], 3) << "channel " << c;
        }
    }
}

TEST(JpegCodec, DamagedFilesFailWithAMessage)
{
    const auto file = EncodeJpeg(Smooth(64, 48));
    EXPECT_EQ(DecodeError(file, 0), "JPEG: file is empty");
    const std::vector<std::uint8_t> bmp = EncodeBmp(Smooth(4, 4));
    EXPECT_EQ(DecodeError(bmp, bmp.size()).rfind("JPEG: Not a JPEG file", 0), 0u);

    // A cut anywhere before the end-of-image marker is an error, not grey rows.
    const std::size_t scan = FindMarker(file, 0xDA);
    for (std::size_t cut = 1; cut + 2 < file.size(); ++cut) {
        const std::string message = DecodeError(file, cut);
        EXPECT_EQ(message.rfind("JPEG: ", 0), 0u) << cut;
        if (cut > scan + 20) {
            EXPECT_EQ(message, "JPEG: file is truncated") << cut;
        }
    }

    // A frame header claiming a huge size is refused before decoding.
    auto huge = file;
    const std::size_t sof = FindMarker(huge, 0xC0);
    huge[sof + 5] = 0xEA, huge[sof + 6] = 0x60;  // 60000 rows
    huge[sof + 7] = 0xEA, huge[sof + 8] = 0x60;  // 60000 columns
    EXPECT_EQ(DecodeError(huge, huge.size()), "JPEG: a picture of 60000 x 60000 pixels is too large");
    // Large but allowed: the data ends long before the picture does, and
    // the decoder stops there instead of filling 30000 rows.
    huge[sof + 5] = 0x75, huge[sof + 6] = 0x30;  // 30000 rows
    huge[sof + 7] = 0x75, huge[sof + 8] = 0x30;
    EXPECT_EQ(DecodeError(huge, huge.size()), "JPEG: the picture data ends too early");
    EXPECT_EQ(DecodeError(huge, huge.size() - 2), "JPEG: file is truncated");
    // Its progressive twin is held whole while it decodes: refused in our words.
    auto progressive = EncodeJpeg(Smooth(64, 48), 80, true);
    const std::size_t sof2 = FindMarker(progressive, 0xC2);
    progressive[sof2 + 5] = 0x75, progressive[sof2 + 6] = 0x30;
    progressive[sof2 + 7] = 0x75, progressive[sof2 + 8] = 0x30;
    EXPECT_EQ(DecodeError(progressive, progressive.size()),
              "JPEG: a progressive picture of 30000 x 30000 pixels needs more than 512 MB of working memory to decode");

    std::mt19937 rng(11);
    for (int trial = 0; trial < 300; ++trial) {
        auto damaged = file;
        for (int k = 0; k < 4; ++k)
            damaged[rng() % damaged.size()] = std::uint8_t(rng());
        ErrorOf([&] { EXPECT_FALSE(DecodeJpeg(damaged.data(), damaged.size()).Empty()); });
    }
}

// Rows decode first into strips held apart, then straight into the picture
// once the data has proven itself; where the switch falls (at once, after
// the first strip, never) changes no byte, row padding included.
TEST(JpegCodec, RowsDecodeAlikeWhereverTheyGoFirst)
{
    const int w = 999, h = 1200;  // 349 rows a strip, three bytes of padding
    std::vector<std::uint8_t> inks(std::size_t(w) * h * 4);
    std::mt19937 rng(5);
    for (auto& ink : inks)
        ink = std::uint8_t(rng());
    const std::vector<std::uint8_t> files[] = {
        EncodeJpeg(Smooth(w, h)),
        LibjpegEncode(w, h, 4, JCS_CMYK, JCS_YCCK, inks, 90),
    };
    for (const auto& file : files) {
        const TBitmap held = DecodeJpeg(file.data(), file.size());
        for (const std::size_t heldBytes : {std::size_t(0), std::size_t(1)}) {
            const TBitmap direct = DecodeJpeg(file.data(), file.size(), heldBytes);
            ASSERT_EQ(direct.Height(), h);
            for (int y = 0; y < h; ++y) {
                ASSERT_EQ(std::memcmp(direct.ScanLine(y), held.ScanLine(y), held.Stride()), 0) << heldBytes << " " << y;
                ASSERT_EQ(direct.ScanLine(y)[held.Stride() - 1], 0) << y;
            }
        }
    }
}

TEST(JpegCodec, SharedPhotographsDecode)
{
    const std::string dir = SharedDir() + "/testdata/";
    if (!std::filesystem::exists(dir + "astronaut-512x512.bmp"))
        GTEST_SKIP() << "shared test data not found in " << dir;
    const auto bmp = ReadAll(dir + "astronaut-512x512.bmp");
    const TBitmap original = DecodeBmp(bmp.data(), bmp.size());
    for (const char* name : {"astronaut-512x512.jpg", "astronaut-512x512-progressive.jpg"}) {
        const auto jpg = ReadAll(dir + name);
        const TBitmap decoded = DecodeJpeg(jpg.data(), jpg.size());
        ASSERT_EQ(decoded.Width(), 512) << name;
        ASSERT_EQ(decoded.Height(), 512) << name;
        EXPECT_LT(MeanAbsDifference(original, decoded), 4.0) << name;
    }
    const auto grey = ReadAll(dir + "camera-512x512-gray.jpg");
    const TBitmap camera = DecodeJpeg(grey.data(), grey.size());
    const auto greyBmp = ReadAll(dir + "camera-512x512-8bit-gray.bmp");
    const TBitmap cameraBmp = DecodeBmp(greyBmp.data(), greyBmp.size());
    double sum = 0;
    for (int y = 0; y < 512; y += 7)
        for (int x = 0; x < 512; x += 5) {
            const auto a = PixelRGBA(camera, x, y), b = PixelRGBA(cameraBmp, x, y);
            EXPECT_TRUE(a[0] == a[1] && a[1] == a[2]);
            sum += std::abs(a[0] - b[0]);
        }
    EXPECT_LT(sum / (74.0 * 103.0), 4.0);
}
