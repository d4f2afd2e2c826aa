// The main window and the curves dialog ended at random moments of their
// workers: a command is launched and then cancelled from the status bar,
// the window closed, or the window destroyed; the curves dialog is closed,
// destroyed or shown again while its histogram thread runs. Nothing may
// crash, leak or show an error, and a dialog shown again plots the picture
// it was given last. KADRIMEX_STRESS_ITERATIONS sets the runs (default 24).
#include "app/MainForm.h"
#include "app/PictureDocument.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/TestPictures.h"
#include "tonal/ui/CurvesForm.h"
#include "ui/Prompt.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineSeries>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace ui = kadrimex::ui;
using kadrimex::test::WaitUntil;

namespace {

long Iterations()
{
    const char* text = std::getenv("KADRIMEX_STRESS_ITERATIONS");
    return text && *text ? std::strtol(text, nullptr, 10) : 24;
}

void ServeFor(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    do
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    while (timer.elapsed() < milliseconds);
}

kadrimex::TPicture RandomPicture(std::mt19937& random, int width, int height)
{
    kadrimex::TPicture picture;
    picture.Assign(kadrimex::TBitmap(kadrimex::test::RandomPicture(width, height, random)));
    return picture;
}

class CloseStress : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::SetPromptHandler([this](const ui::PromptRequest& request) {
            Prompts.push_back(request.text);
            if (request.icon == ui::PromptIcon::Error)
                Errors.push_back(request.text);
            return request.buttons == ui::PromptButtons::YesNo ? ui::PromptAnswer::Yes : ui::PromptAnswer::Ok;
        });
    }
    void TearDown() override { ui::SetPromptHandler({}); }

    std::vector<QString> Prompts;
    std::vector<QString> Errors;
};

}  // namespace

TEST_F(CloseStress, WindowCancelledClosedOrDestroyedWhileAnOperationRuns)
{
    const char* buttons[] = {"GaussBlurSpeedButton", "TriangBlurSpeedButton", "SharpenSpeedButton",
                             "FindEdgesSpeedButton",  "FFTSpeedButton",        "RevFFTSpeedButton",
                             "FFTGaussSpeedButton",   "ResizeImageButton",     "FlipRotateSpeedButton",
                             "AutoLevelsButton",      "CurvesSpeedButton",     "GaussGeneratorSpeedButton",
                             "EdgeGeneratorSpeedButton"};
    std::mt19937 random(7);
    const long iterations = Iterations();
    for (long i = 0; i < iterations; ++i) {
        const char* name = buttons[std::size_t(i) % std::size(buttons)];
        const int ending = int(random() % 3);
        const int wait = int(random() % 40);
        SCOPED_TRACE(testing::Message() << name << " ending " << ending << " after " << wait << " ms");
        Prompts.clear();
        Errors.clear();
        auto form = std::make_unique<TKadrimexMainForm>();
        // Every dialog accepted with the values it holds.
        form->DialogRunner = [](QDialog&) { return int(QDialog::Accepted); };
        form->Document->Replace(RandomPicture(random, 300 + int(random() % 300), 200 + int(random() % 200)),
                                TPictureDocument::TChange::Open);
        form->show();
        auto* button = form->findChild<QToolButton*>(QLatin1String(name));
        ASSERT_NE(button, nullptr);
        button->click();
        ServeFor(wait);
        if (ending == 0) {
            emit form->MainStatusBar->clicked();
            ASSERT_TRUE(WaitUntil([&] { return form->FProcessor == nullptr; }, 60000));
            EXPECT_TRUE(form->FilterToolBar->isEnabled());
        } else if (ending == 1) {
            form->close();
            EXPECT_EQ(form->FProcessor, nullptr);
            EXPECT_FALSE(form->ProgressTimer->isActive());
        }
        form.reset();
        ServeFor(1);
        EXPECT_TRUE(Errors.empty()) << Errors.front().toStdString();
    }
}

TEST_F(CloseStress, CurvesDialogClosedDestroyedOrReshownWhileTheHistogramRuns)
{
    std::mt19937 random(11);
    const long iterations = Iterations();
    for (long i = 0; i < iterations; ++i) {
        const int ending = int(random() % 3);
        const int wait = int(random() % 20);
        SCOPED_TRACE(testing::Message() << "ending " << ending << " after " << wait << " ms");
        auto form = std::make_unique<TCurvesForm>();
        form->FBitmap = std::make_shared<kadrimex::TAdvancedBitmap>(
            kadrimex::test::RandomPicture(500 + int(random() % 500), 400, random));
        form->show();
        if (ending != 2)
            ServeFor(wait);
        if (ending == 0) {
            form->reject();
        } else if (ending == 2) {
            // Shown again with a new picture, all black, before the first
            // histogram is plotted (no event served since the first show):
            // the chart must show the new picture.
            form->hide();
            auto black = std::make_shared<kadrimex::TAdvancedBitmap>();
            black->Reset(40, 30, kadrimex::TPixelFormat::pf24bit);
            form->FBitmap = black;
            form->show();
            ASSERT_TRUE(WaitUntil([&] { return form->FHistoThread == nullptr && form->FCurveSeries; }, 60000));
            const auto series = form->HistoChart->chart()->series();
            ASSERT_FALSE(series.isEmpty());
            auto* area = qobject_cast<QAreaSeries*>(series.first());
            ASSERT_NE(area, nullptr);
            // Stairs: point 2v is value v; every pixel has channel value 0.
            EXPECT_GT(area->upperSeries()->at(0).y(), 0);
            EXPECT_EQ(area->upperSeries()->at(2 * 128).y(), 0);
        }
        form.reset();
        ServeFor(1);
    }
    EXPECT_TRUE(Prompts.empty());
}
