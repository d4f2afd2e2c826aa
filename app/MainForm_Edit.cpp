// Undo and Redo over the document's history. They move between snapshots
// the document already holds, so the picture comes back exactly (format and
// palette included); the zoom keeps its value and is applied to the size of
// the picture shown.
#include "app/MainForm.h"

#include "app/PictureDocument.h"

void TKadrimexMainForm::UndoMenuItemClick()
{
    if (Busy() || !Document->Undo())
        return;
    ApplyZoom();
}

void TKadrimexMainForm::RedoMenuItemClick()
{
    if (Busy() || !Document->Redo())
        return;
    ApplyZoom();
}

void TKadrimexMainForm::UpdateUndoActions()
{
    if (!UndoMenuItem || !Document)
        return;
    const TUndoHistory& history = Document->History();
    UndoMenuItem->setEnabled(!Busy() && history.CanUndo());
    RedoMenuItem->setEnabled(!Busy() && history.CanRedo());
    QString undoTip = QStringLiteral("Undo");
    if (!history.CanUndo()) {
        if (history.Loss() == TUndoHistory::TLoss::NotKept)
            undoTip = QStringLiteral("Undo: the picture before the change could not be kept (too large for the "
                                     "undo memory)");
        else if (history.Loss() == TUndoHistory::TLoss::Dropped)
            undoTip = QStringLiteral("Undo: older steps were dropped to stay within the undo memory");
    }
    UndoMenuItem->setToolTip(undoTip);
    RedoMenuItem->setToolTip(QStringLiteral("Redo"));
    auto state = [](const QAction* item) { return item->isEnabled() ? QStringLiteral("on") : QStringLiteral("off"); };
    TestProbe(QStringLiteral("undo %1 redo %2").arg(state(UndoMenuItem), state(RedoMenuItem)));
}
