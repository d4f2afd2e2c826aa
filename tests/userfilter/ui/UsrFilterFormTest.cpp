// The user filter dialog driven through its controls and keys: example
// filters, ring enabling, the type reset by a key, size picks, reading the
// matrix, the error message, Enter/Escape and the hand-over of the matrix.
#include "tests/support/QtTestSupport.h"
#include "userfilter/UserFilter.h"
#include "userfilter/ui/UsrFilterForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

using namespace kadrimex::ui;

namespace {

// Each test gets a fresh dialog in a point-separator locale, shown, with
// every prompt captured instead of shown.
class UsrFilterFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        kadrimex::test::CapturePrompts(prompts);
        form = std::make_unique<TUsrFilterForm>();
        form->show();
    }
    void TearDown() override
    {
        form.reset();
        kadrimex::test::ReleasePrompts();
        QLocale::setDefault(QLocale::c());
    }

    // A user's pick in a drop-down list: the change, then the pick signal.
    static void Pick(QComboBox* box, int index)
    {
        box->setCurrentIndex(index);
        emit box->activated(index);
    }

    QStringList Texts(int from, int to) const
    {
        QStringList t;
        for (int r = from; r <= to; ++r)
            for (int c = from; c <= to; ++c)
                t << form->Cell(r, c)->text();
        return t;
    }

    bool IsOuterOf3x3(int r, int c) const { return r < 3 || r > 5 || c < 3 || c > 5; }

    std::unique_ptr<TUsrFilterForm> form;
    std::vector<PromptRequest> prompts;
};

}  // namespace

TEST_F(UsrFilterFormTest, StartsAsThreeByThreeIdentity)
{
    for (int r = 1; r <= 7; ++r)
        for (int c = 1; c <= 7; ++c)
            EXPECT_EQ(form->Cell(r, c)->isEnabled(), !IsOuterOf3x3(r, c)) << r << c;
    form->OkSpeedButtonClick();
    ASSERT_NE(form->Coefficients, nullptr);
    const std::vector<long double> matrix(form->Coefficients, form->Coefficients + 9);
    EXPECT_EQ(matrix, std::vector<long double>({0, 0, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(form->Scale, 1.0L);
    EXPECT_EQ(form->Offset, 0.0L);
}

TEST_F(UsrFilterFormTest, TypeFillsExamplesAndFirstExampleCells)
{
    Pick(form->Typ, 1);
    EXPECT_EQ(form->Typ->currentText(), "dolnoprzepustowy");
    ASSERT_EQ(form->Rodzaj->count(), 4);
    EXPECT_EQ(form->Rodzaj->currentIndex(), 0);
    EXPECT_TRUE(form->Rodzaj->isEnabled());
    EXPECT_TRUE(form->Napis->isEnabled());
    EXPECT_EQ(form->Rozmiar->currentText(), "3x3");
    EXPECT_EQ(Texts(3, 5), QStringList(9, "1"));
    EXPECT_EQ(form->ScaleEdit->text(), "9");
    EXPECT_EQ(form->OffsetEdit->text(), "0");

    // Another example of the same type; then the first compass example of
    // types 4 and 5 gives different matrices.
    Pick(form->Rodzaj, 3);
    EXPECT_EQ(Texts(3, 5), QStringList({"1", "2", "1", "2", "4", "2", "1", "2", "1"}));
    EXPECT_EQ(form->ScaleEdit->text(), "16");
    Pick(form->Typ, 4);
    EXPECT_EQ(form->Rodzaj->count(), 8);
    EXPECT_EQ(Texts(3, 5), QStringList({"1", "1", "1", "1", "-2", "1", "-1", "-1", "-1"}));
    Pick(form->Typ, 5);
    EXPECT_EQ(Texts(3, 5), QStringList({"1", "1", "1", "0", "1", "0", "-1", "-1", "-1"}));
    EXPECT_EQ(form->ScaleEdit->text(), "1");

    // "dowolny" keeps the cells, divider and offset, and empties the list.
    form->OffsetEdit->setText("12");
    Pick(form->Typ, 0);
    EXPECT_FALSE(form->Rodzaj->isEnabled());
    EXPECT_EQ(form->Rodzaj->count(), 0);
    EXPECT_EQ(Texts(3, 5), QStringList({"1", "1", "1", "0", "1", "0", "-1", "-1", "-1"}));
    EXPECT_EQ(form->OffsetEdit->text(), "12");
}

TEST_F(UsrFilterFormTest, ExampleAtSevenBySevenZeroesAndDisablesTheOuterCells)
{
    Pick(form->Rozmiar, 3);
    EXPECT_EQ(form->MatrixSize, 7);
    for (int r = 1; r <= 7; ++r)
        for (int c = 1; c <= 7; ++c) {
            ASSERT_TRUE(form->Cell(r, c)->isEnabled());
            form->Cell(r, c)->setText("5");
        }
    const QColor base = form->palette().color(QPalette::Base);
    const QColor face = form->palette().color(QPalette::Button);
    EXPECT_EQ(form->w11->palette().color(QPalette::Base), base);

    Pick(form->Typ, 7);
    EXPECT_EQ(form->MatrixSize, 3);
    EXPECT_EQ(form->Rozmiar->currentText(), "3x3");
    int outer = 0;
    for (int r = 1; r <= 7; ++r)
        for (int c = 1; c <= 7; ++c) {
            QLineEdit* cell = form->Cell(r, c);
            if (!IsOuterOf3x3(r, c)) {
                EXPECT_TRUE(cell->isEnabled());
                EXPECT_EQ(cell->palette().color(QPalette::Base), base);
                continue;
            }
            ++outer;
            EXPECT_FALSE(cell->isEnabled()) << r << c;
            EXPECT_EQ(cell->text(), "0") << r << c;
            EXPECT_EQ(cell->palette().color(QPalette::Base), face) << r << c;
        }
    EXPECT_EQ(outer, 40);
    EXPECT_EQ(Texts(3, 5), QStringList({"-1", "-1", "-1", "0", "0", "0", "1", "1", "1"}));
}

TEST_F(UsrFilterFormTest, SizeChangesResetRingsAndOnlyTheType)
{
    Pick(form->Rozmiar, 2);
    form->w22->setText("7");
    form->w66->setText("-3");
    Pick(form->Rozmiar, 1);
    EXPECT_EQ(form->w22->text(), "0");
    Pick(form->Rozmiar, 2);
    EXPECT_TRUE(form->w22->isEnabled());
    EXPECT_EQ(form->w22->text(), "0");
    EXPECT_EQ(form->w66->text(), "0");
    EXPECT_FALSE(form->w11->isEnabled());

    // A size pick sets "dowolny" but leaves the example list alone; its
    // entries then apply nothing.
    Pick(form->Typ, 2);
    Pick(form->Rozmiar, 0);
    EXPECT_EQ(form->MatrixSize, 1);
    EXPECT_EQ(form->Typ->currentIndex(), 0);
    EXPECT_TRUE(form->Rodzaj->isEnabled());
    EXPECT_EQ(form->Rodzaj->count(), 4);
    Pick(form->Rodzaj, 1);
    EXPECT_EQ(form->MatrixSize, 1);
    EXPECT_FALSE(form->w33->isEnabled());
}

TEST_F(UsrFilterFormTest, KeyInACellResetsTheTypeAndKeepsTheValues)
{
    Pick(form->Typ, 6);
    ASSERT_EQ(form->Rodzaj->count(), 3);
    form->w45->setFocus();
    form->w45->end(false);
    QTest::keyClick(form->w45, Qt::Key_7);
    EXPECT_EQ(form->Typ->currentIndex(), 0);
    EXPECT_FALSE(form->Rodzaj->isEnabled());
    EXPECT_EQ(form->Rodzaj->count(), 0);
    EXPECT_EQ(form->w45->text(), "17");
    EXPECT_EQ(form->w44->text(), "-4");
    EXPECT_EQ(form->w33->text(), "0");
    // Editing keys count too.
    Pick(form->Typ, 3);
    QTest::keyClick(form->w44, Qt::Key_Backspace);
    EXPECT_EQ(form->Typ->currentIndex(), 0);
    EXPECT_EQ(form->w44->text(), "");
}

TEST_F(UsrFilterFormTest, ProcessReadsTheMatrixRowMajor)
{
    Pick(form->Rozmiar, 2);
    for (int r = 2; r <= 6; ++r)
        for (int c = 2; c <= 6; ++c)
            form->Cell(r, c)->setText(QString::number(r * 10 + c) + ".25");
    form->ScaleEdit->setText("-0.5");
    form->OffsetEdit->setText("1e2");
    form->AbsoluteCheckBox->setChecked(true);
    form->OkSpeedButtonClick();
    EXPECT_TRUE(prompts.empty());
    EXPECT_EQ(form->result(), QDialog::Accepted);
    ASSERT_NE(form->Coefficients, nullptr);
    EXPECT_EQ(form->MatrixSize, 5);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            EXPECT_EQ(form->Coefficients[i * 5 + j], (i + 2) * 10 + (j + 2) + 0.25L);
    EXPECT_EQ(form->Scale, -0.5L);
    EXPECT_EQ(form->Offset, 100.0L);
    EXPECT_EQ(form->AbsoluteFlag(), 1);

    // The hand-over: the dialog forgets the matrix, the routine releases it.
    long double* matrix = form->TakeCoefficients();
    EXPECT_EQ(form->Coefficients, nullptr);
    kadrimex::TBitmapProcesorThread thread(true);
    kadrimex::TAdvancedBitmap src, dst;
    src.Reset(2, 2, kadrimex::TPixelFormat::pf24bit);
    kadrimex::UserFilter(thread, &dst, &src, matrix, form->MatrixSize, form->Scale, form->Offset,
                         form->AbsoluteFlag());
    EXPECT_EQ(dst.Width(), 2);

    // A second Process without a hand-over releases the first matrix (the
    // leak checker of the sanitizer build watches), and so does the dialog.
    form->OkSpeedButtonClick();
    form->OkSpeedButtonClick();
    EXPECT_NE(form->Coefficients, nullptr);
}

TEST_F(UsrFilterFormTest, BadValuesShowTheMessageAndKeepTheDialogOpen)
{
    const QString text = QString::fromUtf8(
        "Program nie zdołał utworzyć tablicy współczynników. Przynajmiej jeden ze współczynników nie jest "
        "poprawną liczbą zmiennoprzecinkową.");
    const QString caption = QString::fromUtf8("Coś Ci nie wyszły te współczynniki");
    // One change after another; a zero divider is a value, a comma locale
    // refuses the point and reads the comma.
    const struct {
        QLineEdit* edit;
        const char* text;
        bool comma, accepted;
        long double scale;
    } steps[] = {
        {form->w53, "1x", false, false, 0},          {form->w53, " -2 ", false, true, 1},
        {form->ScaleEdit, "", false, false, 0},      {form->ScaleEdit, "0", false, true, 0},
        {form->OffsetEdit, "inf", false, false, 0},  {form->OffsetEdit, "0", false, true, 0},
        {form->ScaleEdit, "1.5", true, false, 0},    {form->ScaleEdit, "1,5", true, true, 1.5L},
    };
    for (const auto& c : steps) {
        SCOPED_TRACE(c.text);
        if (c.comma)
            QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        c.edit->setText(QString::fromUtf8(c.text));
        prompts.clear();
        form->show();
        form->setResult(0);
        form->OkSpeedButtonClick();
        if (c.accepted) {
            EXPECT_TRUE(prompts.empty());
            EXPECT_EQ(form->result(), QDialog::Accepted);
            EXPECT_EQ(form->Scale, c.scale);
            ASSERT_NE(form->Coefficients, nullptr);
            EXPECT_EQ(form->Coefficients[6], -2.0L);  // w53: bottom row, first column of the 3 x 3 square
            continue;
        }
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].text, text);
        EXPECT_EQ(prompts[0].caption, caption);
        EXPECT_EQ(prompts[0].icon, PromptIcon::Warning);
        EXPECT_TRUE(form->isVisible());
        EXPECT_NE(form->result(), QDialog::Accepted);
        EXPECT_EQ(form->Coefficients, nullptr);
    }
}

TEST_F(UsrFilterFormTest, EnterProcessesEscapeCancelsAndThePictureCredits)
{
    form->w34->setText("2");
    QTest::keyClick(form->w34, Qt::Key_Return);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    ASSERT_NE(form->Coefficients, nullptr);
    EXPECT_EQ(form->Coefficients[1], 2.0L);

    form->show();
    form->setResult(0);
    QTest::keyClick(form->ScaleEdit, Qt::Key_Escape);
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_FALSE(form->isVisible());

    // Enter with a bad cell: the message, the dialog stays.
    form->show();
    form->setResult(0);
    form->w55->setText("?");
    QTest::keyClick(form->Rozmiar, Qt::Key_Enter);
    EXPECT_EQ(prompts.size(), 1u);
    EXPECT_TRUE(form->isVisible());

    prompts.clear();
    QTest::mouseDClick(form->TulvorImage, Qt::LeftButton);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].icon, PromptIcon::Information);
    EXPECT_FALSE(prompts[0].text.isEmpty());
}
