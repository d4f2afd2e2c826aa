#include "transforms/ui/ColorDepthForm.h"

#include "ui/DialogParts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <array>

using kadrimex::TPixelFormat;
namespace ui = kadrimex::ui;

namespace {

constexpr std::array<int, 7> kItemBits = {1, 4, 8, 15, 16, 24, 32};
constexpr int kEightBitItem = 2;

}  // namespace

TColorDepthForm::TColorDepthForm(QWidget* parent) : QDialog(parent)
{
    using ui::Named;
    setObjectName(QStringLiteral("ColorDepthForm"));
    setWindowTitle(QStringLiteral("Image color depth"));
    setWindowFlags(Qt::Tool);

    BPPRadioGroup = Named(new QGroupBox(QStringLiteral("&Bits per pixel"), this), "BPPRadioGroup");
    BPPButtons = new QButtonGroup(this);
    auto* items = new QGridLayout(BPPRadioGroup);
    // Two columns, filled down the first one first.
    const int rows = int(kItemBits.size() + 1) / 2;
    for (int i = 0; i < int(kItemBits.size()); ++i) {
        auto* radio = new QRadioButton(QStringLiteral("%1 bpp").arg(kItemBits[std::size_t(i)]), BPPRadioGroup);
        BPPButtons->addButton(radio, i);
        items->addWidget(radio, i % rows, i / rows);
    }
    BPPButtons->button(kEightBitItem)->setChecked(true);
    MakeMonochromeCheckBox =
        Named(new QCheckBox(QStringLiteral("Convert to &grayscale"), this), "MakeMonochromeCheckBox");
    OkSpeedButton = ui::MakeSpeedButton(this, "OkSpeedButton", QStringLiteral("Ch&ange depth"));
    CancelSpeedButton = ui::MakeSpeedButton(this, "CancelSpeedButton", QStringLiteral("&Cancel"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BPPRadioGroup);
    layout->addWidget(MakeMonochromeCheckBox);
    layout->addLayout(ui::ButtonRow(OkSpeedButton, CancelSpeedButton));

    connect(OkSpeedButton, &QPushButton::clicked, this, &TColorDepthForm::OkSpeedButtonClick);
    connect(CancelSpeedButton, &QPushButton::clicked, this, &TColorDepthForm::CancelSpeedButtonClick);
    // MakeMonochromeCheckBoxKeyPress, the form's key handler too.
    auto* keys = new ui::DialogKeyFilter(this, [this] { OkSpeedButtonClick(); }, [this] { CancelSpeedButtonClick(); });
    keys->Watch(MakeMonochromeCheckBox);
    for (QAbstractButton* radio : BPPButtons->buttons())
        keys->Watch(radio);
}

void TColorDepthForm::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TColorDepthForm::hideEvent(QHideEvent* event)
{
    FormHide();
    QDialog::hideEvent(event);
}

void TColorDepthForm::FormShow()
{
    int item = kEightBitItem;
    for (std::size_t i = 0; i < kItemBits.size(); ++i)
        if (kadrimex::PixelFormatFromBits(kItemBits[i]) == FPixelFormat)
            item = int(i);
    BPPButtons->button(item)->setChecked(true);
    BPPButtons->button(item)->setFocus();
    // Only now: the preselection must not overwrite FPixelFormat.
    if (!FClickHandler)
        FClickHandler = connect(BPPButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
            if (checked)
                BPPRadioGroupClick();
        });
}

void TColorDepthForm::FormHide()
{
    disconnect(FClickHandler);
    FClickHandler = {};
}

void TColorDepthForm::BPPRadioGroupClick()
{
    const int item = BPPButtons->checkedId();
    FPixelFormat = kadrimex::PixelFormatFromBits(item >= 0 && item < int(kItemBits.size())
                                                     ? kItemBits[std::size_t(item)]
                                                     : kItemBits[kEightBitItem]);
}

void TColorDepthForm::OkSpeedButtonClick()
{
    accept();
}

void TColorDepthForm::CancelSpeedButtonClick()
{
    reject();
}
