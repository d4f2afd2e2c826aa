// WebP codec: our lossy writer read back within 30 dB, lossless files
// exact, alpha over white, and an animation's first frame on its canvas.
#include "engine/Codecs.h"

#include "CodecTestUtil.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <cmath>

namespace kadrimex {
namespace {

using testing::PixelRGBA;
using testing::RandomBitmap;
using testing::SamePicture;

std::uint8_t Over(int c, int a)
{
    return std::uint8_t((c * a + 255 * (255 - a) + 127) / 255);
}

// A photograph-like picture: smooth gradients and a few edges.
TBitmap SmoothPicture(int width, int height)
{
    TBitmap bitmap;
    bitmap.Reset(width, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
            p[0] = std::uint8_t(128 + 100 * std::sin(x * 0.05));
            p[1] = std::uint8_t((x + y) * 255 / (width + height));
            p[2] = std::uint8_t(x > width / 3 && y > height / 2 ? 220 : 40);
        }
    return bitmap;
}

double Psnr(const TBitmap& a, const TBitmap& b)
{
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int i = 0; i < a.Width() * 3; ++i) {
            const double d = double(a.ScanLine(y)[i]) - double(b.ScanLine(y)[i]);
            sum += d * d;
        }
    const double mse = sum / (double(a.Width()) * a.Height() * 3);
    return 10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-9));
}

std::vector<std::uint8_t> Lossless(const std::vector<std::uint8_t>& rgba, int width, int height)
{
    std::uint8_t* out = nullptr;
    const std::size_t size = WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &out);
    std::vector<std::uint8_t> file(out, out + size);
    WebPFree(out);
    return file;
}

std::vector<std::uint8_t> RandomRgba(int width, int height, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> rgba(std::size_t(width) * height * 4);
    for (auto& v : rgba)
        v = std::uint8_t(rng());
    return rgba;
}

TEST(CodecWebp, LossyQuality80ReadsBackWithin30dBAtItsSize)
{
    // Other formats are written through their 24-bit colours.
    for (const TPixelFormat format : {TPixelFormat::pf24bit, TPixelFormat::pf8bit}) {
        TBitmap picture = SmoothPicture(203, 117);
        if (format != TPixelFormat::pf24bit)
            picture.SetPixelFormat(format);
        TBitmap colours = picture;
        colours.SetPixelFormat(TPixelFormat::pf24bit);
        const auto file = EncodeWebp(picture, 80);
        const TBitmap back = DecodeWebp(file.data(), file.size());
        ASSERT_EQ(back.Width(), 203);
        ASSERT_EQ(back.Height(), 117);
        ASSERT_EQ(back.PixelFormat(), TPixelFormat::pf24bit);
        EXPECT_GT(Psnr(back, colours), 30.0) << BitsPerPixel(format);
    }
}

TEST(CodecWebp, LosslessFilesAreExactAndAlphaIsCompositedOverWhite)
{
    for (const bool alpha : {false, true}) {
        const int w = 29, h = 17;
        auto rgba = RandomRgba(w, h, alpha ? 5 : 6);
        if (!alpha)
            for (std::size_t i = 3; i < rgba.size(); i += 4)
                rgba[i] = 255;
        const auto file = Lossless(rgba, w, h);
        const TBitmap bitmap = DecodeWebp(file.data(), file.size());
        ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* p = &rgba[std::size_t(y * w + x) * 4];
                const auto got = PixelRGBA(bitmap, x, y);
                ASSERT_EQ((std::array<int, 3>{got[0], got[1], got[2]}),
                          (std::array<int, 3>{Over(p[0], p[3]), Over(p[1], p[3]), Over(p[2], p[3])}))
                    << x << "," << y << (alpha ? " alpha" : "");
            }
    }
}

TEST(CodecWebp, AnAnimationOpensAtItsFirstFrameOnAWhiteCanvas)
{
    const int canvasW = 24, canvasH = 20, frameW = 10, frameH = 8, left = 6, top = 4;
    WebPMux* mux = WebPMuxNew();
    const WebPMuxAnimParams params{0xFFFFFFFF, 0};
    WebPMuxSetAnimationParams(mux, &params);
    WebPMuxSetCanvasSize(mux, canvasW, canvasH);
    std::vector<std::uint8_t> first;
    for (int frame = 0; frame < 2; ++frame) {
        auto rgba = RandomRgba(frameW, frameH, 20 + std::uint32_t(frame));
        for (std::size_t i = 3; i < rgba.size(); i += 4)
            rgba[i] = 255;
        if (frame == 0)
            first = rgba;
        const auto bitstream = Lossless(rgba, frameW, frameH);
        WebPMuxFrameInfo info{};
        info.bitstream = {bitstream.data(), bitstream.size()};
        info.x_offset = frame == 0 ? left : 0;
        info.y_offset = frame == 0 ? top : 0;
        info.duration = 100;
        info.id = WEBP_CHUNK_ANMF;
        info.dispose_method = WEBP_MUX_DISPOSE_NONE;
        info.blend_method = WEBP_MUX_NO_BLEND;
        ASSERT_EQ(WebPMuxPushFrame(mux, &info, 1), WEBP_MUX_OK);
    }
    WebPData data{};
    ASSERT_EQ(WebPMuxAssemble(mux, &data), WEBP_MUX_OK);
    const std::vector<std::uint8_t> file(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    WebPMuxDelete(mux);

    const TBitmap bitmap = DecodeWebp(file.data(), file.size());
    ASSERT_EQ(bitmap.Width(), canvasW);
    ASSERT_EQ(bitmap.Height(), canvasH);
    for (int y = 0; y < canvasH; ++y)
        for (int x = 0; x < canvasW; ++x) {
            const bool inside = x >= left && x < left + frameW && y >= top && y < top + frameH;
            const std::uint8_t* p = inside ? &first[std::size_t((y - top) * frameW + x - left) * 4] : nullptr;
            const std::array<int, 3> expected = inside ? std::array<int, 3>{p[0], p[1], p[2]}
                                                       : std::array<int, 3>{255, 255, 255};
            const auto got = PixelRGBA(bitmap, x, y);
            ASSERT_EQ((std::array<int, 3>{got[0], got[1], got[2]}), expected) << x << "," << y;
        }
}

}  // namespace
}  // namespace kadrimex
