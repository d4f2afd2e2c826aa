// File commands: New, Open and Save, and files dropped on the window. They
// act on the displayed picture directly, without the worker thread.
#include "app/MainForm.h"

#include "app/NewImgForm.h"
#include "app/PictureDocument.h"
#include "ui/Prompt.h"
#include "app/WorkImage.h"
#include "engine/Codecs.h"
#include "engine/PictureFiles.h"
#include "rawimport/ui/OpenRawForm.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace ui = kadrimex::ui;

namespace {

// 1-based index of the dialog's chosen filter, 0 when none matches.
int FilterIndex(const QFileDialog& dialog)
{
    return int(dialog.nameFilters().indexOf(dialog.selectedNameFilter())) + 1;
}

// The open dialog's "RAW files (*.*)" filter is its last.
bool RawFilterChosen(const QFileDialog& dialog)
{
    return FilterIndex(dialog) == int(dialog.nameFilters().size());
}

// The format of each save filter after the first two (PNG, TIFF, WebP).
constexpr kadrimex::TFileFormat kSaveFormatsAfterJpeg[] = {kadrimex::TFileFormat::Png, kadrimex::TFileFormat::Tiff,
                                                           kadrimex::TFileFormat::WebP};

}  // namespace

void TKadrimexMainForm::NewButtonClick()
{
    auto& form = Dialog<TNewImgForm>();
    if (RunDialog(form) != QDialog::Accepted)
        return;
    // The dialog accepts only sides of 1 to 32760; check again, since the
    // fields are public.
    if (form.FNewWidth < TNewImgForm::kMinSide || form.FNewWidth > TNewImgForm::kMaxSide ||
        form.FNewHeight < TNewImgForm::kMinSide || form.FNewHeight > TNewImgForm::kMaxSide)
        return;
    const bool made = ui::RunReportingErrors(
        [&] {
            kadrimex::TAdvancedBitmap bitmap;
            bitmap.Reset(form.FNewWidth, form.FNewHeight, kadrimex::TPixelFormat::pf24bit);
            const QColor colour = form.Color().toRgb();
            kadrimex::FillSolid(bitmap, std::uint8_t(colour.red()), std::uint8_t(colour.green()),
                                std::uint8_t(colour.blue()));
            kadrimex::TPicture picture;
            picture.Assign(kadrimex::TBitmap(std::move(static_cast<kadrimex::TBitmap&>(bitmap))));
            Document->Replace(std::move(picture), TPictureDocument::TChange::New);
        },
        QStringLiteral("Not enough memory for a picture of this size"));
    if (!made)
        return;
    MainStatusBar->SetPanelText(QStringLiteral("Czary mary Tarvel Bimek i obrazek zmalowany."));
    ApplyZoom();
    MainStatusBar->repaint();
}

void TKadrimexMainForm::OpenButtonClick()
{
    if (RunDialog(*OpenPictureDialog) != QDialog::Accepted)
        return;
    const QStringList files = OpenPictureDialog->selectedFiles();
    if (files.isEmpty())
        return;
    FFileName = files.first();

    // The chosen filter decides, not the file's extension.
    if (RawFilterChosen(*OpenPictureDialog)) {
        OpenRawFile();
        NormZoomButtonClick();
    } else {
        OpenPictureFile(FFileName);
    }
}

bool TKadrimexMainForm::OpenPictureFile(const QString& path)
{
    FFileName = path;
    const bool opened = ui::RunReportingErrors(
        [&] {
            kadrimex::TPicture picture = kadrimex::TPicture::LoadFromFile(path.toStdString());
            Document->Replace(std::move(picture), TPictureDocument::TChange::Open);
        },
        QStringLiteral("Not enough memory to load this picture"));
    if (!opened)
        return false;
    NormZoomButtonClick();
    return true;
}

QString TKadrimexMainForm::DroppedPicture(const QMimeData* data) const
{
    if (Busy() || !data || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QUrl url = data->urls().first();
    if (!url.isLocalFile())
        return {};
    const QString path = url.toLocalFile();
    const QString suffix = QFileInfo(path).suffix().toLower();
    static const QStringList known = {QStringLiteral("bmp"), QStringLiteral("jpg"),  QStringLiteral("jpeg"),
                                      QStringLiteral("ico"), QStringLiteral("png"),  QStringLiteral("tif"),
                                      QStringLiteral("tiff"), QStringLiteral("webp")};
    return known.contains(suffix) ? path : QString();
}

// A drop is taken as a copy only: accepted as a move, the source (a file
// manager) could delete the file it hands over.
static bool AcceptAsCopy(QDropEvent* event, const QString& path)
{
    if (path.isEmpty() || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

void TKadrimexMainForm::dragEnterEvent(QDragEnterEvent* event)
{
    AcceptAsCopy(event, DroppedPicture(event->mimeData()));
}

void TKadrimexMainForm::dragMoveEvent(QDragMoveEvent* event)
{
    AcceptAsCopy(event, DroppedPicture(event->mimeData()));
}

void TKadrimexMainForm::dropEvent(QDropEvent* event)
{
    // An operation may have started since the drag entered.
    const QString path = DroppedPicture(event->mimeData());
    if (!AcceptAsCopy(event, path))
        return;
    // Opened once the drop is finished, so an error box does not hold up the
    // application the file came from.
    QTimer::singleShot(0, this, [this, path] {
        if (!Busy())
            OpenPictureFile(path);
    });
}

void TKadrimexMainForm::OpenRawFile()
{
    auto& form = Dialog<TOpenRawForm>();
    form.RawFileName = FFileName;
    disconnect(&form, &TOpenRawForm::PreviewUpdated, this, nullptr);
    connect(&form, &TOpenRawForm::PreviewUpdated, this, [](QSize size) {
        TestProbe(QStringLiteral("raw-preview %1 %2").arg(size.width()).arg(size.height()));
    });
    if (RunDialog(form) == QDialog::Accepted) {
        // The whole picture of the final options, in its own format and
        // palette.
        kadrimex::TBitmap bitmap = form.TakePicture();
        if (!bitmap.Empty()) {
            kadrimex::TPicture picture;
            picture.Assign(std::move(bitmap));
            Document->Replace(std::move(picture), TPictureDocument::TChange::RawImport);
        }
    }
    form.ReleasePicture();
}

void TKadrimexMainForm::SaveButtonClick()
{
    SavePicture();
}

bool TKadrimexMainForm::SavePicture()
{
    if (!FFileName.isEmpty())
        SavePictureDialog->selectFile(FFileName);
    if (RunDialog(*SavePictureDialog) != QDialog::Accepted)
        return false;
    const QStringList files = SavePictureDialog->selectedFiles();
    if (files.isEmpty())
        return false;
    // Used as typed: no extension is added; the filter picks the format.
    const std::string path = files.first().toStdString();
    const int index = FilterIndex(*SavePictureDialog);

    return ui::RunReportingErrors(
        [&] {
            // A folder that cannot take the file fails before any encoding.
            kadrimex::CheckWritableDestination(path);
            const kadrimex::TPicture& shown = Document->Picture();
            if (index == 1) {
                // The picture's own format; a JPEG is decoded and stays a bitmap.
                kadrimex::TBitmap bitmap = shown.ToBitmap("TAdvancedBitmap");
                kadrimex::SaveBmpFile(path, bitmap);
                kadrimex::TPicture picture;
                picture.Assign(std::move(bitmap));
                Document->Replace(std::move(picture), TPictureDocument::TChange::Save);
            } else if (index == 2) {
                // Quality 80, baseline; the compressed JPEG becomes the picture.
                const kadrimex::TBitmap bitmap = shown.ToBitmap("TJPEGImage");
                kadrimex::TJPEGImage jpeg = kadrimex::TJPEGImage::Compress(bitmap, 80, false);
                kadrimex::WriteFileAtomically(path, jpeg.Data());
                kadrimex::TPicture picture;
                picture.Assign(std::move(jpeg));
                Document->Replace(std::move(picture), TPictureDocument::TChange::Save);
            } else if (index >= 3 && index < 3 + int(std::size(kSaveFormatsAfterJpeg))) {
                // As for BMP, the picture becomes the bitmap that was written.
                kadrimex::TBitmap bitmap = shown.ToBitmap("TAdvancedBitmap");
                kadrimex::SavePictureFile(path, bitmap, kSaveFormatsAfterJpeg[index - 3]);
                kadrimex::TPicture picture;
                picture.Assign(std::move(bitmap));
                Document->Replace(std::move(picture), TPictureDocument::TChange::Save);
            }
        },
        QStringLiteral("Not enough memory to save this picture"));
}
