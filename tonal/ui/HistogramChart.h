// The histogram chart the curves dialog and the histogram window share:
// fixed axes 0..256 both ways on white, and the seven series of a picture's
// colour histograms drawn as stairs.
#pragma once

#include "engine/ProcessorThread.h"

class QChart;
class QValueAxis;

namespace kadrimex::ui {

struct THistogramChart {
    QChart* chart = nullptr;
    QValueAxis* bottom = nullptr;
    QValueAxis* left = nullptr;
};

// A new chart with its two fixed axes, no title, legend, animation or
// shadow; the caller owns it (usually through a QChartView).
THistogramChart MakeHistogramChart();

// Adds the seven areas of the histograms (fractions of the pixel count, as
// the histogram operation makes them) to the chart, attached to its axes:
// red, green, blue, then the overlaps red+green, green+blue, red+blue and
// all three, each value v a step from v to v + 1.
void PlotHistograms(const THistogramChart& chart, const THistogram& red, const THistogram& green,
                    const THistogram& blue);

}  // namespace kadrimex::ui
