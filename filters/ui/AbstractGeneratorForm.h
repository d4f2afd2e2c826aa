// Parameters of the abstract shapes generator: the picture size, the
// function number (NumberTrackBar's position, read by the launcher directly)
// and the shaping parameter. The launcher reads MaskWidth, MaskHeight, Level
// and NumberTrackBar->value() after an accepted exec().
#pragma once

#include "filters/ui/FilterDialogCommon.h"

class TAbstractGeneratorForm : public TGeneratorFormBase {
    Q_OBJECT
public:
    explicit TAbstractGeneratorForm(QWidget* parent = nullptr);

    QGroupBox* ShapesGroupBox = nullptr;
    QLabel* NumberLabel = nullptr;
    QSlider* NumberTrackBar = nullptr;
};
