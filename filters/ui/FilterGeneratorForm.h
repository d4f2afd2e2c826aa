// Parameters of the Gauss, sharpen and edge mask generators: the mask size
// and the steepness (a track bar holding ten times the value, coupled with
// an edit). The launcher reads MaskWidth, MaskHeight and Level after an
// accepted exec().
#pragma once

#include "filters/ui/FilterDialogCommon.h"

class TFilterGeneratorForm : public TMaskGeneratorFormBase {
    Q_OBJECT
public:
    explicit TFilterGeneratorForm(QWidget* parent = nullptr);
};
