// Row bands over all cores inside one operation. Rows are handed out in
// small chunks from a shared counter so uneven rows balance out; progress is
// the number of finished rows times the row width, published lock-free.
#pragma once

#include "engine/ProcessorThread.h"

#include <cstdint>
#include <functional>

namespace kadrimex {

// Number of worker threads used by the row-parallel routines (at least 1).
int WorkerCount();

// Calls rowFn(y) for every y in [0, height) on up to WorkerCount() threads.
// Before each row the terminate request is tested; once it is set no new
// row starts. After each row the progress is published as
// (finished rows) * progressWidth. Returns false when it was terminated.
// The first exception thrown by rowFn is rethrown on the calling thread.
bool ParallelRows(TBitmapProcesorThread& thread, int height, std::int64_t progressWidth,
                  const std::function<void(int y)>& rowFn);

// The general form of ParallelRows: rowFn also receives the number of the
// worker running it (0 .. WorkerCount() - 1, one thread each, so per-worker
// scratch needs no lock), and after each row the progress published is
// progressOf(finished rows).
bool ParallelRows(TBitmapProcesorThread& thread, int height,
                  const std::function<std::int64_t(std::int64_t finishedRows)>& progressOf,
                  const std::function<void(int y, int worker)>& rowFn);

// As ParallelRows without a worker thread object (no progress, no cancel).
void ParallelFor(int count, const std::function<void(int index)>& fn);

}  // namespace kadrimex
