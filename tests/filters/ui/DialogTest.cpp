// The five filter and generator parameter dialogs, driven through their
// controls and keys: coupling of track bars and edits, the OK and Cancel
// paths, key rules, size validation, the conversion error and the
// comma-separator locale.
#include "filters/ui/AbstractGeneratorForm.h"
#include "filters/ui/FilterGenRotForm.h"
#include "filters/ui/FilterGeneratorForm.h"
#include "filters/ui/FilterLevelForm.h"
#include "filters/ui/SharpenForm.h"
#include "tests/support/QtTestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace kadrimex::ui;

namespace {

QString ConversionError(const QString& text)
{
    return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}

// Every test runs in a point-separator locale with the prompts captured;
// both are restored afterwards.
class DialogTest : public kadrimex::test::PromptCaptureTest {};

using kadrimex::test::kStaysOpen;
using kadrimex::test::RunDialog;

template <class Form>
int PressOk(Form& form)
{
    return RunDialog(form, [&form] { form.OkSpeedButton->click(); });
}

int PressKey(QDialog& form, QWidget* widget, Qt::Key key)
{
    return RunDialog(form, [=] { QTest::keyClick(widget, key); });
}

}  // namespace

TEST_F(DialogTest, TrackBarAndEditCoupleInTenths)
{
    TFilterLevelForm level;
    TFilterGeneratorForm generator;
    TSharpenForm sharpen;
    TFilterGenRotForm rotation;
    // A track bar writes its position in tenths with one decimal.
    const struct {
        QSlider* bar;
        QLineEdit* edit;
        int position;
        const char* text;
    } moves[] = {{level.LevelTrackBar, level.LevelEdit, 1000, "100.0"},   {level.LevelTrackBar, level.LevelEdit, 0, "0.0"},
                 {level.LevelTrackBar, level.LevelEdit, 37, "3.7"},       {generator.LevelTrackBar, generator.LevelEdit, -15, "-1.5"},
                 {generator.LevelTrackBar, generator.LevelEdit, -5, "-0.5"}, {generator.LevelTrackBar, generator.LevelEdit, -1, "-0.1"},
                 {generator.LevelTrackBar, generator.LevelEdit, -9, "-0.9"}, {generator.LevelTrackBar, generator.LevelEdit, -10, "-1.0"},
                 {generator.LevelTrackBar, generator.LevelEdit, 9, "0.9"}, {generator.LevelTrackBar, generator.LevelEdit, 10000, "1000.0"},
                 {generator.LevelTrackBar, generator.LevelEdit, -10000, "-1000.0"},
                 {generator.LevelTrackBar, generator.LevelEdit, -9999, "-999.9"},
                 {sharpen.SizeTrackBar, sharpen.SizeEdit, 1, "0.1"},      {sharpen.LevelTrackBar, sharpen.LevelEdit, 100, "10.0"},
                 {rotation.LevelTrackBar, rotation.LevelEdit, -25, "-2.5"}};
    for (const auto& c : moves) {
        c.bar->setValue(c.position);
        EXPECT_EQ(c.edit->text(), c.text) << c.position;
    }
    EXPECT_EQ(sharpen.SizeEdit->text(), "0.1") << "the other pair stays";

    // An edit moves its track bar to floor(10 x value), stopping at the
    // ends, and keeps its text.
    const struct {
        QLineEdit* edit;
        QSlider* bar;
        const char* text;
        int position;
    } edits[] = {{level.LevelEdit, level.LevelTrackBar, "2.55", 25},     {level.LevelEdit, level.LevelTrackBar, "0", 0},
                 {level.LevelEdit, level.LevelTrackBar, "5000", 1000},   {level.LevelEdit, level.LevelTrackBar, "1e30", 1000},
                 {level.LevelEdit, level.LevelTrackBar, "-1e30", 0},     {generator.LevelEdit, generator.LevelTrackBar, "-0.05", -1},
                 {generator.LevelEdit, generator.LevelTrackBar, "-1.55", -16},
                 {generator.LevelEdit, generator.LevelTrackBar, "  7.25 ", 72},
                 {sharpen.SizeEdit, sharpen.SizeTrackBar, "3.33", 33},   {sharpen.LevelEdit, sharpen.LevelTrackBar, "4.2", 42}};
    for (const auto& c : edits) {
        c.edit->setText(c.text);
        EXPECT_EQ(c.bar->value(), c.position) << c.text;
        EXPECT_EQ(c.edit->text(), c.text);
    }
    EXPECT_EQ(sharpen.SizeEdit->text(), "3.33");

    // Typed key by key: every intermediate text is a real, so no error.
    level.LevelEdit->selectAll();
    QTest::keyClicks(level.LevelEdit, "12.34");
    EXPECT_EQ(level.LevelEdit->text(), "12.34");
    EXPECT_EQ(level.LevelTrackBar->value(), 123);

    EXPECT_TRUE(Prompts.empty());
}

TEST_F(DialogTest, EveryChangeToANonRealShowsTheErrorAndKeepsThePosition)
{
    TFilterLevelForm level;
    level.LevelTrackBar->setValue(30);
    std::vector<QString> expected;
    for (const char* text : {"", "-", "abc", "1,5"}) {
        level.LevelEdit->setText(text);
        expected.push_back(ConversionError(text));
    }
    EXPECT_EQ(level.LevelTrackBar->value(), 30);
    EXPECT_EQ(Prompts, expected);

    // The track bar's handler is back after the failure.
    level.LevelTrackBar->setValue(44);
    EXPECT_EQ(level.LevelEdit->text(), "4.4");

    TSharpenForm sharpen;
    sharpen.SizeEdit->setText("x");
    EXPECT_EQ(sharpen.SizeTrackBar->value(), 10);
    EXPECT_EQ(Prompts.back(), ConversionError("x"));
    EXPECT_EQ(Prompts.size(), 5u);
}

TEST_F(DialogTest, OkHandsOverTheEditTextAndCancelLeavesTheFields)
{
    TFilterLevelForm level;
    // First use: the track bar sits at 0.1, the value handed over is 1.0.
    EXPECT_EQ(PressOk(level), QDialog::Accepted);
    EXPECT_EQ(level.Level, 1.0L);
    level.LevelEdit->setText("2.55");
    EXPECT_EQ(PressOk(level), QDialog::Accepted);
    EXPECT_EQ(level.Level, 2.55L);  // the 80-bit reading, not a double's
    level.LevelEdit->setText("0");
    EXPECT_EQ(PressOk(level), QDialog::Accepted);
    EXPECT_EQ(level.Level, 0.0L);
    level.LevelEdit->setText("7");
    EXPECT_EQ(RunDialog(level, [&level] { level.CancelSpeedButton->click(); }), QDialog::Rejected);
    EXPECT_EQ(level.Level, 0.0L);
    // Reused later, the dialog shows what it showed before.
    EXPECT_EQ(level.LevelEdit->text(), "7");

    TSharpenForm sharpen;
    sharpen.LevelEdit->setText("12.5");
    sharpen.SizeTrackBar->setValue(3);
    EXPECT_EQ(PressOk(sharpen), QDialog::Accepted);
    EXPECT_EQ(sharpen.Level, 12.5L);
    EXPECT_EQ(sharpen.Size, 0.3L);

    TFilterGenRotForm rotation;
    rotation.LevelTrackBar->setValue(-15);
    rotation.AngleEdit->setText("0.25");
    rotation.WidthBox->setEditText("100");
    rotation.HeightBox->setCurrentIndex(rotation.HeightBox->findText("388"));
    EXPECT_EQ(PressOk(rotation), QDialog::Accepted);
    EXPECT_EQ(rotation.Level, -1.5L);
    EXPECT_EQ(rotation.Angle, 0.25L);
    EXPECT_EQ(rotation.MaskWidth, 100);
    EXPECT_EQ(rotation.MaskHeight, 388);

    TAbstractGeneratorForm shapes;
    shapes.NumberTrackBar->setValue(4);
    EXPECT_EQ(PressOk(shapes), QDialog::Accepted);
    EXPECT_EQ(shapes.Level, 1.1L);
    EXPECT_EQ(shapes.MaskWidth, 640);
    EXPECT_EQ(shapes.MaskHeight, 480);
    EXPECT_EQ(shapes.NumberTrackBar->value(), 4);

    EXPECT_TRUE(Prompts.empty());
}

TEST_F(DialogTest, ConversionErrorOnOkKeepsTheDialogOpen)
{
    TFilterLevelForm level;
    level.LevelEdit->setText("abc");
    EXPECT_EQ(PressOk(level), kStaysOpen);
    EXPECT_EQ(level.Level, 1.0L);
    EXPECT_EQ(Prompts, std::vector<QString>(2, ConversionError("abc")));  // the change, then OK

    // Fields converted before the failing edit keep their new values; the
    // shapes dialog has no coupling, only OK converts.
    TSharpenForm sharpen;
    TFilterGenRotForm rotation;
    TAbstractGeneratorForm shapes;
    const struct {
        std::function<int()> pressOk;
        std::vector<std::pair<QLineEdit*, const char*>> edits;
        const char* refused;
        long double* converted;
        long double value;
    } cases[] = {{[&] { return PressOk(sharpen); }, {{sharpen.LevelEdit, "3.5"}, {sharpen.SizeEdit, "x"}}, "x", &sharpen.Level, 3.5L},
                 {[&] { return PressOk(rotation); }, {{rotation.LevelEdit, "2"}, {rotation.AngleEdit, "half"}}, "half", &rotation.Level, 2.0L},
                 {[&] { return PressOk(shapes); }, {{shapes.LevelEdit, ""}}, "", nullptr, 0}};
    for (const auto& c : cases) {
        for (const auto& [edit, text] : c.edits)
            edit->setText(text);
        Prompts.clear();
        EXPECT_EQ(c.pressOk(), kStaysOpen);
        EXPECT_EQ(Prompts, std::vector<QString>({ConversionError(c.refused)}));
        if (c.converted) {
            EXPECT_EQ(*c.converted, c.value);
        }
    }
    EXPECT_EQ(sharpen.Size, 1.0L);
    EXPECT_EQ(rotation.Angle, 0.0L);
}

TEST_F(DialogTest, EnterIsOkAndEscapeIsCancelInLevelDialogs)
{
    TFilterLevelForm level;
    level.LevelEdit->setText("3");
    EXPECT_EQ(PressKey(level, level.LevelEdit, Qt::Key_Return), QDialog::Accepted);
    EXPECT_EQ(level.Level, 3.0L);
    EXPECT_EQ(PressKey(level, level.LevelTrackBar, Qt::Key_Enter), QDialog::Accepted);
    level.LevelEdit->setText("9");
    EXPECT_EQ(PressKey(level, level.LevelTrackBar, Qt::Key_Escape), QDialog::Rejected);
    EXPECT_EQ(level.Level, 3.0L);
    EXPECT_EQ(PressKey(level, level.LevelEdit, Qt::Key_Escape), QDialog::Rejected);
    // Enter with a bad text runs OK, which reports and stays open.
    level.LevelEdit->setText("q");
    EXPECT_EQ(PressKey(level, level.LevelEdit, Qt::Key_Return), kStaysOpen);
    EXPECT_EQ(Prompts.back(), ConversionError("q"));

    TSharpenForm sharpen;
    for (QWidget* widget : {static_cast<QWidget*>(sharpen.SizeTrackBar), static_cast<QWidget*>(sharpen.SizeEdit),
                            static_cast<QWidget*>(sharpen.LevelTrackBar), static_cast<QWidget*>(sharpen.LevelEdit)}) {
        EXPECT_EQ(PressKey(sharpen, widget, Qt::Key_Return), QDialog::Accepted) << widget->objectName().toStdString();
        EXPECT_EQ(PressKey(sharpen, widget, Qt::Key_Escape), QDialog::Rejected) << widget->objectName().toStdString();
    }

    // A modal run ends with Enter too.
    TFilterLevelForm modal;
    QTimer::singleShot(0, &modal, [&modal] {
        modal.LevelTrackBar->setValue(1000);
        QTest::keyClick(modal.LevelTrackBar, Qt::Key_Return);
    });
    QTimer::singleShot(5000, &modal, [&modal] { modal.done(99); });
    EXPECT_EQ(modal.exec(), QDialog::Accepted);
    EXPECT_EQ(modal.LevelEdit->text(), "100.0");
    EXPECT_EQ(modal.Level, 100.0L);
}

// Escape anywhere leaves a generator dialog open; Enter in a size box or an
// edit runs OK; Enter elsewhere does nothing.
TEST_F(DialogTest, GeneratorDialogsTakeEnterOnlyAndIgnoreEscape)
{
    auto check = [](auto& form, QSlider* trackBar, const std::vector<QWidget*>& enterWidgets) {
        const int escapes = RunDialog(form, [&form, trackBar] {
            for (QWidget* widget : {static_cast<QWidget*>(&form), static_cast<QWidget*>(form.WidthBox),
                                    static_cast<QWidget*>(form.WidthBox->lineEdit()),
                                    static_cast<QWidget*>(form.LevelEdit), static_cast<QWidget*>(trackBar)})
                QTest::keyClick(widget, Qt::Key_Escape);
            QTest::keyClick(trackBar, Qt::Key_Return);
        });
        EXPECT_EQ(escapes, kStaysOpen);
        for (QWidget* widget : enterWidgets)
            EXPECT_EQ(PressKey(form, widget, Qt::Key_Return), QDialog::Accepted) << widget->objectName().toStdString();

        // A typed width is read as typed and not added to the list.
        const int typed = RunDialog(form, [&form] {
            form.WidthBox->lineEdit()->selectAll();
            QTest::keyClicks(form.WidthBox->lineEdit(), "8");
            QTest::keyClick(form.WidthBox->lineEdit(), Qt::Key_Return);
        });
        EXPECT_EQ(typed, QDialog::Accepted);
        EXPECT_EQ(form.MaskWidth, 8);
        EXPECT_EQ(form.WidthBox->findText("8"), -1);
        EXPECT_EQ(form.WidthBox->count(), 19);
    };
    TFilterGeneratorForm generator;
    check(generator, generator.LevelTrackBar,
          {generator.WidthBox, generator.WidthBox->lineEdit(), generator.HeightBox->lineEdit(), generator.LevelEdit});
    TFilterGenRotForm rotation;
    check(rotation, rotation.LevelTrackBar,
          {rotation.WidthBox->lineEdit(), rotation.HeightBox->lineEdit(), rotation.LevelEdit, rotation.AngleEdit});
    TAbstractGeneratorForm shapes;
    check(shapes, shapes.NumberTrackBar, {shapes.WidthBox->lineEdit(), shapes.HeightBox, shapes.LevelEdit});

    // Escape does not close a modal run either; the close path still does.
    TFilterGeneratorForm modal;
    QTimer::singleShot(0, &modal, [&modal] {
        QTest::keyClick(modal.LevelEdit, Qt::Key_Escape);
        EXPECT_TRUE(modal.isVisible());
        modal.CancelSpeedButton->click();
    });
    QTimer::singleShot(5000, &modal, [&modal] { modal.done(99); });
    EXPECT_EQ(modal.exec(), QDialog::Rejected);

    EXPECT_TRUE(Prompts.empty());
}

TEST_F(DialogTest, LevelDialogsOpenMidScreenGeneratorsMidWindow)
{
    QWidget window;
    window.setGeometry(20, 30, 500, 400);
    window.show();
    const QPoint screenCentre = window.screen()->availableGeometry().center();
    ASSERT_GT((screenCentre - window.geometry().center()).manhattanLength(), 100);
    TFilterLevelForm level(&window);
    TSharpenForm sharpen(&window);
    TFilterGeneratorForm generator(&window);
    for (QDialog* dialog : std::initializer_list<QDialog*>{&level, &sharpen, &generator}) {
        dialog->open();
        const QPoint centre = dialog == &generator ? window.frameGeometry().center() : screenCentre;
        EXPECT_LE((dialog->frameGeometry().center() - centre).manhattanLength(), 4) << dialog->windowTitle().toStdString();
        dialog->reject();
    }
}

TEST_F(DialogTest, GeneratorSizesMustLieInOneTo32760)
{
    const struct {
        const char* width;
        const char* height;
        bool accepted;
    } cases[] = {
        {"32760", "480", true},  {"640", "32760", true},  {"1", "1", true},     {"32760", "32760", true},
        {"32761", "480", false}, {"640", "32761", false}, {"0", "480", false},  {"640", "0", false},
        {"abc", "480", false},   {"640", "abc", false},   {"", "480", false},   {"-5", "480", false},
        {"12.5", "480", false},  {"99999999999", "480", false},
    };
    auto check = [&cases](auto& form) {
        long double level = 2.0L;
        for (const auto& c : cases) {
            SCOPED_TRACE(QStringLiteral("%1 x %2 in %3").arg(c.width, c.height, form.windowTitle()).toStdString());
            form.WidthBox->setEditText(QString::fromLatin1(c.width));
            form.HeightBox->setEditText(QString::fromLatin1(c.height));
            // The level is converted before the sizes are checked.
            level += 1.0L;
            form.LevelEdit->setText(QString::number(static_cast<double>(level)));
            EXPECT_EQ(PressOk(form), c.accepted ? QDialog::Accepted : kStaysOpen);
            EXPECT_EQ(form.Level, level);
            if (c.accepted) {
                EXPECT_EQ(form.MaskWidth, QString::fromLatin1(c.width).toInt());
                EXPECT_EQ(form.MaskHeight, QString::fromLatin1(c.height).toInt());
            }
        }
    };
    TFilterGeneratorForm generator;
    check(generator);
    TFilterGenRotForm rotation;
    check(rotation);
    TAbstractGeneratorForm shapes;
    check(shapes);
    // Refused sizes go silently.
    EXPECT_TRUE(Prompts.empty());
}

// What each dialog writes, in a point and in a comma locale, it reads back;
// the angle buttons write fifteen significant digits.
TEST_F(DialogTest, CommaLocaleTextsReadBackWhatTheDialogWrites)
{
    for (const QLocale& locale :
         {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::Polish, QLocale::Poland)}) {
        QLocale::setDefault(locale);
        const QString point = locale.decimalPoint();
        auto text = [&](const char* written) { return QString::fromLatin1(written).replace(u'.', point); };
        SCOPED_TRACE(point.toStdString());

        TFilterLevelForm level;
        EXPECT_EQ(level.LevelEdit->text(), text("1.0"));
        EXPECT_EQ(PressOk(level), QDialog::Accepted);
        EXPECT_EQ(level.Level, 1.0L);
        level.LevelEdit->setText(text("2.55"));
        EXPECT_EQ(level.LevelTrackBar->value(), 25);
        EXPECT_EQ(PressKey(level, level.LevelEdit, Qt::Key_Return), QDialog::Accepted);
        EXPECT_EQ(level.Level, 2.55L);

        TSharpenForm sharpen;
        EXPECT_EQ(sharpen.SizeEdit->text(), text("1.0"));
        sharpen.SizeTrackBar->setValue(25);
        EXPECT_EQ(sharpen.SizeEdit->text(), text("2.5"));
        EXPECT_EQ(PressOk(sharpen), QDialog::Accepted);
        EXPECT_EQ(sharpen.Level, 1.0L);
        EXPECT_EQ(sharpen.Size, 2.5L);

        TFilterGenRotForm rotation;
        EXPECT_EQ(rotation.AngleEdit->text(), text("0.000"));
        const std::pair<QPushButton*, const char*> buttons[] = {{rotation.AnglePi2Button, "1.5707963267949"},
                                                                {rotation.AnglePi4Button, "0.785398163397448"},
                                                                {rotation.AngleZeroButton, "0.000"},
                                                                {rotation.SpeedButton2, "3.14159265358979"}};
        for (const auto& [button, written] : buttons) {
            button->click();
            EXPECT_EQ(rotation.AngleEdit->text(), text(written));
        }
        EXPECT_EQ(PressOk(rotation), QDialog::Accepted);
        EXPECT_EQ(rotation.Angle, 3.14159265358979L);
        EXPECT_EQ(rotation.Level, 1.0L);

        TAbstractGeneratorForm shapes;
        EXPECT_EQ(shapes.LevelEdit->text(), text("1.1"));
        EXPECT_EQ(PressOk(shapes), QDialog::Accepted);
        EXPECT_EQ(shapes.Level, 1.1L);
    }
    EXPECT_TRUE(Prompts.empty());

    // Texts and readings follow one locale: a point is not this locale's
    // separator.
    TFilterLevelForm level;
    level.LevelEdit->setText("2.5");
    EXPECT_EQ(Prompts, std::vector<QString>({ConversionError("2.5")}));
}
