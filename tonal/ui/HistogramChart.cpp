#include "tonal/ui/HistogramChart.h"

#include <QAreaSeries>
#include <QChart>
#include <QFont>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>

namespace kadrimex::ui {

namespace {

// The colours of the seven histogram series, in the order they are attached.
const QColor kSeriesColours[7] = {
    QColor(255, 138, 138), QColor(144, 232, 82), QColor(166, 170, 255),  // red, green, blue
    QColor(140, 141, 34),  QColor(34, 141, 140), QColor(150, 38, 149),   // red+green, green+blue, red+blue
    QColor(42, 42, 42),                                                  // all three
};

}  // namespace

THistogramChart MakeHistogramChart()
{
    THistogramChart made;
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setBackgroundBrush(Qt::white);
    chart->setBackgroundRoundness(0);
    chart->setDropShadowEnabled(false);
    chart->setAnimationOptions(QChart::NoAnimation);
    auto* bottom = new QValueAxis(chart);
    bottom->setRange(0, 256);
    bottom->setTickType(QValueAxis::TicksDynamic);
    bottom->setTickAnchor(0);
    bottom->setTickInterval(16);
    bottom->setMinorTickCount(4);
    bottom->setLabelFormat(QStringLiteral("%g"));
    auto* left = new QValueAxis(chart);
    left->setRange(0, 256.01);
    left->setTickType(QValueAxis::TicksDynamic);
    left->setTickAnchor(0);
    left->setTickInterval(16);
    left->setLabelFormat(QStringLiteral("%.6g"));
    // Seventeen labels a side at the curves dialog's size: in the default
    // font the chart elides every label but "0" to dots.
    QFont labels = bottom->labelsFont();
    labels.setPointSizeF(labels.pointSizeF() * 0.7);
    bottom->setLabelsFont(labels);
    // Upright, the three-digit labels are wider than the 16 units between
    // them at the dialog's size and would be cut to dots; on end they fit.
    bottom->setLabelsAngle(-90);
    left->setLabelsFont(labels);
    chart->addAxis(bottom, Qt::AlignBottom);
    chart->addAxis(left, Qt::AlignLeft);
    made.chart = chart;
    made.bottom = bottom;
    made.left = left;
    return made;
}

void PlotHistograms(const THistogramChart& chart, const THistogram& red, const THistogram& green,
                    const THistogram& blue)
{
    for (int s = 0; s < 7; ++s) {
        // Stairs: each value v is a step from v to v + 1; a last point
        // (256, 0) closes the area.
        QList<QPointF> points;
        points.reserve(2 * 256 + 1);
        for (int v = 0; v < 256; ++v) {
            const std::size_t i = std::size_t(v);
            const long double r = red[i], g = green[i], b = blue[i];
            const long double shares[7] = {r, g, b, std::min(r, g), std::min(g, b), std::min(r, b),
                                           std::min({r, g, b})};
            const qreal y = qreal(5120 * shares[s]);
            points << QPointF(v, y) << QPointF(v + 1, y);
        }
        points << QPointF(256, 0);
        auto* area = new QAreaSeries;
        auto* upper = new QLineSeries(area);
        upper->replace(points);
        area->setUpperSeries(upper);
        // Colours after addSeries: the chart's theme sets its own there.
        chart.chart->addSeries(area);
        area->setColor(kSeriesColours[s]);
        area->setPen(Qt::NoPen);
        area->attachAxis(chart.bottom);
        area->attachAxis(chart.left);
    }
}

}  // namespace kadrimex::ui
