// The status bar: the text panel, the owner-drawn progress gauge, the timer
// that repaints it and cancellation by a click.
#include "app/MainForm.h"
#include "app/ProgressGauge.h"
#include "ui/Prompt.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

namespace {

class TProgressPanel : public QWidget {
public:
    explicit TProgressPanel(TMainStatusBar* bar) : QWidget(bar), FBar(bar)
    {
        setObjectName(QStringLiteral("ProgressPanel"));
        setFixedWidth(50);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        long double percent = 0;
        const bool running = FBar->GaugeState && FBar->GaugeState(percent);
        QPainter painter(this);
        painter.drawImage(0, 0, kadrimex::ui::PaintProgressGauge(size(), window()->font(), running, percent));
    }

private:
    TMainStatusBar* FBar;
};

}  // namespace

TMainStatusBar::TMainStatusBar(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(true);
    Panel0 = new QLabel(this);
    Panel0->setObjectName(QStringLiteral("StatusPanel0"));
    Panel0->setFixedWidth(250);
    addWidget(Panel0);
    Panel1 = new TProgressPanel(this);
    addWidget(Panel1);
    // Wide enough for "65535, 65535: R 255 G 255 B 255, index 255", so the
    // panels beside it never move.
    ReadoutPanel = new QLabel(this);
    ReadoutPanel->setObjectName(QStringLiteral("ReadoutPanel"));
    ReadoutPanel->setMinimumWidth(ReadoutPanel->fontMetrics().horizontalAdvance(
                                      QStringLiteral("65535, 65535: R 255 G 255 B 255, index 255")) +
                                  8);
    addWidget(ReadoutPanel);
}

void TMainStatusBar::SetReadout(const QString& text)
{
    if (text == ReadoutPanel->text())
        return;
    ReadoutPanel->setText(text);
    TestProbe(QStringLiteral("readout ") + text);
}

void TMainStatusBar::SetPanelText(const QString& text)
{
    Panel0->setText(text);
    TestProbe(QStringLiteral("status ") + text);
}

QString TMainStatusBar::PanelText() const
{
    return Panel0->text();
}

void TMainStatusBar::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}

void TMainStatusBar::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void TKadrimexMainForm::CreateStatusBar()
{
    MainStatusBar = new TMainStatusBar(this);
    MainStatusBar->setObjectName(QStringLiteral("MainStatusBar"));
    setStatusBar(MainStatusBar);
    MainStatusBar->SetPanelText(QStringLiteral("Welcome in Kadrimex"));
    MainStatusBar->GaugeState = [this](long double& percent) {
        if (!FProcessor || FProcessor->Suspended())
            return false;
        percent = kadrimex::ui::ProgressPercent(FProcessor->Progress(), FProcessor->ProgressMax());
        return true;
    };
    connect(MainStatusBar, &TMainStatusBar::clicked, this, &TKadrimexMainForm::MainStatusBarClick);
}

void TKadrimexMainForm::ShowIdleGauge()
{
    // The gauge is a child of the bar with a paint of its own; it is painted
    // directly, not left to the bar's repaint, so the last percentage cannot
    // stay on the screen.
    MainStatusBar->repaint();
    MainStatusBar->Panel1->repaint();
}

void TKadrimexMainForm::ProgressTimerTimer()
{
    // Off while the repaint is requested, so timer events cannot pile up.
    ProgressTimer->stop();
    MainStatusBar->update();
    MainStatusBar->Panel1->update();
    ProgressTimer->start();
}

void TKadrimexMainForm::MainStatusBarClick()
{
    if (!FProcessor || FProcessor->Suspended())
        return;
    const quint64 launch = FLaunchId;
    const auto answer = kadrimex::ui::Prompt(QStringLiteral("Ej no co? Ja ROBIEM. Chcesz żebym dał se spokój?"),
                                             QStringLiteral("Co ty niby robisz, co?"),
                                             kadrimex::ui::PromptButtons::YesNo, kadrimex::ui::PromptIcon::Warning);
    // The operation may have completed while the question was open.
    if (answer == kadrimex::ui::PromptAnswer::Yes && FProcessor && launch == FLaunchId)
        FProcessor->Terminate();
}
