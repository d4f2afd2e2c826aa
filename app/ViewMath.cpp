#include "app/ViewMath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kadrimex::view {

std::optional<int> TextToInteger(const QString& text)
{
    const QString trimmed = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < trimmed.size() && (trimmed[i] == u'+' || trimmed[i] == u'-')) {
        negative = trimmed[i] == u'-';
        ++i;
    }
    if (i == trimmed.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < trimmed.size(); ++i) {
        const char16_t c = trimmed[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        // One past INT_MAX is still needed for INT_MIN.
        if (value > std::int64_t(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

int ZoomPercent(const QString& text)
{
    return TextToInteger(text).value_or(100);
}

long double ZoomFactor(int percent)
{
    const long double f = static_cast<long double>(percent) * 0.01L;
    return f < 0 ? -f : f;
}

int ZoomedSide(int size, long double factor)
{
    // nearbyintl follows the current rounding mode; the default one rounds
    // halves to even.
    const long double rounded = std::nearbyintl(static_cast<long double>(size) * factor);
    if (!(rounded >= 1))
        return 1;
    if (rounded > kMaxControlSide)
        return kMaxControlSide;
    return static_cast<int>(rounded);
}

QSize ZoomedSize(QSize picture, const QString& text)
{
    const long double f = ZoomFactor(ZoomPercent(text));
    return QSize(ZoomedSide(picture.width(), f), ZoomedSide(picture.height(), f));
}

namespace {

std::int64_t ZoomStepBase(const QString& text)
{
    const std::int64_t z = TextToInteger(text).value_or(50);
    return z < 0 ? -z : z;
}

}  // namespace

QString ZoomInText(const QString& text)
{
    std::int64_t z = ZoomStepBase(text);
    z = z < 1 ? 1 : 2 * z;
    if (z > kMaxZoomInPercent)
        z = kMaxZoomInPercent;
    return QString::number(z);
}

std::optional<QString> ZoomOutText(const QString& text)
{
    const std::int64_t z = ZoomStepBase(text) / 2;
    if (z > 0)
        return QString::number(z);
    return std::nullopt;
}

QPoint ClampDrag(QPoint delta, QRect bounds, QSize client)
{
    // Edges as the view keeps them: right and bottom are one past the last
    // pixel; 64-bit so that a huge control cannot overflow the sums.
    const std::int64_t left = bounds.x();
    const std::int64_t top = bounds.y();
    const std::int64_t right = left + bounds.width();
    const std::int64_t bottom = top + bounds.height();
    std::int64_t dx = delta.x();
    std::int64_t dy = delta.y();
    if (client.width() > right + dx)
        dx = client.width() - right;
    if (client.height() > bottom + dy)
        dy = client.height() - bottom;
    if (left + dx > 0)
        dx = -left;
    if (top + dy > 0)
        dy = -top;
    return QPoint(static_cast<int>(dx), static_cast<int>(dy));
}

QPoint ZoomScroll(QPoint scroll, QPointF cursor, QSize before, QSize after)
{
    // The point at (scroll + cursor) moves with the picture by the ratio of
    // the sizes; the new scroll puts it back under the cursor.
    const auto axis = [](int position, qreal mouse, int from, int to) {
        if (from <= 0)
            return position;
        const long double moved = (static_cast<long double>(position) + mouse) * to / from - mouse;
        const long double rounded = std::nearbyintl(moved);
        return static_cast<int>(std::clamp<long double>(rounded, 0, kMaxControlSide));
    };
    return QPoint(axis(scroll.x(), cursor.x(), before.width(), after.width()),
                  axis(scroll.y(), cursor.y(), before.height(), after.height()));
}

int FitPercent(QSize picture, QSize client)
{
    if (picture.isEmpty() || client.isEmpty())
        return 100;
    const auto fits = [&](int percent) {
        const long double f = ZoomFactor(percent);
        return ZoomedSide(picture.width(), f) <= client.width() && ZoomedSide(picture.height(), f) <= client.height();
    };
    // The estimate from the ratios is within one of the answer either way
    // (the sides are rounded); step to the exact one.
    const long double ratio = std::min(static_cast<long double>(client.width()) / picture.width(),
                                       static_cast<long double>(client.height()) / picture.height());
    int percent = static_cast<int>(std::clamp<long double>(std::floor(ratio * 100), 1, kMaxZoomInPercent));
    while (percent > 1 && !fits(percent))
        --percent;
    while (percent < kMaxZoomInPercent && fits(percent + 1))
        ++percent;
    return percent;
}

std::optional<QPoint> PixelAt(QPointF position, QSize shown, QSize picture)
{
    if (shown.isEmpty() || picture.isEmpty())
        return std::nullopt;
    const qreal x = std::floor(position.x());
    const qreal y = std::floor(position.y());
    if (x < 0 || y < 0 || x >= shown.width() || y >= shown.height())
        return std::nullopt;
    return QPoint(static_cast<int>(std::int64_t(x) * picture.width() / shown.width()),
                  static_cast<int>(std::int64_t(y) * picture.height() / shown.height()));
}

QString ReadoutText(const QImage& image, QPoint pixel)
{
    if (!image.valid(pixel))
        return {};
    const QRgb colour = image.pixel(pixel);
    QString text = QStringLiteral("%1, %2: R %3 G %4 B %5")
                       .arg(pixel.x())
                       .arg(pixel.y())
                       .arg(qRed(colour))
                       .arg(qGreen(colour))
                       .arg(qBlue(colour));
    if (image.colorCount() > 0)
        text += QStringLiteral(", index %1").arg(image.pixelIndex(pixel));
    return text;
}

}  // namespace kadrimex::view
