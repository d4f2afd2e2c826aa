// "Open a file without header (RAW)": the layout of a headerless file —
// width, skip, line limit, direction, Typical depth with its palette file and
// multiplier, or Multibyte bytes per pixel — with a live preview decoded
// again in the background after every change of an option.
//
// The main window sets RawFileName and shows the dialog; the file is open,
// read-only and shared, from the show until the dialog closes in any way.
// "&Open" (or Enter) decodes the whole picture with the final options and
// accepts only when that succeeded; TakePicture() then hands it over.
#pragma once

#include "engine/Bitmap.h"
#include "rawimport/RawImport.h"

#include <QDialog>
#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QButtonGroup;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QToolButton;

namespace kadrimex::ui {
class TRawPreviewDecoder;
struct TRawDecodeResult;
}

// The preview control: shows its image at 1:1 and takes the image's size.
class TRawPreviewImage : public QWidget {
    Q_OBJECT
public:
    explicit TRawPreviewImage(QWidget* parent = nullptr);
    void SetImage(QImage image);
    const QImage& Image() const { return FImage; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage FImage;
};

class TOpenRawForm : public QDialog {
    Q_OBJECT
public:
    explicit TOpenRawForm(QWidget* parent = nullptr);
    ~TOpenRawForm() override;

    // The file to import; set by the main window before it shows the dialog.
    QString RawFileName;
    // The file while the dialog is shown; null otherwise.
    std::shared_ptr<const kadrimex::TRawFile> RawStream;

    QSpinBox* WidthSpinEdit = nullptr;
    QSpinBox* SkipStartSpinEdit = nullptr;
    QComboBox* MaxLinesComboBox = nullptr;
    QGroupBox* DirectionRadioGroup = nullptr;
    QButtonGroup* DirectionButtons = nullptr;
    QGroupBox* OpenModeRadioGroup = nullptr;
    QButtonGroup* OpenModeButtons = nullptr;
    QGroupBox* BPPRadioGroup = nullptr;
    QButtonGroup* BPPButtons = nullptr;
    QLabel* PalFileLabel = nullptr;
    QLineEdit* PalFileEdit = nullptr;
    QToolButton* PalBrowseSpeedButton = nullptr;
    QLabel* PalMulLabel = nullptr;
    QSpinBox* PalMulSpinEdit = nullptr;
    QLabel* BytesPerPixLabel = nullptr;
    QSpinBox* BytesPerPixEdit = nullptr;
    QPushButton* OpenSpeedButton = nullptr;
    QPushButton* CancelSpeedButton = nullptr;
    QAction* OpenAction = nullptr;
    QFileDialog* PalOpenDialog = nullptr;
    // What the preview or "&Open" has to say: a picture too large, a file
    // that cannot be read, a preview of the first lines only.
    QLabel* PreviewMessageLabel = nullptr;
    QScrollArea* MainScrollBox = nullptr;
    TRawPreviewImage* WorkImage = nullptr;

    // The options as the controls hold them.
    kadrimex::TRawOptions Options() const;

    // The whole picture of the final options after an accepted dialog;
    // empty otherwise. Taking it leaves the dialog without a picture.
    kadrimex::TBitmap TakePicture();
    // Frees the preview's image memory (the main window, after each use).
    void ReleasePicture();

    // Runs the palette dialog; tests replace it (see the main window's
    // DialogRunner).
    std::function<int(QDialog&)> DialogRunner;

public slots:
    void FormShow();
    void OpenModeRadioGroupClick();
    void WidthSpinEditChange();
    void MaxLinesComboBoxChange();
    void BPPRadioGroupClick();
    void DirectionRadioGroupClick();
    void SkipStartSpinEditChange();
    void PalFileEditChange();
    void PalBrowseSpeedButtonClick();
    void OpenSpeedButtonClick();
    void CancelSpeedButtonClick();
    void UpdatePreview();

signals:
    // A new preview is shown (size of its picture).
    void PreviewUpdated(QSize size);

protected:
    void showEvent(QShowEvent* event) override;
    // Every way of closing ends here: the decode stops and the file is let go.
    void done(int result) override;

private:
    void Decoded(const kadrimex::ui::TRawDecodeResult& result);
    void ReleaseRawStream();
    void SetOptionsEnabled(bool enabled);

    kadrimex::ui::TRawPreviewDecoder* FDecoder = nullptr;
    std::shared_ptr<kadrimex::TBitmap> FPicture;
    // True from "&Open" until its decode reports.
    bool FOpening = false;
};
