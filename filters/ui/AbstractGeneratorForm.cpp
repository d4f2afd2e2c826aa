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
