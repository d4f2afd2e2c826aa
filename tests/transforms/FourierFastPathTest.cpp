// The double-precision Fourier paths against the plain 80-bit reference,
// byte for byte, on pictures where rounding ties live: constant, saturated
// and mirror-symmetric ones (undecided bytes, the 80-bit engine throughout)
// next to random ones (every byte decided by the bound).
#include "FourierReference.h"

#include "engine/ProcessorThread.h"
#include "transforms/FastFourier.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

namespace kadrimex {
namespace {

using reference::Picture;

Picture Make(int w, int h, const std::function<int(int x, int y, int c)>& byte)
{
    Picture p{w, h, std::vector<std::uint8_t>(std::size_t(w) * std::size_t(h) * 3)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                p.At(x, y, c) = std::uint8_t(byte(x, y, c));
    return p;
}

void CopyTo(TAdvancedBitmap& bitmap, const Picture& input)
{
    bitmap.Reset(input.width, input.height, TPixelFormat::pf24bit);
    for (int y = 0; y < input.height; ++y)
        std::copy_n(&input.bgr[std::size_t(y) * std::size_t(input.width) * 3], std::size_t(input.width) * 3,
                    bitmap.ScanLine(y));
}

Picture Execute(std::int8_t code, const Picture& input, long double level)
{
    TBitmapProcesorThread thread(true);
    TAdvancedBitmap source, destination;
    CopyTo(source, input);
    destination.SetPixelFormat(TPixelFormat::pf24bit);
    thread.FOperation = code;
    thread.FSource = &source;
    thread.FDestination = &destination;
    thread.FParam1 = level;
    thread.Execute();
    Picture out{destination.Width(), destination.Height(), {}};
    for (int y = 0; y < out.height; ++y)
        out.bgr.insert(out.bgr.end(), destination.ScanLine(y), destination.ScanLine(y) + std::size_t(out.width) * 3);
    return out;
}

TEST(FourierFastPathTest, MatchesTheReferenceByteForByte)
{
    std::mt19937 random(5);
    const Picture noise = Make(70, 45, [&](int, int, int) { return int(random() & 0xFF); });
    const struct {
        const char* name;
        Picture picture;
    } cases[] = {
        {"random", noise},
        {"random 128 x 64", Make(128, 64, [&](int, int, int) { return int(random() & 0xFF); })},
        {"constant", Make(40, 24, [](int, int, int c) { return 60 + 50 * c; })},
        {"saturated", Make(33, 16, [](int x, int, int c) { return c == 0 ? 255 : (x % 2) * 255; })},
        {"mirror symmetric", Make(32, 32, [](int x, int y, int c) { return (std::min(x, 31 - x) * 7 + y * c) % 256; })},
        {"spectrum picture", reference::MakeFFT(noise)},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const Picture& p = k.picture;
        EXPECT_EQ(Execute(op::FFT, p, 0).bgr, reference::MakeFFT(p).bgr) << "fft";
        EXPECT_EQ(Execute(op::RevFFT, p, 0).bgr, reference::MakeRevFFT(p).bgr) << "revfft";
        for (const long double level : {0.0L, 20.0L, -3.0L})
            EXPECT_EQ(Execute(op::FFTGauss, p, level).bgr, reference::MakeFFTGauss(p, level).bgr)
                << "fftgauss " << double(level);
    }
}

// The recomputation of undecided reverse bytes, asked for every byte of
// the picture: each must be the 80-bit one.
TEST(FourierFastPathTest, RecomputedReverseBytesAreTheReferenceOnes)
{
    std::mt19937 random(9);
    const Picture noise = Make(37, 21, [&](int, int, int) { return int(random() & 0xFF); });
    for (const Picture& p : {noise, reference::MakeFFT(noise), Make(16, 9, [](int x, int, int c) { return 128 + x * c; })}) {
        TAdvancedBitmap source, destination;
        CopyTo(source, p);
        CopyTo(destination, Make(p.width, p.height, [](int, int, int) { return 0; }));
        std::vector<fastfourier::Undecided> all;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                for (int c = 0; c < 3; ++c)
                    all.push_back({c, x, y});
        fastfourier::ExactReverseBytes(destination, source, all);
        Picture out{p.width, p.height, {}};
        for (int y = 0; y < p.height; ++y)
            out.bgr.insert(out.bgr.end(), destination.ScanLine(y), destination.ScanLine(y) + std::size_t(p.width) * 3);
        EXPECT_EQ(out.bgr, reference::MakeRevFFT(p).bgr) << p.width << " x " << p.height;
    }
}

}  // namespace
}  // namespace kadrimex
