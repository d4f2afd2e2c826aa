// The levels dialog through its controls: the credit box, the enabling
// rule, the bounds' parsing and checks with their messages.
#include "tonal/ui/LevelsForm.h"

#include "tests/support/QtTestSupport.h"

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace ui = kadrimex::ui;

namespace {

class LevelsFormTest : public ::testing::Test {
protected:
    void SetUp() override { kadrimex::test::CapturePrompts(Prompts); }
    void TearDown() override { kadrimex::test::ReleasePrompts(); }

    std::vector<ui::PromptRequest> Prompts;
    TLevelsForm Form;
};

TEST_F(LevelsFormTest, RangeEditsFollowTheFunctionAndTakeThreeCharacters)
{
    Form.show();
    EXPECT_EQ(Form.TulvorImage->size(), QSize(34, 34));
    QTest::mouseDClick(Form.TulvorImage, Qt::LeftButton);
    ASSERT_EQ(Prompts.size(), 1u) << "a double click on the picture shows the credits";
    EXPECT_EQ(Prompts[0].icon, ui::PromptIcon::Information);
    EXPECT_FALSE(Prompts[0].text.isEmpty());

    EXPECT_FALSE(Form.RangeFromEdit->isEnabled());
    EXPECT_FALSE(Form.RangeToEdit->isEnabled());
    Form.FunctionButtons->button(1)->click();
    EXPECT_TRUE(Form.RangeFromEdit->isEnabled());
    EXPECT_TRUE(Form.RangeToEdit->isEnabled());
    Form.RangeFromEdit->clear();
    QTest::keyClicks(Form.RangeFromEdit, QStringLiteral("1234"));
    EXPECT_EQ(Form.RangeFromEdit->text(), QStringLiteral("123"));
    // A new show with equalisation chosen disables them again.
    Form.hide();
    Form.FunctionButtons->button(0)->setChecked(true);
    Form.show();
    EXPECT_FALSE(Form.RangeFromEdit->isEnabled());
}

TEST_F(LevelsFormTest, OkChecksTheBoundsInOrder)
{
    const QString low = QStringLiteral("Może byś tak podał rozsądny próg dolny? Musi być <256 i nie za ujemny...");
    const QString high = QStringLiteral("Może byś tak podał rozsądny próg górny? Musi być >1 i nie za olbrzymi (<32767).");
    const QString order = QStringLiteral("No i co to ma być? Ty pomyśl trochę i wstukaj próg dolny MNIEJSZY od górnego!");
    const struct {
        int function;
        const char* from;
        const char* to;
        QString message;  // empty: accepted
        int parsedFrom, parsedTo;
    } cases[] = {
        {1, "abc", "200", low, 1024, 200},  {1, "55", "abc", high, 55, 1024}, {1, "200", "55", order, 200, 55},
        {1, "5", "0", high, 5, 0},          {1, "-99", "255", {}, -99, 255}, {1, "7", "7", order, 7, 7},
        {0, "abc", "x", {}, 1024, 1024},
    };
    for (const auto& c : cases) {
        Prompts.clear();
        Form.FunctionButtons->button(c.function)->setChecked(true);
        Form.open();
        Form.RangeFromEdit->setText(QString::fromUtf8(c.from));
        Form.RangeToEdit->setText(QString::fromUtf8(c.to));
        QTest::mouseClick(Form.OkSpeedButton, Qt::LeftButton);
        const QString where = QStringLiteral("%1 %2 %3").arg(c.function).arg(c.from, c.to);
        EXPECT_EQ(Form.FRangeFrom, c.parsedFrom) << where.toStdString();
        EXPECT_EQ(Form.FRangeTo, c.parsedTo) << where.toStdString();
        if (c.message.isEmpty()) {
            EXPECT_FALSE(Form.isVisible()) << where.toStdString();
            EXPECT_EQ(Form.result(), QDialog::Accepted) << where.toStdString();
            EXPECT_TRUE(Prompts.empty()) << where.toStdString();
            continue;
        }
        EXPECT_TRUE(Form.isVisible()) << where.toStdString();
        ASSERT_EQ(Prompts.size(), 1u) << where.toStdString();
        EXPECT_EQ(Prompts[0].text, c.message);
        EXPECT_EQ(Prompts[0].caption, QStringLiteral("Noł łej ju du dys"));
        EXPECT_EQ(Prompts[0].icon, ui::PromptIcon::Warning);
        EXPECT_EQ(Prompts[0].buttons, ui::PromptButtons::Ok);
        // The values typed stay for the next try.
        EXPECT_EQ(Form.RangeFromEdit->text(), QString::fromUtf8(c.from));
        QTest::mouseClick(Form.CancelSpeedButton, Qt::LeftButton);
        EXPECT_EQ(Form.result(), QDialog::Rejected);
    }
}

}  // namespace
