// Parts the levels and curves dialogs share: radio groups whose item index
// is the checked button's id, the channel group of both, and centring on the
// main window.
#pragma once

#include <QString>
#include <QStringList>

class QButtonGroup;
class QGroupBox;
class QWidget;

namespace kadrimex::ui {

// A titled box of exclusive radio buttons, one per item, the item index as
// the button's id; `checked` is selected.
QGroupBox* MakeRadioGroup(QWidget* parent, const char* name, const QString& caption, const QStringList& items,
                          int checked, QButtonGroup*& buttons);

// "C&hanels" with "All", "Red", "Green", "Blue" (the channel selector),
// "All" selected.
QGroupBox* MakeChannelRadioGroup(QWidget* parent, QButtonGroup*& buttons);

// Moves `dialog` to the centre of its parent's window (of the screen when
// it has none).
void CentreOnOwner(QWidget* dialog);

}  // namespace kadrimex::ui
