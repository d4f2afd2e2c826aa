// Parameters of the Gauss, sharpen and edge mask generators: the mask size
// and the steepness (a track bar holding ten times the value, coupled with
// an edit). The launcher reads MaskWidth, MaskHeight and Level after an
// accepted exec().
#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

class TFilterGeneratorForm : public QDialog {
    Q_OBJECT
public:
    explicit TFilterGeneratorForm(QWidget* parent = nullptr);

    // Written by the OK action: Level first, then the sizes, which must lie
    // in 1..32760 for the dialog to close.
    int MaskWidth = 640;
    int MaskHeight = 480;
    long double Level = 1.0L;

    QGroupBox* SizeGroupBox = nullptr;
    QLabel* WidthLabel = nullptr;
    QComboBox* WidthBox = nullptr;
    QLabel* HeightLabel = nullptr;
    QComboBox* HeightBox = nullptr;
    QGroupBox* LevelGroupBox = nullptr;
    QSlider* LevelTrackBar = nullptr;
    QLabel* LevelLabel = nullptr;
    QLineEdit* LevelEdit = nullptr;
    QPushButton* OkSpeedButton = nullptr;
    QPushButton* CancelSpeedButton = nullptr;

public slots:
    void LevelTrackBarChange();
    void LevelEditChange();
    void OkSpeedButtonClick();
    void CancelSpeedButtonClick();

protected:
    // Escape does nothing in this dialog.
    void keyPressEvent(QKeyEvent* event) override;
};
