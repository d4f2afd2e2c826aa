#include "tonal/ui/TonalDialogParts.h"

#include "ui/DialogParts.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kadrimex::ui {

QGroupBox* MakeRadioGroup(QWidget* parent, const char* name, const QString& caption, const QStringList& items,
                          int checked, QButtonGroup*& buttons)
{
    auto* box = Named(new QGroupBox(caption, parent), name);
    buttons = new QButtonGroup(box);
    auto* layout = new QVBoxLayout(box);
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], box);
        buttons->addButton(radio, i);
        layout->addWidget(radio);
    }
    buttons->button(checked)->setChecked(true);
    return box;
}

QGroupBox* MakeChannelRadioGroup(QWidget* parent, QButtonGroup*& buttons)
{
    return MakeRadioGroup(parent, "ChannelRadioGroup", QStringLiteral("C&hanels"),
                          {QStringLiteral("All"), QStringLiteral("Red"), QStringLiteral("Green"), QStringLiteral("Blue")},
                          0, buttons);
}

void CentreOnOwner(QWidget* dialog)
{
    const QWidget* owner = dialog->parentWidget() ? dialog->parentWidget()->window() : nullptr;
    if (!owner) {
        CentreOnScreen(dialog);
        return;
    }
    QRect frame = dialog->frameGeometry();
    frame.moveCenter(owner->frameGeometry().center());
    dialog->move(frame.topLeft());
}

}  // namespace kadrimex::ui
