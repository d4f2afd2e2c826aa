#include "filters/ui/FilterLevelForm.h"

#include "app/LocaleNumbers.h"
#include "filters/ui/FilterDialogCommon.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

using namespace kadrimex::ui;

TFilterLevelForm::TFilterLevelForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FilterLevelForm"));
    setWindowTitle(QStringLiteral("Conduct filtration"));
    setWindowFlags(Qt::Tool);

    LevelTrackBar = new QSlider(Qt::Horizontal, this);
    LevelTrackBar->setObjectName(QStringLiteral("LevelTrackBar"));
    LevelTrackBar->setRange(0, 1000);
    LevelTrackBar->setValue(1);
    LevelTrackBar->setTickPosition(QSlider::TicksBelow);
    LevelTrackBar->setTickInterval(20);
    LevelTrackBar->setPageStep(10);
    LevelTrackBar->setMinimumWidth(300);

    Label1 = new QLabel(QStringLiteral("Filtration &level:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    LevelEdit = new QLineEdit(FormatReal(1.0L, 1), this);
    LevelEdit->setObjectName(QStringLiteral("LevelEdit"));
    Label1->setBuddy(LevelEdit);

    OkSpeedButton = MakeSpeedButton(this, "OkSpeedButton", QStringLiteral("&Process"));
    CancelSpeedButton = MakeSpeedButton(this, "CancelSpeedButton", QStringLiteral("&Cancel"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(LevelTrackBar, 0, 0, 1, 2);
    layout->addWidget(Label1, 1, 0);
    layout->addWidget(LevelEdit, 1, 1);
    layout->addLayout(ButtonRow(OkSpeedButton, CancelSpeedButton), 2, 0, 1, 2);

    connect(LevelTrackBar, &QSlider::valueChanged, this, &TFilterLevelForm::LevelTrackBarChange);
    connect(LevelEdit, &QLineEdit::textChanged, this, &TFilterLevelForm::LevelEditChange);
    connect(OkSpeedButton, &QPushButton::clicked, this, &TFilterLevelForm::OkSpeedButtonClick);
    connect(CancelSpeedButton, &QPushButton::clicked, this, &TFilterLevelForm::CancelSpeedButtonClick);

    auto* keys = new DialogKeyFilter(this, [this] { OkSpeedButtonClick(); }, [this] { CancelSpeedButtonClick(); });
    keys->Watch(LevelTrackBar);
    keys->Watch(LevelEdit);
}

void TFilterLevelForm::LevelTrackBarChange()
{
    CoupleTrackBarToEdit(LevelTrackBar, LevelEdit);
}

void TFilterLevelForm::LevelEditChange()
{
    CoupleEditToTrackBar(LevelEdit, LevelTrackBar);
}

void TFilterLevelForm::OkSpeedButtonClick()
{
    if (!ReadRealEdit(LevelEdit, Level))
        return;
    accept();
}

void TFilterLevelForm::CancelSpeedButtonClick()
{
    reject();
}

void TFilterLevelForm::showEvent(QShowEvent* event)
{
    CentreOnScreen(this);
    QDialog::showEvent(event);
}
