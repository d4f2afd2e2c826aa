// Parameters of sharpen and find edges: a generalisation (Size) and an
// amplification (Level), each a track bar (ten times the value) coupled with
// an edit. The launcher reads Level and Size after an accepted exec().
#pragma once

#include "filters/ui/FilterDialogCommon.h"

class QLabel;
class QSlider;

class TSharpenForm : public TFilterDialogBase {
    Q_OBJECT
public:
    explicit TSharpenForm(QWidget* parent = nullptr);

    // Written by the OK action after Level, from SizeEdit.
    long double Size = 1.0L;

    QSlider* SizeTrackBar = nullptr;
    QLabel* SizeLabel = nullptr;
    QLineEdit* SizeEdit = nullptr;
    QSlider* LevelTrackBar = nullptr;
    QLabel* LevelLabel = nullptr;

public slots:
    void SizeTrackBarChange();
    void SizeEditChange();
    void LevelTrackBarChange();
    void LevelEditChange();

protected:
    // Level is kept even when SizeEdit then fails to convert.
    bool ReadMoreValues() override;
};
