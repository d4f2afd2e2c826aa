#include "app/PictureDocument.h"

TPictureDocument::TPictureDocument(QObject* parent)
    : QObject(parent), FPicture(std::make_shared<const kadrimex::TPicture>())
{
}

void TPictureDocument::Replace(kadrimex::TPicture picture, TChange change)
{
    auto next = std::make_shared<const kadrimex::TPicture>(std::move(picture));
    if (change != TChange::Save)
        FHistory.Record(std::move(FPicture));
    FPicture = std::move(next);
    FModified = change == TChange::Operation || change == TChange::ColourDepth;
    emit Changed(change);
}

bool TPictureDocument::Show(TUndoHistory::TSnapshot shown, TChange change)
{
    if (!shown)
        return false;
    FPicture = std::move(shown);
    FModified = true;
    emit Changed(change);
    return true;
}

bool TPictureDocument::Undo()
{
    return Show(FHistory.Undo(FPicture), TChange::Undo);
}

bool TPictureDocument::Redo()
{
    return Show(FHistory.Redo(FPicture), TChange::Redo);
}

void TPictureDocument::ResetHistory(std::size_t limit)
{
    FHistory = TUndoHistory(limit);
}
