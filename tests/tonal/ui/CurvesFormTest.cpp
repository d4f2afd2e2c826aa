// The curves dialog: the histogram worker and the plot, the mouse rules
// that draw the curve and the table it becomes. Closing while the worker
// runs is CloseStressTest's.
#include "tonal/ui/CurvesForm.h"

#include <QGraphicsScene>
#include <QGraphicsTextItem>

#include "tests/support/QtTestSupport.h"
#include "tests/support/TestPictures.h"

#include <QAreaSeries>
#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QLineEdit>
#include <QLineSeries>
#include <QRadioButton>
#include <QTest>
#include <QValueAxis>

#include <gtest/gtest.h>


using kadrimex::TAdvancedBitmap;
using kadrimex::TPixelFormat;

namespace {

// 4 x 2 pixels: red 10 in 7 of them, 20 in one; green 10 in all; blue 10
// in half.
std::shared_ptr<TAdvancedBitmap> KnownPicture()
{
    auto picture = std::make_shared<TAdvancedBitmap>();
    picture->Reset(4, 2, TPixelFormat::pf24bit);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            std::uint8_t* p = picture->ScanLine(y) + 3 * x;
            p[0] = x < 2 ? 10 : 30;
            p[1] = 10;
            p[2] = x + y == 4 ? 20 : 10;
        }
    return picture;
}

bool Plotted(const TCurvesForm& form)
{
    return kadrimex::test::WaitUntil([&form] { return form.FCurveSeries != nullptr; }, 20000);
}

class CurvesFormTest : public ::testing::Test {
protected:
    void SetUp() override { Form.FBitmap = KnownPicture(); }
    // Shows the dialog and waits until the histogram is plotted.
    void ShowAndWait()
    {
        Form.show();
        ASSERT_TRUE(Plotted(Form));
    }
    double Y(int i) const { return Form.FCurveSeries->at(i).y(); }

    TCurvesForm Form;
};

// Every axis label shows whole at the dialog's default size.
TEST_F(CurvesFormTest, AxisLabelsAreNotCutShort)
{
    ShowAndWait();
    QCoreApplication::processEvents();
    QStringList labels;
    for (const QGraphicsItem* item : Form.HistoChart->scene()->items())
        if (const auto* text = dynamic_cast<const QGraphicsTextItem*>(item); text && text->isVisible())
            labels << text->toPlainText();
    for (int v = 0; v <= 256; v += 16)
        EXPECT_EQ(labels.count(QString::number(v)), 2) << v << ": " << labels.join(u' ').toStdString();
    for (const QString& label : labels)
        EXPECT_FALSE(label.contains(QChar(0x2026)) || label.contains(QLatin1String("..."))) << label.toStdString();
}

TEST_F(CurvesFormTest, PlotsTheSevenHistogramSeriesAndTheIdentityCurve)
{
    ShowAndWait();
    const QList<QAbstractSeries*> series = Form.HistoChart->chart()->series();
    ASSERT_EQ(series.size(), 8);
    const QColor colours[7] = {QColor(255, 138, 138), QColor(144, 232, 82), QColor(166, 170, 255),
                               QColor(140, 141, 34),  QColor(34, 141, 140), QColor(150, 38, 149),
                               QColor(42, 42, 42)};
    // Y at value 10 of each series: 5120 times the fraction (or the minimum
    // of the fractions) of red 7/8, green 1, blue 1/2; at 20 red 1/8 only.
    const double at10[7] = {4480, 5120, 2560, 4480, 2560, 2560, 2560};
    const double at20[7] = {640, 0, 0, 0, 0, 0, 0};
    for (int s = 0; s < 7; ++s) {
        auto* area = qobject_cast<QAreaSeries*>(series[s]);
        ASSERT_NE(area, nullptr) << s;
        EXPECT_EQ(area->color(), colours[s]) << s;
        const QList<QPointF> points = area->upperSeries()->points();
        ASSERT_EQ(points.size(), 513) << s;
        // Stairs: a value's level runs from v to v + 1.
        EXPECT_EQ(points[20], QPointF(10, at10[s])) << s;
        EXPECT_EQ(points[21], QPointF(11, at10[s])) << s;
        EXPECT_EQ(points[40].y(), at20[s]) << s;
        EXPECT_EQ(points.last(), QPointF(256, 0)) << s;
    }
    ASSERT_EQ(series[7], Form.FCurveSeries);
    EXPECT_EQ(Form.FCurveSeries->color(), QColor(Qt::black));
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(Form.FCurveSeries->at(i), QPointF(i, i));
    EXPECT_EQ(Form.BottomAxis->min(), 0);
    EXPECT_EQ(Form.BottomAxis->max(), 256);
    EXPECT_EQ(Form.LeftAxis->max(), 256.01);
    EXPECT_FALSE(Form.HistoChart->chart()->legend()->isVisible());

    // Process without drawing: the identity table.
    Form.OkButtonClick();
    EXPECT_EQ(Form.result(), QDialog::Accepted);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(Form.FCurveTable[std::size_t(i)], i);
}

TEST_F(CurvesFormTest, ProcessIsIgnoredUntilTheHistogramIsPlotted)
{
    Form.FCurveTable.fill(7);
    Form.show();
    // The completion is queued: nothing has been plotted yet.
    ASSERT_NE(Form.FHistoThread, nullptr);
    Form.OkButtonClick();
    EXPECT_TRUE(Form.isVisible());
    EXPECT_EQ(Form.FCurveTable[100], 7);
    // Neither does the mouse draw.
    Form.HistoChartMouseDown(Qt::LeftButton, {50, 10});
    EXPECT_FALSE(Form.FDragging);
}

TEST_F(CurvesFormTest, MouseRules)
{
    ShowAndWait();
    struct TStep {
        char kind;  // 'd' down, 'm' move, 'u' up
        double x, y;
    };
    // Points first..last set to y, y + step, ...
    auto ramp = [](int first, int last, double y, double step) {
        std::vector<std::pair<int, double>> points;
        for (int i = first; i <= last; ++i, y += step)
            points.emplace_back(i, y);
        return points;
    };
    const struct {
        const char* name;
        std::vector<TStep> steps;
        std::vector<std::pair<int, double>> expected;  // (point, Y); others identity
        const char* coordX;
        const char* coordY;
    } cases[] = {
        {"a drag 10 -> 20 draws a segment", {{'d', 10.3, 0.2}, {'m', 20.5, 100.7}},
         ramp(10, 20, 0, 10), "20", "100"},
        {"backwards 30 -> 20", {{'d', 30, 200}, {'m', 20, 100}}, ramp(20, 30, 100, 10), "20", "100"},
        {"a jump of 40 or more sets one point", {{'d', 10, 0}, {'m', 60, 30}}, {{10, 0}, {60, 30}}, "60", "30"},
        {"a jump of 39 still draws", {{'d', 10, 0}, {'m', 49, 39}}, ramp(10, 49, 0, 1), "49", "39"},
        {"a press at -4 starts at 0", {{'d', -4, 50}}, {{0, 50}}, "0", "50"},
        {"a press at 261 is ignored", {{'d', 261, 50}, {'m', 100, 50}}, {}, "0", "0"},
        {"Y is floored and clamped", {{'d', 100, 254.6}, {'m', 101, 300}, {'m', 102, -3}},
         {{100, 254}, {101, 255}, {102, 0}}, "102", "0"},
        {"moves beyond the band are ignored", {{'d', 255.5, 0}, {'m', 270, 80}, {'m', 259.9, 80}}, {{255, 80}}, "255",
         "80"},
        {"after the release moves draw nothing", {{'d', 5, 9}, {'u', 0, 0}, {'m', 7, 100}}, {{5, 9}}, "5", "9"},
    };
    for (const auto& c : cases) {
        // A new show starts again from the identity curve.
        Form.hide();
        Form.CoordXEdit->setText(QStringLiteral("0"));
        Form.CoordYEdit->setText(QStringLiteral("0"));
        ShowAndWait();
        for (const TStep& step : c.steps) {
            if (step.kind == 'd')
                Form.HistoChartMouseDown(Qt::LeftButton, {step.x, step.y});
            else if (step.kind == 'm')
                Form.HistoChartMouseMove({step.x, step.y});
            else
                Form.HistoChartMouseUp();
        }
        Form.HistoChartMouseUp();
        std::vector<double> expected(256);
        for (int i = 0; i < 256; ++i)
            expected[std::size_t(i)] = i;
        for (const auto& [i, y] : c.expected)
            expected[std::size_t(i)] = y;
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(Y(i), expected[std::size_t(i)]) << c.name << ", point " << i;
        EXPECT_EQ(Form.CoordXEdit->text(), QString::fromLatin1(c.coordX)) << c.name;
        EXPECT_EQ(Form.CoordYEdit->text(), QString::fromLatin1(c.coordY)) << c.name;
    }
    // The right button draws nothing.
    Form.HistoChartMouseDown(Qt::RightButton, {50, 0});
    EXPECT_FALSE(Form.FDragging);
}

TEST_F(CurvesFormTest, TableRoundsTheCurveWithAnOffsetOf049)
{
    ShowAndWait();
    // 10 (100) -> 12 (101): point 11 is 100.5. 20 (100) -> 23 (101): points
    // 21 and 22 are 100.33 and 100.67.
    Form.HistoChartMouseDown(Qt::LeftButton, {10, 100});
    Form.HistoChartMouseMove({12, 101});
    Form.HistoChartMouseUp();
    Form.HistoChartMouseDown(Qt::LeftButton, {20, 100});
    Form.HistoChartMouseMove({23, 101});
    Form.HistoChartMouseUp();
    ASSERT_EQ(Y(11), 100.5);
    Form.ChannelButtons->button(3)->click();
    Form.OkButtonClick();
    EXPECT_EQ(Form.FCurveTable[11], 100);
    EXPECT_EQ(Form.FCurveTable[21], 100);
    EXPECT_EQ(Form.FCurveTable[22], 101);
    EXPECT_EQ(Form.FCurveTable[30], 30);
    EXPECT_EQ(Form.FChannel, 3);
}

TEST_F(CurvesFormTest, MouseEventsOnTheChartDrawThroughTheAxes)
{
    ShowAndWait();
    QChart* chart = Form.HistoChart->chart();
    auto pixel = [&](double x, double y) {
        return Form.HistoChart->mapFromScene(chart->mapToScene(chart->mapToPosition({x, y}, Form.FCurveSeries)));
    };
    QWidget* viewport = Form.HistoChart->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, pixel(40.5, 200.5));
    QMouseEvent move(QEvent::MouseMove, pixel(60.5, 10.5), viewport->mapToGlobal(pixel(60.5, 10.5)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, pixel(60.5, 10.5));
    EXPECT_EQ(Form.CoordXEdit->text(), QStringLiteral("60"));
    EXPECT_NEAR(Y(40), 200, 1);
    EXPECT_NEAR(Y(60), 10, 1);
    EXPECT_NEAR(Y(50), 105, 1.5);
    EXPECT_FALSE(Form.FDragging);
}

}  // namespace
