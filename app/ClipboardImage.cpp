#include "app/ClipboardImage.h"

#include <QPainter>

#include <cstring>

namespace kadrimex::ui {

QImage ClipboardImage(const QImage& display)
{
    if (display.isNull())
        return {};
    // copy() even when no conversion is needed: the result must not share
    // the picture's rows.
    return display.convertToFormat(display.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32).copy();
}

TBitmap BitmapFromImage(const QImage& image)
{
    TBitmap bitmap;
    if (image.isNull())
        return bitmap;
    QImage opaque;
    if (image.hasAlphaChannel()) {
        opaque = QImage(image.size(), QImage::Format_RGB32);
        if (opaque.isNull())
            throw std::bad_alloc();
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, image);
    } else {
        opaque = image;
    }
    // The bitmap's 24-bit rows hold blue, green, red, as BGR888 does.
    const QImage rows = opaque.convertToFormat(QImage::Format_BGR888);
    if (rows.isNull())
        throw std::bad_alloc();
    bitmap.Reset(rows.width(), rows.height(), TPixelFormat::pf24bit);
    for (int y = 0; y < rows.height(); ++y)
        std::memcpy(bitmap.ScanLine(y), rows.constScanLine(y), std::size_t(rows.width()) * 3);
    return bitmap;
}

}  // namespace kadrimex::ui
