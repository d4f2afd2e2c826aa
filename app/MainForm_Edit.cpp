// Undo and Redo over the document's history. They move between snapshots
// the document already holds, so the picture comes back exactly (format and
// palette included); the zoom keeps its value and is applied to the size of
// the picture shown. Copy and Paste exchange the picture with other programs
// through the clipboard.
#include "app/MainForm.h"

#include "app/ClipboardImage.h"
#include "app/PictureDocument.h"
#include "app/WorkImage.h"
#include "ui/Prompt.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

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
    UpdateClipboardActions();
}

void TKadrimexMainForm::AddClipboardMenuItems(QMenu* editMenu)
{
    editMenu->addSeparator();
    CopyMenuItem = editMenu->addAction(QStringLiteral("Copy"));
    CopyMenuItem->setObjectName(QStringLiteral("CopyMenuItem"));
    CopyMenuItem->setShortcuts(QKeySequence::Copy);
    connect(CopyMenuItem, &QAction::triggered, this, &TKadrimexMainForm::CopyMenuItemClick);
    PasteMenuItem = editMenu->addAction(QStringLiteral("Paste"));
    PasteMenuItem->setObjectName(QStringLiteral("PasteMenuItem"));
    PasteMenuItem->setShortcuts(QKeySequence::Paste);
    connect(PasteMenuItem, &QAction::triggered, this, &TKadrimexMainForm::PasteMenuItemClick);
    const auto clipboardChanged = [this] {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        FClipboardHasImage = data && data->hasImage();
        UpdateClipboardActions();
    };
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, clipboardChanged);
    clipboardChanged();
}

void TKadrimexMainForm::CopyMenuItemClick()
{
    const QImage image = kadrimex::ui::ClipboardImage(WorkImage->DisplayImage());
    if (image.isNull())
        return;
    QGuiApplication::clipboard()->setImage(image);
    MainStatusBar->SetPanelText(QStringLiteral("Obrazek poszedł do schowka."));
}

void TKadrimexMainForm::PasteMenuItemClick()
{
    if (Busy())
        return;
    const QImage image = QGuiApplication::clipboard()->image();
    if (image.isNull())
        return;
    const bool pasted = kadrimex::ui::RunReportingErrors(
        [&] {
            kadrimex::TPicture picture;
            picture.Assign(kadrimex::ui::BitmapFromImage(image));
            Document->Replace(std::move(picture), TPictureDocument::TChange::Paste);
        },
        QStringLiteral("Not enough memory to paste this picture"));
    if (!pasted)
        return;
    // Shown at 1:1, as Open shows a picture.
    NormZoomButtonClick();
    MainStatusBar->SetPanelText(QStringLiteral("Obrazek wzięty ze schowka."));
}

void TKadrimexMainForm::UpdateClipboardActions()
{
    if (!PasteMenuItem || !Document)
        return;
    PasteMenuItem->setEnabled(!Busy() && FClipboardHasImage);
    CopyMenuItem->setEnabled(!WorkImage->DisplayImage().isNull());
    auto state = [](const QAction* item) { return item->isEnabled() ? QStringLiteral("on") : QStringLiteral("off"); };
    TestProbe(QStringLiteral("copy %1 paste %2").arg(state(CopyMenuItem), state(PasteMenuItem)));
}
