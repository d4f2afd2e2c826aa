// The clipboard's images: a picture copied out and pasted back keeps every
// pixel, and translucent pixels of a pasted image lie over white.
#include "app/ClipboardImage.h"
#include "app/WorkImage.h"

#include "engine/Graphic.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>
#include <array>
#include <cstring>
#include <random>

using kadrimex::TBitmap;
using kadrimex::TPixelFormat;

TEST(ClipboardImage, CopiedPicturesPasteBackWithTheirExactColours)
{
    std::mt19937 random(7);
    for (const TPixelFormat format : {TPixelFormat::pf24bit, TPixelFormat::pf32bit, TPixelFormat::pf8bit}) {
        TBitmap bitmap;
        bitmap.Reset(37, 11, format);
        if (format == TPixelFormat::pf8bit) {
            std::vector<kadrimex::TPaletteEntry> palette(256);
            for (int i = 0; i < 256; ++i)
                palette[std::size_t(i)] = {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7), 0};
            bitmap.SetPaletteEntries(palette);
        }
        for (int y = 0; y < bitmap.Height(); ++y)
            for (std::size_t x = 0; x < bitmap.Stride(); ++x)
                bitmap.ScanLine(y)[x] = std::uint8_t(random());
        TWorkImage view;
        kadrimex::TPicture picture;
        picture.Assign(bitmap);
        view.SetPicture(std::move(picture));

        const QImage copied = kadrimex::ui::ClipboardImage(view.DisplayImage());
        // Its own pixels, not the picture's rows.
        EXPECT_NE(copied.constBits(), view.DisplayImage().constBits());
        const TBitmap pasted = kadrimex::ui::BitmapFromImage(copied);
        ASSERT_EQ(pasted.PixelFormat(), TPixelFormat::pf24bit);
        ASSERT_EQ(pasted.Width(), 37);
        ASSERT_EQ(pasted.Height(), 11);
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 37; ++x) {
                const QRgb shown = view.DisplayImage().pixel(x, y);
                const std::uint8_t* p = pasted.ScanLine(y) + 3 * x;
                ASSERT_EQ(qRgb(p[2], p[1], p[0]), shown | 0xFF000000u) << int(format) << " at " << x << "," << y;
            }
    }
}

TEST(ClipboardImage, TranslucentPixelsLieOverWhite)
{
    QImage image(3, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(10, 20, 30, 255));
    image.setPixel(1, 0, qRgba(0, 0, 0, 0));
    image.setPixel(2, 0, qRgba(0, 0, 0, 128));
    const TBitmap pasted = kadrimex::ui::BitmapFromImage(image);
    const std::uint8_t* p = pasted.ScanLine(0);
    EXPECT_EQ((std::array<int, 9>{p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8]}),
              (std::array<int, 9>{30, 20, 10, 255, 255, 255, 127, 127, 127}));
    EXPECT_TRUE(kadrimex::ui::BitmapFromImage(QImage()).Empty());
}
