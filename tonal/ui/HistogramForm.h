// "Histogram obrazka": a window beside the editor, not modal, showing the
// seven histogram series of a picture as the curves dialog draws them. Each
// new picture is analysed on a worker thread of the window's own (a working
// copy in 24 bits, then the histogram routine in fractions); a picture set
// while one is analysed waits for it, and the older result is dropped, so
// only the newest picture is ever plotted.
#pragma once

#include "engine/Graphic.h"
#include "engine/ProcessorThread.h"
#include "tonal/ui/HistogramChart.h"

#include <QDialog>

#include <array>
#include <memory>
#include <thread>

class QChartView;

class THistogramForm : public QDialog {
    Q_OBJECT
public:
    explicit THistogramForm(QWidget* parent = nullptr);
    // Waits for the worker, which holds only its own snapshot and results.
    ~THistogramForm() override;

    QChartView* HistoChart = nullptr;

    // Analyses `picture` and plots it when done. An empty picture, or one
    // that has no working copy (an icon), plots empty histograms.
    void SetPicture(std::shared_ptr<const kadrimex::TPicture> picture);

    // Red, green and blue, as last plotted.
    using THistograms = std::array<kadrimex::THistogram, 3>;
    const THistograms& Histograms() const { return *FPlotted; }

signals:
    // The histograms of the newest picture are on the chart.
    void Plotted();

private:
    void StartWorker();
    void WorkerDone(std::shared_ptr<const THistograms> result);

    kadrimex::ui::THistogramChart FChart;
    std::shared_ptr<const THistograms> FPlotted = std::make_shared<const THistograms>();
    std::thread FWorker;
    bool FRunning = false;
    // The picture to analyse once the running worker is done; null if none.
    std::shared_ptr<const kadrimex::TPicture> FPending;
};
