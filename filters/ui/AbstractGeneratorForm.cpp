#include "filters/ui/AbstractGeneratorForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

using namespace kadrimex::ui;

TAbstractGeneratorForm::TAbstractGeneratorForm(QWidget* parent)
    : TGeneratorFormBase(parent, "AbstractGeneratorForm", QStringLiteral("Strange shapes generator"),
                         QStringLiteral("Generated image size"), QStringLiteral("&Height:"), 1.1L)
{
    ShapesGroupBox = Named(new QGroupBox(QStringLiteral("Shapes"), this), "ShapesGroupBox");
    NumberLabel = Named(new QLabel(QStringLiteral("&Mathematic function number:"), ShapesGroupBox), "NumberLabel");
    NumberTrackBar = MakeTrackBar(ShapesGroupBox, "NumberTrackBar", 0, 5, 0);
    NumberTrackBar->setTickInterval(1);
    NumberTrackBar->setPageStep(1);
    NumberTrackBar->setToolTip(QStringLiteral(
        "0: product of two folds; 1: Gauss of level 500·e^(-100·p); 2: Gauss waves; 3: rings; 4: spiral; "
        "5: moiré of two ring gratings (3 to 5: p is the rings' frequency in radians per pixel)"));
    NumberLabel->setBuddy(NumberTrackBar);
    LevelLabel = Named(new QLabel(QStringLiteral("Shaping &parameter:"), ShapesGroupBox), "LevelLabel");
    LevelLabel->setBuddy(AddLevelEdit(ShapesGroupBox));
    auto* shapesLayout = new QGridLayout(ShapesGroupBox);
    shapesLayout->addWidget(NumberLabel, 0, 0);
    shapesLayout->addWidget(NumberTrackBar, 0, 1);
    shapesLayout->addWidget(LevelLabel, 1, 0);
    shapesLayout->addWidget(LevelEdit, 1, 1);

    FinishLayout({ShapesGroupBox});
}
