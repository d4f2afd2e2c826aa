// Parameters of sharpen and find edges: a generalisation (Size) and an
// amplification (Level), each a track bar (ten times the value) coupled with
// an edit. The launcher reads Level and Size after an accepted exec().
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

class TSharpenForm : public QDialog {
    Q_OBJECT
public:
    explicit TSharpenForm(QWidget* parent = nullptr);

    // Written by the OK action, Level first, from LevelEdit and SizeEdit.
    long double Level = 1.0L;
    long double Size = 1.0L;

    QSlider* SizeTrackBar = nullptr;
    QLabel* SizeLabel = nullptr;
    QLineEdit* SizeEdit = nullptr;
    QSlider* LevelTrackBar = nullptr;
    QLabel* LevelLabel = nullptr;
    QLineEdit* LevelEdit = nullptr;
    QPushButton* OkSpeedButton = nullptr;
    QPushButton* CancelSpeedButton = nullptr;

public slots:
    void SizeTrackBarChange();
    void SizeEditChange();
    void LevelTrackBarChange();
    void LevelEditChange();
    void OkSpeedButtonClick();
    void CancelSpeedButtonClick();

protected:
    void showEvent(QShowEvent* event) override;
};
