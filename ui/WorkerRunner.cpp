#include "ui/WorkerRunner.h"

#include <QMetaObject>

namespace kadrimex::ui {

TWorkerRunner::TWorkerRunner(QObject* parent) : QObject(parent) {}

TWorkerRunner::~TWorkerRunner()
{
    Stop();
}

bool TWorkerRunner::Start(std::unique_ptr<TBitmapProcesorThread> thread, std::function<void()> finished)
{
    if (FThread || !thread)
        return false;
    const quint64 generation = ++FGeneration;
    // Runs on the worker's thread and only posts. The runner outlives it (its
    // destructor joins the worker), and a posted call whose receiver is gone
    // is dropped by Qt.
    thread->OnTerminate = [this, generation, finished = std::move(finished)](TBitmapProcesorThread*) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, finished] {
                if (FThread && generation == FGeneration && finished)
                    finished();
            },
            Qt::QueuedConnection);
    };
    FThread = std::move(thread);
    FThread->Resume();
    return true;
}

std::unique_ptr<TBitmapProcesorThread> TWorkerRunner::Take()
{
    if (FThread)
        FThread->WaitFor();
    ++FGeneration;
    return std::move(FThread);
}

std::unique_ptr<TBitmapProcesorThread> TWorkerRunner::Stop()
{
    if (FThread)
        FThread->Terminate();
    return Take();
}

}  // namespace kadrimex::ui
