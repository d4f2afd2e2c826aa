#include "filters/ui/FilterGeneratorForm.h"

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

TFilterGeneratorForm::TFilterGeneratorForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FilterGeneratorForm"));
    setWindowTitle(QStringLiteral("Filter masks generator"));
    setWindowFlags(Qt::Tool);

    SizeGroupBox = new QGroupBox(QStringLiteral("Filter &size"), this);
    SizeGroupBox->setObjectName(QStringLiteral("SizeGroupBox"));
    WidthLabel = new QLabel(QStringLiteral("&Width:"), SizeGroupBox);
    WidthLabel->setObjectName(QStringLiteral("WidthLabel"));
    WidthBox = MakeSizeBox(SizeGroupBox, "WidthBox", true, QStringLiteral("640"));
    WidthLabel->setBuddy(WidthBox);
    HeightLabel = new QLabel(QStringLiteral("Height:"), SizeGroupBox);
    HeightLabel->setObjectName(QStringLiteral("HeightLabel"));
    HeightBox = MakeSizeBox(SizeGroupBox, "HeightBox", false, QStringLiteral("480"));
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
    LevelTrackBar->setTickInterval(200);
    LevelTrackBar->setMinimumWidth(300);
    LevelLabel = new QLabel(QStringLiteral("Filter &steepness:"), LevelGroupBox);
    LevelLabel->setObjectName(QStringLiteral("LevelLabel"));
    LevelEdit = new QLineEdit(FormatReal(1.0L, 1), LevelGroupBox);
    LevelEdit->setObjectName(QStringLiteral("LevelEdit"));
    LevelLabel->setBuddy(LevelEdit);
    auto* levelLayout = new QGridLayout(LevelGroupBox);
    levelLayout->addWidget(LevelTrackBar, 0, 0, 1, 2);
    levelLayout->addWidget(LevelLabel, 1, 0);
    levelLayout->addWidget(LevelEdit, 1, 1);

    OkSpeedButton = MakeSpeedButton(this, "OkSpeedButton", QStringLiteral("&Generate"));
    CancelSpeedButton = MakeSpeedButton(this, "CancelSpeedButton", QStringLiteral("&Cancel"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(SizeGroupBox);
    layout->addWidget(LevelGroupBox);
    layout->addLayout(ButtonRow(OkSpeedButton, CancelSpeedButton));

    connect(LevelTrackBar, &QSlider::valueChanged, this, &TFilterGeneratorForm::LevelTrackBarChange);
    connect(LevelEdit, &QLineEdit::textChanged, this, &TFilterGeneratorForm::LevelEditChange);
    connect(OkSpeedButton, &QPushButton::clicked, this, &TFilterGeneratorForm::OkSpeedButtonClick);
    connect(CancelSpeedButton, &QPushButton::clicked, this, &TFilterGeneratorForm::CancelSpeedButtonClick);

    auto* keys = new DialogKeyFilter(this, [this] { OkSpeedButtonClick(); });
    keys->Watch(WidthBox);
    keys->Watch(HeightBox);
    keys->Watch(LevelEdit);
}

void TFilterGeneratorForm::LevelTrackBarChange()
{
    CoupleTrackBarToEdit(LevelTrackBar, LevelEdit);
}

void TFilterGeneratorForm::LevelEditChange()
{
    CoupleEditToTrackBar(LevelEdit, LevelTrackBar);
}

void TFilterGeneratorForm::OkSpeedButtonClick()
{
    if (!ReadRealEdit(LevelEdit, Level))
        return;
    const bool widthOk = ReadSideBox(WidthBox, MaskWidth);
    const bool heightOk = ReadSideBox(HeightBox, MaskHeight);
    if (widthOk && heightOk)
        accept();
}

void TFilterGeneratorForm::CancelSpeedButtonClick()
{
    reject();
}

void TFilterGeneratorForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
