#include "app/WorkImage.h"

#include "app/IconImage.h"
#include "app/ViewMath.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>
#include <variant>

using kadrimex::TBitmap;
using kadrimex::TPixelFormat;

namespace {

// A colour table of exactly `size` entries: the palette's colours, black
// for entries it lacks, so no pixel index can reach past the table.
QList<QRgb> ColourTable(const std::vector<kadrimex::TPaletteEntry>& palette, int size)
{
    QList<QRgb> table(size, qRgb(0, 0, 0));
    const int n = std::min<int>(size, static_cast<int>(palette.size()));
    for (int i = 0; i < n; ++i)
        table[i] = qRgb(palette[i].peRed, palette[i].peGreen, palette[i].peBlue);
    return table;
}

// A QImage over the bitmap's own rows; no pixel is copied. The bitmap must
// outlive the image and keep its storage.
QImage WrapRows(const TBitmap& bitmap, QImage::Format format)
{
    return QImage(bitmap.ScanLine(0), bitmap.Width(), bitmap.Height(),
                  static_cast<qsizetype>(bitmap.Stride()), format);
}

// 4-bit pictures have no QImage format: spread them to a byte a pixel.
TBitmap SpreadNibbles(const TBitmap& source)
{
    TBitmap spread;
    spread.Reset(source.Width(), source.Height(), TPixelFormat::pf8bit);
    for (int y = 0; y < source.Height(); ++y) {
        const std::uint8_t* in = source.ScanLine(y);
        std::uint8_t* out = spread.ScanLine(y);
        for (int x = 0; x < source.Width(); ++x)
            out[x] = (x & 1) ? (in[x >> 1] & 0x0F) : (in[x >> 1] >> 4);
    }
    return spread;
}

// The display image of a bitmap; `storage` receives converted pixels when
// the bitmap's own rows cannot be shown as they are.
QImage BitmapImage(const TBitmap& bitmap, TBitmap& storage)
{
    if (bitmap.Empty())
        return QImage();
    switch (bitmap.PixelFormat()) {
    case TPixelFormat::pf1bit: {
        QImage image = WrapRows(bitmap, QImage::Format_Mono);
        image.setColorTable(ColourTable(bitmap.Palette(), 2));
        return image;
    }
    case TPixelFormat::pf4bit: {
        storage = SpreadNibbles(bitmap);
        QImage image = WrapRows(storage, QImage::Format_Indexed8);
        image.setColorTable(ColourTable(bitmap.Palette(), 256));
        return image;
    }
    case TPixelFormat::pf8bit: {
        QImage image = WrapRows(bitmap, QImage::Format_Indexed8);
        image.setColorTable(ColourTable(bitmap.Palette(), 256));
        return image;
    }
    case TPixelFormat::pf15bit:
        return WrapRows(bitmap, QImage::Format_RGB555);
    case TPixelFormat::pf16bit:
        return WrapRows(bitmap, QImage::Format_RGB16);
    case TPixelFormat::pf32bit:
        // The fourth byte is not alpha for a bitmap: it is shown opaque.
        return WrapRows(bitmap, QImage::Format_RGB32);
    case TPixelFormat::pf24bit:
    case TPixelFormat::pfDevice:
    case TPixelFormat::pfCustom:
        break;
    }
    return WrapRows(bitmap, QImage::Format_BGR888);
}

}  // namespace

TWorkImage::TWorkImage(QWidget* parent) : QWidget(parent)
{
    // Painting covers the exposed area only; nothing else to clear, so the
    // scroll box's silver shows around a picture smaller than the window.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    // Moves without a button feed the pixel readout.
    setMouseTracking(true);
    FShown = size();
}

namespace {

// The control side showing `device` pixels at ratio `ratio`.
int LogicalSide(int device, qreal ratio)
{
    return std::max(1, static_cast<int>(std::ceil(device / ratio - 1e-9)));
}

}  // namespace

void TWorkImage::SetShownSize(QSize devicePixels)
{
    const qreal ratio = devicePixelRatioF();
    FShown = devicePixels;
    const QSize logical(LogicalSide(devicePixels.width(), ratio), LogicalSide(devicePixels.height(), ratio));
    if (logical == size())
        update();
    else
        resize(logical);
}

void TWorkImage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // A size not set through SetShownSize: the picture fills the control.
    const qreal ratio = devicePixelRatioF();
    if (size() != QSize(LogicalSide(FShown.width(), ratio), LogicalSide(FShown.height(), ratio)))
        FShown = QSize(static_cast<int>(std::lround(width() * ratio)), static_cast<int>(std::lround(height() * ratio)));
}

std::optional<QPoint> TWorkImage::PixelAt(QPointF position) const
{
    if (FImage.isNull())
        return std::nullopt;
    return kadrimex::view::PixelAt(position * devicePixelRatioF(), FShown, FImage.size());
}

void TWorkImage::SetPicture(std::shared_ptr<const kadrimex::TPicture> picture)
{
    FPicture = picture ? std::move(picture) : std::make_shared<const kadrimex::TPicture>();
    RefreshDisplayImage();
    update();
}

void TWorkImage::SetPicture(kadrimex::TPicture picture)
{
    SetPicture(std::make_shared<const kadrimex::TPicture>(std::move(picture)));
}

void TWorkImage::RefreshDisplayImage()
{
    FImage = QImage();
    FDisplayBitmap = TBitmap();
    try {
        std::visit(
            [this](const auto& graphic) {
                using T = std::decay_t<decltype(graphic)>;
                if constexpr (std::is_same_v<T, TBitmap>) {
                    FImage = BitmapImage(graphic, FDisplayBitmap);
                } else if constexpr (std::is_same_v<T, kadrimex::TJPEGImage>) {
                    // Decoded once here, not on every repaint.
                    FDisplayBitmap = graphic.ToBitmap();
                    FImage = BitmapImage(FDisplayBitmap, FDisplayBitmap);
                } else if constexpr (std::is_same_v<T, kadrimex::TIcon>) {
                    FImage = kadrimex::IconImage(graphic);
                }
            },
            FPicture->graphic());
    } catch (const kadrimex::EImageError&) {
        // A picture that cannot be decoded for display shows nothing; the
        // picture itself is kept as it is.
        FImage = QImage();
        FDisplayBitmap = TBitmap();
    }
}

QRect TWorkImage::SourceRectFor(QRect area, QSize widget, QSize image)
{
    area = area.intersected(QRect(QPoint(0, 0), widget));
    if (area.isEmpty() || image.isEmpty())
        return QRect();
    // Widget column X shows picture column floor(X * w / W); the range
    // covering [X0, X1) is [floor(X0 * w / W), ceil(X1 * w / W)).
    const auto first = [](std::int64_t pos, std::int64_t from, std::int64_t to) {
        return static_cast<int>(pos * to / from);
    };
    const auto last = [](std::int64_t pos, std::int64_t from, std::int64_t to) {
        return static_cast<int>((pos * to + from - 1) / from);
    };
    const int x0 = first(area.left(), widget.width(), image.width());
    const int y0 = first(area.top(), widget.height(), image.height());
    const int x1 = std::min(image.width(), last(area.left() + area.width(), widget.width(), image.width()));
    const int y1 = std::min(image.height(), last(area.top() + area.height(), widget.height(), image.height()));
    return QRect(x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0));
}

namespace {

// First widget column (or row) showing picture column `s` when `size`
// picture pixels are stretched over `widget` pixels: ceil(s * widget / size).
int CellStart(int s, int widget, int size)
{
    return static_cast<int>((std::int64_t(s) * widget + size - 1) / size);
}

// Few exposed picture pixels, or pixels so large that the raster engine's
// fixed-point scaling loses their edges (beyond 2^15 device pixels a
// pixel), are painted one filled rectangle each.
constexpr qint64 kFillPixelBudget = 4096;
constexpr int kLargestScaledPixel = 16384;

}  // namespace

void TWorkImage::paintEvent(QPaintEvent* event)
{
    if (FImage.isNull())
        return;
    // Everything below is in device pixels: the picture is stretched to
    // FShown of them, whatever the device pixel ratio.
    const qreal ratio = devicePixelRatioF();
    const QSize widget = FShown;
    const QRect exposed = QRectF(QRectF(event->rect()).topLeft() * ratio, QRectF(event->rect()).size() * ratio)
                              .toAlignedRect();
    const QRect source = SourceRectFor(exposed, widget, FImage.size());
    if (source.isEmpty())
        return;
    QPainter painter(this);
    painter.setClipRegion(event->region());
    if (ratio != 1)
        painter.scale(1 / ratio, 1 / ratio);

    const bool hugePixels = widget.width() / FImage.width() >= kLargestScaledPixel ||
                            widget.height() / FImage.height() >= kLargestScaledPixel;
    if (hugePixels || qint64(source.width()) * source.height() <= kFillPixelBudget) {
        for (int y = source.top(); y <= source.bottom(); ++y) {
            const int top = CellStart(y, widget.height(), FImage.height());
            const int bottom = CellStart(y + 1, widget.height(), FImage.height());
            for (int x = source.left(); x <= source.right(); ++x) {
                const int left = CellStart(x, widget.width(), FImage.width());
                const int right = CellStart(x + 1, widget.width(), FImage.width());
                painter.fillRect(QRect(left, top, right - left, bottom - top), QColor::fromRgba(FImage.pixel(x, y)));
            }
        }
        return;
    }
    // The target is the exact place of the source pixels in the stretched
    // picture, so every pixel keeps its position whatever part is exposed.
    const qreal sx = qreal(widget.width()) / FImage.width();
    const qreal sy = qreal(widget.height()) / FImage.height();
    const QRectF target(source.x() * sx, source.y() * sy, source.width() * sx, source.height() * sy);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, FImage, QRectF(source));
}

void TWorkImage::mousePressEvent(QMouseEvent* event)
{
    emit MouseDown(event);
}

void TWorkImage::mouseMoveEvent(QMouseEvent* event)
{
    emit MouseMove(event);
}

void TWorkImage::mouseReleaseEvent(QMouseEvent* event)
{
    emit MouseUp(event);
}

void TWorkImage::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    emit MouseLeft();
}
