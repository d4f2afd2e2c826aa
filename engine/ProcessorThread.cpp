#include "engine/ProcessorThread.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <new>
#include <system_error>

namespace kadrimex {

TLogPalette GreyPalette()
{
    TLogPalette palette;
    palette.palPalEntry.resize(256);
    for (int i = 0; i < 256; ++i) {
        auto& e = palette.palPalEntry[std::size_t(i)];
        e.peRed = e.peGreen = e.peBlue = std::uint8_t(i);
    }
    return palette;
}

TLogPalette SignedPalette()
{
    TLogPalette palette;
    palette.palPalEntry.resize(256);
    for (int i = 0; i < 256; ++i) {
        auto& e = palette.palPalEntry[std::size_t(i)];
        // Each component keeps only its low 8 bits: index 0 gives green 256 -> 0.
        e.peRed = std::uint8_t(i > 128 ? 2 * (i - 128) : 0);
        e.peGreen = std::uint8_t(i < 128 ? 2 * (128 - i) : 0);
        const int up = (i - 128) / 3;
        const int down = (128 - i) / 2;
        e.peBlue = std::uint8_t(up > down ? up : down);
    }
    return palette;
}

TBitmapProcesorThread::TBitmapProcesorThread(bool CreateSuspended)
{
    if (!CreateSuspended)
        Resume();
}

TBitmapProcesorThread::~TBitmapProcesorThread()
{
    Terminate();
    WaitFor();
}

bool TBitmapProcesorThread::BeginProgress(std::int32_t width, std::int32_t height)
{
    FWidth = width;
    FHeight = height;
    if (width < 1 || height < 1)
        return false;
    SetProgressMax(std::int64_t(width) * height);
    FRow = 0;
    FColumn = 0;
    UpdateProgress();
    return true;
}

void TBitmapProcesorThread::Resume()
{
    if (FStarted)
        return;
    FStarted = true;
    try {
        FThread = std::thread([this] {
#if defined(__linux__)
            if (FLowerPriority)
                setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 1);
#endif
            Execute();
            FFinished.store(true, std::memory_order_release);
            if (OnTerminate)
                OnTerminate(this);
        });
    } catch (const std::system_error&) {
        // No thread to be had (memory for its stack, or the thread limit):
        // the operation ends at once with the reason, through the usual
        // completion.
        FErrorMessage = "Not enough memory or threads to start the operation";
        FFinished.store(true, std::memory_order_release);
        if (OnTerminate)
            OnTerminate(this);
    }
}

void TBitmapProcesorThread::WaitFor()
{
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

void TBitmapProcesorThread::Execute()
{
    try {
        Dispatch();
    } catch (const std::bad_alloc&) {
        FErrorMessage = "Not enough memory for this operation";
    } catch (const std::exception& e) {
        FErrorMessage = e.what();
    }
}

void TBitmapProcesorThread::Dispatch()
{
    // Codes without a row end at once.
    const TOperationEntry* entry = FindOperation(FOperation);
    if (!entry)
        return;
    if (entry->preparation != TDestinationPreparation::None) {
        if (!FDestination)
            return;
        FDestination->SetPixelFormat(TPixelFormat::pf8bit);
        FDestination->SetPalette(entry->preparation == TDestinationPreparation::GreyPalette8 ? GreyPalette()
                                                                                               : SignedPalette());
    }
    if (entry->routine)
        entry->routine(*this);
}

TOperationBitmaps AttachBitmaps(TBitmapProcesorThread& thread, TDestinationPolicy policy,
                                std::unique_ptr<TAdvancedBitmap> workingCopy)
{
    TOperationBitmaps bitmaps;
    switch (policy) {
    case TDestinationPolicy::NewEmpty24:
        bitmaps.source = std::move(workingCopy);
        bitmaps.destination = std::make_unique<TAdvancedBitmap>();
        bitmaps.destination->SetPixelFormat(TPixelFormat::pf24bit);
        break;
    case TDestinationPolicy::NewForGenerator:
        bitmaps.destination = std::make_unique<TAdvancedBitmap>();
        break;
    case TDestinationPolicy::WorkingCopyInPlace:
        bitmaps.destination = std::move(workingCopy);
        break;
    case TDestinationPolicy::SourceOnly:
        bitmaps.source = std::move(workingCopy);
        break;
    }
    thread.FSource = bitmaps.source.get();
    thread.FDestination = bitmaps.destination.get();
    return bitmaps;
}

}  // namespace kadrimex
