// The picture control: every pixel format shows its true colours, stretched
// with nearest-pixel sampling, and only the exposed part is painted, so a
// 50 000 % view of a large picture paints the right pixels without any
// scaled copy.
#include "app/WorkImage.h"

#include "engine/Bitmap.h"
#include "engine/Graphic.h"
#include "tests/engine/CodecTestUtil.h"
#include "tests/support/TestPictures.h"

#include <QImage>
#include <QPainter>
#include <QRegion>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

using kadrimex::TBitmap;
using kadrimex::TPaletteEntry;
using kadrimex::TPicture;
using kadrimex::TPixelFormat;

namespace {

struct Rgb {
    int r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c)
{
    return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

Rgb ToRgb(QRgb c)
{
    return {qRed(c), qGreen(c), qBlue(c)};
}

// Grabs the control stretched to `scale` times the picture and returns the
// colour shown at the centre of each picture pixel.
std::vector<Rgb> ShownColours(TWorkImage& view, int scale)
{
    const QSize picture = view.PictureSize();
    view.resize(picture * scale);
    const QImage shot = view.grab().toImage();
    std::vector<Rgb> colours;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            colours.push_back(ToRgb(shot.pixel(x * scale + scale / 2, y * scale + scale / 2)));
    return colours;
}

// A 24-bit picture whose pixel (x, y) is colour(x, y).
TBitmap Bitmap24(int width, int height, const std::function<Rgb(int, int)>& colour)
{
    TBitmap bitmap;
    bitmap.Reset(width, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
            p[0] = std::uint8_t(c.b), p[1] = std::uint8_t(c.g), p[2] = std::uint8_t(c.r);
        }
    return bitmap;
}

TPicture BitmapPicture(TBitmap bitmap)
{
    TPicture picture;
    picture.Assign(std::move(bitmap));
    return picture;
}

// A deterministic colour for every pixel of a large picture.
Rgb PatternColour(int x, int y)
{
    std::uint32_t h = std::uint32_t(x) * 0x9E3779B1u ^ std::uint32_t(y) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return {int(h & 0xFF), int((h >> 8) & 0xFF), int((h >> 16) & 0xFF)};
}

}  // namespace

TEST(WorkImage, EveryFormatShowsItsPixels)
{
    // Small pictures are painted a filled rectangle a pixel, larger ones go
    // through the scaled image drawing; both show the colour read from the
    // format's layout, on odd widths whose rows carry padding. Palettes of
    // 4 and 8 bits have 10 entries: an index past the end shows black
    // instead of reading outside the colour table. The fourth byte of a
    // 32-bit pixel is not alpha: the picture shows opaque.
    std::uint32_t seed = 11;
    for (const TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                                      TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                      TPixelFormat::pf32bit})
        for (const auto [w, h, scale] : {std::array{5, 3, 7}, std::array{97, 61, 3}}) {
            SCOPED_TRACE(testing::Message() << "format " << int(format) << ", " << w << " x " << h);
            TBitmap bitmap = kadrimex::testing::RandomBitmap(w, h, format, seed++);
            if (format == TPixelFormat::pf4bit || format == TPixelFormat::pf8bit)
                bitmap.SetPaletteEntries({bitmap.Palette().begin(), bitmap.Palette().begin() + 10});
            TWorkImage view;
            view.SetPicture(BitmapPicture(bitmap));
            const std::vector<Rgb> shown = ShownColours(view, scale);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const auto c = kadrimex::test::ColourAt(bitmap, x, y);
                    ASSERT_EQ(shown[std::size_t(y * w + x)], (Rgb{c[0], c[1], c[2]})) << "pixel " << x << "," << y;
                }
            if (format == TPixelFormat::pf24bit) {
                // Shown from the bitmap's own rows, not a copy.
                const auto* own = std::get_if<TBitmap>(&view.Picture().graphic());
                ASSERT_NE(own, nullptr);
                EXPECT_EQ(view.DisplayImage().constBits(), own->ScanLine(0));
            }
        }
}

TEST(WorkImage, JpegIsDecodedForDisplay)
{
    // Four flat 16 x 16 blocks survive JPEG compression nearly unchanged.
    const std::vector<Rgb> blocks = {{220, 40, 40}, {40, 200, 60}, {30, 60, 210}, {240, 240, 240}};
    TPicture picture;
    const auto block = [&](int x, int y) { return blocks[(y / 16) * 2 + x / 16]; };
    picture.Assign(kadrimex::TJPEGImage::Compress(Bitmap24(32, 32, block), 95));
    TWorkImage view;
    view.SetPicture(std::move(picture));
    ASSERT_EQ(view.PictureSize(), QSize(32, 32));
    ASSERT_EQ(view.DisplayImage().size(), QSize(32, 32));
    const std::vector<Rgb> shown = ShownColours(view, 3);
    for (int b = 0; b < 4; ++b) {
        const Rgb s = shown[(b / 2 * 16 + 8) * 32 + (b % 2) * 16 + 8];
        EXPECT_NEAR(s.r, blocks[b].r, 6) << b;
        EXPECT_NEAR(s.g, blocks[b].g, 6) << b;
        EXPECT_NEAR(s.b, blocks[b].b, 6) << b;
    }
}

TEST(WorkImage, IconShowsItsLargestEntry)
{
#ifndef KADRIMEX_SHARED_DIR
    GTEST_SKIP() << "KADRIMEX_SHARED_DIR is not set: no test icons";
#else
    for (const char* name : {"astronaut-multi.ico", "astronaut-multi-png256.ico"}) {
        const std::string path = std::string(KADRIMEX_SHARED_DIR) + "/testdata/" + name;
        TPicture picture;
        try {
            picture = TPicture::LoadFromFile(path);
        } catch (const kadrimex::EImageError& e) {
            GTEST_SKIP() << "cannot read " << path << ": " << e.what();
        }
        ASSERT_TRUE(picture.IsIcon()) << name;
        TWorkImage view;
        view.SetPicture(std::move(picture));
        // The entry the core picks for the picture's size is the one shown.
        EXPECT_FALSE(view.DisplayImage().isNull()) << name;
        EXPECT_EQ(view.DisplayImage().size(), view.PictureSize()) << name;
        // A photograph: the middle is not transparent black.
        const QRgb middle = view.DisplayImage().pixel(view.PictureSize().width() / 2, view.PictureSize().height() / 2);
        EXPECT_GT(qAlpha(middle), 0) << name;
        EXPECT_GT(qRed(middle) + qGreen(middle) + qBlue(middle), 0) << name;
    }
#endif
}

TEST(WorkImage, HugeZoomPaintsTheExposedPixelsInPlace)
{
    // 4000 x 3000 at 50 000 %: the control is 2 000 000 x 1 500 000 pixels.
    // Any scaled copy of the picture would need terabytes; the exposed part
    // is painted straight from the rows.
    const int w = 4000, h = 3000, zoom = 500;
    TWorkImage view;
    view.SetPicture(BitmapPicture(Bitmap24(w, h, PatternColour)));
    view.resize(w * zoom, h * zoom);
    ASSERT_EQ(view.size(), QSize(w * zoom, h * zoom));

    std::mt19937 random(5);
    const QSize exposed(640, 480);
    for (int round = 0; round < 6; ++round) {
        // The last round shows the bottom right corner.
        const int left = round == 5 ? w * zoom - exposed.width()
                                    : int(random() % unsigned(w * zoom - exposed.width()));
        const int top = round == 5 ? h * zoom - exposed.height()
                                   : int(random() % unsigned(h * zoom - exposed.height()));
        QImage shot(exposed, QImage::Format_RGB32);
        shot.fill(Qt::magenta);
        view.render(&shot, QPoint(0, 0), QRegion(QRect(QPoint(left, top), exposed)));
        for (int sy = 0; sy < exposed.height(); sy += 3)
            for (int sx = 0; sx < exposed.width(); sx += 3) {
                const int px = (left + sx) / zoom, py = (top + sy) / zoom;
                ASSERT_EQ(ToRgb(shot.pixel(sx, sy)), PatternColour(px, py))
                    << "widget pixel " << left + sx << "," << top + sy;
            }
        // The edges of a zoomed pixel fall exactly on multiples of the zoom.
        const int edge = (left / zoom + 1) * zoom - left;
        if (edge < exposed.width()) {
            EXPECT_EQ(ToRgb(shot.pixel(edge - 1, 0)), PatternColour(left / zoom, top / zoom));
            EXPECT_EQ(ToRgb(shot.pixel(edge, 0)), PatternColour(left / zoom + 1, top / zoom));
        }
    }
}

TEST(WorkImage, StrongDownScalingShowsOnePixelOfEachCell)
{
    // 1000 x 800, 8 bits, in flat 10 x 10 cells: at 10 % each control
    // pixel is one cell, whichever of its pixels is sampled.
    TBitmap bitmap;
    bitmap.Reset(1000, 800, TPixelFormat::pf8bit);
    std::vector<TPaletteEntry> palette;
    for (int i = 0; i < 256; ++i)
        palette.push_back({std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7), 0});
    bitmap.SetPaletteEntries(palette);
    const auto cellIndex = [](int cx, int cy) { return (cx * 31 + cy * 17) % 256; };
    for (int y = 0; y < 800; ++y)
        for (int x = 0; x < 1000; ++x)
            bitmap.ScanLine(y)[x] = std::uint8_t(cellIndex(x / 10, y / 10));
    TWorkImage view;
    view.SetPicture(BitmapPicture(std::move(bitmap)));
    view.resize(100, 80);
    const QImage shot = view.grab().toImage();
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            const TPaletteEntry& e = palette[cellIndex(x, y)];
            ASSERT_EQ(ToRgb(shot.pixel(x, y)), (Rgb{e.peRed, e.peGreen, e.peBlue})) << x << "," << y;
        }
}

TEST(WorkImage, ExtremeStretchKeepsPixelEdges)
{
    // A typed zoom is not limited: one picture pixel may cover millions of
    // control pixels. Its edges stay where they belong.
    const Rgb colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    TWorkImage view;
    view.SetPicture(BitmapPicture(Bitmap24(2, 2, [&](int x, int y) { return colours[y * 2 + x]; })));
    for (int side : {20000, 70000, 400000, 4000000, 16777214}) {
        view.resize(side, side);
        const int half = side / 2;
        QImage shot(200, 200, QImage::Format_RGB32);
        shot.fill(Qt::magenta);
        view.render(&shot, QPoint(0, 0), QRegion(QRect(half - 100, half - 100, 200, 200)));
        const int points[][3] = {{50, 50, 0}, {150, 50, 1}, {50, 150, 2}, {150, 150, 3}, {99, 99, 0}, {100, 100, 3}};
        for (const auto& [x, y, colour] : points)
            EXPECT_EQ(ToRgb(shot.pixel(x, y)), colours[colour]) << side << " at " << x << "," << y;
        QImage corner(50, 50, QImage::Format_RGB32);
        corner.fill(Qt::magenta);
        view.render(&corner, QPoint(0, 0), QRegion(QRect(side - 50, side - 50, 50, 50)));
        EXPECT_EQ(ToRgb(corner.pixel(49, 49)), colours[3]) << side;
        EXPECT_EQ(ToRgb(corner.pixel(0, 0)), colours[3]) << side;
    }
}
