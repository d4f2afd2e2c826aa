#include "filters/ui/FilterLevelForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

using namespace kadrimex::ui;

TFilterLevelForm::TFilterLevelForm(QWidget* parent)
    : TFilterDialogBase(parent, "FilterLevelForm", QStringLiteral("Conduct filtration"), TKind::Process, 1.0L)
{
    LevelTrackBar = MakeTrackBar(this, "LevelTrackBar", 0, 1000, 1, 300);
    LevelTrackBar->setTickInterval(20);
    LevelTrackBar->setPageStep(10);

    Label1 = Named(new QLabel(QStringLiteral("Filtration &level:"), this), "Label1");
    Label1->setBuddy(AddLevelEdit(this));

    QHBoxLayout* buttons = AddSpeedButtons();
    auto* layout = new QGridLayout(this);
    layout->addWidget(LevelTrackBar, 0, 0, 1, 2);
    layout->addWidget(Label1, 1, 0);
    layout->addWidget(LevelEdit, 1, 1);
    layout->addLayout(buttons, 2, 0, 1, 2);

    connect(LevelTrackBar, &QSlider::valueChanged, this, &TFilterLevelForm::LevelTrackBarChange);
    connect(LevelEdit, &QLineEdit::textChanged, this, &TFilterLevelForm::LevelEditChange);
    WatchKeys({LevelTrackBar, LevelEdit});
}

void TFilterLevelForm::LevelTrackBarChange()
{
    CoupleTrackBarToEdit(LevelTrackBar, LevelEdit);
}

void TFilterLevelForm::LevelEditChange()
{
    CoupleEditToTrackBar(LevelEdit, LevelTrackBar);
}
