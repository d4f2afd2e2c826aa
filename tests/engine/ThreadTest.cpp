#include "engine/Parallel.h"
#include "engine/ProcessorThread.h"
#include "filters/Generators.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <chrono>
#include <thread>

using namespace kadrimex;

TEST(Palettes, SignedPaletteKeepsLowBytes)
{
    const auto p = SignedPalette().palPalEntry;
    ASSERT_EQ(p.size(), 256u);
    auto rgb = [&](int i) { return std::tuple(int(p[i].peRed), int(p[i].peGreen), int(p[i].peBlue)); };
    EXPECT_EQ(rgb(128), std::tuple(0, 0, 0));
    EXPECT_EQ(rgb(255), std::tuple(254, 0, 42));
    EXPECT_EQ(rgb(1), std::tuple(0, 254, 63));
    EXPECT_EQ(rgb(0), std::tuple(0, 0, 64));
    EXPECT_EQ(SignedPalette().palVersion, 0x300);
    const auto g = GreyPalette().palPalEntry;
    for (int i = 0; i < 256; ++i)
        EXPECT_TRUE(g[i].peRed == i && g[i].peGreen == i && g[i].peBlue == i && g[i].peFlags == 0);
}

TEST(ProcessorThread, UnknownCodesEndAtOnce)
{
    for (int code : {0, 3, 7, 0x1F, 0x25, 0x3F, 0x45, 0x5F, 0x63, 0x7F, -1, -128}) {
        TBitmapProcesorThread t(true);
        TAdvancedBitmap dst;
        t.FDestination = &dst;
        t.FOperation = std::int8_t(code);
        std::atomic<bool> called{false};
        t.OnTerminate = [&](TBitmapProcesorThread*) { called = true; };
        t.Resume();
        EXPECT_FALSE(t.Suspended());
        t.WaitFor();
        EXPECT_TRUE(called);
        EXPECT_TRUE(dst.Empty());
        EXPECT_TRUE(t.FErrorMessage.empty());
    }
}

// With no room for another thread's stack, parallel work is done by the
// calling thread alone and a worker that cannot start ends at once with the
// reason, through its completion. Run in a fresh copy of this program: in
// this one, stacks of earlier threads are kept for reuse.
TEST(ProcessorThread, ThreadsThatCannotStartEndPlainly)
{
    if (std::getenv("KADRIMEX_SANITIZED"))
        GTEST_SKIP() << "an address-space limit cannot apply under the sanitizers";
    if (!std::getenv("KADRIMEX_NO_THREAD_ROOM")) {
        const pid_t child = fork();
        if (child == 0) {
            setenv("KADRIMEX_NO_THREAD_ROOM", "1", 1);
            execl("/proc/self/exe", "engine_tests", "--gtest_filter=ProcessorThread.ThreadsThatCannotStartEndPlainly",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        return;
    }
    long pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    ASSERT_TRUE(statm && std::fscanf(statm, "%ld", &pages) == 1);
    std::fclose(statm);
    const rlim_t room = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(2) << 20);
    const rlimit limit{room, room};
    ASSERT_EQ(setrlimit(RLIMIT_AS, &limit), 0);
    std::vector<char> visited(1000, 0);
    ParallelFor(1000, [&](int i) { ++visited[std::size_t(i)]; });
    EXPECT_EQ(std::count(visited.begin(), visited.end(), 1), 1000);
    TBitmapProcesorThread t(true);
    bool called = false;
    t.OnTerminate = [&](TBitmapProcesorThread*) { called = true; };
    t.Resume();
    t.WaitFor();
    EXPECT_TRUE(called && t.Finished());
    EXPECT_EQ(t.FErrorMessage, "Not enough memory or threads to start the operation");
}

TEST(ProcessorThread, BeginProgressRefusesEmptySizes)
{
    TBitmapProcesorThread t(true);
    EXPECT_FALSE(t.BeginProgress(0, 5));
    EXPECT_EQ(t.ProgressMax(), 0);
    EXPECT_FALSE(t.BeginProgress(5, 0));
    EXPECT_TRUE(t.BeginProgress(7, 3));
    EXPECT_EQ(t.ProgressMax(), 21);
    t.FRow = 2;
    t.FColumn = 4;
    t.UpdateProgress();
    EXPECT_EQ(t.Progress(), 18);
}

TEST(ProcessorThread, ParallelRowsVisitsEveryRowOnceAndStopsOnTerminate)
{
    TBitmapProcesorThread t(true);
    std::vector<std::atomic<int>> visits(1000);
    EXPECT_TRUE(ParallelRows(t, 1000, 7, [&](int y) { visits[std::size_t(y)]++; }));
    for (auto& v : visits)
        EXPECT_EQ(v.load(), 1);
    EXPECT_EQ(t.Progress(), 7000);

    std::atomic<int> count{0};
    EXPECT_FALSE(ParallelRows(t, 100000, 1, [&](int) {
        if (++count == 10)
            t.Terminate();
    }));
    EXPECT_LT(count.load(), 100000);
}

TEST(OperationTable, GeneratorCodesMakeEightBitMaskPictures)
{
    const struct {
        std::int8_t code;
        TLogPalette palette;
    } cases[] = {{op::GaussGenerator, GreyPalette()},   {op::TriangleGenerator, GreyPalette()},
                 {op::ShapeGenerator, GreyPalette()},   {op::SharpenGenerator, SignedPalette()},
                 {op::EdgeGenerator, SignedPalette()}};
    for (const auto& c : cases) {
        TBitmapProcesorThread t(true);
        TAdvancedBitmap dst;
        dst.Reset(3, 2, TPixelFormat::pf24bit);
        t.FDestination = &dst;
        t.FOperation = c.code;
        t.Execute();
        EXPECT_EQ(dst.PixelFormat(), TPixelFormat::pf8bit) << int(c.code);
        EXPECT_TRUE(dst.Palette() == c.palette.palPalEntry) << int(c.code);
    }
}
