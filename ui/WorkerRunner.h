// Runs one worker at a time for a window or dialog and brings its
// completion back to the owner's thread. The worker calls OnTerminate on its
// own thread; the runner re-posts it, queued, and recognises a completion
// that arrives after the owner stopped the worker itself.
#pragma once

#include "engine/ProcessorThread.h"

#include <QObject>

#include <functional>
#include <memory>

namespace kadrimex::ui {

class TWorkerRunner : public QObject {
    Q_OBJECT
public:
    explicit TWorkerRunner(QObject* parent = nullptr);
    // Stops and joins a running worker.
    ~TWorkerRunner() override;

    // Resumes the filled, suspended `thread`; when its Execute() returns,
    // `finished` runs on this object's thread. At most one worker at a time:
    // a second Start() while one runs is refused (returns false).
    bool Start(std::unique_ptr<TBitmapProcesorThread> thread, std::function<void()> finished);

    // The running worker, or null.
    TBitmapProcesorThread* Thread() const { return FThread.get(); }

    // Joins the worker and hands it over (null when none runs). Called by
    // `finished`, or by the owner to stop early after Terminate(); the
    // pending completion is then dropped.
    std::unique_ptr<TBitmapProcesorThread> Take();

    // Terminate request, join, and the thread handed over; no completion.
    std::unique_ptr<TBitmapProcesorThread> Stop();

private:
    std::unique_ptr<TBitmapProcesorThread> FThread;
    // Counts starts, so a completion posted for a worker already taken is
    // ignored.
    quint64 FGeneration = 0;
};

}  // namespace kadrimex::ui
