// Level of the Gauss and triangle blurs and of the FFT Gauss: one value from
// a track bar (ten times the value) coupled with an edit. The launcher reads
// Level after an accepted exec().
#pragma once

#include "filters/ui/FilterDialogCommon.h"

class QLabel;
class QSlider;

class TFilterLevelForm : public TFilterDialogBase {
    Q_OBJECT
public:
    explicit TFilterLevelForm(QWidget* parent = nullptr);

    QSlider* LevelTrackBar = nullptr;
    QLabel* Label1 = nullptr;

public slots:
    void LevelTrackBarChange();
    void LevelEditChange();
};
