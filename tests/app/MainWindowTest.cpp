// The main window driven end to end, offscreen: commands through their
// dialogs and questions (answered by a prompt handler and a dialog runner),
// the worker's completion, cancellation from the status bar and the file
// commands. Closing while an operation runs is CloseStressTest's.
#include "tests/support/MainWindowFixture.h"
#include "tests/engine/CodecTestUtil.h"
#include "filters/ui/AbstractGeneratorForm.h"
#include "app/ResizerForm.h"
#include "app/NewImgForm.h"
#include "app/ProgressGauge.h"
#include "rawimport/ui/OpenRawForm.h"
#include "engine/Codecs.h"
#include "filters/Filters.h"
#include "filters/ui/FilterLevelForm.h"
#include "filters/ui/SharpenForm.h"
#include "transforms/FlipRotate.h"
#include "transforms/Fourier.h"
#include "transforms/ui/ColorDepthForm.h"
#include "transforms/ui/FlipRotateForm.h"
#include "userfilter/UserFilter.h"
#include "userfilter/ui/UsrFilterForm.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QComboBox>
#include <QAbstractItemView>
#include <QCompleter>
#include <QSlider>
#include <QLocale>
#include <QMimeData>
#include <QSignalSpy>
#include <QToolButton>
#include <QUrl>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

using kadrimex::TAdvancedBitmap;
using kadrimex::TBitmap;
using kadrimex::TPicture;
using kadrimex::TPixelFormat;
namespace ui = kadrimex::ui;

namespace {

using kadrimex::testing::RandomBitmap;
using kadrimex::testing::SamePicture;

// Runs the operation of `record` on the calling thread, the way the batch
// tool does: the reference for what the window must display.
template <class Params>
TBitmap RunDirectly(const TBitmap& input, Params record)
{
    kadrimex::TBitmapProcesorThread thread(true);
    auto workingCopy = std::make_unique<TAdvancedBitmap>();
    static_cast<TBitmap&>(*workingCopy) = input;
    auto bitmaps =
        kadrimex::AttachBitmaps(thread, kadrimex::TDestinationPolicy::NewEmpty24, std::move(workingCopy));
    FillThread(thread, std::move(record));
    thread.Execute();
    EXPECT_EQ(thread.FErrorMessage, "");
    return *bitmaps.destination;
}

// A test file of the shared folder, or "" when the build has none.
std::string SharedFile(const char* name)
{
    const std::string dir = kadrimex::testing::SharedDir();
    return dir.empty() ? dir : dir + "/testdata/" + name;
}

// Presses `button` of `dialog` and returns the result it sets.
int Press(QDialog& dialog, QAbstractButton* button)
{
    dialog.setResult(0);
    button->click();
    return dialog.result();
}

// Accepts the filter level dialog with `level` typed into its edit.
std::function<int(QDialog&)> LevelDialog(const char* level)
{
    return [level](QDialog& dialog) {
        auto& form = dynamic_cast<TFilterLevelForm&>(dialog);
        form.LevelEdit->setText(QString::fromLatin1(level));
        return Press(form, form.OkSpeedButton);
    };
}

class MainWindow : public kadrimex::test::MainWindowFixture {
protected:
    void AcceptLevel(const char* level) { OnDialog = LevelDialog(level); }

    // The six bars whose commands launch an operation: each enabled, or each not.
    ::testing::AssertionResult LaunchBarsEnabled(bool enabled = true) const
    {
        for (QToolBar* bar : {Form->TransformToolBar, Form->ResizeToolBar, Form->FileToolBar, Form->GenerateToolBar,
                              Form->FilterToolBar, Form->HistogramToolBar})
            if (bar->isEnabled() != enabled)
                return ::testing::AssertionFailure() << bar->objectName().toStdString();
        return ::testing::AssertionSuccess();
    }

    // Gauss level 100 on a 1600x1200 picture with no zero byte: still
    // running when the test acts, and the rows it has not reached stay zero.
    void LaunchSlowBlur()
    {
        TBitmap bitmap = RandomBitmap(1600, 1200, TPixelFormat::pf24bit, 10);
        for (int y = 0; y < bitmap.Height(); ++y)
            for (int x = 0; x < 3 * bitmap.Width(); ++x)
                bitmap.ScanLine(y)[x] |= 1;
        Show(std::move(bitmap));
        AcceptLevel("100");
        Form->show();
        Form->GaussBlurSpeedButton->click();
        ASSERT_NE(Form->FProcessor, nullptr);
    }

    // The shared multi-size icon as the picture; false when the build has none.
    bool ShowIcon()
    {
        const std::string path = SharedFile("astronaut-multi.ico");
        if (path.empty() || !QFile::exists(QString::fromStdString(path)))
            return false;
        Form->Document->Replace(TPicture::LoadFromFile(path));
        return true;
    }
};

const QString kConversionCaption = QStringLiteral("Automatic bit format conversion");
const QString kConversionText = QStringLiteral(
    "This operation is implemented only for 24-bit bitmaps. The format of your image is different.\n\nDo you want to "
    "make a conversion?");

TEST_F(MainWindow, OpensIdleWithToolbarsInBandOrderAndTheirMenuItems)
{
    EXPECT_FALSE(Form->ProgressTimer->isActive());
    EXPECT_EQ(Form->FProcessor, nullptr);

    // Two rows: File ... Help left to right on the first, Transform and
    // Histogram on the second.
    Form->show();
    QCoreApplication::processEvents();
    const std::vector<QToolBar*> first = {Form->FileToolBar,     Form->ZoomToolBar,   Form->ResizeToolBar,
                                          Form->GenerateToolBar, Form->FilterToolBar, Form->HelpToolBar};
    for (std::size_t i = 1; i < first.size(); ++i) {
        EXPECT_EQ(first[i]->y(), first[0]->y()) << first[i]->objectName().toStdString();
        EXPECT_GT(first[i]->x(), first[i - 1]->x()) << first[i]->objectName().toStdString();
    }
    EXPECT_GT(Form->TransformToolBar->y(), Form->FileToolBar->y());
    EXPECT_EQ(Form->HistogramToolBar->y(), Form->TransformToolBar->y());
    EXPECT_GT(Form->HistogramToolBar->x(), Form->TransformToolBar->x());

    // The Toolbars menu items follow their bars both ways.
    for (QAction* action : Form->ToolbarsMenu->actions())
        EXPECT_TRUE(action->isChecked()) << action->text().toStdString();
    QAction* filters = Form->ToolbarsMenu->actions().at(4);
    ASSERT_EQ(filters->text(), QStringLiteral("Filters"));
    filters->trigger();
    EXPECT_TRUE(Form->FilterToolBar->isHidden());
    EXPECT_FALSE(filters->isChecked());
    Form->FilterToolBar->show();
    EXPECT_TRUE(filters->isChecked());
}

TEST_F(MainWindow, CancelledDialogRefusedConversionAndEmptyPictureChangeNothing)
{
    const TBitmap original = RandomBitmap(40, 30, TPixelFormat::pf24bit, 1);
    Show(original);
    const QString status = Form->MainStatusBar->PanelText();

    OnDialog = [](QDialog&) { return int(QDialog::Rejected); };
    Form->GaussBlurSpeedButton->click();
    EXPECT_EQ(DialogsRun, 1);
    EXPECT_TRUE(Prompts.empty()) << "a 24-bit picture is not questioned";

    // An 8-bit picture: the question comes first; No ends the command
    // before its dialog.
    const TBitmap palette = RandomBitmap(40, 30, TPixelFormat::pf8bit, 2);
    Show(palette);
    OnPrompt = [](const ui::PromptRequest&) { return ui::PromptAnswer::No; };
    AcceptLevel("3");
    Form->TriangBlurSpeedButton->click();
    ASSERT_EQ(Prompts.size(), 1u);
    EXPECT_EQ(Prompts[0].caption, kConversionCaption);
    EXPECT_EQ(Prompts[0].text, kConversionText);
    EXPECT_EQ(Prompts[0].buttons, ui::PromptButtons::YesNo);
    EXPECT_EQ(DialogsRun, 1);

    // A picture without pixels: no question, no dialog.
    Form->Document->Replace(TPicture());
    Form->SharpenSpeedButton->click();
    EXPECT_EQ(Prompts.size(), 1u);
    EXPECT_EQ(DialogsRun, 1);

    Show(palette);
    EXPECT_EQ(Form->FProcessor, nullptr);
    EXPECT_TRUE(SamePicture(Shown(), palette));
    EXPECT_EQ(Form->MainStatusBar->PanelText(), status);
    EXPECT_TRUE(LaunchBarsEnabled());
    EXPECT_FALSE(Form->ProgressTimer->isActive());
}

TEST_F(MainWindow, JpegComesBackAsABitmapAndAnIconIsRefused)
{
    TPicture jpeg;
    jpeg.Assign(kadrimex::TJPEGImage::Compress(RandomBitmap(16, 16, TPixelFormat::pf24bit, 9), 80, false));
    Form->Document->Replace(std::move(jpeg));
    AcceptLevel("2");
    Form->GaussBlurSpeedButton->click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Form->WorkImage->Picture().IsBitmap());
    EXPECT_EQ(DialogsRun, 1);

    if (!ShowIcon())
        GTEST_SKIP() << "KADRIMEX_SHARED_DIR has no test icon";
    Form->GaussBlurSpeedButton->click();
    ASSERT_EQ(Prompts.size(), 1u);
    EXPECT_EQ(Prompts[0].text, QStringLiteral("Cannot assign a TIcon to a TAdvancedBitmap"));
    EXPECT_EQ(DialogsRun, 1);
    EXPECT_EQ(Form->FProcessor, nullptr);
    EXPECT_TRUE(Form->WorkImage->Picture().IsIcon());
}

TEST_F(MainWindow, GaussRunLocksTheLaunchingToolbarsUntilItsResultIsShown)
{
    const TBitmap original = RandomBitmap(37, 23, TPixelFormat::pf24bit, 3);
    Show(original);
    AcceptLevel("3");
    QSignalSpy changes(Form->Document, &TPictureDocument::Changed);
    Form->GaussBlurSpeedButton->click();
    ASSERT_NE(Form->FProcessor, nullptr);
    EXPECT_EQ(changes.count(), 0) << "the picture belongs to the worker until completion";
    // Running: only the six launching bars are locked.
    EXPECT_TRUE(LaunchBarsEnabled(false));
    EXPECT_TRUE(Form->ZoomToolBar->isEnabled());
    EXPECT_TRUE(Form->HelpToolBar->isEnabled());
    EXPECT_TRUE(Form->LeftCoolBar->isEnabled());
    EXPECT_TRUE(Form->KadrimexMainMenu->isEnabled());
    EXPECT_TRUE(Form->ProgressTimer->isActive());

    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(LaunchBarsEnabled());
    EXPECT_FALSE(Form->ProgressTimer->isActive());
    EXPECT_EQ(Form->MainStatusBar->PanelText(), QStringLiteral("No i pozamiatane."));
    EXPECT_TRUE(Prompts.empty());
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].value<TPictureDocument::TChange>(), TPictureDocument::TChange::Operation);
    EXPECT_EQ(&Form->WorkImage->Picture(), &Form->Document->Picture()) << "the view shows the document's picture";
    EXPECT_FALSE(SamePicture(Shown(), original));
}

// A generator ignores the picture and asks nothing; resize starts from the
// picture's size and keeps its proportions.
TEST_F(MainWindow, GeneratorAndResizeMakeAPictureOfTheirOwnSize)
{
    Show(RandomBitmap(9, 7, TPixelFormat::pf4bit, 5));
    OnDialog = [](QDialog& dialog) {
        auto& form = dynamic_cast<TAbstractGeneratorForm&>(dialog);
        form.WidthBox->setEditText(QStringLiteral("4"));
        form.HeightBox->setEditText(QStringLiteral("4"));
        form.LevelEdit->setText(QLocale().toString(1.1));
        form.NumberTrackBar->setValue(0);
        return Press(form, form.OkSpeedButton);
    };
    Form->AbstractGeneratorButton->click();
    EXPECT_EQ(Form->MainStatusBar->PanelText(), QStringLiteral("Myślem nad kształtem..."));
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Prompts.empty()) << "no conversion question";
    const TBitmap shown = Shown();
    EXPECT_EQ(shown.PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(shown.Width(), 4);
    EXPECT_EQ(shown.ScanLine(2)[3], 202);

    Show(RandomBitmap(40, 30, TPixelFormat::pf24bit, 6));
    OnDialog = [](QDialog& dialog) {
        auto& form = dynamic_cast<TResizerForm&>(dialog);
        form.FormShow();
        EXPECT_EQ(form.HeightBox->currentText(), QStringLiteral("30"));
        form.WidthBox->setEditText(QStringLiteral("20"));
        form.OkButtonClick();
        return form.result();
    };
    Form->ResizeImageButton->click();
    EXPECT_EQ(Form->MainStatusBar->PanelText(), QStringLiteral("Nie przeszkadzaj mnie tera bo ja robie..."));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Shown().Width(), 20);
    EXPECT_EQ(Shown().Height(), 15);
}

// Each command through its dialog (or its confirmation, answered Yes) runs
// its operation with the record its dialog values make: the window shows
// what that record gives run directly, a 24-bit picture is not questioned
// about its format, and the status text names the command while it runs.
// The formulas from record to fields are checked in the families' tests;
// this adds the dialog, the row and the display.
TEST_F(MainWindow, CommandsRunTheirRoutineWithTheDialogValues)
{
    using Expected = std::function<TBitmap(const TBitmap&)>;
    const auto run = [](auto record) -> Expected {
        return [record](const TBitmap& input) { return RunDirectly(input, record); };
    };
    const auto sharpenDialog = [](QDialog& dialog) {
        auto& form = dynamic_cast<TSharpenForm&>(dialog);
        form.Level = 7.5L;
        form.Size = 1.5L;
        return int(QDialog::Accepted);
    };
    const auto flipRotate = [](const char* choice, bool enlarge, const char* angle) {
        return [=](QDialog& dialog) {
            auto& form = dynamic_cast<TFlipRotateForm&>(dialog);
            form.findChild<QRadioButton*>(QLatin1String(choice))->click();
            form.ExtendBitmapCheckBox->setChecked(enlarge);
            form.AngleComboBox->setEditText(QLatin1String(angle));
            return Press(form, form.OkSpeedButton);
        };
    };
    using kadrimex::TFlipRotateChoice;
    QAbstractButton* const flip = Form->FlipRotateSpeedButton;
    const char* const flipping = "Robiem obicie lub obrót...";
    const struct {
        QAbstractButton* button;
        std::function<int(QDialog&)> dialog;
        const char* question;  // the confirmation's start, or nullptr for none
        const char* status;
        Expected expected;
    } cases[] = {
        {Form->GaussBlurSpeedButton, LevelDialog("3"), nullptr, "No to liczem se tego Gaussa...",
         run(kadrimex::TGaussBlurParams{3})},
        {Form->TriangBlurSpeedButton, LevelDialog("2.5"), nullptr, "Pokrywam to tym no trójkątnym filtrem...",
         run(kadrimex::TTriangleBlurParams{2.5L})},
        {Form->SharpenSpeedButton, sharpenDialog, nullptr, "No to liczem se te wyostrzenie...",
         run(kadrimex::TSharpenParams{7.5L, 1.5L})},
        {Form->FindEdgesSpeedButton, sharpenDialog, nullptr, "Robiem krawądzia...",
         run(kadrimex::TFindEdgesParams{7.5L, 1.5L})},
        {flip, flipRotate("FlipVRadioButton", false, "0.3"), nullptr, flipping,
         run(kadrimex::TFlipRotateParams{TFlipRotateChoice::FlipVertical, 0.3L, false})},
        {flip, flipRotate("FlipHRadioButton", true, "0.3"), nullptr, flipping,
         run(kadrimex::TFlipRotateParams{TFlipRotateChoice::FlipHorizontal, 0.3L, true})},
        {flip, flipRotate("RotateRadioButton", true, "1.57079632679489"), nullptr, flipping,
         run(kadrimex::TFlipRotateParams{TFlipRotateChoice::Rotate, 1.57079632679489L, true})},
        {flip, flipRotate("RotateRadioButton", false, "0.3"), nullptr, flipping,
         run(kadrimex::TFlipRotateParams{TFlipRotateChoice::Rotate, 0.3L, false})},
        {Form->FFTSpeedButton, nullptr, "Obraz zostanie przekształcony w część rzeczywistą", "Licze szybką Furie...",
         run(kadrimex::TFFTParams{})},
    };
    const TBitmap original = RandomBitmap(37, 23, TPixelFormat::pf24bit, 4);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        Prompts.clear();
        Show(original);
        OnDialog = c.dialog;
        c.button->click();
        EXPECT_EQ(Form->MainStatusBar->PanelText(), QString::fromUtf8(c.status));
        ASSERT_TRUE(WaitIdle());
        ASSERT_EQ(Prompts.size(), c.question ? 1u : 0u);
        if (c.question) {
            EXPECT_EQ(Prompts[0].caption, QStringLiteral("No to dawaj."));
            EXPECT_TRUE(Prompts[0].text.startsWith(QString::fromUtf8(c.question))) << Prompts[0].text.toStdString();
        }
        EXPECT_TRUE(SamePicture(Shown(), c.expected(original)));
    }
}

// The dialog's matrix and values reach the record and the matrix changes
// owner. A routine's failure shown with the picture kept is MemoryLimits';
// the refused matrix sizes are UserFilterOwnership's.
TEST_F(MainWindow, UserFilterTakesTheMatrixFromTheDialog)
{
    const TBitmap original = RandomBitmap(20, 17, TPixelFormat::pf24bit, 5);
    const long double weights[9] = {0, -1, 0, -1, 6, -1, 0, -1, 0};
    TUsrFilterForm* dialog = nullptr;
    OnDialog = [&](QDialog& d) {
        dialog = &dynamic_cast<TUsrFilterForm&>(d);
        kadrimex::ReleaseCoefficients(dialog->Coefficients);
        dialog->Coefficients = kadrimex::AllocateCoefficients(3);
        std::copy(std::begin(weights), std::end(weights), dialog->Coefficients);
        dialog->MatrixSize = 3;
        dialog->Scale = 2;
        dialog->Offset = 10;
        dialog->AbsoluteCheckBox->setChecked(true);
        return int(QDialog::Accepted);
    };
    Show(original);
    Form->UserFilterSpeedButton->click();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->Coefficients, nullptr) << "the matrix belongs to the operation now";
    EXPECT_EQ(Form->MainStatusBar->PanelText(), QStringLiteral("Robiem tą całą filtrację..."));
    ASSERT_TRUE(WaitIdle());
    kadrimex::TUserFilterParams record;
    record.coefficients.reset(kadrimex::AllocateCoefficients(3));
    std::copy(std::begin(weights), std::end(weights), record.coefficients.get());
    record.size = 3, record.divider = 2, record.offset = 10, record.absolute = true;
    EXPECT_TRUE(SamePicture(Shown(), RunDirectly(original, std::move(record))));
}

TEST_F(MainWindow, FourierCommandsAskTheConversionBeforeTheirConfirmation)
{
    const TBitmap spectrum = RunDirectly(RandomBitmap(24, 20, TPixelFormat::pf24bit, 6), kadrimex::TFFTParams{});
    // An 8-bit picture gets only the conversion question; No stops.
    Show(RandomBitmap(24, 20, TPixelFormat::pf8bit, 7));
    OnPrompt = [](const ui::PromptRequest&) { return ui::PromptAnswer::No; };
    Form->RevFFTSpeedButton->click();
    ASSERT_EQ(Prompts.size(), 1u);
    EXPECT_EQ(Prompts[0].caption, kConversionCaption);
    EXPECT_EQ(Form->FProcessor, nullptr);

    // The reverse transform's own confirmation; No changes nothing.
    Prompts.clear();
    Show(spectrum);
    Form->RevFFTSpeedButton->click();
    ASSERT_EQ(Prompts.size(), 1u);
    EXPECT_EQ(Prompts[0].text, QStringLiteral("Obraz zostanie przekształcony w wynik odwrotnej transformaty "
                                              "Fouriera.\n\nCzy chcesz dokonać przekrztałcenia Fouriera algorytmem "
                                              "Reverse FFT obrazka?"));
    EXPECT_EQ(Form->FProcessor, nullptr);
    EXPECT_TRUE(SamePicture(Shown(), spectrum));

    // Yes: the reverse transform runs and an 8-bit picture with consent
    // comes back as 24 bits (FFT Gauss through its level dialog).
    OnPrompt = nullptr;
    Prompts.clear();
    Show(RandomBitmap(24, 20, TPixelFormat::pf8bit, 8));
    AcceptLevel("5");
    Form->FFTGaussSpeedButton->click();
    ASSERT_EQ(Prompts.size(), 1u);
    EXPECT_EQ(Prompts[0].caption, kConversionCaption);
    EXPECT_EQ(Form->MainStatusBar->PanelText(), QStringLiteral("Liczem Gaussa przez FFT..."));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Shown().PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(Shown().Width(), 24);
}

bool HasZeroRow(const TBitmap& bitmap)
{
    const std::vector<std::uint8_t> zero(std::size_t(bitmap.Width()) * 3, 0);
    for (int y = 0; y < bitmap.Height(); ++y)
        if (std::memcmp(bitmap.ScanLine(y), zero.data(), zero.size()) == 0)
            return true;
    return false;
}

TEST_F(MainWindow, StatusBarClickCancelsAndShowsThePartialResult)
{
    // Idle: a click asks nothing.
    Form->MainStatusBarClick();
    EXPECT_TRUE(Prompts.empty());

    ASSERT_NO_FATAL_FAILURE(LaunchSlowBlur());
    // A real left click on the gauge panel reaches the status bar; a right
    // click asks nothing.
    QTest::mouseClick(Form->MainStatusBar->Panel1, Qt::RightButton);
    EXPECT_TRUE(Prompts.empty());
    QTest::mouseClick(Form->MainStatusBar->Panel1, Qt::LeftButton);
    ASSERT_EQ(Prompts.size(), 1u);
    EXPECT_EQ(Prompts[0].text, QStringLiteral("Ej no co? Ja ROBIEM. Chcesz żebym dał se spokój?"));
    EXPECT_EQ(Prompts[0].caption, QStringLiteral("Co ty niby robisz, co?"));
    EXPECT_EQ(Prompts[0].buttons, ui::PromptButtons::YesNo);
    EXPECT_EQ(Prompts[0].icon, ui::PromptIcon::Warning);
    ASSERT_TRUE(WaitIdle());

    // The destination as far as it got: the size of the source, rows not
    // reached still zero.
    const TBitmap partial = Shown();
    EXPECT_EQ(partial.Width(), 1600);
    EXPECT_EQ(partial.Height(), 1200);
    EXPECT_TRUE(HasZeroRow(partial));
    EXPECT_EQ(Form->MainStatusBar->PanelText(), QStringLiteral("No i pozamiatane."));
    EXPECT_TRUE(LaunchBarsEnabled());
}

TEST_F(MainWindow, CancelQuestionAnsweredNoOrOutlivedLetsTheOperationFinish)
{
    const TBitmap original = RandomBitmap(30, 20, TPixelFormat::pf24bit, 11);
    const TBitmap expected = RunDirectly(original, kadrimex::TGaussBlurParams{2});
    AcceptLevel("2");

    Show(original);
    OnPrompt = [](const ui::PromptRequest&) { return ui::PromptAnswer::No; };
    Form->GaussBlurSpeedButton->click();
    Form->MainStatusBarClick();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Prompts.size(), 1u);
    EXPECT_TRUE(SamePicture(Shown(), expected));

    // The operation completes while the question is still open; the late
    // Yes must not touch the finished thread.
    Show(original);
    OnPrompt = [this](const ui::PromptRequest&) {
        WaitIdle();
        return ui::PromptAnswer::Yes;
    };
    Form->GaussBlurSpeedButton->click();
    Form->MainStatusBarClick();
    EXPECT_EQ(Form->FProcessor, nullptr);
    EXPECT_TRUE(SamePicture(Shown(), expected));
}

TEST(ProgressGauge, PercentageTextFollowsTheLocaleWithFourSignificantDigits)
{
    EXPECT_EQ(ui::ProgressPercent(0, 0), 0.0L);
    EXPECT_LT(ui::ProgressPercent(50, 100), 50.0L);
    // Past 100 only four significant digits remain, and groups appear.
    const QLocale c = QLocale::c(), english(QLocale::English, QLocale::UnitedStates),
                  polish(QLocale::Polish, QLocale::Poland);
    const std::tuple<long double, QLocale, const char*> cases[] = {
        {ui::ProgressPercent(0, 0), c, "0.00 %"}, {ui::ProgressPercent(50, 100), c, "50.00 %"},
        {12.345678L, c, "12.35 %"},              {0.125L, c, "0.13 %"},
        {100.25L, c, "100.30 %"},                {1234.5L, english, "1,235.00 %"},
        {12.345678L, polish, "12,35 %"}};
    for (const auto& [percent, locale, text] : cases)
        EXPECT_EQ(ui::ProgressText(percent, locale), QString::fromLatin1(text)) << double(percent);
}

TEST(ProgressGauge, BarIsWhiteOnBlackAndNeverWiderThanThePanel)
{
    const QSize size(50, 20);
    auto paint = [&](bool running, long double percent) {
        const QImage image = ui::PaintProgressGauge(size, QFont(), running, percent, QLocale::c());
        EXPECT_EQ(image.size(), size);
        return image;
    };
    // The colour at a point: white, black or neither.
    auto colour = [](const QImage& image, int x, int y) {
        const QRgb rgb = image.pixel(x, y) & 0xFFFFFF;
        return rgb == 0xFFFFFF ? 'w' : rgb == 0 ? 'b' : '-';
    };
    // Corners are clear of the text. 50 %: n = trunc(0.5 * 51) = 25 columns lit.
    const struct {
        bool running;
        long double percent;
        int x, y;
        char shown;
    } points[] = {{false, 0, 0, 0, 'b'},    {false, 0, 49, 19, 'b'},  {true, 0, 0, 0, 'b'},
                  {true, 0, 49, 0, 'b'},    {true, 50, 0, 0, 'w'},    {true, 50, 24, 0, 'w'},
                  {true, 50, 25, 0, 'b'},   {true, 50, 49, 0, 'b'},   {true, 100, 0, 0, 'w'},
                  {true, 100, 49, 19, 'w'}, {true, 250, 49, 19, 'w'}, {true, 1e30L, 49, 19, 'w'}};
    for (const auto& p : points)
        EXPECT_EQ(colour(paint(p.running, p.percent), p.x, p.y), p.shown) << double(p.percent) << " at " << p.x << "," << p.y;
    // "gotowy" is drawn on the idle gauge; the text shows inverted over a
    // full bar.
    auto count = [&](const QImage& image, char background) {
        int n = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 50; ++x)
                n += colour(image, x, y) != background;
        return n;
    };
    EXPECT_GT(count(paint(false, 0), 'b'), 10);
    EXPECT_GT(count(paint(true, 100), 'w'), 10);
}

TEST(NewImgForm, CreateAcceptsSidesFrom1To32760Only)
{
    TNewImgForm form;
    struct Case {
        const char* width;
        const char* height;
        bool accepted;
    };
    for (const Case& c : {Case{"abc", "480", false}, Case{"32760", "1", true}, Case{"32761", "1", false},
                          Case{"0", "5", false}, Case{"5", "-3", false}, Case{"", "5", false}, Case{" 12 ", "7", true}}) {
        form.WidthBox->setEditText(QString::fromLatin1(c.width));
        form.HeightBox->setEditText(QString::fromLatin1(c.height));
        EXPECT_EQ(Press(form, form.CreateButton) == QDialog::Accepted, c.accepted) << c.width << " x " << c.height;
    }
    EXPECT_EQ(form.FNewWidth, 12);
    EXPECT_EQ(form.FNewHeight, 7);
}

TEST_F(MainWindow, NewFillsTheChosenColour)
{
    const TBitmap before = RandomBitmap(4, 3, TPixelFormat::pf24bit, 16);
    Show(before);
    OnDialog = [](QDialog& dialog) {
        auto& form = dynamic_cast<TNewImgForm&>(dialog);
        form.WidthBox->setEditText(QStringLiteral("7"));
        form.HeightBox->setEditText(QStringLiteral("5"));
        form.SetColor(QColor(10, 20, 30));
        return Press(form, form.CreateButton);
    };
    Form->NewButton->click();
    const TBitmap made = Shown();
    ASSERT_EQ(made.Width(), 7);
    ASSERT_EQ(made.Height(), 5);
    EXPECT_EQ(made.PixelFormat(), TPixelFormat::pf24bit);
    for (int y = 0; y < 5; ++y)
        for (int i = 0; i < 21; ++i)
            EXPECT_EQ(made.ScanLine(y)[i], 30 - 10 * (i % 3)) << "row " << y << " byte " << i;
    EXPECT_EQ(Form->MainStatusBar->PanelText(), QStringLiteral("Czary mary Tarvel Bimek i obrazek zmalowany."));
    ASSERT_TRUE(Form->Document->Undo());
    EXPECT_TRUE(SamePicture(Shown(), before));
    ASSERT_TRUE(Form->Document->Redo());

    // Cancel: nothing changes.
    OnDialog = [](QDialog&) { return int(QDialog::Rejected); };
    Form->NewButton->click();
    EXPECT_TRUE(SamePicture(Shown(), made));
}

// Drives a file dialog: types `path`, picks filter `index` (1-based).
std::function<int(QDialog&)> ChooseFile(const QString& path, int index, QString* preset = nullptr)
{
    return [=](QDialog& dialog) {
        auto& files = dynamic_cast<QFileDialog&>(dialog);
        auto* edit = files.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (preset)
            *preset = edit ? edit->text() : QString();
        files.selectNameFilter(files.nameFilters().at(index - 1));
        files.selectFile(path);
        return int(QDialog::Accepted);
    };
}

class FileCommands : public MainWindow {
protected:
    void SetUp() override
    {
        MainWindow::SetUp();
        ASSERT_TRUE(Dir.isValid());
    }
    QString Temp(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir Dir;
};

TEST_F(FileCommands, OpenLoadsByExtensionOrThroughTheRawFilter)
{
    const TBitmap eight = RandomBitmap(9, 6, TPixelFormat::pf8bit, 12);
    const QString path = Temp("eight.bmp");
    kadrimex::WriteFileAtomically(path.toStdString(), kadrimex::EncodeBmp(eight));
    Show(RandomBitmap(2, 2, TPixelFormat::pf24bit, 17));
    Form->ZoomComboBox->setEditText(QStringLiteral("300"));
    OnDialog = ChooseFile(path, 1);
    Form->OpenButton->click();
    EXPECT_TRUE(Prompts.empty());
    EXPECT_TRUE(SamePicture(Shown(), eight));
    EXPECT_EQ(Form->ZoomComboBox->currentText(), QStringLiteral("100"));
    ASSERT_TRUE(Form->Document->Undo()) << "an undo step";
    EXPECT_EQ(Shown().Width(), 2);
    ASSERT_TRUE(Form->Document->Redo());

    // Broken file: an error, the picture stays.
    const QString broken = Temp("broken.bmp");
    const std::string junk = "BM this is not a bitmap";
    kadrimex::WriteFileAtomically(broken.toStdString(), {junk.begin(), junk.end()});
    OnDialog = ChooseFile(broken, 4);
    Form->OpenButton->click();
    ASSERT_EQ(Prompts.size(), 1u);
    EXPECT_EQ(Prompts[0].icon, ui::PromptIcon::Error);
    EXPECT_TRUE(SamePicture(Shown(), eight));

    // The RAW filter decides, whatever the extension: the RAW dialog gets
    // the file; cancelled, it leaves the picture and the zoom is back at 100.
    Prompts.clear();
    Form->ZoomComboBox->setEditText(QStringLiteral("50"));
    Show(RandomBitmap(3, 3, TPixelFormat::pf24bit, 13));
    QString rawName;
    OnDialog = [&](QDialog& dialog) {
        if (auto* raw = qobject_cast<TOpenRawForm*>(&dialog)) {
            rawName = raw->RawFileName;
            return int(QDialog::Rejected);
        }
        return ChooseFile(path, 10)(dialog);
    };
    Form->OpenButton->click();
    EXPECT_EQ(rawName, path);
    EXPECT_TRUE(Prompts.empty());
    EXPECT_EQ(Shown().Width(), 3);
    EXPECT_EQ(Form->ZoomComboBox->currentText(), QStringLiteral("100"));

    // Cancel changes nothing.
    OnDialog = [](QDialog&) { return int(QDialog::Rejected); };
    Form->OpenButton->click();
    EXPECT_EQ(Shown().Width(), 3);
}

TEST_F(FileCommands, SaveWritesBmpInTheOwnFormatAndJpegAtQuality80Baseline)
{
    const TBitmap eight = RandomBitmap(11, 7, TPixelFormat::pf8bit, 14);
    const QString opened = Temp("opened.bmp");
    kadrimex::WriteFileAtomically(opened.toStdString(), kadrimex::EncodeBmp(eight));
    OnDialog = ChooseFile(opened, 4);
    Form->OpenButton->click();

    // BMP keeps the 8-bit format; the dialog is preset to the opened name.
    QString preset;
    const QString bmp = Temp("saved-as-bmp");
    OnDialog = ChooseFile(bmp, 1, &preset);
    Form->SaveButton->click();
    EXPECT_TRUE(preset.endsWith(QStringLiteral("opened.bmp"))) << preset.toStdString();
    EXPECT_TRUE(Prompts.empty());
    const auto bmpBytes = kadrimex::ReadFileBytes(bmp.toStdString());
    EXPECT_TRUE(SamePicture(kadrimex::DecodeBmp(bmpBytes.data(), bmpBytes.size()), eight));

    // JPEG: quality 80 baseline, whatever the name; the JPEG is displayed.
    const QString jpg = Temp("saved-as-jpeg.bmp");
    OnDialog = ChooseFile(jpg, 2);
    Form->SaveButton->click();
    EXPECT_TRUE(Prompts.empty());
    EXPECT_TRUE(Form->WorkImage->Picture().IsJpeg());
    const auto jpegBytes = kadrimex::ReadFileBytes(jpg.toStdString());
    // The editor's choice of quality 80 and baseline; the codec's bytes for
    // them are JpegCodec's to check.
    EXPECT_EQ(jpegBytes, kadrimex::EncodeJpeg(eight, 80, false));

    // Saving the JPEG picture as BMP leaves a bitmap on screen.
    OnDialog = ChooseFile(Temp("from-jpeg.bmp"), 1);
    Form->SaveButton->click();
    EXPECT_TRUE(Form->WorkImage->Picture().IsBitmap());
    EXPECT_EQ(Shown().PixelFormat(), TPixelFormat::pf24bit);
}

TEST_F(FileCommands, FailedSaveReportsAndKeepsTheExistingFile)
{
    const QString target = Temp("keep.bmp");
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    kadrimex::WriteFileAtomically(target.toStdString(), old);

    // An icon cannot become a bitmap or a JPEG.
    if (ShowIcon()) {
        OnDialog = ChooseFile(target, 2);
        Form->SaveButton->click();
        ASSERT_EQ(Prompts.size(), 1u);
        EXPECT_EQ(Prompts[0].text, QStringLiteral("Cannot assign a TIcon to a TJPEGImage"));
        EXPECT_EQ(kadrimex::ReadFileBytes(target.toStdString()), old);
        EXPECT_TRUE(Form->WorkImage->Picture().IsIcon());
        Prompts.clear();
    }

    // A folder in the way of the target: the write fails, nothing is lost.
    const QString folder = Temp("folder.bmp");
    ASSERT_TRUE(QDir().mkdir(folder));
    const TBitmap picture = RandomBitmap(5, 5, TPixelFormat::pf24bit, 15);
    Show(picture);
    OnDialog = ChooseFile(folder, 1);
    Form->SaveButton->click();
    ASSERT_EQ(Prompts.size(), 1u);
    EXPECT_EQ(Prompts[0].icon, ui::PromptIcon::Error);
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(SamePicture(Shown(), picture));
    EXPECT_EQ(kadrimex::ReadFileBytes(target.toStdString()), old);
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files), QStringList({"keep.bmp"})) << "no temporary file left";
}

TEST_F(MainWindow, ColourDepthReplacesThePictureAtOnceWithoutAWorker)
{
    const TBitmap original = RandomBitmap(20, 12, TPixelFormat::pf24bit, 22);
    Show(original);
    const QString status = Form->MainStatusBar->PanelText();
    auto choose = [this](int item, bool monochrome, int result) {
        OnDialog = [=, this](QDialog& dialog) {
            auto& form = dynamic_cast<TColorDepthForm&>(dialog);
            form.FormShow();
            if (item >= 0)
                form.BPPButtons->button(item)->click();
            form.MakeMonochromeCheckBox->setChecked(monochrome);
            form.FormHide();
            EXPECT_EQ(Form->FProcessor, nullptr);
            return result;
        };
        Form->ColorDepthSpeedButton->click();
    };
    choose(1, false, QDialog::Rejected);
    EXPECT_TRUE(SamePicture(Shown(), original));
    choose(1, false, QDialog::Accepted);
    EXPECT_EQ(Shown().PixelFormat(), TPixelFormat::pf4bit);
    // An undo step, like New's and Open's.
    ASSERT_TRUE(Form->Document->Undo());
    EXPECT_TRUE(SamePicture(Shown(), original));
    ASSERT_TRUE(Form->Document->Redo());
    // Confirmed untouched: the format stays, the grayscale box still applies.
    choose(-1, false, QDialog::Accepted);
    EXPECT_EQ(Shown().PixelFormat(), TPixelFormat::pf4bit);
    choose(-1, true, QDialog::Accepted);
    EXPECT_TRUE(Shown().Monochrome());
    EXPECT_EQ(Form->MainStatusBar->PanelText(), status);
    EXPECT_TRUE(Prompts.empty());
    EXPECT_TRUE(LaunchBarsEnabled());

    // An empty picture asks nothing.
    Form->Document->Replace(TPicture());
    const int before = DialogsRun;
    Form->ColorDepthSpeedButton->click();
    EXPECT_EQ(DialogsRun, before);
}

// Closing a picture changed since it was opened asks to save, discard or
// stay; Save goes through the save dialog and closing goes on only once the
// file is written. An unchanged picture closes at once.
TEST_F(FileCommands, ClosingAChangedPictureAsksToSaveDiscardOrStay)
{
    const QString saved = Temp("kept.bmp");
    const struct {
        bool changed;
        ui::PromptAnswer answer;
        const char* saveTo;  // null: the save dialog is cancelled
        bool closes;
    } cases[] = {
        {false, ui::PromptAnswer::Yes, nullptr, true},   {true, ui::PromptAnswer::Cancel, nullptr, false},
        {true, ui::PromptAnswer::No, nullptr, true},     {true, ui::PromptAnswer::Yes, nullptr, false},
        {true, ui::PromptAnswer::Yes, "missing/x.bmp", false}, {true, ui::PromptAnswer::Yes, "kept.bmp", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.changed << " " << int(c.answer) << " " << (c.saveTo ? c.saveTo : "-"));
        Show(RandomBitmap(40, 30, TPixelFormat::pf24bit, 3));
        if (c.changed) {
            AcceptLevel("2");
            Form->GaussBlurSpeedButton->click();
            ASSERT_TRUE(WaitIdle());
            QCoreApplication::processEvents();
        }
        Form->show();
        Prompts.clear();
        OnPrompt = [&](const ui::PromptRequest& request) {
            return request.buttons == ui::PromptButtons::YesNoCancel ? c.answer : ui::PromptAnswer::Ok;
        };
        OnDialog = c.saveTo ? ChooseFile(Temp(c.saveTo), 1) : std::function<int(QDialog&)>();
        Form->ExitMenuItem->trigger();
        EXPECT_EQ(!Form->isVisible(), c.closes);
        ASSERT_EQ(Prompts.empty(), !c.changed);
        if (c.changed) {
            EXPECT_EQ(Prompts[0].text, QStringLiteral("Obrazek został zmieniony i nie jest zapisany.\n\n"
                                                      "Chcesz go zapisać przed wyjściem?"));
            EXPECT_EQ(Prompts[0].caption, QStringLiteral("A zapisać to nie łaska?"));
            EXPECT_EQ(Prompts[0].icon, ui::PromptIcon::Question);
        }
        // A folder that cannot take the file: the save's error, and no close.
        if (c.saveTo && !c.closes) {
            ASSERT_EQ(Prompts.size(), 2u);
            EXPECT_TRUE(Prompts[1].text.startsWith(QLatin1String("Cannot write file ")) &&
                        Prompts[1].text.endsWith(QLatin1String("/missing/x.bmp: No such file or directory")))
                << Prompts[1].text.toStdString();
        }
    }
    // The last save wrote the blurred picture.
    EXPECT_TRUE(SamePicture(TPicture::LoadFromFile(saved.toStdString()).ToBitmap(), Shown()));
}

// A drop is taken as a copy whatever the source proposes, and refused when
// the source offers no copy.
TEST_F(FileCommands, DropsAreTakenAsCopiesOnly)
{
    const QString path = Temp("dropped.bmp");
    kadrimex::WriteFileAtomically(path.toStdString(), kadrimex::EncodeBmp(RandomBitmap(7, 5, TPixelFormat::pf24bit, 1)));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const struct {
        Qt::DropActions offered;
        Qt::DropAction proposed;
        bool accepted;
    } cases[] = {
        {Qt::CopyAction | Qt::MoveAction, Qt::MoveAction, true},
        {Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction, true},
        {Qt::MoveAction, Qt::MoveAction, false},
    };
    for (const auto& c : cases) {
        QDragEnterEvent enter(QPoint(5, 5), c.offered, &data, Qt::LeftButton, Qt::NoModifier);
        enter.setDropAction(c.proposed);
        QCoreApplication::sendEvent(Form.get(), &enter);
        QDropEvent drop(QPointF(5, 5), c.offered, &data, Qt::LeftButton, Qt::NoModifier);
        drop.setDropAction(c.proposed);
        QCoreApplication::sendEvent(Form.get(), &drop);
        EXPECT_EQ(enter.isAccepted(), c.accepted) << int(c.offered);
        EXPECT_EQ(drop.isAccepted(), c.accepted) << int(c.offered);
        if (c.accepted) {
            EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
            EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
        }
    }
}

// Every dialog the window runs is wide enough for its title beside the
// frame's icon and buttons, so no window manager cuts it short.
TEST_F(MainWindow, EveryDialogIsWideEnoughForItsTitle)
{
    Show(RandomBitmap(40, 30, TPixelFormat::pf24bit, 3));
    Form->show();
    QStringList seen;
    OnDialog = [&](QDialog& dialog) {
        dialog.show();
        QCoreApplication::processEvents();
        seen << dialog.windowTitle();
        EXPECT_GE(dialog.width(), dialog.fontMetrics().horizontalAdvance(dialog.windowTitle()) +
                                      TKadrimexMainForm::kTitleFrameAllowance)
            << dialog.windowTitle().toStdString();
        dialog.hide();
        return int(QDialog::Rejected);
    };
    for (QToolButton* button : Form->findChildren<QToolButton*>())
        if (button->isEnabled() && button->isVisible() && button->objectName() != QLatin1String("SaveButton"))
            button->click();
    EXPECT_TRUE(seen.contains(QStringLiteral("Image color depth"))) << seen.join(u',').toStdString();
    EXPECT_GE(seen.size(), 10) << seen.join(u',').toStdString();
}

// A path typed into a file dialog shows the completion list; when the
// dialog closes the list goes with it, so it neither stays on screen nor
// holds the keyboard (Ctrl+O) for itself.
TEST_F(FileCommands, FileDialogsCloseTheirCompletionList)
{
    QFile(Temp("listed.bmp")).open(QIODevice::WriteOnly);
    for (const bool accepted : {true, false}) {
        QPointer<QWidget> popup;
        OnDialog = [&](QDialog& dialog) {
            dialog.show();
            auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!edit || !edit->completer())
                return int(QDialog::Rejected);
            edit->setText(Temp("list"));
            popup = static_cast<QWidget*>(edit->completer()->popup());
            // The folder is read in the background: completed once it is.
            EXPECT_TRUE(kadrimex::test::WaitUntil([&] {
                edit->completer()->complete();
                return popup->isVisible();
            }));
            dialog.done(accepted ? QDialog::Accepted : QDialog::Rejected);
            return dialog.result();
        };
        Form->OpenButtonClick();
        ASSERT_FALSE(popup.isNull());
        EXPECT_FALSE(popup->isVisible()) << accepted;
    }
}

}  // namespace
