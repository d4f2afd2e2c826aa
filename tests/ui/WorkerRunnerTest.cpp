// The worker runner: completion comes back on the owner's thread, one worker
// at a time, and a stopped or destroyed runner never runs a completion late.
#include "engine/ProcessorThread.h"
#include "filters/Filters.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/TestPictures.h"
#include "ui/WorkerRunner.h"

#include <gtest/gtest.h>

#include <thread>

using kadrimex::TBitmapProcesorThread;
using kadrimex::test::WaitUntil;
using kadrimex::ui::TWorkerRunner;

namespace {

// A Gauss blur long enough to be stopped half-way.
std::unique_ptr<TBitmapProcesorThread> SlowBlur(kadrimex::TAdvancedBitmap& source, kadrimex::TAdvancedBitmap& dest)
{
    auto thread = std::make_unique<TBitmapProcesorThread>(true);
    thread->FOperation = kadrimex::op::GaussBlur;
    thread->FParam1 = 400;
    thread->FSource = &source;
    thread->FDestination = &dest;
    return thread;
}

}  // namespace

TEST(WorkerRunner, CompletionRunsOnTheOwnersThreadOnce)
{
    TWorkerRunner runner;
    int calls = 0;
    std::thread::id ranOn;
    ASSERT_TRUE(runner.Start(std::make_unique<TBitmapProcesorThread>(true), [&] {
        ++calls;
        ranOn = std::this_thread::get_id();
        EXPECT_NE(runner.Take(), nullptr);
    }));
    EXPECT_FALSE(runner.Start(std::make_unique<TBitmapProcesorThread>(true), {})) << "one worker at a time";
    ASSERT_TRUE(WaitUntil([&] { return calls > 0; }, 10000));
    WaitUntil([] { return false; }, 50);  // serves events: no second call
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(runner.Thread(), nullptr);
}

TEST(WorkerRunner, StopAndDestructionDropTheCompletion)
{
    std::mt19937 random(3);
    kadrimex::TAdvancedBitmap source = kadrimex::test::RandomPicture(400, 300, random);
    kadrimex::TAdvancedBitmap dest;
    bool completed = false;
    {
        TWorkerRunner runner;
        ASSERT_TRUE(runner.Start(SlowBlur(source, dest), [&] { completed = true; }));
        const auto stopped = runner.Stop();
        ASSERT_NE(stopped, nullptr);
        EXPECT_TRUE(stopped->Terminated());
        EXPECT_EQ(runner.Thread(), nullptr);
        // A new worker may start once the old one is stopped; the runner
        // goes away while it runs.
        EXPECT_TRUE(runner.Start(SlowBlur(source, dest), [&] { completed = true; }));
    }
    WaitUntil([] { return false; }, 100);
    EXPECT_FALSE(completed);
}
