#include "app/ResizerForm.h"

#include "filters/ui/FilterDialogCommon.h"
#include "ui/DialogParts.h"
#include "ui/LocaleNumbers.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace ui = kadrimex::ui;

namespace {

// A box's text as an integer, `otherwise` when it is not one.
std::int32_t BoxInt(const QComboBox* box, std::int32_t otherwise)
{
    int value = 0;
    return ui::ParseInt(box->currentText(), value) ? value : otherwise;
}

// a * b / c in 32-bit signed integers: the product wraps as it would in
// the register, the quotient truncates toward zero.
std::int32_t Scaled(std::int32_t a, std::int32_t b, std::int32_t c)
{
    const auto product = std::int32_t(std::uint32_t(a) * std::uint32_t(b));
    if (c == 0)
        return 0;
    if (c == -1)
        return std::int32_t(0u - std::uint32_t(product));
    return product / c;
}

}  // namespace

QString ResizeMemoryText(std::int32_t w, std::int32_t h)
{
    const std::int64_t bytes = 3 * std::int64_t(w) * std::int64_t(h);
    if (bytes > 100000000000LL)
        return QStringLiteral("nie przejdzie");
    if (bytes > 100000000LL)
        return QString::number(bytes / 1048576) + QStringLiteral(" MB");
    if (bytes > 1000000LL)
        return QString::number(bytes / 1024) + QStringLiteral(" kB");
    return QString::number(bytes) + QStringLiteral(" B");
}

TResizerForm::TResizerForm(QWidget* parent) : QDialog(parent)
{
    using ui::Named;
    setObjectName(QStringLiteral("ResizerForm"));
    setWindowTitle(QStringLiteral("Resize image"));
    setWindowFlags(Qt::Tool);

    SizeGroupBox = Named(new QGroupBox(QStringLiteral("New size"), this), "SizeGroupBox");
    WidthBox = ui::MakeSizeBox(SizeGroupBox, "WidthBox", true, QStringLiteral("640"));
    HeightBox = ui::MakeSizeBox(SizeGroupBox, "HeightBox", false, QStringLiteral("480"));
    auto* widthLabel = new QLabel(QStringLiteral("&Width:"), SizeGroupBox);
    widthLabel->setBuddy(WidthBox);
    auto* heightLabel = new QLabel(QStringLiteral("&Height:"), SizeGroupBox);
    heightLabel->setBuddy(HeightBox);
    auto* sizeLayout = new QGridLayout(SizeGroupBox);
    sizeLayout->addWidget(widthLabel, 0, 0);
    sizeLayout->addWidget(WidthBox, 0, 1);
    sizeLayout->addWidget(heightLabel, 1, 0);
    sizeLayout->addWidget(HeightBox, 1, 1);

    ShowSizeEdit = Named(new QLineEdit(QStringLiteral("0"), this), "ShowSizeEdit");
    ShowSizeEdit->setReadOnly(true);
    ShowSizeEdit->setEnabled(false);
    QPalette tip = ShowSizeEdit->palette();
    tip.setColor(QPalette::Base, tip.color(QPalette::ToolTipBase));
    tip.setColor(QPalette::Disabled, QPalette::Base, tip.color(QPalette::ToolTipBase));
    ShowSizeEdit->setPalette(tip);
    auto* memoryLabel = new QLabel(QStringLiteral("The image memory size:"), this);

    KeepProporCheckBox = Named(new QCheckBox(QStringLiteral("&Keep image aspec ratio"), this), "KeepProporCheckBox");
    KeepProporCheckBox->setChecked(true);

    InterpolationRadioGroup = Named(new QGroupBox(QStringLiteral("&Interpolation"), this), "InterpolationRadioGroup");
    InterpolationButtons = new QButtonGroup(this);
    auto* radios = new QVBoxLayout(InterpolationRadioGroup);
    const QString items[] = {QStringLiteral("Nearest neighbour"), QStringLiteral("Triangle 2D filter"),
                             QStringLiteral("Gaussa 2D filter")};
    for (int i = 0; i < 3; ++i) {
        auto* radio = new QRadioButton(items[i], InterpolationRadioGroup);
        InterpolationButtons->addButton(radio, i);
        radios->addWidget(radio);
    }
    InterpolationButtons->button(2)->setChecked(true);

    OkButton = ui::MakeSpeedButton(this, "OkButton", QStringLiteral("&Resize"));
    CancelButton = ui::MakeSpeedButton(this, "CancelButton", QStringLiteral("&Cancel"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(SizeGroupBox);
    auto* memoryRow = new QHBoxLayout;
    memoryRow->addWidget(memoryLabel);
    memoryRow->addWidget(ShowSizeEdit, 1);
    layout->addLayout(memoryRow);
    layout->addWidget(KeepProporCheckBox);
    layout->addWidget(InterpolationRadioGroup);
    layout->addLayout(ui::ButtonRow(OkButton, CancelButton));

    connect(WidthBox, &QComboBox::editTextChanged, this, &TResizerForm::WidthBoxChange);
    connect(HeightBox, &QComboBox::editTextChanged, this, &TResizerForm::HeightBoxChange);
    connect(KeepProporCheckBox, &QCheckBox::clicked, this, &TResizerForm::WidthBoxChange);
    connect(OkButton, &QPushButton::clicked, this, &TResizerForm::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TResizerForm::CancelButtonClick);
    auto* keys = new ui::DialogKeyFilter(this, [this] { OkButtonClick(); }, [this] { CancelButtonClick(); });
    for (QWidget* w : {static_cast<QWidget*>(WidthBox), static_cast<QWidget*>(HeightBox),
                       static_cast<QWidget*>(KeepProporCheckBox)})
        keys->Watch(w);
}

int TResizerForm::InterpolationIndex() const
{
    return InterpolationButtons->checkedId();
}

void TResizerForm::showEvent(QShowEvent* event)
{
    FormShow();
    // Centred on the main window.
    if (const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr) {
        QRect frame = frameGeometry();
        frame.moveCenter(owner->frameGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

void TResizerForm::FormShow()
{
    // The boxes start from the picture's size; neither box's handler runs.
    {
        const QSignalBlocker width(WidthBox);
        const QSignalBlocker height(HeightBox);
        WidthBox->setEditText(QString::number(FOrigWidth));
        HeightBox->setEditText(QString::number(FOrigHeight));
    }
    UpdateMemorySize();
}

void TResizerForm::WidthBoxChange()
{
    if (KeepProporCheckBox->isChecked()) {
        const QSignalBlocker blocker(HeightBox);
        HeightBox->setEditText(QString::number(Scaled(BoxInt(WidthBox, 1), FOrigHeight, FOrigWidth)));
    }
    UpdateMemorySize();
}

void TResizerForm::HeightBoxChange()
{
    if (KeepProporCheckBox->isChecked()) {
        const QSignalBlocker blocker(WidthBox);
        WidthBox->setEditText(QString::number(Scaled(BoxInt(HeightBox, 1), FOrigWidth, FOrigHeight)));
    }
    UpdateMemorySize();
}

void TResizerForm::UpdateMemorySize()
{
    ShowSizeEdit->setText(ResizeMemoryText(BoxInt(WidthBox, 1), BoxInt(HeightBox, 1)));
}

void TResizerForm::OkButtonClick()
{
    FNewWidth = BoxInt(WidthBox, 0);
    FNewHeight = BoxInt(HeightBox, 0);
    // Out of range: the dialog stays open without a message.
    if (FNewWidth < 1 || FNewWidth > 32760 || FNewHeight < 1 || FNewHeight > 32760)
        return;
    accept();
}

void TResizerForm::CancelButtonClick()
{
    reject();
}
