// "Resize image": the new size of the picture, kept in its aspect ratio
// while either number is typed if asked, the memory the new picture takes,
// and the interpolation. The resize command sets FOrigWidth and FOrigHeight
// before showing it and reads FNewWidth, FNewHeight and the interpolation
// index after an accepted exec().
#pragma once

#include <QDialog>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QButtonGroup;

// The memory display's text for a w x h picture of three bytes a pixel:
// "nie przejdzie" above 100000000000 bytes, then " MB", " kB" or " B".
QString ResizeMemoryText(std::int32_t w, std::int32_t h);

class TResizerForm : public QDialog {
    Q_OBJECT
public:
    explicit TResizerForm(QWidget* parent = nullptr);

    std::int32_t FOrigWidth = 0;
    std::int32_t FOrigHeight = 0;
    std::int32_t FNewWidth = 0;
    std::int32_t FNewHeight = 0;

    QGroupBox* SizeGroupBox = nullptr;
    QComboBox* WidthBox = nullptr;
    QComboBox* HeightBox = nullptr;
    QLineEdit* ShowSizeEdit = nullptr;
    QCheckBox* KeepProporCheckBox = nullptr;
    QGroupBox* InterpolationRadioGroup = nullptr;
    QButtonGroup* InterpolationButtons = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

    // The selected item of InterpolationRadioGroup (0 to 2).
    int InterpolationIndex() const;

public slots:
    void FormShow();
    void WidthBoxChange();
    void HeightBoxChange();
    void OkButtonClick();
    void CancelButtonClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdateMemorySize();
};
