#include "tonal/ui/LevelsForm.h"

#include "tonal/Tone.h"
#include "tonal/ui/TonalDialogParts.h"
#include "ui/DialogParts.h"
#include "ui/LocaleNumbers.h"
#include "ui/Prompt.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <functional>

namespace ui = kadrimex::ui;

namespace {

// The 34 x 34 picture in the corner: three overlapping histogram hills in
// the curves dialog's colours, drawn here. A double click runs `onDoubleClick`.
class TTulvorPicture : public QLabel {
public:
    TTulvorPicture(QWidget* parent, std::function<void()> onDoubleClick)
        : QLabel(parent), FOnDoubleClick(std::move(onDoubleClick))
    {
        QPixmap picture(34, 34);
        picture.fill(Qt::white);
        QPainter painter(&picture);
        const QColor colours[] = {QColor(255, 138, 138), QColor(144, 232, 82), QColor(166, 170, 255)};
        for (int c = 0; c < 3; ++c)
            for (int x = 0; x < 34; x += 2) {
                const int d = x - 9 - 8 * c;
                const int height = std::max(1, 26 - d * d / 6);
                painter.fillRect(x, 33 - height, 2, height, colours[c]);
            }
        painter.setPen(Qt::black);
        painter.drawLine(1, 32, 32, 1);
        painter.drawRect(0, 0, 33, 33);
        setPixmap(picture);
        setFixedSize(34, 34);
    }

protected:
    void mouseDoubleClickEvent(QMouseEvent*) override { FOnDoubleClick(); }

private:
    std::function<void()> FOnDoubleClick;
};

QLineEdit* BoundEdit(QWidget* parent, const char* name, const QString& text)
{
    auto* edit = ui::Named(new QLineEdit(text, parent), name);
    edit->setMaxLength(3);
    return edit;
}

}  // namespace

TLevelsForm::TLevelsForm(QWidget* parent) : QDialog(parent)
{
    using ui::Named;
    setObjectName(QStringLiteral("LevelsForm"));
    setWindowTitle(QStringLiteral("Histogram levels"));
    setWindowFlags(Qt::Tool);

    RangeGroupBox = Named(new QGroupBox(QStringLiteral("Enhancing range"), this), "RangeGroupBox");
    RangeFromEdit = BoundEdit(RangeGroupBox, "RangeFromEdit", QStringLiteral("55"));
    RangeToEdit = BoundEdit(RangeGroupBox, "RangeToEdit", QStringLiteral("200"));
    auto* range = new QHBoxLayout(RangeGroupBox);
    range->addWidget(new QLabel(QStringLiteral("from"), RangeGroupBox));
    range->addWidget(RangeFromEdit);
    range->addWidget(new QLabel(QStringLiteral("to"), RangeGroupBox));
    range->addWidget(RangeToEdit);

    FunctionRadio = ui::MakeRadioGroup(
        this, "FunctionRadio", QStringLiteral("&Function selection"),
        {QStringLiteral("Equalize histogram (Auto levels)"), QStringLiteral("Enhance color range")}, 0, FunctionButtons);
    ChannelRadioGroup = ui::MakeChannelRadioGroup(this, ChannelButtons);

    OkSpeedButton = ui::MakeSpeedButton(this, "OkSpeedButton", QStringLiteral("Zapodaj"));
    CancelSpeedButton = ui::MakeSpeedButton(this, "CancelSpeedButton", QStringLiteral("Olej"));
    TulvorImage = Named(new TTulvorPicture(this, [this] { TulvorImageDblClick(); }), "TulvorImage");

    auto* layout = new QGridLayout(this);
    layout->addWidget(FunctionRadio, 0, 0);
    layout->addWidget(ChannelRadioGroup, 0, 1, 2, 1);
    layout->addWidget(RangeGroupBox, 1, 0);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(TulvorImage, 0, Qt::AlignLeft | Qt::AlignBottom);
    bottom->addLayout(ui::ButtonRow(OkSpeedButton, CancelSpeedButton), 1);
    layout->addLayout(bottom, 2, 0, 1, 2);

    connect(FunctionButtons, &QButtonGroup::idClicked, this, &TLevelsForm::FunctionRadioClick);
    connect(OkSpeedButton, &QPushButton::clicked, this, &TLevelsForm::OkSpeedButtonClick);
    connect(CancelSpeedButton, &QPushButton::clicked, this, &TLevelsForm::CancelSpeedButtonClick);
}

int TLevelsForm::FunctionIndex() const
{
    return FunctionButtons->checkedId();
}

int TLevelsForm::ChannelIndex() const
{
    return ChannelButtons->checkedId();
}

void TLevelsForm::showEvent(QShowEvent* event)
{
    FormShow();
    ui::CentreOnOwner(this);
    QDialog::showEvent(event);
}

void TLevelsForm::FormShow()
{
    FunctionRadioClick();
}

void TLevelsForm::FunctionRadioClick()
{
    const bool range = FunctionIndex() != 0;
    RangeFromEdit->setEnabled(range);
    RangeToEdit->setEnabled(range);
}

void TLevelsForm::OkSpeedButtonClick()
{
    auto bound = [](const QLineEdit* edit) -> std::optional<std::int32_t> {
        int value = 0;
        if (!ui::ParseInt(edit->text(), value))
            return std::nullopt;
        return std::int32_t(value);
    };
    const std::optional<std::int32_t> from = bound(RangeFromEdit);
    const std::optional<std::int32_t> to = bound(RangeToEdit);
    FRangeFrom = from.value_or(kadrimex::kBoundNotANumber);
    FRangeTo = to.value_or(kadrimex::kBoundNotANumber);
    if (FunctionIndex() == 1) {
        if (const char* error = kadrimex::RangeBoundsError(from, to)) {
            ui::Prompt(QString::fromUtf8(error), QStringLiteral("Noł łej ju du dys"), ui::PromptButtons::Ok,
                       ui::PromptIcon::Warning);
            return;
        }
    }
    accept();
}

void TLevelsForm::CancelSpeedButtonClick()
{
    reject();
}

void TLevelsForm::TulvorImageDblClick()
{
    ui::Prompt(QStringLiteral("Poziomy histogramu: wyrównanie i rozciąganie zakresu barw.\n\n"
                              "Obrazek i kod: autorzy Kadrimeksa."),
               QStringLiteral("Histogram levels"), ui::PromptButtons::Ok, ui::PromptIcon::Information);
}
