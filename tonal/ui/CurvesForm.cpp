#include "tonal/ui/CurvesForm.h"

#include "tonal/Tone.h"
#include "tonal/ui/HistogramChart.h"
#include "tonal/ui/TonalDialogParts.h"
#include "ui/DialogParts.h"
#include "ui/WorkerRunner.h"

#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using kadrimex::THistogram;

namespace {

// The chart view that hands its mouse events to the dialog's handlers as
// axis values. Zoom (rubber band) and panning stay off.
class THistoChartView : public QChartView {
public:
    THistoChartView(QChart* chart, TCurvesForm* form) : QChartView(chart, form), FForm(form)
    {
        setRubberBand(QChartView::NoRubberBand);
        setDragMode(QGraphicsView::NoDrag);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        FForm->HistoChartMouseDown(event->button(), FForm->AxisValue(event->position()));
    }
    void mouseMoveEvent(QMouseEvent* event) override { FForm->HistoChartMouseMove(FForm->AxisValue(event->position())); }
    void mouseReleaseEvent(QMouseEvent*) override { FForm->HistoChartMouseUp(); }

private:
    TCurvesForm* FForm;
};

// floor(value) clamped into [0, 255].
std::int32_t CurveIndex(double value)
{
    const double f = std::floor(value);
    return f <= 0 ? 0 : f >= 255 ? 255 : std::int32_t(f);
}

}  // namespace

TCurvesForm::TCurvesForm(QWidget* parent) : QDialog(parent), FRunner(std::make_unique<kadrimex::ui::TWorkerRunner>())
{
    using kadrimex::ui::Named;
    setObjectName(QStringLiteral("CurvesForm"));
    setWindowTitle(QStringLiteral("Histogram"));
    setWindowFlags(Qt::Tool);
    setSizeGripEnabled(true);

    Panel1 = Named(new QWidget(this), "Panel1");
    OkButton = Named(new QPushButton(QStringLiteral("&Process"), Panel1), "OkButton");
    CancelButton = Named(new QPushButton(QStringLiteral("&Cancel"), Panel1), "CancelButton");
    auto* bottom = new QHBoxLayout(Panel1);
    bottom->addStretch();
    bottom->addWidget(OkButton);
    bottom->addWidget(CancelButton);

    Panel2 = Named(new QWidget(this), "Panel2");
    Label1 = Named(new QLabel(QStringLiteral("X coordinate:"), Panel2), "Label1");
    CoordXEdit = Named(new QLineEdit(QStringLiteral("0"), Panel2), "CoordXEdit");
    Label2 = Named(new QLabel(QStringLiteral("Y coordinate:"), Panel2), "Label2");
    CoordYEdit = Named(new QLineEdit(QStringLiteral("0"), Panel2), "CoordYEdit");
    ChannelRadioGroup = kadrimex::ui::MakeChannelRadioGroup(Panel2, ChannelButtons);
    TypeRadioGroup = kadrimex::ui::MakeRadioGroup(Panel2, "TypeRadioGroup", QStringLiteral("Curve &type"),
                                                  {QStringLiteral("With nodes"), QStringLiteral("Quantized")}, 1,
                                                  TypeButtons);
    TypeRadioGroup->setEnabled(false);
    auto* side = new QVBoxLayout(Panel2);
    for (QWidget* w : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(CoordXEdit),
                       static_cast<QWidget*>(Label2), static_cast<QWidget*>(CoordYEdit),
                       static_cast<QWidget*>(ChannelRadioGroup), static_cast<QWidget*>(TypeRadioGroup)})
        side->addWidget(w);
    side->addStretch();
    Panel2->setFixedWidth(130);

    const kadrimex::ui::THistogramChart made = kadrimex::ui::MakeHistogramChart();
    QChart* chart = made.chart;
    BottomAxis = made.bottom;
    LeftAxis = made.left;
    HistoChart = Named(new THistoChartView(chart, this), "HistoChart");

    auto* middle = new QHBoxLayout;
    middle->addWidget(HistoChart, 1);
    middle->addWidget(Panel2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(middle, 1);
    layout->addWidget(Panel1);
    resize(567, 418);

    connect(OkButton, &QPushButton::clicked, this, &TCurvesForm::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TCurvesForm::CancelButtonClick);
    connect(ChannelButtons, &QButtonGroup::idClicked, this, &TCurvesForm::ChannelRadioGroupClick);
    connect(TypeButtons, &QButtonGroup::idClicked, this, &TCurvesForm::TypeRadioGroupClick);
}

TCurvesForm::~TCurvesForm()
{
    FormDestroy();
    FRunner.reset();
}

void TCurvesForm::showEvent(QShowEvent* event)
{
    FormShow();
    kadrimex::ui::CentreOnScreen(this);
    QDialog::showEvent(event);
}

void TCurvesForm::hideEvent(QHideEvent* event)
{
    FormHide();
    QDialog::hideEvent(event);
}

QPointF TCurvesForm::AxisValue(QPointF pixel) const
{
    if (!FCurveSeries)
        return {};
    QChart* chart = HistoChart->chart();
    return chart->mapToValue(chart->mapFromScene(HistoChart->mapToScene(pixel.toPoint())), FCurveSeries);
}

void TCurvesForm::FormShow()
{
    // Shown again while the last histogram still runs: that one is kept
    // when it reads the same picture, else stopped for the new one.
    if (FHistoThread) {
        if (FHistoSource == FBitmap)
            return;
        FRunner->Stop();
        FHistoThread = nullptr;
    }
    FCurveSeries = nullptr;
    HistoChart->chart()->removeAllSeries();

    for (auto& histogram : FHistograms)
        histogram = std::make_shared<THistogram>();
    auto thread = std::make_unique<kadrimex::TBitmapProcesorThread>(true);
    thread->FLowerPriority = true;
    FHistoSource = FBitmap;
    thread->FSource = FHistoSource.get();
    FillThread(*thread, kadrimex::THistogramParams{FHistograms[0], FHistograms[1], FHistograms[2]});
    FHistoThread = thread.get();
    FRunner->Start(std::move(thread), [this] { HistogramReady(); });
    FDragging = false;
}

void TCurvesForm::FormHide()
{
    if (FHistoThread)
        FHistoThread->Terminate();
}

void TCurvesForm::FormDestroy()
{
    if (FHistoThread)
        FHistoThread->Terminate();
}

void TCurvesForm::HistogramReady()
{
    // The worker is joined and deleted here; the bitmap stays with the dialog.
    if (auto thread = FRunner->Take())
        thread->FSource = nullptr;
    FHistoThread = nullptr;
    FHistoSource.reset();

    const THistogram& red = *FHistograms[0];
    const THistogram& green = *FHistograms[1];
    const THistogram& blue = *FHistograms[2];
    QChart* chart = HistoChart->chart();
    kadrimex::ui::PlotHistograms({chart, BottomAxis, LeftAxis}, red, green, blue);
    for (auto& histogram : FHistograms)
        histogram.reset();

    FCurvePoints.clear();
    for (int i = 0; i < 256; ++i)
        FCurvePoints << QPointF(i, i);
    FCurveSeries = new QLineSeries;
    FCurveSeries->replace(FCurvePoints);
    chart->addSeries(FCurveSeries);
    FCurveSeries->setColor(Qt::black);
    FCurveSeries->attachAxis(BottomAxis);
    FCurveSeries->attachAxis(LeftAxis);

    TypeRadioGroupClick();
    ChannelRadioGroupClick();
}

void TCurvesForm::HistoChartMouseDown(Qt::MouseButton button, QPointF value)
{
    if (button != Qt::LeftButton || !FCurveSeries)
        return;
    if (value.x() < -5 || value.x() > 260)
        return;
    FDragging = true;
    FLastX = CurveIndex(value.x());
    HistoChartMouseMove(value);
}

void TCurvesForm::HistoChartMouseMove(QPointF value)
{
    if (!FDragging || !FCurveSeries)
        return;
    if (value.x() < -5 || value.x() > 260)
        return;
    const std::int32_t xi = CurveIndex(value.x());
    CoordXEdit->setText(QString::number(xi));
    const std::int32_t yi = CurveIndex(value.y());
    CoordYEdit->setText(QString::number(yi));
    FCurvePoints[xi].setY(yi);

    // A step of 2 to 39 indices draws a straight segment from the previous
    // point; the numerator is a whole number, the quotient a real.
    const std::int32_t d = xi - FLastX;
    if (d >= 2 && d <= 39) {
        const std::int32_t y0 = std::int32_t(FCurvePoints[FLastX].y());
        for (std::int32_t i = FLastX + 1; i <= xi - 1; ++i)
            FCurvePoints[i].setY(double((i - FLastX) * yi + (xi - i) * y0) / d);
    } else if (d >= -39 && d <= -2) {
        const std::int32_t y0 = std::int32_t(FCurvePoints[FLastX].y());
        for (std::int32_t i = xi + 1; i <= FLastX - 1; ++i)
            FCurvePoints[i].setY(double((FLastX - i) * yi + (i - xi) * y0) / (-d));
    }
    FLastX = xi;
    FCurveSeries->replace(FCurvePoints);
}

void TCurvesForm::HistoChartMouseUp()
{
    FDragging = false;
}

void TCurvesForm::OkButtonClick()
{
    if (FHistoThread)
        return;
    ChannelRadioGroupClick();
    BuildCurveTable();
    accept();
}

void TCurvesForm::CancelButtonClick()
{
    reject();
}

void TCurvesForm::TypeRadioGroupClick()
{
    FCurveType = std::uint8_t(TypeButtons->checkedId());
}

void TCurvesForm::ChannelRadioGroupClick()
{
    FChannel = ChannelButtons->checkedId();
}

void TCurvesForm::BuildCurveTable()
{
    if (!FCurveSeries)
        return;
    for (int i = 0; i < 256; ++i)
        FCurveTable[std::size_t(i)] = std::uint8_t(std::floor(FCurveSeries->at(i).y() + 0.49));
}
