// The FFT engine and the Fourier operations: the fast, multi-threaded and
// double-precision paths against the plain 80-bit reference byte for byte
// (on random pictures and on constant, saturated and mirror-symmetric ones
// where rounding ties live), the worked examples of the transforms, the
// brightness-keeping Gauss kernel, cancellation and memory refusal.
#include "FourierReference.h"

#include "engine/Codecs.h"
#include "engine/ProcessorThread.h"
#include "transforms/FastFourier.h"
#include "transforms/Fft.h"
#include "transforms/Fourier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>

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

Picture RandomPicture(int width, int height, std::uint32_t seed)
{
    std::mt19937 random(seed);
    return Make(width, height, [&](int, int, int) { return int(random() & 0xFF); });
}

// Smooth shading with texture and a few hard edges, like a photograph.
Picture PhotoLikePicture(int width, int height)
{
    std::mt19937 random(7);
    return Make(width, height, [&](int x, int y, int c) {
        double v = 40 + 150.0 * x / width + 30 * std::sin(0.07 * y + c) + double(random() % 21) - 10;
        if ((x / 37 + y / 23) % 5 == 0)
            v += 60;
        return int(std::clamp(v, 0.0, 255.0));
    });
}

TAdvancedBitmap ToBitmap(const Picture& p)
{
    TAdvancedBitmap b;
    b.Reset(p.width, p.height, TPixelFormat::pf24bit);
    for (int y = 0; y < p.height; ++y)
        std::copy_n(&p.bgr[std::size_t(y) * std::size_t(p.width) * 3], std::size_t(p.width) * 3, b.ScanLine(y));
    return b;
}

Picture FromBitmap(const TBitmap& b)
{
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
    Picture p{b.Width(), b.Height(), {}};
    for (int y = 0; y < p.height; ++y)
        p.bgr.insert(p.bgr.end(), b.ScanLine(y), b.ScanLine(y) + std::size_t(p.width) * 3);
    return p;
}

// Fills the worker's fields for operation `code` as the editor does.
void Prepare(TBitmapProcesorThread& thread, std::int8_t code, TAdvancedBitmap& source, TAdvancedBitmap& destination,
             long double level = 0)
{
    thread.FOperation = code;
    thread.FSource = &source;
    thread.FDestination = &destination;
    thread.FParam1 = level;
}

// Runs one operation through the dispatcher, as the editor and the batch
// tool do, and checks that the engine left no table behind.
Picture RunOperation(std::int8_t code, const Picture& input, long double level = 0)
{
    TBitmapProcesorThread thread(true);
    TAdvancedBitmap source = ToBitmap(input);
    TAdvancedBitmap destination;
    destination.SetPixelFormat(TPixelFormat::pf24bit);
    Prepare(thread, code, source, destination, level);
    thread.Execute();
    EXPECT_EQ(thread.FErrorMessage, "");
    EXPECT_EQ(thread.FTwiddleTable, nullptr);
    return FromBitmap(destination);
}

double Mean(const Picture& p)
{
    double sum = 0;
    for (const auto b : p.bgr)
        sum += b;
    return sum / double(p.bgr.size());
}

// Sum of absolute differences of horizontally neighbouring bytes.
double Roughness(const Picture& p)
{
    double sum = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 1; x < p.width; ++x)
            for (int c = 0; c < 3; ++c)
                sum += std::abs(int(p.At(x, y, c)) - int(p.At(x - 1, y, c)));
    return sum;
}

void ExpectSamePicture(const Picture& expected, const Picture& actual)
{
    ASSERT_EQ(expected.width, actual.width);
    ASSERT_EQ(expected.height, actual.height);
    std::size_t differing = 0, first = 0;
    for (std::size_t i = 0; i < expected.bgr.size(); ++i)
        if (expected.bgr[i] != actual.bgr[i] && differing++ == 0)
            first = i;
    EXPECT_EQ(differing, 0u) << "first difference at byte " << first << ": expected " << int(expected.bgr[first])
                             << ", got " << int(actual.bgr[first]);
}

TEST(FourierTest, OperationsMatchReferenceByteForByte)
{
    std::vector<std::pair<std::string, Picture>> cases;
    const int sizes[][2] = {{1, 1},   {2, 1},   {1, 3},   {3, 3},   {5, 7},    {33, 17},
                            {64, 48}, {17, 130}, {100, 3}, {257, 66}, {70, 45}, {128, 64}};
    std::uint32_t seed = 1;
    for (const auto& size : sizes)
        cases.push_back({"random " + std::to_string(size[0]) + " x " + std::to_string(size[1]),
                         RandomPicture(size[0], size[1], seed++)});
    cases.push_back({"constant", Make(40, 24, [](int, int, int c) { return 60 + 50 * c; })});
    cases.push_back({"saturated", Make(33, 16, [](int x, int, int c) { return c == 0 ? 255 : (x % 2) * 255; })});
    cases.push_back({"mirror symmetric",
                     Make(32, 32, [](int x, int y, int c) { return (std::min(x, 31 - x) * 7 + y * c) % 256; })});
    // The reverse transform's real input: spectrum pictures made by fft.
    cases.push_back({"spectrum of noise", reference::MakeFFT(RandomPicture(70, 45, 99))});
    cases.push_back({"spectrum of a photo", reference::MakeFFT(PhotoLikePicture(120, 70))});
    for (const auto& [name, input] : cases) {
        SCOPED_TRACE(name);
        {
            SCOPED_TRACE("fft");
            ExpectSamePicture(reference::MakeFFT(input), RunOperation(op::FFT, input));
        }
        {
            SCOPED_TRACE("revfft");
            ExpectSamePicture(reference::MakeRevFFT(input), RunOperation(op::RevFFT, input));
        }
        for (const long double level : {0.0L, 2.5L, 13.0L, 20.0L, -3.0L}) {
            SCOPED_TRACE("fftgauss " + std::to_string(double(level)));
            ExpectSamePicture(reference::MakeFFTGauss(input, level), RunOperation(op::FFTGauss, input, level));
        }
    }
}

// The recomputation of undecided reverse bytes, asked for every byte of
// the picture: each must be the 80-bit one.
TEST(FourierTest, RecomputedReverseBytesAreTheReferenceOnes)
{
    const Picture noise = RandomPicture(37, 21, 9);
    for (const Picture& p : {noise, reference::MakeFFT(noise), Make(16, 9, [](int x, int, int c) { return 128 + x * c; })}) {
        TAdvancedBitmap source = ToBitmap(p);
        TAdvancedBitmap destination = ToBitmap(Make(p.width, p.height, [](int, int, int) { return 0; }));
        std::vector<fastfourier::Undecided> all;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                for (int c = 0; c < 3; ++c)
                    all.push_back({c, x, y});
        fastfourier::ExactReverseBytes(destination, source, all);
        EXPECT_EQ(FromBitmap(destination).bgr, reference::MakeRevFFT(p).bgr) << p.width << " x " << p.height;
    }
}

TEST(FourierTest, FFTGaussMaskMatchesReference)
{
    TBitmapProcesorThread thread(true);
    // Sums far from 1 (normalised), already 1 (left alone) and near 0
    // (left alone).
    const struct {
        int w, h;
        long double a;
    } cases[] = {{16, 8, 0.05L}, {4, 4, 1e-9L}, {8, 8, 4000.0L}};
    for (const auto& k : cases) {
        std::vector<long double> mask(std::size_t(k.w) * std::size_t(k.h));
        const long double cx = (k.w - 1) / 2.0L, cy = (k.h - 1) / 2.0L;
        FFTGaussMask(thread, mask.data(), k.w, k.h, k.a, k.a, cx, cy);
        const auto expected = reference::GaussMask(k.w, k.h, k.a, k.a, cx, cy);
        for (std::size_t i = 0; i < mask.size(); ++i)
            ASSERT_EQ(mask[i], expected[i]) << "sample " << i << " a " << double(k.a);
    }
    // A sum within 1e-5 of 1 (here 1.000005) keeps the values as they are.
    const long double a = -4 * logl(0.5000025L);
    std::vector<long double> pair(2);
    FFTGaussMask(thread, pair.data(), 2, 1, a, a, 0.5L, 0);
    EXPECT_GT(pair[0] + pair[1], 1.000004L);
    EXPECT_EQ(pair[0], expl(-a * 0.25L));
    EXPECT_EQ(pair[1], expl(-a * 0.25L));
}

TEST(FftEngineTest, PaddedSizes)
{
    const int cases[][2] = {{1, 2}, {2, 2}, {3, 4}, {5, 8}, {1024, 1024}, {1025, 2048}, {640, 1024}, {480, 512}};
    for (const auto& c : cases)
        EXPECT_EQ(PaddedSize(c[0]), c[1]) << c[0];
}

TEST(FftEngineTest, RoundTripMirrorsIntoThePaddingAndAddsOne)
{
    // Transforming back over the whole padded size shows the padding: a
    // 5 x 3 picture pads to 8 x 4 with columns 5, 6, 7 repeating 4, 3, 2 and
    // row 3 repeating row 2. Every value v below 255 comes back as v + 1.
    Picture input = RandomPicture(5, 3, 11);
    input.At(0, 0, 0) = 255;
    input.At(1, 0, 0) = 0;
    input.At(2, 0, 0) = 254;
    TAdvancedBitmap source = ToBitmap(input);
    TBitmapProcesorThread thread(true);
    ComplexPlane blue(8, 4), green(8, 4), red(8, 4);
    FFT2D(thread, blue.Data(), green.Data(), red.Data(), &source);
    EXPECT_EQ(thread.ProgressMax(), 64);  // 2 Wp Hp
    EXPECT_EQ(thread.Progress(), 32);     // the forward transform ends at half
    TAdvancedBitmap back;
    RevFFT2D(thread, &back, 8, 4, blue.Data(), green.Data(), red.Data());
    EXPECT_EQ(thread.FTwiddleTable, nullptr);
    EXPECT_EQ(thread.Progress(), thread.ProgressMax());
    const Picture output = FromBitmap(back);
    ASSERT_EQ(output.width, 8);
    ASSERT_EQ(output.height, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            for (int c = 0; c < 3; ++c) {
                const int sx = x < 5 ? x : 9 - x;
                const int sy = y < 3 ? y : 5 - y;
                const int v = input.At(sx, sy, c);
                EXPECT_EQ(output.At(x, y, c), v < 255 ? v + 1 : 255) << x << "," << y << " channel " << c;
            }
}

TEST(FourierTest, ConstantPicturesThroughEachTransform)
{
    // Channels blue 0, green 100, red 200 over a 6 x 5 picture (8 x 8).
    const Picture output = RunOperation(op::FFT, Make(6, 5, [](int, int, int c) { return 100 * c; }));
    ASSERT_EQ(output.width, 8);
    ASSERT_EQ(output.height, 8);
    const int centre[3] = {128, 228, 255};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(output.At(x, y, c), x == 4 && y == 4 ? centre[c] : 128) << x << "," << y;

    // The reverse of a grey spectrum is all ones, at the picture's own size.
    for (const auto& size : {std::pair{16, 8}, std::pair{5, 7}}) {
        const Picture back = RunOperation(op::RevFFT, Make(size.first, size.second, [](int, int, int) { return 128; }));
        EXPECT_EQ(back.width, size.first);
        EXPECT_EQ(back.height, size.second);
        EXPECT_EQ(std::count(back.bgr.begin(), back.bgr.end(), 1), std::ptrdiff_t(back.bgr.size()));
    }

    // The Gauss kernel's zero frequency is exactly 1 and its imaginary part
    // 0, so a flat picture comes back as the plain round trip does: v + 1.
    const Picture input = Make(20, 12, [](int, int, int c) { return std::array{17, 128, 254}[std::size_t(c)]; });
    // -1 and -0.99: the Gaussian's peak underflows; the narrowest kernel
    // still passes the zero frequency whole.
    for (const long double level : {-1.0L, -0.99L, 0.0L, 2.0L, 13.0L, 50.0L, 100.0L, 1000.0L}) {
        const Picture blurred = RunOperation(op::FFTGauss, input, level);
        for (std::size_t i = 0; i < blurred.bgr.size(); ++i)
            ASSERT_EQ(blurred.bgr[i], (std::array{18, 129, 255}[i % 3])) << "level " << double(level);
    }
}

TEST(FourierTest, FFTGaussKeepsTheBrightnessOfAPhoto)
{
    // A photo-like picture with power-of-two sides (no mirrored padding
    // shifts the mean: what is left is the rounding up of the reverse
    // transform, about half a level) and, when present, a photograph.
    std::vector<Picture> photos = {PhotoLikePicture(256, 128)};
#ifdef KADRIMEX_SHARED_DIR
    const std::string path = std::string(KADRIMEX_SHARED_DIR) + "/testdata/astronaut-512x512.bmp";
    if (std::ifstream(path).good()) {
        const auto bytes = ReadFileBytes(path);
        TBitmap bitmap = DecodeBmp(bytes.data(), bytes.size());
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
        photos.push_back(FromBitmap(bitmap));
    }
#endif
    for (const Picture& photo : photos) {
        SCOPED_TRACE(photo.width);
        const double before = Mean(photo);
        double previousRoughness = 0;
        for (const long double level : {-1.0L, 2.0L, 13.0L, 50.0L, 100.0L}) {
            const Picture output = RunOperation(op::FFTGauss, photo, level);
            EXPECT_NEAR(Mean(output), before, 1.0) << "level " << double(level);
            // A larger level passes more frequencies: less blur.
            const double roughness = Roughness(output);
            EXPECT_GT(roughness, previousRoughness) << "level " << double(level);
            previousRoughness = roughness;
        }
        EXPECT_LT(previousRoughness, Roughness(photo) * 1.05);
    }
}

TEST(FftEngineTest, TerminateBeforeAPassLeavesNoTable)
{
    TBitmapProcesorThread thread(true);
    thread.Terminate();
    TAdvancedBitmap source = ToBitmap(RandomPicture(9, 9, 8));
    ComplexPlane blue(16, 16), green(16, 16), red(16, 16);
    FFT2D(thread, blue.Data(), green.Data(), red.Data(), &source);
    EXPECT_EQ(thread.FTwiddleTable, nullptr);
    EXPECT_EQ(blue[0].re, 0);  // no row was transformed
    TAdvancedBitmap destination;
    RevFFT2D(thread, &destination, 9, 9, blue.Data(), green.Data(), red.Data());
    EXPECT_EQ(thread.FTwiddleTable, nullptr);
    EXPECT_EQ(destination.Width(), 9);  // sized before the first row
    EXPECT_EQ(destination.Height(), 9);
    EXPECT_EQ(thread.Progress(), thread.ProgressMax() / 2);
}

TEST(FourierTest, CancellingMidTransformStopsCleanly)
{
    for (const std::int8_t code : {op::FFT, op::FFTGauss}) {
        SCOPED_TRACE(int(code));
        TBitmapProcesorThread thread(true);
        TAdvancedBitmap source = ToBitmap(RandomPicture(512, 512, 9));
        TAdvancedBitmap destination;
        Prepare(thread, code, source, destination, 10);
        thread.Resume();
        // Wait for the column pass of the forward transform (past 25 %).
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!thread.Finished() && std::chrono::steady_clock::now() < deadline &&
               !(thread.ProgressMax() > 0 && thread.Progress() * 10 > thread.ProgressMax() * 3))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        thread.Terminate();
        thread.WaitFor();
        EXPECT_EQ(thread.FTwiddleTable, nullptr);
        EXPECT_EQ(thread.FErrorMessage, "");
        // It stopped inside the forward transform (which ends at half way);
        // the Gauss operation then starts the reverse transform, which stops
        // before its first column.
        if (code == op::FFT)
            EXPECT_LT(thread.Progress() * 2, thread.ProgressMax());
        else
            EXPECT_EQ(thread.Progress() * 2, thread.ProgressMax());
        EXPECT_GT(destination.Width(), 0);
    }
}

TEST(FourierTest, MemoryCheckNamesTheSizes)
{
    const std::uint64_t gigabyte = std::uint64_t(1) << 30;
    EXPECT_NO_THROW(CheckFFTMemory(4000, 3000, 3, 0, 24 * gigabyte));
    try {
        CheckFFTMemory(4000, 3000, 3, 0, 1 * gigabyte);
        ADD_FAILURE() << "1 GB accepted for 1.5 GB of planes";
    } catch (const EOutOfResources& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("4000 x 3000"), std::string::npos) << message;
        EXPECT_NE(message.find("4096 x 4096"), std::string::npos) << message;
    }
    // Exactly at the limit (nine tenths of what is available) is allowed.
    const std::uint64_t needed = 3ull * 4 * 4 * sizeof(ComplexSample);
    EXPECT_NO_THROW(CheckFFTMemory(3, 3, 3, 0, needed * 10 / 9 + 1));
    EXPECT_THROW(CheckFFTMemory(3, 3, 3, 0, needed), EOutOfResources);
}

TEST(FourierTest, PictureTooLargeEndsWithAMessage)
{
    // 40000 pads to 65536 columns, one more than a bitmap may have;
    // 16385 x 8193 pads to 32768 x 16384, whose three planes need 48 GB.
    const bool memoryForPlanes = AvailableMemoryBytes() > 3ull * 32768 * 16384 * sizeof(ComplexSample);
    const struct {
        int width, height;
        TPixelFormat format;
        std::int8_t code;
        const char* named;
    } cases[] = {{40000, 2, TPixelFormat::pf24bit, op::FFT, "40000 x 2"},
                 {16385, 8193, TPixelFormat::pf8bit, op::FFT, "16385 x 8193"},
                 {16385, 8193, TPixelFormat::pf8bit, op::RevFFT, "16385 x 8193"},
                 {16385, 8193, TPixelFormat::pf8bit, op::FFTGauss, "16385 x 8193"}};
    for (const auto& c : cases) {
        if (c.height > 2 && memoryForPlanes)
            continue;
        TBitmapProcesorThread thread(true);
        TAdvancedBitmap source;
        source.Reset(c.width, c.height, c.format);
        TAdvancedBitmap destination;
        Prepare(thread, c.code, source, destination, 20);
        thread.Execute();
        EXPECT_NE(thread.FErrorMessage.find(c.named), std::string::npos) << thread.FErrorMessage;
        EXPECT_EQ(thread.FTwiddleTable, nullptr);
        EXPECT_EQ(source.PixelFormat(), c.format) << "not even converted";
        EXPECT_TRUE(destination.Empty());
    }
}

}  // namespace
}  // namespace kadrimex
