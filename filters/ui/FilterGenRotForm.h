// Parameters of the triangle mask generator: the mask size, the steepness (a
// track bar holding ten times the value, coupled with an edit) and the
// rotation angle in radians. The launcher reads MaskWidth, MaskHeight, Level
// and Angle after an accepted exec().
#pragma once

#include "filters/ui/FilterDialogCommon.h"

class TFilterGenRotForm : public TMaskGeneratorFormBase {
    Q_OBJECT
public:
    explicit TFilterGenRotForm(QWidget* parent = nullptr);

    // Written by the OK action after Level and before the sizes.
    long double Angle = 0.0L;

    QGroupBox* AngleGroupBox = nullptr;
    QPushButton* AngleZeroButton = nullptr;
    QPushButton* SpeedButton2 = nullptr;
    QPushButton* AnglePi2Button = nullptr;
    QPushButton* AnglePi4Button = nullptr;
    QLineEdit* AngleEdit = nullptr;
    QLabel* AngleLabel = nullptr;

public slots:
    void AngleZeroButtonClick();
    void SpeedButton2Click();
    void AnglePi2ButtonClick();
    void AnglePi4ButtonClick();

protected:
    bool ReadMoreValues() override;
};
