#include "filters/ui/AbstractGeneratorForm.h"

#include "app/LocaleNumbers.h"
#include "filters/ui/FilterDialogCommon.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

using namespace kadrimex::ui;

TAbstractGeneratorForm::TAbstractGeneratorForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AbstractGeneratorForm"));
    setWindowTitle(QStringLiteral("Strange shapes generator"));
    setWindowFlags(Qt::Tool);

    SizeGroupBox = new QGroupBox(QStringLiteral("Generated image size"), this);
    SizeGroupBox->setObjectName(QStringLiteral("SizeGroupBox"));
    WidthLabel = new QLabel(QStringLiteral("&Width:"), SizeGroupBox);
    WidthLabel->setObjectName(QStringLiteral("WidthLabel"));
    WidthBox = MakeSizeBox(SizeGroupBox, "WidthBox", true, QStringLiteral("640"));
    WidthLabel->setBuddy(WidthBox);
    HeightLabel = new QLabel(QStringLiteral("&Height:"), SizeGroupBox);
    HeightLabel->setObjectName(QStringLiteral("HeightLabel"));
    HeightBox = MakeSizeBox(SizeGroupBox, "HeightBox", false, QStringLiteral("480"));
    HeightLabel->setBuddy(HeightBox);
    auto* sizeLayout = new QGridLayout(SizeGroupBox);
    sizeLayout->addWidget(WidthLabel, 0, 0);
    sizeLayout->addWidget(WidthBox, 0, 1);
    sizeLayout->addWidget(HeightLabel, 1, 0);
    sizeLayout->addWidget(HeightBox, 1, 1);

    ShapesGroupBox = new QGroupBox(QStringLiteral("Shapes"), this);
    ShapesGroupBox->setObjectName(QStringLiteral("ShapesGroupBox"));
    NumberLabel = new QLabel(QStringLiteral("&Mathematic function number:"), ShapesGroupBox);
    NumberLabel->setObjectName(QStringLiteral("NumberLabel"));
    NumberTrackBar = new QSlider(Qt::Horizontal, ShapesGroupBox);
    NumberTrackBar->setObjectName(QStringLiteral("NumberTrackBar"));
    NumberTrackBar->setRange(0, 5);
    NumberTrackBar->setValue(0);
    NumberTrackBar->setTickPosition(QSlider::TicksBelow);
    NumberTrackBar->setTickInterval(1);
    NumberTrackBar->setPageStep(1);
    NumberLabel->setBuddy(NumberTrackBar);
    LevelLabel = new QLabel(QStringLiteral("Shaping &parameter:"), ShapesGroupBox);
    LevelLabel->setObjectName(QStringLiteral("LevelLabel"));
    LevelEdit = new QLineEdit(FormatReal(1.1L, 1), ShapesGroupBox);
    LevelEdit->setObjectName(QStringLiteral("LevelEdit"));
    LevelLabel->setBuddy(LevelEdit);
    auto* shapesLayout = new QGridLayout(ShapesGroupBox);
    shapesLayout->addWidget(NumberLabel, 0, 0);
    shapesLayout->addWidget(NumberTrackBar, 0, 1);
    shapesLayout->addWidget(LevelLabel, 1, 0);
    shapesLayout->addWidget(LevelEdit, 1, 1);

    OkSpeedButton = MakeSpeedButton(this, "OkSpeedButton", QStringLiteral("&Generate"));
    CancelSpeedButton = MakeSpeedButton(this, "CancelSpeedButton", QStringLiteral("&Cancel"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(SizeGroupBox);
    layout->addWidget(ShapesGroupBox);
    layout->addLayout(ButtonRow(OkSpeedButton, CancelSpeedButton));

    connect(OkSpeedButton, &QPushButton::clicked, this, &TAbstractGeneratorForm::OkSpeedButtonClick);
    connect(CancelSpeedButton, &QPushButton::clicked, this, &TAbstractGeneratorForm::CancelSpeedButtonClick);

    auto* keys = new DialogKeyFilter(this, [this] { OkSpeedButtonClick(); });
    keys->Watch(WidthBox);
    keys->Watch(HeightBox);
    keys->Watch(LevelEdit);
}

void TAbstractGeneratorForm::OkSpeedButtonClick()
{
    if (!ReadRealEdit(LevelEdit, Level))
        return;
    const bool widthOk = ReadSideBox(WidthBox, MaskWidth);
    const bool heightOk = ReadSideBox(HeightBox, MaskHeight);
    if (widthOk && heightOk)
        accept();
}

void TAbstractGeneratorForm::CancelSpeedButtonClick()
{
    reject();
}

void TAbstractGeneratorForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
