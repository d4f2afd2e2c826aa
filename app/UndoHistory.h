// The undo and redo steps of the displayed picture: earlier pictures held as
// the document's own immutable snapshots, so keeping one costs no copy, only
// the memory it would otherwise give back. The steps are bounded by a byte
// limit; the oldest go first, and a picture larger than the whole limit is
// not kept at all (the change is applied, the history says it lost a step).
#pragma once

#include "engine/Graphic.h"

#include <cstddef>
#include <deque>
#include <memory>

class TUndoHistory {
public:
    using TSnapshot = std::shared_ptr<const kadrimex::TPicture>;

    // Why Undo has nothing to offer besides an empty history.
    enum class TLoss {
        None,
        // Older steps were dropped to stay within the limit.
        Dropped,
        // The step before the oldest kept one was too large (or its record
        // could not be allocated).
        NotKept,
    };

    explicit TUndoHistory(std::size_t limit = DefaultLimit());

    // The smaller of 1 GiB and a quarter of the physical memory, and a
    // quarter of the address-space limit when the process has one.
    static std::size_t DefaultLimit();
    // The memory a snapshot holds: pixels and palette of a bitmap, the
    // compressed data and its decoded bitmap of a JPEG, the file bytes of an
    // icon.
    static std::size_t Footprint(const kadrimex::TPicture& picture);

    // `previous` is the picture a change replaced; it becomes the step Undo
    // returns to, and the redo steps are gone. An empty picture (the window
    // before its first picture) is not a step.
    void Record(TSnapshot previous);
    // The picture to show instead of `current`, which becomes the first redo
    // step (or, for Redo, the last undo step). Null when there is none.
    TSnapshot Undo(TSnapshot current);
    TSnapshot Redo(TSnapshot current);

    bool CanUndo() const { return !FUndo.empty(); }
    bool CanRedo() const { return !FRedo.empty(); }
    TLoss Loss() const { return FLoss; }
    std::size_t Bytes() const { return FBytes; }
    std::size_t Limit() const { return FLimit; }
    std::size_t UndoCount() const { return FUndo.size(); }

private:
    // Moves `snapshot` onto `stack`; when it cannot be kept, clears that
    // stack (noting the loss on the undo side).
    bool Push(std::deque<TSnapshot>& stack, TSnapshot snapshot);
    // Takes the last step of `from` to show it and keeps `current` on `to`.
    TSnapshot Step(std::deque<TSnapshot>& from, std::deque<TSnapshot>& to, TSnapshot current);
    void ClearStack(std::deque<TSnapshot>& stack);
    // Drops the oldest undo steps (then the farthest redo steps) until the
    // total is within the limit.
    void Trim();

    std::deque<TSnapshot> FUndo;  // back: the most recent step
    std::deque<TSnapshot> FRedo;  // back: the next redo step
    std::size_t FBytes = 0;
    std::size_t FLimit;
    TLoss FLoss = TLoss::None;
};
