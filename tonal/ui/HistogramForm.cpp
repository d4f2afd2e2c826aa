#include "tonal/ui/HistogramForm.h"

#include "tonal/Tone.h"

#include <QChart>
#include <QChartView>
#include <QMetaObject>
#include <QVBoxLayout>

namespace {

THistogramForm::THistograms Analyse(const kadrimex::TPicture& picture)
{
    THistogramForm::THistograms result{};
    try {
        kadrimex::TAdvancedBitmap copy;
        if (kadrimex::MakeWorkingCopy(picture, copy))
            kadrimex::MakeHistograms(kadrimex::histogram_mode::Fractions, result[0], result[1], result[2], &copy);
    } catch (const std::exception&) {
        // An icon has no working copy, and a picture too large for a copy
        // has no histogram: both plot as empty.
        result = {};
    }
    return result;
}

}  // namespace

THistogramForm::THistogramForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HistogramForm"));
    setWindowTitle(QStringLiteral("Histogram obrazka"));
    setWindowFlags(Qt::Tool);
    setModal(false);
    setSizeGripEnabled(true);
    FChart = kadrimex::ui::MakeHistogramChart();
    HistoChart = new QChartView(FChart.chart, this);
    HistoChart->setObjectName(QStringLiteral("HistoChart"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(HistoChart);
    // Wide enough for the axis labels to show unelided.
    resize(620, 420);
}

THistogramForm::~THistogramForm()
{
    if (FWorker.joinable())
        FWorker.join();
}

void THistogramForm::SetPicture(std::shared_ptr<const kadrimex::TPicture> picture)
{
    FPending = picture ? std::move(picture) : std::make_shared<const kadrimex::TPicture>();
    if (!FRunning)
        StartWorker();
}

void THistogramForm::StartWorker()
{
    if (FWorker.joinable())
        FWorker.join();
    FRunning = true;
    // The worker owns its snapshot (immutable, shared with the document)
    // and its result; it touches nothing of the window. Its completion is
    // queued to this window, which the destructor's join keeps alive.
    FWorker = std::thread([this, picture = std::move(FPending)] {
        auto result = std::make_shared<const THistograms>(Analyse(*picture));
        QMetaObject::invokeMethod(this, [this, result] { WorkerDone(result); }, Qt::QueuedConnection);
    });
}

void THistogramForm::WorkerDone(std::shared_ptr<const THistograms> result)
{
    FWorker.join();
    FRunning = false;
    // A newer picture came meanwhile: this result is stale.
    if (FPending) {
        StartWorker();
        return;
    }
    FPlotted = std::move(result);
    FChart.chart->removeAllSeries();
    kadrimex::ui::PlotHistograms(FChart, (*FPlotted)[0], (*FPlotted)[1], (*FPlotted)[2]);
    emit Plotted();
}
