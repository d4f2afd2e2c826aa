#include "filters/ui/FilterGenRotForm.h"

#include "ui/LocaleNumbers.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <numbers>

using namespace kadrimex::ui;

TFilterGenRotForm::TFilterGenRotForm(QWidget* parent)
    : TMaskGeneratorFormBase(parent, "FilterGenRotForm", QStringLiteral("Filters generator with rotation function"),
                             QStringLiteral("Rozmiarek filtera"), QStringLiteral("&Height:"),
                             QStringLiteral("Filter steepness:"))
{
    AngleGroupBox = Named(new QGroupBox(QStringLiteral("Rotate relative to center"), this), "AngleGroupBox");
    AngleZeroButton = MakeSpeedButton(AngleGroupBox, "AngleZeroButton", QStringLiteral("0"));
    SpeedButton2 = MakeSpeedButton(AngleGroupBox, "SpeedButton2", QStringLiteral("pi"));
    AnglePi2Button = MakeSpeedButton(AngleGroupBox, "AnglePi2Button", QStringLiteral("pi/2"));
    AnglePi4Button = MakeSpeedButton(AngleGroupBox, "AnglePi4Button", QStringLiteral("pi/4"));
    AngleEdit = Named(new QLineEdit(FormatReal(Angle, 3), AngleGroupBox), "AngleEdit");
    AngleLabel = Named(new QLabel(QStringLiteral("radians"), AngleGroupBox), "AngleLabel");
    auto* angleLayout = new QHBoxLayout(AngleGroupBox);
    for (QWidget* widget : {static_cast<QWidget*>(AngleZeroButton), static_cast<QWidget*>(SpeedButton2),
                            static_cast<QWidget*>(AnglePi2Button), static_cast<QWidget*>(AnglePi4Button),
                            static_cast<QWidget*>(AngleEdit), static_cast<QWidget*>(AngleLabel)})
        angleLayout->addWidget(widget);

    FinishLayout({LevelGroupBox, AngleGroupBox}, {AngleEdit});

    connect(AngleZeroButton, &QPushButton::clicked, this, &TFilterGenRotForm::AngleZeroButtonClick);
    connect(SpeedButton2, &QPushButton::clicked, this, &TFilterGenRotForm::SpeedButton2Click);
    connect(AnglePi2Button, &QPushButton::clicked, this, &TFilterGenRotForm::AnglePi2ButtonClick);
    connect(AnglePi4Button, &QPushButton::clicked, this, &TFilterGenRotForm::AnglePi4ButtonClick);
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

bool TFilterGenRotForm::ReadMoreValues()
{
    return ReadRealEdit(AngleEdit, Angle) && TMaskGeneratorFormBase::ReadMoreValues();
}
