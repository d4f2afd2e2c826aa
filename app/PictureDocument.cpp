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
    emit Changed(change);
}

bool TPictureDocument::Undo()
{
    auto shown = FHistory.Undo(FPicture);
    if (!shown)
        return false;
    FPicture = std::move(shown);
    emit Changed(TChange::Undo);
    return true;
}

bool TPictureDocument::Redo()
{
    auto shown = FHistory.Redo(FPicture);
    if (!shown)
        return false;
    FPicture = std::move(shown);
    emit Changed(TChange::Redo);
    return true;
}

void TPictureDocument::ResetHistory(std::size_t limit)
{
    FHistory = TUndoHistory(limit);
}
