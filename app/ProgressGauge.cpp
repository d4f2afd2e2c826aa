// The status bar's progress gauge: the percentage, its text and the gauge
// picture.
#include "app/ProgressGauge.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace kadrimex::ui {

long double ProgressPercent(std::int64_t progress, std::int64_t progressMax)
{
    return static_cast<long double>(progress) / (static_cast<long double>(progressMax) + 0.0001L) * 100;
}

QString ProgressText(long double percent, const QLocale& locale)
{
    // Four significant digits, but never more than two decimals: the value
    // is rounded once, at whichever limit comes first, half away from zero
    // on its exact decimal expansion.
    int integerDigits = 0;
    if (std::fabs(percent) >= 1)
        integerDigits = int(std::floor(std::log10(std::fabs(percent)))) + 1;
    const int decimals = std::clamp(4 - integerDigits, 0, 2);
    if (!std::isfinite(percent))
        return locale.toString(double(percent), 'f', 2) + QStringLiteral(" %");

    // glibc prints the exact binary value; 80 decimals hold every digit that
    // matters for rounding at two.
    std::vector<char> buffer(std::size_t(integerDigits) + 100);
    std::snprintf(buffer.data(), buffer.size(), "%.80Lf", percent);
    std::string digits(buffer.data());
    const bool negative = !digits.empty() && digits[0] == '-';
    if (negative)
        digits.erase(0, 1);
    // The separator printf uses follows the C library's locale.
    std::size_t point = digits.find_first_not_of("0123456789");
    if (point == std::string::npos) {
        point = digits.size();
        digits += '.';
    }
    digits.append(std::size_t(decimals) + 1, '0');
    std::string kept = digits.substr(0, point) + digits.substr(point + 1, std::size_t(decimals));
    if (digits[point + 1 + std::size_t(decimals)] >= '5') {
        std::size_t i = kept.size();
        while (i > 0 && kept[i - 1] == '9')
            kept[--i] = '0';
        if (i == 0)
            kept.insert(kept.begin(), '1');
        else
            ++kept[i - 1];
    }
    if (decimals > 0)
        kept.insert(kept.size() - std::size_t(decimals), 1, '.');
    const double rounded = (negative ? -1 : 1) * QString::fromStdString(kept).toDouble();
    return locale.toString(rounded, 'f', 2) + QStringLiteral(" %");
}

namespace {

// dest = dest XOR source on the colour bits (both images opaque RGB32).
void XorInto(QImage& dest, const QImage& source)
{
    for (int y = 0; y < dest.height(); ++y) {
        auto* d = reinterpret_cast<QRgb*>(dest.scanLine(y));
        const auto* s = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < dest.width(); ++x)
            d[x] = 0xFF000000u | ((d[x] ^ s[x]) & 0x00FFFFFFu);
    }
}

// Draws `text` in white, centred the way the gauge does it: the free space
// halved with truncation, clipped to the picture.
void DrawCentredText(QImage& image, const QFont& font, const QString& text)
{
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.setBrush(Qt::NoBrush);
    painter.setClipRect(image.rect());
    const QFontMetrics metrics(font);
    const int fullWidth = image.width() + 1;
    const int fullHeight = image.height() + 1;
    const int x = (fullWidth - metrics.horizontalAdvance(text)) / 2;
    const int y = (fullHeight - metrics.height()) / 2;
    painter.drawText(x, y + metrics.ascent(), text);
}

}  // namespace

QImage PaintProgressGauge(QSize size, const QFont& font, bool running, long double percent, const QLocale& locale)
{
    QImage gauge(size, QImage::Format_RGB32);
    if (gauge.isNull())
        return gauge;
    if (!running) {
        gauge.fill(Qt::black);
        DrawCentredText(gauge, font, QStringLiteral("gotowy"));
        return gauge;
    }

    gauge.fill(Qt::white);
    // The bar: done part black on white, then inverted onto the white gauge.
    QImage bar(size, QImage::Format_RGB32);
    bar.fill(Qt::white);
    const int fullWidth = size.width() + 1;
    const long double done = percent * 0.01L * fullWidth;
    const int n = done >= fullWidth ? fullWidth : done > 0 ? int(done) : 0;
    if (n > 0) {
        QPainter painter(&bar);
        painter.fillRect(QRect(0, 0, n, size.height() + 1), Qt::black);
    }
    XorInto(gauge, bar);

    // The text, white on black, inverted over the bar so it reads on both.
    QImage text(size, QImage::Format_RGB32);
    text.fill(Qt::black);
    DrawCentredText(text, font, ProgressText(percent, locale));
    XorInto(gauge, text);
    return gauge;
}

}  // namespace kadrimex::ui
