// The displayed picture. Every change of it goes through Replace() — the
// completion of an operation, New, Open, Paste, Save, colour depth, RAW
// import — and is announced by Changed(), which the view and the status bar
// follow. The picture is held as an immutable shared snapshot, so the view shows it
// without a copy and the undo history keeps earlier pictures cheaply.
#pragma once

#include "app/UndoHistory.h"
#include "engine/Graphic.h"

#include <QObject>

#include <memory>

class TPictureDocument : public QObject {
    Q_OBJECT
public:
    // What replaced the picture. The history keeps a step for every change
    // but Save, which only re-encodes the same pixels, and Undo and Redo,
    // which move along it.
    enum class TChange { Operation, New, Open, Save, ColourDepth, RawImport, Undo, Redo, Paste };
    Q_ENUM(TChange)

    explicit TPictureDocument(QObject* parent = nullptr);

    const kadrimex::TPicture& Picture() const { return *FPicture; }
    std::shared_ptr<const kadrimex::TPicture> Shared() const { return FPicture; }

    void Replace(kadrimex::TPicture picture, TChange change = TChange::Open);

    // Brings back the picture before the last change (after the last undo);
    // false when there is none.
    bool Undo();
    bool Redo();
    const TUndoHistory& History() const { return FHistory; }
    // Whether the picture has changed since it was last opened, saved or
    // created (an undo back to that picture still counts as a change).
    bool Modified() const { return FModified; }
    // For tests: a history of another limit, empty.
    void ResetHistory(std::size_t limit);

signals:
    void Changed(TPictureDocument::TChange change);

private:
    // Shows a picture taken from the history; false when there was none.
    bool Show(TUndoHistory::TSnapshot shown, TChange change);
    std::shared_ptr<const kadrimex::TPicture> FPicture;
    TUndoHistory FHistory;
    bool FModified = false;
};
