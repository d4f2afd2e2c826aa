#include "filters/ui/SharpenForm.h"

#include "ui/LocaleNumbers.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

using namespace kadrimex::ui;

TSharpenForm::TSharpenForm(QWidget* parent)
    : TFilterDialogBase(parent, "SharpenForm", QStringLiteral("Conduct sharpening"), TKind::Process, 1.0L)
{
    SizeTrackBar = MakeTrackBar(this, "SizeTrackBar", 1, 100, 10, 250);
    SizeLabel = Named(new QLabel(QStringLiteral("Uogólnienie:"), this), "SizeLabel");
    SizeEdit = Named(new QLineEdit(FormatReal(Size, 1), this), "SizeEdit");

    LevelTrackBar = MakeTrackBar(this, "LevelTrackBar", 10, 100, 10, 250);
    LevelLabel = Named(new QLabel(QStringLiteral("Amplification:"), this), "LevelLabel");
    AddLevelEdit(this);

    QHBoxLayout* buttons = AddSpeedButtons();
    auto* layout = new QGridLayout(this);
    layout->addWidget(SizeLabel, 0, 0);
    layout->addWidget(SizeTrackBar, 0, 1);
    layout->addWidget(SizeEdit, 0, 2);
    layout->addWidget(LevelLabel, 1, 0);
    layout->addWidget(LevelTrackBar, 1, 1);
    layout->addWidget(LevelEdit, 1, 2);
    layout->addLayout(buttons, 2, 0, 1, 3);

    connect(SizeTrackBar, &QSlider::valueChanged, this, &TSharpenForm::SizeTrackBarChange);
    connect(SizeEdit, &QLineEdit::textChanged, this, &TSharpenForm::SizeEditChange);
    connect(LevelTrackBar, &QSlider::valueChanged, this, &TSharpenForm::LevelTrackBarChange);
    connect(LevelEdit, &QLineEdit::textChanged, this, &TSharpenForm::LevelEditChange);
    WatchKeys({SizeTrackBar, SizeEdit, LevelTrackBar, LevelEdit});
}

void TSharpenForm::SizeTrackBarChange()
{
    CoupleTrackBarToEdit(SizeTrackBar, SizeEdit);
}

void TSharpenForm::SizeEditChange()
{
    CoupleEditToTrackBar(SizeEdit, SizeTrackBar);
}

void TSharpenForm::LevelTrackBarChange()
{
    CoupleTrackBarToEdit(LevelTrackBar, LevelEdit);
}

void TSharpenForm::LevelEditChange()
{
    CoupleEditToTrackBar(LevelEdit, LevelTrackBar);
}

bool TSharpenForm::ReadMoreValues()
{
    return ReadRealEdit(SizeEdit, Size);
}
