// "Histogram": a tone curve drawn with the mouse over the picture's colour
// histogram. On show a lower-priority worker computes the histogram of
// FBitmap (operation 4); HistogramReady plots it with an editable identity
// curve. "&Process" samples the curve into FCurveTable for the curves
// command, which also reads FChannel.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"

#include <QDialog>
#include <QList>
#include <QPointF>

#include <cstdint>
#include <memory>

class QButtonGroup;
class QChartView;
class QGroupBox;
class QLabel;
class QLineEdit;
class QLineSeries;
class QPushButton;
class QValueAxis;
namespace kadrimex::ui {
class TWorkerRunner;
}

class TCurvesForm : public QDialog {
    Q_OBJECT
public:
    explicit TCurvesForm(QWidget* parent = nullptr);
    // FormDestroy, then the worker is stopped and joined before the
    // bitmap it reads goes away.
    ~TCurvesForm() override;

    QWidget* Panel1 = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QWidget* Panel2 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* CoordXEdit = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* CoordYEdit = nullptr;
    QGroupBox* ChannelRadioGroup = nullptr;
    QButtonGroup* ChannelButtons = nullptr;
    QGroupBox* TypeRadioGroup = nullptr;
    QButtonGroup* TypeButtons = nullptr;
    // The chart (HistoChart->chart()) with its two fixed axes.
    QChartView* HistoChart = nullptr;
    QValueAxis* BottomAxis = nullptr;
    QValueAxis* LeftAxis = nullptr;

    // The histogram worker while it runs, null otherwise.
    kadrimex::TBitmapProcesorThread* FHistoThread = nullptr;
    std::uint8_t FCurveType = 1;
    bool FDragging = false;
    std::int32_t FLastX = 0;
    // The editable curve: 256 points (i, Y), Y in [0, 255]; null until the
    // histogram is plotted.
    QLineSeries* FCurveSeries = nullptr;
    // The picture copy the histogram is made of. The worker holds it too
    // while it runs, so a new copy set meanwhile frees nothing it reads.
    std::shared_ptr<kadrimex::TAdvancedBitmap> FBitmap;
    std::int32_t FChannel = 0;
    kadrimex::TToneTable FCurveTable{};

    // The axis values (of FCurveSeries' axes) of a pixel of HistoChart.
    QPointF AxisValue(QPointF pixel) const;

public slots:
    void FormShow();
    void FormHide();
    void FormDestroy();
    // The mouse handlers take the axis values of the mouse position.
    void HistoChartMouseDown(Qt::MouseButton button, QPointF value);
    void HistoChartMouseMove(QPointF value);
    void HistoChartMouseUp();
    void OkButtonClick();
    void CancelButtonClick();
    void TypeRadioGroupClick();
    void ChannelRadioGroupClick();
    void HistogramReady();
    void BuildCurveTable();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The curve's points as last written to FCurveSeries: a drag edits
    // them and replaces the series' points at once, one repaint a move.
    QList<QPointF> FCurvePoints;
    // What the running worker reads and writes; released when it is done.
    std::shared_ptr<kadrimex::TAdvancedBitmap> FHistoSource;
    std::shared_ptr<kadrimex::THistogram> FHistograms[3];
    // Declared last: destroyed first, joining the worker.
    std::unique_ptr<kadrimex::ui::TWorkerRunner> FRunner;
};
