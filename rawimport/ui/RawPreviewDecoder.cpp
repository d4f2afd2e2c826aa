#include "rawimport/ui/RawPreviewDecoder.h"

#include <QMetaObject>

#include <algorithm>
#include <new>

namespace kadrimex::ui {

namespace {

// A 24-bit copy of the picture shown through a QImage that owns it.
QImage DisplayImage(const TBitmap& bitmap)
{
    auto shown = std::make_unique<TBitmap>(bitmap);
    shown->SetPixelFormat(TPixelFormat::pf24bit);
    TBitmap* rows = shown.release();
    return QImage(rows->ScanLine(0), rows->Width(), rows->Height(), qsizetype(rows->Stride()), QImage::Format_BGR888,
                  [](void* owner) { delete static_cast<TBitmap*>(owner); }, rows);
}

}  // namespace

TRawDecodeResult DecodeRawRequest(const TRawDecodeRequest& request, const TRawCancel& cancelled)
{
    using TOutcome = TRawDecodeResult::TOutcome;
    TRawDecodeResult result;
    result.final = request.final;
    TRawOptions options = request.options;
    try {
        const TRawLayout whole = RawLayout(options, request.file->Size());
        result.lines = whole.lines;
        if (whole.lines < 1) {
            result.outcome = TOutcome::NoData;
            result.message = QStringLiteral("No byte of the file remains after the skip.");
            return result;
        }
        const std::int64_t width = options.width;
        const bool fits = width <= kMaxBitmapSide && whole.lines <= kMaxBitmapSide &&
                          width * whole.lines <= kMaxBitmapPixels;
        std::int64_t shown = whole.lines;
        if (!request.final) {
            shown = std::clamp<std::int64_t>(kRawPreviewBytes / (3 * width), 1, kMaxBitmapSide);
            shown = std::min(shown, whole.lines);
            if (shown < whole.lines)
                options.lineLimit = int(shown);
        }
        auto bitmap = std::make_shared<TBitmap>();
        if (!DecodeRaw(*request.file, options, *bitmap, cancelled))
            return result;
        if (!request.final)
            result.image = DisplayImage(*bitmap);
        result.bitmap = std::move(bitmap);
        result.outcome = TOutcome::Decoded;
        if (!fits)
            result.message = QStringLiteral("A picture of %1 x %2 pixels is too large to open; the preview shows "
                                            "its first %3 lines. Limit the lines to open it.")
                                 .arg(width)
                                 .arg(whole.lines)
                                 .arg(shown);
        else if (shown < whole.lines)
            result.message = QStringLiteral("The preview shows the first %1 of %2 lines.").arg(shown).arg(whole.lines);
    } catch (const std::bad_alloc&) {
        result.message = QStringLiteral("Not enough memory for a picture of %1 x %2 pixels.")
                             .arg(options.width)
                             .arg(result.lines);
    } catch (const std::exception& e) {
        result.message = QString::fromStdString(e.what());
    }
    return result;
}

TRawPreviewDecoder::TRawPreviewDecoder(QObject* parent) : QObject(parent), FThread([this] { Loop(); })
{
}

TRawPreviewDecoder::~TRawPreviewDecoder()
{
    {
        const std::lock_guard lock(FMutex);
        FStop = true;
        FPending.reset();
        ++FGeneration;
    }
    FWake.notify_all();
    FThread.join();
}

void TRawPreviewDecoder::Request(TRawDecodeRequest request)
{
    {
        const std::lock_guard lock(FMutex);
        FPending = std::move(request);
        ++FGeneration;
    }
    FWake.notify_all();
}

void TRawPreviewDecoder::Cancel()
{
    std::unique_lock lock(FMutex);
    FPending.reset();
    ++FGeneration;
    FIdle.wait(lock, [this] { return !FRunning; });
}

void TRawPreviewDecoder::Loop()
{
    std::unique_lock lock(FMutex);
    for (;;) {
        FWake.wait(lock, [this] { return FStop || FPending; });
        if (FStop)
            return;
        std::optional<TRawDecodeRequest> request = std::move(FPending);
        FPending.reset();
        const std::uint64_t generation = FGeneration.load();
        FRunning = true;
        lock.unlock();

        const auto stale = [this, generation] { return FGeneration.load() != generation; };
        TRawDecodeResult result = DecodeRawRequest(*request, stale);
        // The file is let go before the worker counts as idle.
        request.reset();
        lock.lock();
        FRunning = false;
        // Checked under the lock: a Cancel() that returned has raised the
        // generation, so nothing of this decode reaches the dialog after it.
        if (!stale()) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, result = std::move(result)] {
                    if (FGeneration.load() == generation)
                        emit Finished(result);
                },
                Qt::QueuedConnection);
        }
        FIdle.notify_all();
    }
}

}  // namespace kadrimex::ui
