// The worker that runs one image operation. The launcher creates it
// suspended, fills the public fields, sets the completion callback and calls
// Resume(); Execute() looks FOperation up in the operation table
// (FindOperation, defined above the operation families) and runs its row.
//
// Progress and cancellation are plain atomics: the routine stores its
// position with UpdateProgress() (never blocks, cheap enough to call once per
// pixel) and polls Terminated(); the UI thread reads Progress() and
// ProgressMax() from a timer and calls Terminate() to cancel.
#pragma once

#include "engine/Bitmap.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace kadrimex {

// 256-entry palette of the unsigned mask pictures: entry i is grey i.
TLogPalette GreyPalette();
// 256-entry palette of the signed mask pictures (weight = index - 128):
// positive weights red, negative weights green, blue growing with |weight|.
TLogPalette SignedPalette();

class TBitmapProcesorThread;

// A tone table: entry v is the new value of channel value v.
using TToneTable = std::array<std::uint8_t, 256>;
// One channel's histogram.
using THistogram = std::array<long double, 256>;

// What Execute() does to the destination before the routine runs.
enum class TDestinationPreparation {
    None,
    // 8 bits per pixel with GreyPalette() (unsigned mask pictures).
    GreyPalette8,
    // 8 bits per pixel with SignedPalette() (signed mask pictures).
    SignedPalette8,
};

// One row of the operation table: the code, the preparation of the
// destination and the routine, which reads its arguments from the thread's
// fields.
struct TOperationEntry {
    std::int8_t code;
    const char* name;
    TDestinationPreparation preparation;
    void (*routine)(TBitmapProcesorThread& thread);
};

// The row of `code`, or null for a code without one. Defined with the table,
// which knows every operation family; the engine knows none.
const TOperationEntry* FindOperation(std::int8_t code);

class TBitmapProcesorThread {
public:
    explicit TBitmapProcesorThread(bool CreateSuspended = true);
    TBitmapProcesorThread(const TBitmapProcesorThread&) = delete;
    TBitmapProcesorThread& operator=(const TBitmapProcesorThread&) = delete;
    // Requests termination and joins the worker if it still runs. Releases
    // neither bitmap.
    virtual ~TBitmapProcesorThread();

    // Position of the running routine; written by the worker only.
    std::int32_t FRow = 0;
    std::int32_t FColumn = 0;
    std::int32_t FWidth = 0;
    std::int32_t FHeight = 0;
    // Work table of the FFT routines; null outside them.
    void* FTwiddleTable = nullptr;
    // Progress numerator and denominator (whole numbers), published by the
    // worker and read by the UI thread.
    std::atomic<std::int64_t> FProgress{0};
    std::atomic<std::int64_t> FProgressMax{0};
    std::uint8_t FResampleMode = 0;
    TAdvancedBitmap* FSource = nullptr;
    TAdvancedBitmap* FDestination = nullptr;
    std::int8_t FOperation = 0;
    long double FParam1 = 0;
    long double FParam2 = 0;
    std::int32_t FIntParam = 0;
    std::uint8_t FFlagParam = 0;
    long double FParam3 = 0;
    long double FParam4 = 0;
    // Owning fields: whatever the routine does not consume is released with
    // the thread, so completion needs to know no operation's fields.
    // User filter: size * size coefficients; the routine takes them over.
    std::unique_ptr<long double[]> FMatrix;
    // Histogram operation: shared with the launcher, which reads them after
    // completion; a launcher that goes away first cannot leave the worker
    // writing into freed arrays.
    std::shared_ptr<THistogram> FHistogram0;
    std::shared_ptr<THistogram> FHistogram1;
    std::shared_ptr<THistogram> FHistogram2;
    // Tone table of the curves operation (code 5).
    std::unique_ptr<TToneTable> FCurve;

    // Publishes FRow * FWidth + FColumn. Lock-free; any thread may call it.
    void UpdateProgress()
    {
        FProgress.store(std::int64_t(FRow) * FWidth + FColumn, std::memory_order_relaxed);
    }
    // Publishes a position directly (used by routines that split rows over
    // several threads and count finished work themselves).
    void PublishProgress(std::int64_t position) { FProgress.store(position, std::memory_order_relaxed); }
    void SetProgressMax(std::int64_t maximum) { FProgressMax.store(maximum, std::memory_order_relaxed); }
    std::int64_t Progress() const { return FProgress.load(std::memory_order_relaxed); }
    std::int64_t ProgressMax() const { return FProgressMax.load(std::memory_order_relaxed); }

    // Progress protocol step 1-2 of the counting routines: sets FWidth,
    // FHeight, FProgressMax = width * height, FRow = FColumn = 0 and
    // publishes. Returns false (doing nothing else) when either size is 0.
    bool BeginProgress(std::int32_t width, std::int32_t height);

    void Terminate() { FTerminated.store(true, std::memory_order_relaxed); }
    bool Terminated() const { return FTerminated.load(std::memory_order_relaxed); }

    // True from creation until Resume().
    bool Suspended() const { return !FStarted; }
    // Starts Execute() on a new thread, then calls OnTerminate on that
    // thread when it returns. The UI layer re-posts the callback to its own
    // thread.
    void Resume();
    // Waits until the worker has finished (no-op when never started).
    void WaitFor();
    // True once Execute() has returned and OnTerminate has been called.
    bool Finished() const { return FFinished.load(std::memory_order_acquire); }

    // Lower priority than the UI thread (the launcher's one step below
    // normal); applied at Resume().
    bool FLowerPriority = true;

    // Called on the worker thread after Execute() returns.
    std::function<void(TBitmapProcesorThread*)> OnTerminate;

    // Message of an error that ended the routine (allocation failure,
    // impossible conversion); empty when it ended normally or was cancelled.
    std::string FErrorMessage;

    // The dispatcher; runs on the worker thread, or synchronously when
    // called directly (the batch tool does so).
    virtual void Execute();

private:
    void Dispatch();

    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    bool FStarted = false;
    std::thread FThread;
};

// Where an operation's bitmaps come from. Every launcher (the editor's
// command rows, the batch tool, the curves dialog) goes through
// AttachBitmaps, so the rule exists once.
enum class TDestinationPolicy {
    // Source: the working copy; destination: a new empty 24-bit bitmap (the
    // operation's FillThread may size it).
    NewEmpty24,
    // No source; a new empty bitmap that the worker makes an 8-bit mask
    // picture (the generators).
    NewForGenerator,
    // No source; the working copy itself, changed in place (curves, levels).
    WorkingCopyInPlace,
    // Source: the working copy; no destination (the histogram).
    SourceOnly,
};

// Owns the bitmaps a worker works on; the worker's FSource and
// FDestination point into it from AttachBitmaps until completion.
struct TOperationBitmaps {
    std::unique_ptr<TAdvancedBitmap> source;
    std::unique_ptr<TAdvancedBitmap> destination;
};

// Creates the bitmaps `policy` asks for, hands `workingCopy` over where it
// is used, and points the worker's FSource and FDestination at them.
TOperationBitmaps AttachBitmaps(TBitmapProcesorThread& thread, TDestinationPolicy policy,
                                std::unique_ptr<TAdvancedBitmap> workingCopy);

// True when `policy` reads the displayed picture (a working copy is made).
constexpr bool NeedsWorkingCopy(TDestinationPolicy policy)
{
    return policy != TDestinationPolicy::NewForGenerator;
}

}  // namespace kadrimex
