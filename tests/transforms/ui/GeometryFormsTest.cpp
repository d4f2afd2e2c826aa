// The flip/rotate and colour depth dialogs through their controls and keys:
// the angle presets in either decimal notation, the enabling rule, the
// conversion error that keeps the dialog open, the preselection of the bits
// per pixel and the click handler that only follows it.
#include "transforms/ui/ColorDepthForm.h"
#include "transforms/ui/FlipRotateForm.h"
#include "tests/support/QtTestSupport.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

using kadrimex::TPixelFormat;

namespace {

class GeometryForms : public kadrimex::test::PromptCaptureTest {};

using kadrimex::test::kStaysOpen;
using kadrimex::test::RunDialog;

TEST_F(GeometryForms, AnglePresetsInEitherDecimalNotation)
{
    // The presets of a comma locale are those of a point locale with the
    // separator replaced; the box starts at 1.
    QStringList items[2];
    for (const bool comma : {false, true}) {
        if (comma)
            QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        TFlipRotateForm form;
        for (int i = 0; i < form.AngleComboBox->count(); ++i)
            items[comma] << form.AngleComboBox->itemText(i);
        EXPECT_EQ(form.AngleComboBox->currentText(), QStringLiteral("1"));
    }
    ASSERT_EQ(items[0].size(), 10);
    EXPECT_EQ(items[0][3], QStringLiteral("1.57079632679489"));
    EXPECT_EQ(items[1], items[0].replaceInStrings(QStringLiteral("."), QStringLiteral(",")));
}

TEST_F(GeometryForms, FlipRotateEnablingAngleAndKeys)
{
    TFlipRotateForm form;
    EXPECT_TRUE(form.FlipHRadioButton->isChecked());
    auto angleEnabled = [&] { return form.AngleComboBox->isEnabled() && form.ExtendBitmapCheckBox->isEnabled(); };
    EXPECT_FALSE(form.AngleComboBox->isEnabled() || form.ExtendBitmapCheckBox->isEnabled());
    form.RotateRadioButton->click();
    EXPECT_TRUE(angleEnabled());
    form.FlipVRadioButton->click();
    EXPECT_FALSE(form.AngleComboBox->isEnabled() || form.ExtendBitmapCheckBox->isEnabled());

    // Not a number: the conversion error, and the dialog stays open.
    form.RotateRadioButton->click();
    form.AngleComboBox->setEditText(QStringLiteral("pół"));
    EXPECT_EQ(RunDialog(form, [&] { form.OkSpeedButton->click(); }), kStaysOpen);
    EXPECT_EQ(Prompts, std::vector<QString>{QStringLiteral("'pół' is not a valid floating point value")});

    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    form.AngleComboBox->setEditText(QStringLiteral("-0,25"));
    EXPECT_EQ(RunDialog(form, [&] { form.OkSpeedButton->click(); }), int(QDialog::Accepted));
    EXPECT_EQ(form.FAngle, -0.25L);
    // A flip hands over no angle, whatever the box says.
    form.FlipHRadioButton->click();
    EXPECT_EQ(RunDialog(form, [&] { form.OkSpeedButton->click(); }), int(QDialog::Accepted));
    EXPECT_EQ(form.FAngle, 0.0L);

    // Enter confirms and Escape cancels from every radio button and the box.
    form.RotateRadioButton->click();
    for (QWidget* target : {static_cast<QWidget*>(form.FlipVRadioButton), static_cast<QWidget*>(form.FlipHRadioButton),
                            static_cast<QWidget*>(form.RotateRadioButton),
                            static_cast<QWidget*>(form.AngleComboBox->lineEdit())}) {
        EXPECT_EQ(RunDialog(form, [&] { QTest::keyClick(target, Qt::Key_Return); }), int(QDialog::Accepted))
            << target->objectName().toStdString();
        EXPECT_EQ(RunDialog(form, [&] { QTest::keyClick(target, Qt::Key_Escape); }), int(QDialog::Rejected))
            << target->objectName().toStdString();
    }
    EXPECT_EQ(Prompts.size(), 1u);
}

TEST_F(GeometryForms, ColorDepthPreselectsAndFollowsClicksOnlyAfterwards)
{
    TColorDepthForm form;
    const struct {
        TPixelFormat format;
        int item;
    } cases[] = {{TPixelFormat::pf1bit, 0},  {TPixelFormat::pf4bit, 1},  {TPixelFormat::pf8bit, 2},
                 {TPixelFormat::pf15bit, 3}, {TPixelFormat::pf16bit, 4}, {TPixelFormat::pf24bit, 5},
                 {TPixelFormat::pf32bit, 6}, {TPixelFormat::pfDevice, 2}, {TPixelFormat::pfCustom, 2}};
    for (const auto& c : cases) {
        form.FPixelFormat = c.format;
        form.show();
        EXPECT_EQ(form.BPPButtons->checkedId(), c.item) << int(c.format);
        EXPECT_EQ(form.FPixelFormat, c.format) << "the preselection keeps the format as it came";
        form.hide();
    }

    form.FPixelFormat = TPixelFormat::pf24bit;
    form.show();
    form.BPPButtons->button(1)->click();
    EXPECT_EQ(form.FPixelFormat, TPixelFormat::pf4bit);
    form.hide();
    form.BPPButtons->button(0)->setChecked(true);
    EXPECT_EQ(form.FPixelFormat, TPixelFormat::pf4bit) << "no handler while hidden";

    form.FPixelFormat = TPixelFormat::pf8bit;
    EXPECT_EQ(RunDialog(form, [&] { QTest::keyClick(form.MakeMonochromeCheckBox, Qt::Key_Return); }),
              int(QDialog::Accepted));
    EXPECT_EQ(RunDialog(form, [&] { QTest::keyClick(form.BPPButtons->button(6), Qt::Key_Escape); }),
              int(QDialog::Rejected));
    EXPECT_EQ(form.FPixelFormat, TPixelFormat::pf8bit);
}

}  // namespace
