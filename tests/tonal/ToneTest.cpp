// The tonal routines: the worked examples, and the fast routines against
// the literal references on random and structured pictures.
#include "tonal/Tone.h"

#include "ToneReference.h"
#include "tests/support/TestPictures.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

namespace kadrimex {
namespace {

TAdvancedBitmap Picture(int width, int height, const std::function<void(int x, int y, std::uint8_t* bgr)>& paint)
{
    TAdvancedBitmap picture;
    picture.Reset(width, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            paint(x, y, picture.ScanLine(y) + 3 * x);
    return picture;
}

TAdvancedBitmap Equalized(const TAdvancedBitmap& picture, int channel)
{
    TAdvancedBitmap copy(picture);
    TBitmapProcesorThread thread;
    EqualizeHistogram(thread, &copy, std::uint8_t(channel));
    return copy;
}

TEST(Equalize, WorkedExamples)
{
    // Red 0 in one half, 255 in the other: 0 -> trunc(255 / 2), 255 -> 255.
    const TAdvancedBitmap halves = Picture(10, 4, [](int x, int, std::uint8_t* p) { p[2] = x < 5 ? 0 : 255; });
    const TAdvancedBitmap out = Equalized(halves, 1);
    EXPECT_EQ(out.ScanLine(0)[2], 127);
    EXPECT_EQ(out.ScanLine(3)[3 * 9 + 2], 255);

    // One colour: every channel value goes to 255.
    const TAdvancedBitmap single = Picture(7, 5, [](int, int, std::uint8_t* p) {
        p[0] = 12;
        p[1] = 99;
        p[2] = 200;
    });
    const TAdvancedBitmap flat = Equalized(single, 0);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(flat.ScanLine(4)[3 * 6 + k], 255) << k;

    // Selector 2: green only; selector 4: nothing.
    std::mt19937 random(3);
    const TAdvancedBitmap noise = test::RandomPicture(33, 17, random);
    const TAdvancedBitmap green = Equalized(noise, 2);
    int greenChanged = 0;
    for (int y = 0; y < noise.Height(); ++y)
        for (int x = 0; x < noise.Width(); ++x) {
            EXPECT_EQ(green.ScanLine(y)[3 * x], noise.ScanLine(y)[3 * x]);
            EXPECT_EQ(green.ScanLine(y)[3 * x + 2], noise.ScanLine(y)[3 * x + 2]);
            greenChanged += green.ScanLine(y)[3 * x + 1] != noise.ScanLine(y)[3 * x + 1];
        }
    EXPECT_GT(greenChanged, 0);
    EXPECT_EQ(test::FirstDifference(Equalized(noise, 4), noise), -1);
}

// Random, constant, saturated and mirror-symmetric pictures, of sizes on
// both sides of the routines' row bands.
std::vector<std::pair<std::string, TAdvancedBitmap>> Pictures()
{
    std::mt19937 random(11);
    std::vector<std::pair<std::string, TAdvancedBitmap>> pictures;
    pictures.emplace_back("random 1x1", test::RandomPicture(1, 1, random));
    pictures.emplace_back("random 37x71", test::RandomPicture(37, 71, random));
    pictures.emplace_back("random 256x33", test::RandomPicture(256, 33, random));
    pictures.emplace_back("constant", Picture(19, 40, [](int, int, std::uint8_t* p) { p[0] = p[1] = p[2] = 77; }));
    pictures.emplace_back("saturated", Picture(23, 35, [&](int x, int y, std::uint8_t* p) {
        p[0] = (x + y) % 2 ? 255 : 0;
        p[1] = x % 3 ? 255 : 0;
        p[2] = 255;
    }));
    pictures.emplace_back("symmetric", Picture(64, 65, [](int x, int y, std::uint8_t* p) {
        const int d = std::abs(x - 32) * 4 + std::abs(y - 32);
        p[0] = std::uint8_t(d);
        p[1] = std::uint8_t(255 - d);
        p[2] = std::uint8_t(d / 2);
    }));
    // An 8-bit picture is converted to 24 bits first.
    TAdvancedBitmap grey = Picture(30, 20, [](int x, int y, std::uint8_t* p) { p[0] = p[1] = p[2] = std::uint8_t(x * y); });
    grey.SetPixelFormat(TPixelFormat::pf8bit);
    pictures.emplace_back("8-bit", grey);
    return pictures;
}

TEST(Tone, FastRoutinesMatchTheReferencesByteForByte)
{
    std::mt19937 random(5);
    TToneTable table{};
    for (auto& entry : table)
        entry = std::uint8_t(random());
    for (const auto& [name, picture] : Pictures()) {
        for (int channel = 0; channel <= 4; ++channel) {
            EXPECT_EQ(test::FirstDifference(Equalized(picture, channel), test::ReferenceEqualize(picture, channel)), -1)
                << name << " equalise, channel " << channel;
            TAdvancedBitmap curved(picture);
            TBitmapProcesorThread thread;
            ApplyCurve(thread, &curved, &table, std::uint8_t(channel));
            EXPECT_EQ(test::FirstDifference(curved, test::ReferenceCurve(picture, table, channel)), -1)
                << name << " curve, channel " << channel;
            EXPECT_EQ(thread.Progress(), thread.ProgressMax()) << name;
            EXPECT_EQ(thread.ProgressMax(), std::int64_t(picture.Width()) * picture.Height()) << name;
        }
        for (std::uint8_t mode : {0, 1, 2}) {
            THistogram r, g, b, rr, rg, rb;
            TAdvancedBitmap copy(picture);
            MakeHistograms(mode, r, g, b, &copy);
            test::ReferenceHistograms(mode, rr, rg, rb, picture);
            EXPECT_TRUE(r == rr && g == rg && b == rb) << name << " histogram mode " << int(mode);
        }
    }
}

TEST(Tone, HistogramsOfAKnownPicture)
{
    // Red from byte 2, green byte 1, blue byte 0; 3 of 4 pixels red 10.
    TAdvancedBitmap picture = Picture(2, 2, [](int x, int y, std::uint8_t* p) {
        p[0] = 1;
        p[1] = 2;
        p[2] = x + y == 2 ? 20 : 10;
    });
    THistogram r, g, b;
    MakeHistograms(1, r, g, b, &picture);
    EXPECT_EQ(r[10], 0.75L);
    EXPECT_EQ(r[20], 0.25L);
    EXPECT_EQ(g[2], 1.0L);
    EXPECT_EQ(b[1], 1.0L);
    MakeHistograms(2, r, g, b, &picture);
    EXPECT_EQ(r[9], 0);
    EXPECT_EQ(r[19], 3);
    EXPECT_EQ(r[255], 4);
    // An empty picture leaves zeros, not 0 / 0.
    TAdvancedBitmap empty;
    MakeHistograms(1, r, g, b, &empty);
    EXPECT_EQ(r[0], 0);
}

TEST(RangeTable, WorkedExamplesAndTheReference)
{
    const TToneTable t = RangeTable(55, 200);
    const std::pair<int, int> expected[] = {{0, 0},     {55, 0},     {56, 1},     {57, 3},   {127, 126},
                                            {128, 128}, {199, 253}, {200, 255}, {255, 255}};
    for (const auto& [i, v] : expected)
        EXPECT_EQ(t[std::size_t(i)], v) << i;
    const TToneTable identity = RangeTable(0, 255);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(identity[std::size_t(i)], i);
    for (const auto& [f, t] : std::initializer_list<std::pair<int, int>>{
             {0, 1}, {-99, 999}, {-32767, 32767}, {254, 255}, {100, 101}, {-5, 60}, {30, 900}, {255, 256}})
        EXPECT_EQ(RangeTable(f, t), test::ReferenceRangeTable(f, t)) << f << ".." << t;
}

TEST(RangeTable, BoundChecksInOrder)
{
    const std::string low = "Może byś tak podał rozsądny próg dolny? Musi być <256 i nie za ujemny...";
    const std::string high = "Może byś tak podał rozsądny próg górny? Musi być >1 i nie za olbrzymi (<32767).";
    const std::string order = "No i co to ma być? Ty pomyśl trochę i wstukaj próg dolny MNIEJSZY od górnego!";
    const struct {
        std::optional<std::int32_t> from, to;
        std::string message;
    } cases[] = {
        {1024, 200, low}, {-32768, 5, low}, {256, 0, low},      {0, 0, high},  {0, 32768, high},
        {200, 55, order}, {10, 10, order},  {-32767, 32767, ""}, {55, 1024, ""}, {254, 255, ""},
        {std::nullopt, 5, low}, {5, std::nullopt, high},
    };
    for (const auto& c : cases) {
        const char* error = RangeBoundsError(c.from, c.to);
        EXPECT_EQ(error ? std::string(error) : std::string(), c.message) << c.from.value_or(-1) << ", " << c.to.value_or(-1);
    }
}

}  // namespace
}  // namespace kadrimex
