#include "engine/Parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace kadrimex {

int WorkerCount()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : int(std::min(n, 64u));
}

namespace {

// Runs body(worker) on up to WorkerCount() threads, worker 0 on the
// calling thread; rethrows the first exception there.
template <typename Body>
void RunOnWorkers(int count, Body body)
{
    const int workers = std::min(WorkerCount(), std::max(count, 1));
    if (workers <= 1) {
        body(0);
        return;
    }
    std::exception_ptr failure;
    std::mutex failureLock;
    auto guarded = [&](int worker) {
        try {
            body(worker);
        } catch (...) {
            std::lock_guard<std::mutex> lock(failureLock);
            if (!failure)
                failure = std::current_exception();
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(std::size_t(workers - 1));
    // Rows and items are taken one at a time, so helpers that cannot be
    // started (no memory for a stack, the thread limit) only mean fewer
    // hands: the calling thread does the rest.
    for (int i = 1; i < workers; ++i) {
        try {
            pool.emplace_back(guarded, i);
        } catch (const std::system_error&) {
            break;
        }
    }
    guarded(0);
    for (auto& t : pool)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
}

}  // namespace

bool ParallelRows(TBitmapProcesorThread& thread, int height,
                  const std::function<std::int64_t(std::int64_t finishedRows)>& progressOf,
                  const std::function<void(int y, int worker)>& rowFn)
{
    std::atomic<int> next{0};
    std::atomic<std::int64_t> done{0};
    std::atomic<bool> stopped{false};
    RunOnWorkers(height, [&](int worker) {
        for (;;) {
            if (stopped.load(std::memory_order_relaxed))
                return;
            const int y = next.fetch_add(1, std::memory_order_relaxed);
            if (y >= height)
                return;
            if (thread.Terminated()) {
                stopped.store(true, std::memory_order_relaxed);
                return;
            }
            rowFn(y, worker);
            const std::int64_t rows = done.fetch_add(1, std::memory_order_relaxed) + 1;
            thread.PublishProgress(progressOf(rows));
        }
    });
    return !stopped.load();
}

bool ParallelRows(TBitmapProcesorThread& thread, int height, std::int64_t progressWidth,
                  const std::function<void(int y)>& rowFn)
{
    return ParallelRows(
        thread, height, [progressWidth](std::int64_t rows) { return rows * progressWidth; },
        [&rowFn](int y, int) { rowFn(y); });
}

void ParallelFor(int count, const std::function<void(int index)>& fn)
{
    std::atomic<int> next{0};
    RunOnWorkers(count, [&](int) {
        for (;;) {
            const int i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= count)
                return;
            fn(i);
        }
    });
}

}  // namespace kadrimex
