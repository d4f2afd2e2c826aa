// Level of the Gauss and triangle blurs and of the FFT Gauss: one value from
// a track bar (ten times the value) coupled with an edit. The launcher reads
// Level after an accepted exec().
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

class TFilterLevelForm : public QDialog {
    Q_OBJECT
public:
    explicit TFilterLevelForm(QWidget* parent = nullptr);

    // Written by the OK action from LevelEdit's text.
    long double Level = 1.0L;

    QSlider* LevelTrackBar = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* LevelEdit = nullptr;
    QPushButton* OkSpeedButton = nullptr;
    QPushButton* CancelSpeedButton = nullptr;

public slots:
    void LevelTrackBarChange();
    void LevelEditChange();
    void OkSpeedButtonClick();
    void CancelSpeedButtonClick();

protected:
    void showEvent(QShowEvent* event) override;
};
