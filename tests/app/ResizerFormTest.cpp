// The resize dialog: the memory display, the aspect coupling in 32-bit
// integers, the OK bounds and the keys.
#include "app/ResizerForm.h"
#include "tests/support/QtTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

TEST(ResizerForm, MemoryTextByMagnitude)
{
    const struct {
        int w, h;
        const char* text;
    } cases[] = {{640, 480, "921600 B"},      {1024, 768, "2304 kB"}, {8192, 8192, "192 MB"},
                 {200000, 200000, "nie przejdzie"}, {-5, 2, "-30 B"}};
    for (const auto& c : cases)
        EXPECT_EQ(ResizeMemoryText(c.w, c.h), QString::fromUtf8(c.text)) << c.w << 'x' << c.h;
}

TEST(ResizerForm, AspectCouplingOkBoundsAndKeys)
{
    TResizerForm form;
    form.FOrigWidth = 1024;
    form.FOrigHeight = 768;
    form.FormShow();
    EXPECT_EQ(form.WidthBox->currentText(), QStringLiteral("1024"));
    EXPECT_EQ(form.ShowSizeEdit->text(), QStringLiteral("2304 kB"));

    form.WidthBox->setEditText(QStringLiteral("640"));
    EXPECT_EQ(form.HeightBox->currentText(), QStringLiteral("480"));
    form.WidthBox->setEditText(QStringLiteral("abc"));
    EXPECT_EQ(form.HeightBox->currentText(), QStringLiteral("0")) << "1 * 768 / 1024";
    form.HeightBox->setEditText(QStringLiteral("300"));
    EXPECT_EQ(form.WidthBox->currentText(), QStringLiteral("400"));
    // Past 32 bits the product wraps as in a register.
    form.WidthBox->setEditText(QStringLiteral("3000000"));
    EXPECT_EQ(form.HeightBox->currentText(), QString::number(std::int32_t(std::uint32_t(3000000) * 768u) / 1024));

    form.KeepProporCheckBox->setChecked(false);
    form.HeightBox->setEditText(QStringLiteral("20"));
    for (const char* width : {"0", "40000"}) {
        form.WidthBox->setEditText(QString::fromLatin1(width));
        form.setResult(0);
        form.OkButtonClick();
        EXPECT_EQ(form.result(), 0) << width << " keeps the dialog open";
    }
    form.WidthBox->setEditText(QStringLiteral("32760"));
    form.OkButtonClick();
    EXPECT_EQ(form.result(), int(QDialog::Accepted));
    EXPECT_EQ(form.FNewWidth, 32760);
    EXPECT_EQ(form.FNewHeight, 20);
    EXPECT_EQ(form.InterpolationIndex(), 2);

    form.setResult(0);
    QTest::keyClick(form.HeightBox->lineEdit(), Qt::Key_Escape);
    EXPECT_EQ(form.result(), int(QDialog::Rejected));
}
