#include "transforms/ui/FlipRotateForm.h"

#include "ui/DialogParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QVBoxLayout>

#include <numbers>

namespace ui = kadrimex::ui;

namespace {

QStringList AnglePresets()
{
    // The list as the editor has always shown it: pi/16 to pi and 2 pi are
    // multiples of this stored constant, slightly below pi; the entries from
    // 17 pi/16 to 3 pi/2 are the multiples of pi itself (of the stored
    // constant they would end in ...914, ...851, ...723 and ...467).
    constexpr long double kStoredPi = 3.14159265358978246L;
    constexpr long double pi = std::numbers::pi_v<long double>;
    const long double angles[] = {kStoredPi / 16, kStoredPi / 8,   kStoredPi / 4, kStoredPi / 2,
                                  kStoredPi,      17 * pi / 16,    9 * pi / 8,    5 * pi / 4,
                                  3 * pi / 2,     2 * kStoredPi};
    QStringList presets;
    for (const long double angle : angles)
        presets << ui::GeneralRealText(angle);
    return presets;
}

}  // namespace

TFlipRotateForm::TFlipRotateForm(QWidget* parent) : QDialog(parent)
{
    using ui::Named;
    setObjectName(QStringLiteral("FlipRotateForm"));
    setWindowTitle(QStringLiteral("Swap and rotate"));
    setWindowFlags(Qt::Tool);

    FlipVRadioButton = Named(new QRadioButton(QStringLiteral("Odbij pionowo"), this), "FlipVRadioButton");
    FlipHRadioButton = Named(new QRadioButton(QStringLiteral("Odbij poziomo"), this), "FlipHRadioButton");
    RotateRadioButton = Named(new QRadioButton(QStringLiteral("Rotate"), this), "RotateRadioButton");
    OkSpeedButton = ui::MakeSpeedButton(this, "OkSpeedButton", QStringLiteral("&Process"));
    CancelSpeedButton = ui::MakeSpeedButton(this, "CancelSpeedButton", QStringLiteral("&Cancel"));
    Label1 = Named(new QLabel(QStringLiteral("Angle:"), this), "Label1");
    AngleComboBox = Named(new QComboBox(this), "AngleComboBox");
    AngleComboBox->setEditable(true);
    AngleComboBox->setInsertPolicy(QComboBox::NoInsert);
    AngleComboBox->setCompleter(nullptr);
    AngleComboBox->setMinimumWidth(140);
    Label1->setBuddy(AngleComboBox);
    ExtendBitmapCheckBox = Named(new QCheckBox(QStringLiteral("Enlarge bitmap"), this), "ExtendBitmapCheckBox");
    FlipHRadioButton->setChecked(true);

    auto* layout = new QVBoxLayout(this);
    for (QRadioButton* radio : {FlipVRadioButton, FlipHRadioButton, RotateRadioButton})
        layout->addWidget(radio);
    auto* angleRow = new QGridLayout;
    angleRow->setContentsMargins(20, 0, 0, 0);
    angleRow->addWidget(Label1, 0, 0);
    angleRow->addWidget(AngleComboBox, 0, 1);
    angleRow->addWidget(ExtendBitmapCheckBox, 1, 1);
    layout->addLayout(angleRow);
    layout->addLayout(ui::ButtonRow(OkSpeedButton, CancelSpeedButton));

    connect(RotateRadioButton, &QRadioButton::toggled, this, &TFlipRotateForm::RotateRadioButtonClick);
    connect(OkSpeedButton, &QPushButton::clicked, this, &TFlipRotateForm::OkSpeedButtonClick);
    connect(CancelSpeedButton, &QPushButton::clicked, this, &TFlipRotateForm::CancelSpeedButtonClick);
    // FormKeyPress: Enter confirms and Escape cancels from every control.
    auto* keys = new ui::DialogKeyFilter(this, [this] { OkSpeedButtonClick(); }, [this] { CancelSpeedButtonClick(); });
    for (QWidget* w : {static_cast<QWidget*>(FlipVRadioButton), static_cast<QWidget*>(FlipHRadioButton),
                       static_cast<QWidget*>(RotateRadioButton), static_cast<QWidget*>(AngleComboBox),
                       static_cast<QWidget*>(ExtendBitmapCheckBox)})
        keys->Watch(w);

    FormCreate();
    RotateRadioButtonClick();
}

void TFlipRotateForm::showEvent(QShowEvent* event)
{
    for (QRadioButton* radio : {FlipVRadioButton, FlipHRadioButton, RotateRadioButton})
        if (radio->isChecked())
            radio->setFocus();
    QDialog::showEvent(event);
}

void TFlipRotateForm::FormCreate()
{
    AngleComboBox->clear();
    AngleComboBox->addItems(AnglePresets());
    AngleComboBox->setEditText(QStringLiteral("1"));
}

void TFlipRotateForm::RotateRadioButtonClick()
{
    const bool rotate = RotateRadioButton->isChecked();
    AngleComboBox->setEnabled(rotate);
    ExtendBitmapCheckBox->setEnabled(rotate);
}

void TFlipRotateForm::OkSpeedButtonClick()
{
    long double angle = 0;
    // A text that is not a number: the conversion error, and the dialog
    // stays open.
    if (RotateRadioButton->isChecked() && !ui::ReadRealEdit(AngleComboBox->lineEdit(), angle))
        return;
    FAngle = angle;
    accept();
}

void TFlipRotateForm::CancelSpeedButtonClick()
{
    reject();
}
