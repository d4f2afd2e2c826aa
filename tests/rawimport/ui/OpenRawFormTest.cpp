// The RAW dialog offscreen: the preview follows every option and keystroke,
// "&Open" hands over the whole picture of the final options, every way of
// closing lets the file go, and huge files keep the window responsive. Then
// the main window's Open routes the RAW filter through it.
#include "app/MainForm.h"
#include "app/PictureDocument.h"
#include "rawimport/RawImport.h"
#include "rawimport/ui/OpenRawForm.h"

#include "tests/rawimport/RawReference.h"
#include "tests/support/QtTestSupport.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

using kadrimex::TBitmap;
using kadrimex::TPixelFormat;

namespace {

// Descriptors of this process open on `path`.
int OpenHandles(const QString& path)
{
    int count = 0;
    const std::string target = std::filesystem::canonical(path.toStdString()).string();
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error).string() == target)
            ++count;
    }
    return count;
}

class OpenRawFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        kadrimex::test::CapturePrompts(Prompts);
        Form = std::make_unique<TOpenRawForm>();
    }
    void TearDown() override
    {
        Form.reset();
        kadrimex::test::ReleasePrompts();
    }

    QString File(const char* name, const std::vector<std::uint8_t>& bytes)
    {
        const QString path = Dir.filePath(QString::fromLatin1(name));
        std::ofstream(path.toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    QSize Preview() const { return Form->WorkImage->Image().size(); }
    bool WaitPreview(QSize size, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return Preview() == size; }, ms);
    }
    bool Show(const QString& path)
    {
        Form->RawFileName = path;
        Form->show();
        return QTest::qWaitFor([&] { return !Preview().isEmpty(); }, 5000);
    }
    // "&Open", then the dialog's end.
    int Open()
    {
        Form->OpenSpeedButton->click();
        return QTest::qWaitFor([&] { return !Form->isVisible(); }, 20000) ? Form->result() : -1;
    }
    QLineEdit* LimitEdit() const { return Form->MaxLinesComboBox->lineEdit(); }

    QTemporaryDir Dir;
    std::vector<QString> Prompts;
    std::unique_ptr<TOpenRawForm> Form;
};

TEST_F(OpenRawFormTest, ThePreviewFollowsEveryOptionAndKeystroke)
{
    const auto bytes = kadrimex::test::CountingBytes(64000);
    ASSERT_TRUE(Show(File("f.raw", bytes)));
    EXPECT_EQ(Preview(), QSize(320, 200));

    // Each keystroke in the line limit box decodes again; letters: no limit.
    LimitEdit()->selectAll();
    const std::pair<const char*, int> keys[] = {{"1", 1}, {"2", 12}, {"8", 128}, {"x", 200}};
    for (const auto& [key, lines] : keys) {
        QTest::keyClicks(LimitEdit(), QString::fromLatin1(key));
        EXPECT_TRUE(WaitPreview(QSize(320, lines))) << "after " << key << ": " << Preview().height();
    }

    // Options one after another; each step shows its picture.
    struct Step {
        std::function<void()> change;
        QSize shown;
    };
    const Step steps[] = {
        {[&] { Form->WidthSpinEdit->setValue(321); }, {321, 200}},
        {[&] { Form->WidthSpinEdit->setValue(320), Form->BPPButtons->button(5)->click(); }, {320, 67}},
        {[&] { Form->BPPButtons->button(0)->click(), Form->WidthSpinEdit->setValue(12); }, {12, 42667}},
        {[&] { Form->BPPButtons->button(2)->click(), Form->DirectionButtons->button(1)->click(); }, {12, 5334}},
        {[&] { Form->OpenModeButtons->button(1)->click(), Form->BytesPerPixEdit->setValue(3); }, {12, 1778}},
        {[&] { Form->SkipStartSpinEdit->setValue(63990); }, {12, 1}},
    };
    for (const Step& step : steps) {
        step.change();
        EXPECT_TRUE(WaitPreview(step.shown)) << Preview().width() << " x " << Preview().height();
    }
    // Bottom-top, Multibyte B = 3: the bytes 63990 ... 63992 on the bottom row.
    EXPECT_EQ(Form->WorkImage->Image().pixel(0, 0), qRgb(bytes[63992], bytes[63991], bytes[63990]));
    // Multibyte shows its bytes per pixel instead of the Typical controls.
    EXPECT_TRUE(Form->BytesPerPixEdit->isVisible());
    EXPECT_FALSE(Form->BPPRadioGroup->isVisible() || Form->PalFileEdit->isVisible() || Form->PalMulSpinEdit->isVisible());
    // No byte after the skip: the preview stays, with a word why.
    Form->SkipStartSpinEdit->setValue(64000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Form->PreviewMessageLabel->isVisible(); }, 5000));
    EXPECT_EQ(Preview(), QSize(12, 1));
    // ... and "&Open" has no picture of these options to hand over.
    Form->OpenSpeedButton->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Form->OpenSpeedButton->isEnabled(); }, 5000));
    EXPECT_TRUE(Form->isVisible());
    Form->OpenModeButtons->button(0)->click();
    EXPECT_TRUE(Form->BPPRadioGroup->isVisible() && !Form->BytesPerPixEdit->isVisible());
}

TEST_F(OpenRawFormTest, OpenHandsOverTheWholePictureAndEveryCloseReleasesTheFile)
{
    const auto bytes = kadrimex::test::CountingBytes(3000);
    const auto paletteBytes = kadrimex::test::CountingBytes(60);
    const QString path = File("f.raw", bytes);
    const QString palette = File("p.pal", paletteBytes);
    ASSERT_TRUE(Show(path));
    EXPECT_EQ(OpenHandles(path), 1);

    // The palette chosen through its dialog, preset to the edit's text.
    Form->PalFileEdit->setText(QStringLiteral("preset.pal"));
    QString preset;
    Form->DialogRunner = [&](QDialog& dialog) {
        auto& files = dynamic_cast<QFileDialog&>(dialog);
        preset = files.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        EXPECT_EQ(files.nameFilters(), QStringList({"All files (*.*)", "Palettes (*.pal)"}));
        files.selectFile(palette);
        return int(QDialog::Accepted);
    };
    Form->PalBrowseSpeedButton->click();
    EXPECT_EQ(preset, QStringLiteral("preset.pal"));
    EXPECT_EQ(Form->PalFileEdit->text(), palette);
    Form->BPPButtons->button(1)->click();
    Form->PalMulSpinEdit->setValue(3);
    Form->WidthSpinEdit->setValue(40);
    LimitEdit()->setText(QStringLiteral("100"));
    ASSERT_TRUE(WaitPreview(QSize(40, 100)));
    const kadrimex::TRawOptions options = Form->Options();

    // Enter opens: the whole picture, 4 bits with the file's 16 colours.
    QTest::keyClick(Form->WidthSpinEdit, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->isVisible(); }, 5000));
    EXPECT_EQ(Form->result(), QDialog::Accepted);
    TBitmap expected;
    ASSERT_TRUE(kadrimex::test::ReferenceRaw(bytes, options, paletteBytes, expected));
    EXPECT_TRUE(kadrimex::test::SamePicture(Form->TakePicture(), expected));
    EXPECT_EQ(Form->RawStream, nullptr);
    EXPECT_EQ(OpenHandles(path), 0);

    // The options are kept for the next import; the close box and Cancel
    // import nothing and let the file go.
    Form->ReleasePicture();
    ASSERT_TRUE(Show(path));
    EXPECT_EQ(Preview(), QSize(40, 100));
    Form->close();
    EXPECT_EQ(Form->result(), QDialog::Rejected);
    EXPECT_EQ(OpenHandles(path), 0);
    EXPECT_TRUE(Form->TakePicture().Empty());
    ASSERT_TRUE(Show(path));
    Form->CancelSpeedButton->click();
    EXPECT_EQ(OpenHandles(path), 0);
    EXPECT_TRUE(Prompts.empty());

    // A file that cannot be opened: a message naming it, the dialog closes.
    const QString fifo = Dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    for (const QString& bad : {fifo, Dir.filePath(QStringLiteral("missing"))}) {
        Prompts.clear();
        Form->RawFileName = bad;
        Form->show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !Form->isVisible(); }, 3000)) << bad.toStdString();
        ASSERT_EQ(Prompts.size(), 1u);
        EXPECT_TRUE(Prompts[0].contains(bad)) << Prompts[0].toStdString();
        EXPECT_EQ(Form->result(), QDialog::Rejected);
    }
}

// A 3 GB sparse file and widths that make too many lines: the first lines
// show, typing goes on while they decode, and a line limit imports. How soon
// the lines show and how long the window may pause are timings, for a
// benchmark rather than this test.
TEST_F(OpenRawFormTest, HugeFilesStayResponsiveAndImportWithALineLimit)
{
    const QString path = Dir.filePath(QStringLiteral("huge.raw"));
    {
        std::ofstream out(path.toStdString(), std::ios::binary);
        out.put(char(200));
    }
    ASSERT_EQ(truncate(path.toLocal8Bit().constData(), off_t(3) << 30), 0);
    ASSERT_TRUE(Show(path));
    EXPECT_GT(Preview().height(), 1000);
    EXPECT_TRUE(Form->PreviewMessageLabel->text().contains(QStringLiteral("too large"))) << Form->PreviewMessageLabel->text().toStdString();

    // Widths typed one key at a time: each makes millions of lines.
    Form->WidthSpinEdit->selectAll();
    for (const char* key : {"1", "7", "3", "9", "2"}) {
        QTest::keyClicks(Form->WidthSpinEdit, QString::fromLatin1(key));
        QTest::qWait(20);
    }
    ASSERT_TRUE(WaitPreview(QSize(17392, 964), 10000)) << Preview().width() << " x " << Preview().height();

    // Too wide for any picture: a message, the preview stays.
    Form->WidthSpinEdit->setValue(100000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Form->PreviewMessageLabel->text().contains(QStringLiteral("100000")); },
                                5000));
    EXPECT_EQ(Preview(), QSize(17392, 964));
    // "&Open" without a limit refuses; with one it imports.
    Form->WidthSpinEdit->setValue(320);
    EXPECT_TRUE(WaitPreview(QSize(320, 52428)));
    Form->OpenSpeedButton->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Form->OpenSpeedButton->isEnabled(); }, 5000));
    EXPECT_TRUE(Form->isVisible());
    LimitEdit()->setText(QStringLiteral("1024"));
    ASSERT_TRUE(WaitPreview(QSize(320, 1024)));
    ASSERT_EQ(Open(), QDialog::Accepted);
    const TBitmap picture = Form->TakePicture();
    EXPECT_EQ(picture.Width(), 320);
    EXPECT_EQ(picture.Height(), 1024);
    EXPECT_EQ(picture.ScanLine(0)[0], 200);
}

// Open with the RAW filter: the dialog's picture becomes the displayed one,
// keeping its 1, 4 or 8-bit format and palette; the zoom is back at 100.
TEST_F(OpenRawFormTest, TheMainWindowImportsThroughTheDialog)
{
    TKadrimexMainForm main;
    const QString path = File("f.raw", kadrimex::test::CountingBytes(500));
    int changes = 0;
    QObject::connect(main.Document, &TPictureDocument::Changed, [&](TPictureDocument::TChange change) {
        changes += change == TPictureDocument::TChange::RawImport;
    });
    for (int depth : {0, 1, 2}) {
        main.ZoomComboBox->setEditText(QStringLiteral("50"));
        main.DialogRunner = [&](QDialog& dialog) {
            if (auto* raw = qobject_cast<TOpenRawForm*>(&dialog)) {
                EXPECT_EQ(raw->RawFileName, path);
                raw->show();
                raw->BPPButtons->button(depth)->click();
                raw->WidthSpinEdit->setValue(16);
                EXPECT_TRUE(QTest::qWaitFor([&] { return raw->WorkImage->Image().width() == 16; }, 5000));
                raw->OpenSpeedButton->click();
                EXPECT_TRUE(QTest::qWaitFor([&] { return !raw->isVisible(); }, 5000));
                return raw->result();
            }
            auto& files = dynamic_cast<QFileDialog&>(dialog);
            files.selectNameFilter(files.nameFilters().last());
            files.selectFile(path);
            return int(QDialog::Accepted);
        };
        main.OpenButton->click();
        const kadrimex::TPicture& shown = main.Document->Picture();
        ASSERT_TRUE(shown.IsBitmap());
        const TBitmap& bitmap = std::get<TBitmap>(shown.graphic());
        const TPixelFormat formats[] = {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit};
        EXPECT_EQ(bitmap.PixelFormat(), formats[depth]);
        EXPECT_EQ(bitmap.Palette().size(), std::size_t(depth == 0 ? 2 : depth == 1 ? 16 : 256));
        EXPECT_EQ(bitmap.Width(), 16);
        EXPECT_EQ(main.ZoomComboBox->currentText(), QStringLiteral("100"));
    }
    EXPECT_EQ(changes, 3);
}

}  // namespace
