#include "filters/ui/FilterGeneratorForm.h"

TFilterGeneratorForm::TFilterGeneratorForm(QWidget* parent)
    : TMaskGeneratorFormBase(parent, "FilterGeneratorForm", QStringLiteral("Filter masks generator"),
                             QStringLiteral("Filter &size"), QStringLiteral("Height:"),
                             QStringLiteral("Filter &steepness:"))
{
    FinishLayout({LevelGroupBox});
}
