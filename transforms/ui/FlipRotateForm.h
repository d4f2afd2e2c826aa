// "Swap and rotate": mirror top to bottom or left to right, or turn by an
// angle in radians typed or picked from the presets, optionally enlarging the
// bitmap to hold the turned picture. The command reads the radio buttons,
// FAngle and ExtendBitmapCheckBox after an accepted exec().
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

class TFlipRotateForm : public QDialog {
    Q_OBJECT
public:
    explicit TFlipRotateForm(QWidget* parent = nullptr);

    QRadioButton* FlipVRadioButton = nullptr;
    QRadioButton* FlipHRadioButton = nullptr;
    QRadioButton* RotateRadioButton = nullptr;
    QPushButton* OkSpeedButton = nullptr;
    QPushButton* CancelSpeedButton = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* AngleComboBox = nullptr;
    QCheckBox* ExtendBitmapCheckBox = nullptr;

    // The angle in radians; written by OK (0 unless Rotate is checked).
    long double FAngle = 0;

public slots:
    void FormCreate();
    void RotateRadioButtonClick();
    void OkSpeedButtonClick();
    void CancelSpeedButtonClick();

protected:
    // The checked choice has the focus when the dialog opens, so the arrow
    // keys move the choice from there.
    void showEvent(QShowEvent* event) override;
};
