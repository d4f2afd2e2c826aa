// Parameters of the abstract shapes generator: the picture size, the
// function number (NumberTrackBar's position, read by the launcher directly)
// and the shaping parameter. The launcher reads MaskWidth, MaskHeight, Level
// and NumberTrackBar->value() after an accepted exec().
#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

class TAbstractGeneratorForm : public QDialog {
    Q_OBJECT
public:
    explicit TAbstractGeneratorForm(QWidget* parent = nullptr);

    // Written by the OK action: Level first, then the sizes, which must lie
    // in 1..32760 for the dialog to close.
    int MaskWidth = 640;
    int MaskHeight = 480;
    long double Level = 1.1L;

    QGroupBox* SizeGroupBox = nullptr;
    QLabel* WidthLabel = nullptr;
    QComboBox* WidthBox = nullptr;
    QLabel* HeightLabel = nullptr;
    QComboBox* HeightBox = nullptr;
    QGroupBox* ShapesGroupBox = nullptr;
    QLabel* NumberLabel = nullptr;
    QSlider* NumberTrackBar = nullptr;
    QLabel* LevelLabel = nullptr;
    QLineEdit* LevelEdit = nullptr;
    QPushButton* OkSpeedButton = nullptr;
    QPushButton* CancelSpeedButton = nullptr;

public slots:
    void OkSpeedButtonClick();
    void CancelSpeedButtonClick();

protected:
    // Escape does nothing in this dialog.
    void keyPressEvent(QKeyEvent* event) override;
};
