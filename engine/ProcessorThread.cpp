#include "engine/ProcessorThread.h"

#include "filters/Filters.h"
#include "transforms/Fourier.h"
#include "userfilter/UserFilter.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <new>

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
    switch (FOperation) {
    case op::GaussGenerator:
    case op::TriangleGenerator:
    case op::ShapeGenerator:
        if (!FDestination)
            return;
        FDestination->SetPixelFormat(TPixelFormat::pf8bit);
        FDestination->SetPalette(GreyPalette());
        break;
    case op::SharpenGenerator:
    case op::EdgeGenerator:
        if (!FDestination)
            return;
        FDestination->SetPixelFormat(TPixelFormat::pf8bit);
        FDestination->SetPalette(SignedPalette());
        break;
    default:
        break;
    }

    // The routine of the operation code; codes without one end at once.
    switch (FOperation) {
    case op::GaussBlur:
        GaussBlur(*this, FDestination, FSource, FParam1);
        return;
    case op::TriangleBlur:
        TriangleBlur(*this, FDestination, FSource, FParam1);
        return;
    case op::Sharpen:
        Sharpen(*this, FDestination, FSource, FParam1, FParam2);
        return;
    case op::FindEdges:
        FindEdges(*this, FDestination, FSource, FParam1, FParam2);
        return;
    case op::FFT:
        MakeFFT(*this, FDestination, FSource);
        return;
    case op::RevFFT:
        MakeRevFFT(*this, FDestination, FSource);
        return;
    case op::FFTGauss:
        MakeFFTGauss(*this, FDestination, FSource, FParam1);
        return;
    case op::UserFilter: {
        // The matrix now belongs to the routine, which releases it.
        long double* matrix = FMatrix;
        FMatrix = nullptr;
        UserFilter(*this, FDestination, FSource, matrix, FIntParam, FParam1, FParam2, FFlagParam);
        return;
    }
    default:
        return;
    }
}

}  // namespace kadrimex
