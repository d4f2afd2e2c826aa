// The displayed picture. Every change of it goes through Replace() — the
// completion of an operation, New, Open, Save, colour depth, RAW import — and
// is announced by Changed(), which the view and the status bar follow. The
// picture is held as an immutable shared snapshot, so the view shows it
// without a copy and a history of earlier pictures can keep them cheaply.
#pragma once

#include "engine/Graphic.h"

#include <QObject>

#include <memory>

class TPictureDocument : public QObject {
    Q_OBJECT
public:
    // What replaced the picture. A history of changes keeps steps for all
    // but Save, which only re-encodes the same pixels.
    enum class TChange { Operation, New, Open, Save, ColourDepth, RawImport };
    Q_ENUM(TChange)

    explicit TPictureDocument(QObject* parent = nullptr);

    const kadrimex::TPicture& Picture() const { return *FPicture; }
    std::shared_ptr<const kadrimex::TPicture> Shared() const { return FPicture; }

    void Replace(kadrimex::TPicture picture, TChange change = TChange::Open);

signals:
    void Changed(TPictureDocument::TChange change);

private:
    std::shared_ptr<const kadrimex::TPicture> FPicture;
};
