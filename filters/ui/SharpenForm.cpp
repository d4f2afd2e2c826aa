#include "filters/ui/SharpenForm.h"

#include "app/LocaleNumbers.h"
#include "filters/ui/FilterDialogCommon.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

using namespace kadrimex::ui;

namespace {
QSlider* MakeTrackBar(QWidget* parent, const char* name, int minimum, int maximum, int position)
{
    auto* trackBar = new QSlider(Qt::Horizontal, parent);
    trackBar->setObjectName(QLatin1String(name));
    trackBar->setRange(minimum, maximum);
    trackBar->setValue(position);
    trackBar->setTickPosition(QSlider::TicksBelow);
    trackBar->setMinimumWidth(250);
    return trackBar;
}
}  // namespace

TSharpenForm::TSharpenForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SharpenForm"));
    setWindowTitle(QStringLiteral("Conduct sharpening"));
    setWindowFlags(Qt::Tool);

    SizeTrackBar = MakeTrackBar(this, "SizeTrackBar", 1, 100, 10);
    SizeLabel = new QLabel(QStringLiteral("Uogólnienie:"), this);
    SizeLabel->setObjectName(QStringLiteral("SizeLabel"));
    SizeEdit = new QLineEdit(FormatReal(1.0L, 1), this);
    SizeEdit->setObjectName(QStringLiteral("SizeEdit"));

    LevelTrackBar = MakeTrackBar(this, "LevelTrackBar", 10, 100, 10);
    LevelLabel = new QLabel(QStringLiteral("Amplification:"), this);
    LevelLabel->setObjectName(QStringLiteral("LevelLabel"));
    LevelEdit = new QLineEdit(FormatReal(1.0L, 1), this);
    LevelEdit->setObjectName(QStringLiteral("LevelEdit"));

    OkSpeedButton = MakeSpeedButton(this, "OkSpeedButton", QStringLiteral("&Process"));
    CancelSpeedButton = MakeSpeedButton(this, "CancelSpeedButton", QStringLiteral("&Cancel"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(SizeLabel, 0, 0);
    layout->addWidget(SizeTrackBar, 0, 1);
    layout->addWidget(SizeEdit, 0, 2);
    layout->addWidget(LevelLabel, 1, 0);
    layout->addWidget(LevelTrackBar, 1, 1);
    layout->addWidget(LevelEdit, 1, 2);
    layout->addLayout(ButtonRow(OkSpeedButton, CancelSpeedButton), 2, 0, 1, 3);

    connect(SizeTrackBar, &QSlider::valueChanged, this, &TSharpenForm::SizeTrackBarChange);
    connect(SizeEdit, &QLineEdit::textChanged, this, &TSharpenForm::SizeEditChange);
    connect(LevelTrackBar, &QSlider::valueChanged, this, &TSharpenForm::LevelTrackBarChange);
    connect(LevelEdit, &QLineEdit::textChanged, this, &TSharpenForm::LevelEditChange);
    connect(OkSpeedButton, &QPushButton::clicked, this, &TSharpenForm::OkSpeedButtonClick);
    connect(CancelSpeedButton, &QPushButton::clicked, this, &TSharpenForm::CancelSpeedButtonClick);

    auto* keys = new DialogKeyFilter(this, [this] { OkSpeedButtonClick(); }, [this] { CancelSpeedButtonClick(); });
    for (QWidget* widget : {static_cast<QWidget*>(SizeTrackBar), static_cast<QWidget*>(SizeEdit),
                            static_cast<QWidget*>(LevelTrackBar), static_cast<QWidget*>(LevelEdit)})
        keys->Watch(widget);
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

void TSharpenForm::OkSpeedButtonClick()
{
    // Level is kept even when SizeEdit then fails to convert.
    if (!ReadRealEdit(LevelEdit, Level))
        return;
    if (!ReadRealEdit(SizeEdit, Size))
        return;
    accept();
}

void TSharpenForm::CancelSpeedButtonClick()
{
    reject();
}

void TSharpenForm::showEvent(QShowEvent* event)
{
    CentreOnScreen(this);
    QDialog::showEvent(event);
}
