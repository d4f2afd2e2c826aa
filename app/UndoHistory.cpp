#include "app/UndoHistory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <new>
#include <variant>

namespace {

constexpr std::size_t kGiB = std::size_t(1) << 30;

}  // namespace

TUndoHistory::TUndoHistory(std::size_t limit) : FLimit(limit)
{
}

std::size_t TUndoHistory::DefaultLimit()
{
    std::size_t limit = kGiB;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && pageSize > 0)
        limit = std::min(limit, std::size_t(pages) / 4 * std::size_t(pageSize));
    // Under an address-space limit the steps must leave room for the
    // operations themselves.
    rlimit space{};
    if (getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY)
        limit = std::min(limit, std::size_t(space.rlim_cur / 4));
    return limit;
}

std::size_t TUndoHistory::Footprint(const kadrimex::TPicture& picture)
{
    return std::visit(
        [](const auto& graphic) -> std::size_t {
            using T = std::decay_t<decltype(graphic)>;
            if constexpr (std::is_same_v<T, kadrimex::TBitmap>)
                return graphic.Stride() * std::size_t(graphic.Height()) +
                       graphic.Palette().size() * sizeof(kadrimex::TPaletteEntry);
            else if constexpr (std::is_same_v<T, kadrimex::TJPEGImage>)
                return graphic.Data().size() + std::size_t(graphic.Width()) * std::size_t(graphic.Height()) * 3;
            else if constexpr (std::is_same_v<T, kadrimex::TIcon>)
                return graphic.Data().size() * 2;  // the file and its entries' copies
            else
                return 0;
        },
        picture.graphic());
}

void TUndoHistory::ClearStack(std::deque<TSnapshot>& stack)
{
    for (const TSnapshot& step : stack)
        FBytes -= Footprint(*step);
    stack.clear();
}

bool TUndoHistory::Push(std::deque<TSnapshot>& stack, TSnapshot snapshot)
{
    const std::size_t size = Footprint(*snapshot);
    bool kept = size <= FLimit;
    if (kept) {
        try {
            stack.push_back(std::move(snapshot));
        } catch (const std::bad_alloc&) {
            kept = false;
        }
    }
    if (!kept) {
        // Undo cannot step over a lost picture; a lost redo step only ends
        // the redo side.
        ClearStack(stack);
        if (&stack == &FUndo)
            FLoss = TLoss::NotKept;
        return false;
    }
    FBytes += size;
    Trim();
    return true;
}

void TUndoHistory::Trim()
{
    while (FBytes > FLimit && !FUndo.empty()) {
        FBytes -= Footprint(*FUndo.front());
        FUndo.pop_front();
        if (FLoss == TLoss::None)
            FLoss = TLoss::Dropped;
    }
    while (FBytes > FLimit && !FRedo.empty()) {
        FBytes -= Footprint(*FRedo.front());
        FRedo.pop_front();
    }
}

void TUndoHistory::Record(TSnapshot previous)
{
    ClearStack(FRedo);
    if (!previous || previous->Empty())
        return;
    Push(FUndo, std::move(previous));
}

TUndoHistory::TSnapshot TUndoHistory::Step(std::deque<TSnapshot>& from, std::deque<TSnapshot>& to,
                                           TSnapshot current)
{
    if (from.empty())
        return nullptr;
    TSnapshot shown = std::move(from.back());
    from.pop_back();
    FBytes -= Footprint(*shown);
    if (current && !current->Empty())
        Push(to, std::move(current));
    return shown;
}

TUndoHistory::TSnapshot TUndoHistory::Undo(TSnapshot current)
{
    return Step(FUndo, FRedo, std::move(current));
}

TUndoHistory::TSnapshot TUndoHistory::Redo(TSnapshot current)
{
    return Step(FRedo, FUndo, std::move(current));
}
