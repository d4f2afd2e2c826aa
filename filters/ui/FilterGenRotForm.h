// Parameters of the triangle mask generator: the mask size, the steepness (a
// track bar holding ten times the value, coupled with an edit) and the
// rotation angle in radians. The launcher reads MaskWidth, MaskHeight, Level
// and Angle after an accepted exec().
#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

class TFilterGenRotForm : public QDialog {
    Q_OBJECT
public:
    explicit TFilterGenRotForm(QWidget* parent = nullptr);

    // Written by the OK action: Level, Angle, then the sizes, which must lie
    // in 1..32760 for the dialog to close.
    int MaskWidth = 640;
    int MaskHeight = 480;
    long double Level = 1.0L;
    long double Angle = 0.0L;

    QGroupBox* SizeGroupBox = nullptr;
    QLabel* WidthLabel = nullptr;
    QComboBox* WidthBox = nullptr;
    QLabel* HeightLabel = nullptr;
    QComboBox* HeightBox = nullptr;
    QGroupBox* LevelGroupBox = nullptr;
    QSlider* LevelTrackBar = nullptr;
    QLabel* LevelLabel = nullptr;
    QLineEdit* LevelEdit = nullptr;
    QGroupBox* AngleGroupBox = nullptr;
    QPushButton* AngleZeroButton = nullptr;
    QPushButton* SpeedButton2 = nullptr;
    QPushButton* AnglePi2Button = nullptr;
    QPushButton* AnglePi4Button = nullptr;
    QLineEdit* AngleEdit = nullptr;
    QLabel* AngleLabel = nullptr;
    QPushButton* OkSpeedButton = nullptr;
    QPushButton* CancelSpeedButton = nullptr;

public slots:
    void LevelTrackBarChange();
    void LevelEditChange();
    void AngleZeroButtonClick();
    void SpeedButton2Click();
    void AnglePi2ButtonClick();
    void AnglePi4ButtonClick();
    void OkSpeedButtonClick();
    void CancelSpeedButtonClick();

protected:
    // Escape does nothing in this dialog.
    void keyPressEvent(QKeyEvent* event) override;
};
