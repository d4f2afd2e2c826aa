// "Image color depth": the bits per pixel of the picture, and whether to make
// it a two-colour picture. The command writes the picture's format into
// FPixelFormat before exec() and reads FPixelFormat and
// MakeMonochromeCheckBox after an accepted one.
#pragma once

#include "engine/Bitmap.h"

#include <QDialog>
#include <QMetaObject>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QPushButton;

class TColorDepthForm : public QDialog {
    Q_OBJECT
public:
    explicit TColorDepthForm(QWidget* parent = nullptr);

    // Items "1 bpp" ... "32 bpp" in two columns; their ids are the indices.
    QGroupBox* BPPRadioGroup = nullptr;
    QButtonGroup* BPPButtons = nullptr;
    QCheckBox* MakeMonochromeCheckBox = nullptr;
    QPushButton* OkSpeedButton = nullptr;
    QPushButton* CancelSpeedButton = nullptr;

    // The picture's format on the way in, the chosen one on the way out. An
    // untouched group keeps it as it came, whatever item shows it.
    kadrimex::TPixelFormat FPixelFormat = kadrimex::TPixelFormat::pf8bit;

public slots:
    void FormShow();
    void FormHide();
    void BPPRadioGroupClick();
    void OkSpeedButtonClick();
    void CancelSpeedButtonClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QMetaObject::Connection FClickHandler;
};
