#include "filters/ui/FilterGenRotForm.h"

#include "app/LocaleNumbers.h"
#include "filters/ui/FilterDialogCommon.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <numbers>

using namespace kadrimex::ui;

TFilterGenRotForm::TFilterGenRotForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FilterGenRotForm"));
    setWindowTitle(QStringLiteral("Filters generator with rotation function"));
    setWindowFlags(Qt::Tool);

    SizeGroupBox = new QGroupBox(QStringLiteral("Rozmiarek filtera"), this);
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

    LevelGroupBox = new QGroupBox(QStringLiteral("Increase"), this);
    LevelGroupBox->setObjectName(QStringLiteral("LevelGroupBox"));
    LevelTrackBar = new QSlider(Qt::Horizontal, LevelGroupBox);
    LevelTrackBar->setObjectName(QStringLiteral("LevelTrackBar"));
    LevelTrackBar->setRange(-10000, 10000);
    LevelTrackBar->setValue(1);
    LevelTrackBar->setTickPosition(QSlider::TicksBelow);
    // As in the mask generator: the default spacing over 20000 positions would
    // draw a solid bar.
    LevelTrackBar->setTickInterval(200);
    LevelTrackBar->setMinimumWidth(300);
    LevelLabel = new QLabel(QStringLiteral("Filter steepness:"), LevelGroupBox);
    LevelLabel->setObjectName(QStringLiteral("LevelLabel"));
    LevelEdit = new QLineEdit(FormatReal(1.0L, 1), LevelGroupBox);
    LevelEdit->setObjectName(QStringLiteral("LevelEdit"));
    auto* levelLayout = new QGridLayout(LevelGroupBox);
    levelLayout->addWidget(LevelTrackBar, 0, 0, 1, 2);
    levelLayout->addWidget(LevelLabel, 1, 0);
    levelLayout->addWidget(LevelEdit, 1, 1);

    AngleGroupBox = new QGroupBox(QStringLiteral("Rotate relative to center"), this);
    AngleGroupBox->setObjectName(QStringLiteral("AngleGroupBox"));
    AngleZeroButton = MakeSpeedButton(AngleGroupBox, "AngleZeroButton", QStringLiteral("0"));
    SpeedButton2 = MakeSpeedButton(AngleGroupBox, "SpeedButton2", QStringLiteral("pi"));
    AnglePi2Button = MakeSpeedButton(AngleGroupBox, "AnglePi2Button", QStringLiteral("pi/2"));
    AnglePi4Button = MakeSpeedButton(AngleGroupBox, "AnglePi4Button", QStringLiteral("pi/4"));
    AngleEdit = new QLineEdit(FormatReal(0.0L, 3), AngleGroupBox);
    AngleEdit->setObjectName(QStringLiteral("AngleEdit"));
    AngleLabel = new QLabel(QStringLiteral("radians"), AngleGroupBox);
    AngleLabel->setObjectName(QStringLiteral("AngleLabel"));
    auto* angleLayout = new QHBoxLayout(AngleGroupBox);
    for (QWidget* widget : {static_cast<QWidget*>(AngleZeroButton), static_cast<QWidget*>(SpeedButton2),
                            static_cast<QWidget*>(AnglePi2Button), static_cast<QWidget*>(AnglePi4Button),
                            static_cast<QWidget*>(AngleEdit), static_cast<QWidget*>(AngleLabel)})
        angleLayout->addWidget(widget);

    OkSpeedButton = MakeSpeedButton(this, "OkSpeedButton", QStringLiteral("&Generate"));
    CancelSpeedButton = MakeSpeedButton(this, "CancelSpeedButton", QStringLiteral("&Cancel"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(SizeGroupBox);
    layout->addWidget(LevelGroupBox);
    layout->addWidget(AngleGroupBox);
    layout->addLayout(ButtonRow(OkSpeedButton, CancelSpeedButton));

    connect(LevelTrackBar, &QSlider::valueChanged, this, &TFilterGenRotForm::LevelTrackBarChange);
    connect(LevelEdit, &QLineEdit::textChanged, this, &TFilterGenRotForm::LevelEditChange);
    connect(AngleZeroButton, &QPushButton::clicked, this, &TFilterGenRotForm::AngleZeroButtonClick);
    connect(SpeedButton2, &QPushButton::clicked, this, &TFilterGenRotForm::SpeedButton2Click);
    connect(AnglePi2Button, &QPushButton::clicked, this, &TFilterGenRotForm::AnglePi2ButtonClick);
    connect(AnglePi4Button, &QPushButton::clicked, this, &TFilterGenRotForm::AnglePi4ButtonClick);
    connect(OkSpeedButton, &QPushButton::clicked, this, &TFilterGenRotForm::OkSpeedButtonClick);
    connect(CancelSpeedButton, &QPushButton::clicked, this, &TFilterGenRotForm::CancelSpeedButtonClick);

    auto* keys = new DialogKeyFilter(this, [this] { OkSpeedButtonClick(); });
    keys->Watch(WidthBox);
    keys->Watch(HeightBox);
    keys->Watch(LevelEdit);
    keys->Watch(AngleEdit);
}

void TFilterGenRotForm::LevelTrackBarChange()
{
    CoupleTrackBarToEdit(LevelTrackBar, LevelEdit);
}

void TFilterGenRotForm::LevelEditChange()
{
    CoupleEditToTrackBar(LevelEdit, LevelTrackBar);
}

void TFilterGenRotForm::AngleZeroButtonClick()
{
    AngleEdit->setText(FormatReal(0.0L, 3));
}

void TFilterGenRotForm::SpeedButton2Click()
{
    AngleEdit->setText(GeneralRealText(std::numbers::pi_v<long double>));
}

void TFilterGenRotForm::AnglePi2ButtonClick()
{
    AngleEdit->setText(GeneralRealText(std::numbers::pi_v<long double> / 2));
}

void TFilterGenRotForm::AnglePi4ButtonClick()
{
    AngleEdit->setText(GeneralRealText(std::numbers::pi_v<long double> / 4));
}

void TFilterGenRotForm::OkSpeedButtonClick()
{
    if (!ReadRealEdit(LevelEdit, Level))
        return;
    if (!ReadRealEdit(AngleEdit, Angle))
        return;
    const bool widthOk = ReadSideBox(WidthBox, MaskWidth);
    const bool heightOk = ReadSideBox(HeightBox, MaskHeight);
    if (widthOk && heightOk)
        accept();
}

void TFilterGenRotForm::CancelSpeedButtonClick()
{
    reject();
}

void TFilterGenRotForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
