// The levels and curves commands of the main window, offscreen: the dialog
// values through the launcher to the displayed picture, the status text,
// and the conversion question of a picture that is not 24-bit.
#include "tonal/ui/CurvesForm.h"
#include "tonal/ui/LevelsForm.h"

#include "../ToneReference.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/TestPictures.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <random>

using kadrimex::TBitmap;
using kadrimex::TPixelFormat;
namespace ui = kadrimex::ui;

using kadrimex::test::WaitUntil;

namespace {

class TonalCommands : public kadrimex::test::MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        std::mt19937 random(23);
        Picture = kadrimex::test::RandomPicture(57, 31, random);
        Show(Picture);
    }

    // Clicks `button`; returns the status text while the run goes on, and
    // waits for its completion.
    QString Run(QToolButton* button)
    {
        button->click();
        const QString status = Form->MainStatusBar->PanelText();
        EXPECT_TRUE(WaitIdle());
        return status;
    }

    TBitmap Picture;
};

TEST_F(TonalCommands, LevelsEqualisesOrStretchesTheChosenChannel)
{
    const struct {
        int function;
        const char* from;
        const char* to;
        int channel;
        TBitmap expected;
    } cases[] = {
        {0, "55", "200", 2, kadrimex::test::ReferenceEqualize(Picture, 2)},
        {1, "55", "200", 0, kadrimex::test::ReferenceCurve(Picture, kadrimex::test::ReferenceRangeTable(55, 200), 0)},
        {1, "-20", "999", 3,
         kadrimex::test::ReferenceCurve(Picture, kadrimex::test::ReferenceRangeTable(-20, 999), 3)},
    };
    for (const auto& c : cases) {
        Show(Picture);
        OnDialog = [&c](QDialog& dialog) {
            auto& form = dynamic_cast<TLevelsForm&>(dialog);
            form.FunctionButtons->button(c.function)->setChecked(true);
            form.ChannelButtons->button(c.channel)->setChecked(true);
            form.RangeFromEdit->setText(QString::fromLatin1(c.from));
            form.RangeToEdit->setText(QString::fromLatin1(c.to));
            form.setResult(0);
            form.OkSpeedButtonClick();
            return form.result();
        };
        EXPECT_EQ(Run(Form->AutoLevelsButton), QStringLiteral("Dopasowuję Ci histerozegrama..."));
        EXPECT_EQ(kadrimex::test::FirstDifference(Shown(), c.expected), -1) << c.function << " " << c.from;
        EXPECT_EQ(Form->MainStatusBar->PanelText(), QStringLiteral("No i pozamiatane."));
    }
    EXPECT_TRUE(Prompts.empty());

    // Cancel changes nothing.
    Show(Picture);
    OnDialog = [](QDialog&) { return int(QDialog::Rejected); };
    Form->AutoLevelsButton->click();
    EXPECT_EQ(Form->FProcessor, nullptr);
    EXPECT_EQ(kadrimex::test::FirstDifference(Shown(), Picture), -1);
}

TEST_F(TonalCommands, CurvesAppliesTheDrawnCurveToAPictureConvertedTo24Bits)
{
    TBitmap grey = Picture;
    grey.SetPixelFormat(TPixelFormat::pf8bit);
    Show(grey);
    kadrimex::TToneTable table{};
    OnDialog = [&table](QDialog& dialog) {
        auto& form = dynamic_cast<TCurvesForm&>(dialog);
        form.show();
        if (!WaitUntil([&form] { return form.FCurveSeries != nullptr; }))
            return int(QDialog::Rejected);
        // Values 0..100 are lifted towards 200 at 50, then back.
        form.HistoChartMouseDown(Qt::LeftButton, {0, 0});
        for (const QPointF point : {QPointF(30, 150), QPointF(50, 200), QPointF(80, 120), QPointF(100, 100)})
            form.HistoChartMouseMove(point);
        form.HistoChartMouseUp();
        form.ChannelButtons->button(1)->click();
        form.setResult(0);
        form.OkButton->click();
        table = form.FCurveTable;
        return form.result();
    };
    EXPECT_EQ(Run(Form->CurvesSpeedButton), QStringLiteral("Wykrzywiam (mnożę przez krzywą)..."));
    ASSERT_EQ(Prompts.size(), 1u);
    EXPECT_EQ(Prompts[0].caption, QStringLiteral("Automatic bit format conversion"));
    EXPECT_EQ(table[50], 200);
    EXPECT_EQ(table[101], 101);
    EXPECT_EQ(kadrimex::test::FirstDifference(Shown(), kadrimex::test::ReferenceCurve(grey, table, 1)), -1);
}

}  // namespace
