// Flip against its literal loops and its edge cases; rotation: quarter turns
// as exact permutations, the interpolated turn against a literal evaluation
// of its formula on random, constant, saturated and symmetric pictures, a
// photo turned there and back, the enlarged size, and bad angles.
#include "transforms/FlipRotate.h"

#include "PhotoFixture.h"
#include "tests/support/TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace kadrimex {
namespace {

using test::FirstDifference;

// The angle presets as the dialog lists them.
constexpr long double kQuarter = 1.57079632679489L;
constexpr long double kHalf = 3.14159265358978L;
constexpr long double kThreeQuarters = 4.71238898038469L;
constexpr long double kFull = 6.28318530717956L;

TAdvancedBitmap Execute(const TBitmap& input, const TFlipRotateParams& params, std::string* error = nullptr,
                        bool cancelled = false)
{
    TBitmapProcesorThread thread(true);
    TAdvancedBitmap source, destination;
    static_cast<TBitmap&>(source) = input;
    destination.SetPixelFormat(TPixelFormat::pf24bit);
    thread.FSource = &source;
    thread.FDestination = &destination;
    FillThread(thread, params);
    if (cancelled)
        thread.Terminate();
    thread.Execute();
    if (error)
        *error = thread.FErrorMessage;
    else
        EXPECT_EQ(thread.FErrorMessage, "");
    if (params.choice == TFlipRotateChoice::Rotate && !cancelled && thread.FErrorMessage.empty()) {
        EXPECT_EQ(thread.Progress(), thread.ProgressMax()) << "every row counted";
    }
    return destination;
}

TAdvancedBitmap Flipped(const TBitmap& input, TFlipRotateChoice choice)
{
    return Execute(input, {choice, 0, false});
}

TAdvancedBitmap Turned(const TBitmap& input, long double angle, bool enlarge)
{
    return Execute(input, {TFlipRotateChoice::Rotate, angle, enlarge});
}

// dest(x, y) = src(map(x, y)) over a destination of the given size.
template <class Map>
TBitmap Permuted(const TBitmap& input, int width, int height, Map map)
{
    TBitmap source = input;
    source.SetPixelFormat(TPixelFormat::pf24bit);
    TBitmap out;
    out.Reset(width, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto [sx, sy] = map(x, y);
            for (int c = 0; c < 3; ++c)
                out.ScanLine(y)[3 * x + c] = source.ScanLine(sy)[3 * sx + c];
        }
    return out;
}

TBitmap Constant(int width, int height, std::uint8_t value)
{
    TBitmap b;
    b.Reset(width, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y)
        std::fill_n(b.ScanLine(y), 3 * width, value);
    return b;
}

// No byte 255, so a white pixel can only come from the uncovered area.
TAdvancedBitmap NoWhite(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    TAdvancedBitmap b = test::RandomPicture(width, height, random);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 3 * width; ++x)
            b.ScanLine(y)[x] = std::min<std::uint8_t>(b.ScanLine(y)[x], 254);
    return b;
}

bool IsWhite(const TBitmap& b, int x, int y)
{
    const std::uint8_t* p = b.ScanLine(y) + 3 * x;
    return p[0] == 255 && p[1] == 255 && p[2] == 255;
}

TEST(Flip, EdgeCasesAndTheLiteralLoops)
{
    using enum TFlipRotateChoice;
    std::mt19937 random(3);
    // Every size and format against the literal loops, and twice is the
    // picture again. Odd widths pad their rows; palette and 32-bit pictures
    // are converted to 24 bits first.
    const std::pair<int, int> sizes[] = {{1, 1}, {3, 1}, {1, 4}, {5, 4}, {6, 3}, {33, 17}};
    for (const auto& size : sizes)
        for (TPixelFormat format : {TPixelFormat::pf24bit, TPixelFormat::pf8bit, TPixelFormat::pf32bit}) {
            const int w = size.first, h = size.second;
            SCOPED_TRACE(testing::Message() << w << 'x' << h << " format " << int(format));
            TBitmap picture = test::RandomPicture(w, h, random);
            picture.SetPixelFormat(format);
            const auto literal = [&](auto map) { return Permuted(picture, w, h, map); };
            const TBitmap left = Flipped(picture, FlipHorizontal), down = Flipped(picture, FlipVertical);
            EXPECT_EQ(FirstDifference(left, literal([&](int x, int y) { return std::pair{w - 1 - x, y}; })), -1);
            EXPECT_EQ(FirstDifference(down, literal([&](int x, int y) { return std::pair{x, h - 1 - y}; })), -1);
            const TBitmap as24 = literal([](int x, int y) { return std::pair{x, y}; });
            EXPECT_EQ(FirstDifference(Flipped(left, FlipHorizontal), as24), -1);
            EXPECT_EQ(FirstDifference(Flipped(down, FlipVertical), as24), -1);
        }

    // Another mode writes nothing into the new W x H destination; neither
    // does a flip cancelled before its first row.
    const TAdvancedBitmap picture = test::RandomPicture(4, 3, random);
    TBitmapProcesorThread thread(true);
    TAdvancedBitmap source(picture), destination;
    MakeFlip(thread, &destination, &source, 2);
    EXPECT_EQ(FirstDifference(destination, Constant(4, 3, 0)), -1);
    EXPECT_EQ(FirstDifference(source, picture), -1) << "the source is never modified";
    EXPECT_EQ(FirstDifference(Execute(picture, {FlipVertical, 0, false}, nullptr, true), Constant(4, 3, 0)), -1);
}

TEST(Rotate, QuarterTurnsArePixelPermutations)
{
    const TAdvancedBitmap picture = NoWhite(37, 23, 5);
    const int W = picture.Width(), H = picture.Height();
    auto quarter = [&](int x, int y) { return std::pair{W - 1 - y, x}; };
    auto half = [&](int x, int y) { return std::pair{W - 1 - x, H - 1 - y}; };
    auto threeQuarters = [&](int x, int y) { return std::pair{y, H - 1 - x}; };
    EXPECT_EQ(FirstDifference(Turned(picture, kQuarter, true), Permuted(picture, H, W, quarter)), -1);
    EXPECT_EQ(FirstDifference(Turned(picture, kThreeQuarters, true), Permuted(picture, H, W, threeQuarters)), -1);
    EXPECT_EQ(FirstDifference(Turned(picture, -kQuarter, true), Permuted(picture, H, W, threeQuarters)), -1);
    for (bool enlarge : {false, true}) {
        EXPECT_EQ(FirstDifference(Turned(picture, kHalf, enlarge), Permuted(picture, W, H, half)), -1);
        EXPECT_EQ(FirstDifference(Turned(picture, kFull, enlarge), picture), -1) << "2 pi";
        EXPECT_EQ(FirstDifference(Turned(Turned(picture, kHalf, enlarge), kHalf, enlarge), picture), -1);
    }

    // Four quarter turns: the enlarged bitmap gives the picture back whole.
    // Without enlarging, each turn keeps W x H and cuts what leaves it, so
    // the picture comes back where it stayed covered (the centre square,
    // whatever the parity of W - H) and white elsewhere; a square one comes
    // back whole.
    const TAdvancedBitmap narrow = NoWhite(36, 23, 6), square = NoWhite(19, 19, 7);
    for (const TAdvancedBitmap* p : {&picture, &narrow, &square}) {
        TBitmap enlarged = *p, kept = *p;
        for (int turn = 0; turn < 4; ++turn) {
            enlarged = Turned(enlarged, kQuarter, true);
            kept = Turned(kept, kQuarter, false);
        }
        EXPECT_EQ(FirstDifference(enlarged, *p), -1);
        const int w = p->Width(), h = p->Height(), side = std::min(w, h);
        ASSERT_EQ(kept.Width(), w);
        ASSERT_EQ(kept.Height(), h);
        int lost = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool centre = std::abs(2 * x + 1 - w) < side - 1 && std::abs(2 * y + 1 - h) < side - 1;
                const bool same = std::equal(kept.ScanLine(y) + 3 * x, kept.ScanLine(y) + 3 * x + 3,
                                             p->ScanLine(y) + 3 * x);
                if (!same) {
                    ++lost;
                    EXPECT_TRUE(IsWhite(kept, x, y) && !centre) << w << 'x' << h << " at " << x << ',' << y;
                }
            }
        if (w == h) {
            EXPECT_EQ(lost, 0);
        }
    }
}

// The interpolated turn exactly as its formula is written: every position
// computed afresh, every tap clamped.
TBitmap LiteralTurn(const TBitmap& input, long double angle, int Wd, int Hd)
{
    TBitmap source = input;
    source.SetPixelFormat(TPixelFormat::pf24bit);
    const int W = source.Width(), H = source.Height();
    const double c = double(std::cos(angle)), s = double(std::sin(angle));
    TBitmap out;
    out.Reset(Wd, Hd, TPixelFormat::pf24bit);
    for (int y = 0; y < Hd; ++y)
        for (int x = 0; x < Wd; ++x) {
            const double dx = x + 0.5 - Wd / 2.0, dy = y + 0.5 - Hd / 2.0;
            const double sx = c * dx - s * dy + (W / 2.0 - 0.5);
            const double sy = s * dx + c * dy + (H / 2.0 - 0.5);
            std::uint8_t* pixel = out.ScanLine(y) + 3 * x;
            if (sx < -0.5 || sx >= W - 0.5 || sy < -0.5 || sy >= H - 0.5) {
                pixel[0] = pixel[1] = pixel[2] = 255;
                continue;
            }
            double wx[4], wy[4];
            CatmullRomWeights(sx - std::floor(sx), wx);
            CatmullRomWeights(sy - std::floor(sy), wy);
            for (int channel = 0; channel < 3; ++channel) {
                double v = 0;
                for (int i = 0; i < 4; ++i) {
                    const int row = std::clamp(int(std::floor(sy)) - 1 + i, 0, H - 1);
                    double r = 0;
                    for (int j = 0; j < 4; ++j) {
                        const int column = std::clamp(int(std::floor(sx)) - 1 + j, 0, W - 1);
                        r = j == 0 ? wx[0] * source.ScanLine(row)[3 * column + channel]
                                   : r + wx[j] * source.ScanLine(row)[3 * column + channel];
                    }
                    v += wy[i] * r;
                }
                pixel[channel] = std::uint8_t(std::clamp(std::floor(v + 0.5), 0.0, 255.0));
            }
        }
    return out;
}

TEST(Rotate, InterpolatedTurnFollowsItsFormula)
{
    std::mt19937 random(9);
    TBitmap saturated = Constant(21, 14, 0), symmetric = Constant(16, 16, 0);
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 21; ++x)
            std::fill_n(saturated.ScanLine(y) + 3 * x, 3, (x / 2 + y) % 2 ? 255 : 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            for (int c = 0; c < 3; ++c)
                symmetric.ScanLine(y)[3 * x + c] = std::uint8_t(std::abs(2 * x - 15) * std::abs(2 * y - 15) + 40 * c);
    const TBitmap pictures[] = {test::RandomPicture(23, 17, random), test::RandomPicture(1, 1, random),
                                test::RandomPicture(1, 5, random), test::RandomPicture(2, 2, random),
                                saturated, symmetric, Constant(13, 9, 77)};
    for (const TBitmap& picture : pictures)
        for (long double angle : {0.3L, -1.0L, 2.5L, 1e-6L, 3.0L})
            for (bool enlarge : {false, true}) {
                const TBitmap turned = Turned(picture, angle, enlarge);
                EXPECT_EQ(FirstDifference(turned, LiteralTurn(picture, angle, turned.Width(), turned.Height())), -1)
                    << picture.Width() << 'x' << picture.Height() << " by " << double(angle) << (enlarge ? " enlarged" : "");
            }
    // Weights summing to one keep a flat picture flat where it is covered.
    const TBitmap flat = Turned(Constant(13, 9, 77), 0.7L, true);
    for (int y = 0; y < flat.Height(); ++y)
        for (int x = 0; x < 3 * flat.Width(); ++x)
            ASSERT_TRUE(flat.ScanLine(y)[x] == 77 || IsWhite(flat, x / 3, y)) << x / 3 << ',' << y;
}

TEST(Rotate, PhotoTurnedThereAndBackAndTheEnlargedBox)
{
    const TBitmap& photo = test::Photo();
    const int W = photo.Width(), H = photo.Height();
    const TBitmap back = Turned(Turned(photo, 0.3L, false), -0.3L, false);
    // The disc about the centre stays covered through both turns.
    const double radius = std::min(W, H) / 2.0 - 3;
    const double psnr = test::Psnr(back, photo, [&](int x, int y) {
        return std::hypot(x + 0.5 - W / 2.0, y + 0.5 - H / 2.0) < radius;
    });
    EXPECT_GT(psnr, 30.0);

    // pi/4 enlarged: the bounding box of the turned picture, its corners white.
    const TBitmap box = Turned(photo, 0.785398163397446L, true);
    const int side = int(std::ceil((W + H) * std::numbers::sqrt2 / 2));
    EXPECT_EQ(box.Width(), side);
    EXPECT_EQ(box.Height(), side);
    EXPECT_TRUE(IsWhite(box, 0, 0) && IsWhite(box, side - 1, 0) && IsWhite(box, 0, side - 1) &&
                IsWhite(box, side - 1, side - 1));
    EXPECT_EQ(RotatedSize(W, H, 0.3L, true).width, int(std::ceil(W * std::cos(0.3) + H * std::sin(0.3))));
}

TEST(Rotate, BadAnglesAndBoxesTooLargeEndWithAMessage)
{
    std::mt19937 random(4);
    const TAdvancedBitmap picture = test::RandomPicture(5, 4, random);
    for (long double angle : {std::numeric_limits<long double>::quiet_NaN(), std::numeric_limits<long double>::infinity()}) {
        std::string error;
        Execute(picture, {TFlipRotateChoice::Rotate, angle, false}, &error);
        EXPECT_EQ(error, "The angle of rotation must be a finite number");
    }
    // A long strip turned by pi/4 needs a box of some 46000 x 46000 pixels.
    std::string error;
    Execute(Constant(65535, 2, 9), {TFlipRotateChoice::Rotate, 0.785398163397446L, true}, &error);
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace kadrimex
