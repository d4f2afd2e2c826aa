// The RAW dialog's decodes, off the user-interface thread. One worker takes
// the newest request only: a request made while another waits replaces it,
// and one made while a decode runs stops that decode at its next line. So a
// burst of keystrokes costs one decode, and the window never waits for one.
#pragma once

#include "engine/Bitmap.h"
#include "rawimport/RawImport.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace kadrimex::ui {

struct TRawDecodeRequest {
    std::shared_ptr<const TRawFile> file;
    TRawOptions options;
    // A preview is bounded to the lines its display can hold; the final
    // decode is the whole picture and has no display image.
    bool final = false;
};

struct TRawDecodeResult {
    enum class TOutcome { Decoded, NoData, Failed };
    TOutcome outcome = TOutcome::Failed;
    bool final = false;
    std::shared_ptr<TBitmap> bitmap;        // Decoded
    QImage image;                           // Decoded preview: the picture as shown
    std::int64_t lines = 0;                 // lines of the whole picture
    QString message;                        // what the dialog tells the user; empty when all is well
};

// Most bytes a preview's display image takes (24 bits a pixel); a picture
// larger than that is previewed by its first lines.
inline constexpr std::int64_t kRawPreviewBytes = std::int64_t(48) << 20;

// The decode a request asks for, run on the calling thread: a preview is
// bounded by kRawPreviewBytes, and the result carries the message about a
// picture too large to open whole. `cancelled` is tested between lines.
TRawDecodeResult DecodeRawRequest(const TRawDecodeRequest& request, const TRawCancel& cancelled);

class TRawPreviewDecoder : public QObject {
    Q_OBJECT
public:
    explicit TRawPreviewDecoder(QObject* parent = nullptr);
    // Stops the decode and joins the worker.
    ~TRawPreviewDecoder() override;

    // Supersedes every earlier request; Finished() reports this one.
    void Request(TRawDecodeRequest request);
    // Drops the waiting request, stops the running decode and waits until
    // the worker holds no file any more. No Finished() follows.
    void Cancel();

signals:
    // The result of the newest request, on this object's thread.
    void Finished(const kadrimex::ui::TRawDecodeResult& result);

private:
    void Loop();

    std::mutex FMutex;
    std::condition_variable FWake;
    std::condition_variable FIdle;
    std::optional<TRawDecodeRequest> FPending;
    bool FRunning = false;
    bool FStop = false;
    // Counts requests; a decode whose number is no longer the newest stops,
    // and its result is dropped.
    std::atomic<std::uint64_t> FGeneration{0};
    std::thread FThread;
};

}  // namespace kadrimex::ui
