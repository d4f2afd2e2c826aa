#include "app/PictureDocument.h"

TPictureDocument::TPictureDocument(QObject* parent)
    : QObject(parent), FPicture(std::make_shared<const kadrimex::TPicture>())
{
}

void TPictureDocument::Replace(kadrimex::TPicture picture, TChange change)
{
    FPicture = std::make_shared<const kadrimex::TPicture>(std::move(picture));
    emit Changed(change);
}
