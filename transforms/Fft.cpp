#include "transforms/Fft.h"

#include "engine/Parallel.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kadrimex {

int PaddedSize(int length)
{
    int size = 1;
    do {
        size *= 2;
    } while (size < length);
    return size;
}

int Log2Of(int n)
{
    int count = 0;
    for (int size = 1; size < n; size *= 2)
        ++count;
    return count;
}

ComplexPlane::ComplexPlane(int width, int height) : FWidth(width), FHeight(height)
{
    const std::size_t count = Size();
    // calloc: fresh pages are zero without being touched, and a refusal is a
    // null pointer rather than an exception from deep inside the library.
    FData.reset(static_cast<ComplexSample*>(std::calloc(count == 0 ? 1 : count, sizeof(ComplexSample))));
    if (!FData) {
        FWidth = FHeight = 0;
        throw EOutOfResources("Not enough memory for a complex plane of " + std::to_string(width) + " x " +
                              std::to_string(height) + " samples");
    }
}

void FillTwiddleTable(ComplexSample* table, int N, int sign)
{
    for (int k = 0; k < N; ++k) {
        const double angle = double(k) * 6.283185307179586 / double(N);
        table[k].re = cosl((long double)angle);
        const long double s = sinl((long double)angle);
        table[k].im = sign < 0 ? -s : s;
    }
}

std::uint64_t AvailableMemoryBytes()
{
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        if (line.rfind("MemAvailable:", 0) == 0) {
            std::istringstream fields(line.substr(13));
            std::uint64_t kilobytes = 0;
            if (fields >> kilobytes)
                return kilobytes * 1024;
        }
    }
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        return std::uint64_t(pages) * std::uint64_t(pageSize);
    return UINT64_MAX;
}

namespace {

std::string Gigabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", double(bytes) / (1024.0 * 1024.0 * 1024.0));
    return text;
}

}  // namespace

void CheckFFTMemory(int width, int height, int planes, std::uint64_t extraBytes, std::uint64_t availableBytes)
{
    const std::uint64_t wp = std::uint64_t(PaddedSize(width));
    const std::uint64_t hp = std::uint64_t(PaddedSize(height));
    const std::uint64_t needed = std::uint64_t(planes) * wp * hp * sizeof(ComplexSample) + extraBytes;
    // Keep a tenth of what is available for the rest of the system.
    if (needed > availableBytes - availableBytes / 10) {
        throw EOutOfResources("Not enough memory for the FFT of a " + std::to_string(width) + " x " +
                              std::to_string(height) + " picture: its padded size " + std::to_string(wp) +
                              " x " + std::to_string(hp) + " needs " + Gigabytes(needed) + ", " +
                              Gigabytes(availableBytes) + " is available");
    }
}

void CheckFFTMemory(int width, int height, int planes, std::uint64_t extraBytes)
{
    CheckFFTMemory(width, height, planes, extraBytes, AvailableMemoryBytes());
}

// Every butterfly is computed as
// the algorithm states it, except that a butterfly whose factor is
// table[0] = (1, +-0) (the first of each block, and every one of the last
// pass) skips the multiplication: that changes at most the sign of a zero,
// never a value.
void TransformLine(ComplexSample* line, int N, const ComplexSample* table)
{
    const int passes = Log2Of(N);
    int half = N / 2;
    int step = 1;
    for (int pass = 0; pass < passes; ++pass) {
        if (half == 1) {
            for (int i = 0; i < N; i += 2) {
                const ComplexSample a = line[i];
                const ComplexSample b = line[i + 1];
                line[i].re = a.re + b.re;
                line[i].im = a.im + b.im;
                line[i + 1].re = a.re - b.re;
                line[i + 1].im = a.im - b.im;
            }
        } else {
            // The butterflies of one pass are independent, so they run block
            // by block through memory instead of factor by factor.
            for (int base = 0; base < N; base += 2 * half) {
                ComplexSample* upper = line + base;
                ComplexSample* lower = upper + half;
                {
                    const ComplexSample a = upper[0];
                    const ComplexSample b = lower[0];
                    upper[0].re = a.re + b.re;
                    upper[0].im = a.im + b.im;
                    lower[0].re = a.re - b.re;
                    lower[0].im = a.im - b.im;
                }
                for (int j = 1; j < half; ++j) {
                    const ComplexSample w = table[std::size_t(j) * std::size_t(step)];
                    const ComplexSample a = upper[j];
                    const ComplexSample b = lower[j];
                    upper[j].re = a.re + b.re;
                    upper[j].im = a.im + b.im;
                    const long double dre = a.re - b.re;
                    const long double dim = a.im - b.im;
                    lower[j].re = w.re * dre - w.im * dim;
                    lower[j].im = w.re * dim + w.im * dre;
                }
            }
        }
        half /= 2;
        step *= 2;
    }
    int j = 0;
    for (int i = 1; i <= N - 2; ++i) {
        int k = N / 2;
        while (k <= j) {
            j -= k;
            k /= 2;
        }
        j += k;
        if (i < j)
            std::swap(line[i], line[j]);
    }
}

ComplexSample LineSample(const ComplexSample* line, int N, int k, const ComplexSample* table, ComplexSample* scratch)
{
    // Output k sits at position p = bitrev(k) before the reordering. After
    // the pass with half-length h only the positions that share p's bits from
    // h upwards matter; they are kept at their offsets below h, so the work
    // array halves with every pass.
    int p = 0;
    for (int bit = 1, rev = N / 2; bit < N; bit *= 2, rev /= 2)
        if (k & bit)
            p |= rev;
    const ComplexSample* in = line;
    int step = 1;
    for (int half = N / 2; half >= 1; half /= 2, step *= 2) {
        if ((p & half) == 0) {
            for (int j = 0; j < half; ++j) {
                const ComplexSample a = in[j];
                const ComplexSample b = in[j + half];
                scratch[j].re = a.re + b.re;
                scratch[j].im = a.im + b.im;
            }
        } else {
            {
                const ComplexSample a = in[0];
                const ComplexSample b = in[half];
                scratch[0].re = a.re - b.re;
                scratch[0].im = a.im - b.im;
            }
            for (int j = 1; j < half; ++j) {
                const ComplexSample w = table[std::size_t(j) * std::size_t(step)];
                const ComplexSample a = in[j];
                const ComplexSample b = in[j + half];
                const long double dre = a.re - b.re;
                const long double dim = a.im - b.im;
                scratch[j].re = w.re * dre - w.im * dim;
                scratch[j].im = w.re * dim + w.im * dre;
            }
        }
        in = scratch;
    }
    return scratch[0];
}

namespace {

// Owns FTwiddleTable for one two-dimensional transform and leaves it null
// however the transform ends.
class TwiddleTable {
public:
    TwiddleTable(TBitmapProcesorThread& thread, int entries)
        : FThread(thread), FTable(new ComplexSample[std::size_t(entries)])
    {
        FThread.FTwiddleTable = FTable.get();
    }
    ~TwiddleTable() { FThread.FTwiddleTable = nullptr; }
    TwiddleTable(const TwiddleTable&) = delete;
    TwiddleTable& operator=(const TwiddleTable&) = delete;

    void Fill(int N, int sign) { FillTwiddleTable(FTable.get(), N, sign); }
    const ComplexSample* Get() const { return FTable.get(); }

private:
    TBitmapProcesorThread& FThread;
    std::unique_ptr<ComplexSample[]> FTable;
};

// Runs item(index, scratch) for index in [0, count) on all cores through
// ParallelRows; each worker owns one scratch buffer of scratchSamples
// samples for all its items. Progress after each item is
// base + (finished items) / divisor * unit. Returns false when it stopped
// early.
template <typename Item>
bool RunItems(TBitmapProcesorThread& thread, int count, std::size_t scratchSamples, std::int64_t base,
              std::int64_t unit, std::int64_t divisor, Item item)
{
    std::vector<std::vector<ComplexSample>> scratch(static_cast<std::size_t>(WorkerCount()));
    return ParallelRows(
        thread, count, [=](std::int64_t done) { return base + done / divisor * unit; },
        [&](int index, int worker) {
            std::vector<ComplexSample>& own = scratch[std::size_t(worker)];
            if (own.empty())
                own.resize(scratchSamples);
            item(index, own.data());
        });
}

// Columns handled together in a column pass: they are gathered from the
// plane rows into contiguous lines, transformed and scattered back.
constexpr int kColumnBlock = 8;

// Column pass over all three planes: FFT1D of every column through a copy
// into a contiguous line. Progress moves from `base` by Hp/2 per column.
bool ColumnPass(TBitmapProcesorThread& thread, ComplexSample* const planes[3], int Wp, int Hp,
                const ComplexSample* table, std::int64_t base)
{
    const int block = std::min(kColumnBlock, Wp);
    const int blocks = (Wp + block - 1) / block;
    const std::size_t stride = std::size_t(Wp);
    return RunItems(thread, blocks, std::size_t(block) * std::size_t(Hp), base,
                    std::int64_t(block) * (Hp / 2), 1, [&](int b, ComplexSample* lines) {
        const int x0 = b * block;
        const int columns = std::min(block, Wp - x0);
        for (int c = 0; c < 3; ++c) {
            ComplexSample* plane = planes[c];
            for (int y = 0; y < Hp; ++y) {
                const ComplexSample* row = plane + std::size_t(y) * stride + std::size_t(x0);
                for (int k = 0; k < columns; ++k)
                    lines[std::size_t(k) * std::size_t(Hp) + std::size_t(y)] = row[k];
            }
            for (int k = 0; k < columns; ++k)
                TransformLine(lines + std::size_t(k) * std::size_t(Hp), Hp, table);
            for (int y = 0; y < Hp; ++y) {
                ComplexSample* row = plane + std::size_t(y) * stride + std::size_t(x0);
                for (int k = 0; k < columns; ++k)
                    row[k] = lines[std::size_t(k) * std::size_t(Hp) + std::size_t(y)];
            }
        }
    });
}

}  // namespace

void FFT1D(TBitmapProcesorThread& thread, ComplexSample* line, int N)
{
    TransformLine(line, N, static_cast<const ComplexSample*>(thread.FTwiddleTable));
}

void FFT2D(TBitmapProcesorThread& thread, ComplexSample* blue, ComplexSample* green, ComplexSample* red,
           TAdvancedBitmap* source)
{
    // The operations never pass an empty picture; an empty one would have
    // no row to mirror into the padding.
    if (!source || source->Empty())
        return;
    const int W = source->Width();
    const int H = source->Height();
    const int Wp = PaddedSize(W);
    const int Hp = PaddedSize(H);
    thread.FWidth = 2 * Wp;
    thread.FHeight = Hp;
    thread.SetProgressMax(2 * std::int64_t(Wp) * Hp);
    thread.FRow = 0;
    thread.FColumn = 0;
    thread.UpdateProgress();

    source->SetPixelFormat(TPixelFormat::pf24bit);
    TwiddleTable table(thread, std::max(Wp, Hp));
    table.Fill(Wp, -1);

    ComplexSample* const planes[3] = {blue, green, red};
    const std::size_t stride = std::size_t(Wp);
    const std::int64_t progressWidth = 2 * std::int64_t(Wp);

    // Row pass: load each image row, mirroring it into the padding columns,
    // and transform it in place. Progress row = y div 4.
    const TAdvancedBitmap& pixels = *source;
    bool complete = RunItems(thread, H, 0, 0, progressWidth, 4, [&](int y, ComplexSample*) {
        const std::uint8_t* row = pixels.ScanLine(y);
        for (int c = 0; c < 3; ++c) {
            ComplexSample* line = planes[c] + std::size_t(y) * stride;
            for (int x = 0; x < Wp; ++x) {
                const int sx = x < W ? x : 2 * W - 1 - x;
                line[x].re = row[3 * sx + c];
                line[x].im = 0;
            }
            TransformLine(line, Wp, table.Get());
        }
    });
    // Padding rows mirror the transformed image rows about the bottom edge.
    for (int y = H; complete && y < Hp; ++y) {
        thread.FRow = y / 4;
        if (thread.Terminated()) {
            complete = false;
            break;
        }
        thread.UpdateProgress();
        for (int c = 0; c < 3; ++c)
            std::memcpy(planes[c] + std::size_t(y) * stride, planes[c] + std::size_t(2 * H - 1 - y) * stride,
                        stride * sizeof(ComplexSample));
    }
    if (!complete)
        return;

    table.Fill(Hp, -1);
    thread.FRow = Hp / 4;
    thread.FColumn = 0;
    ColumnPass(thread, planes, Wp, Hp, table.Get(), std::int64_t(thread.FRow) * thread.FWidth);
}

void RevFFT2D(TBitmapProcesorThread& thread, TAdvancedBitmap* destination, int W, int H, ComplexSample* blue,
              ComplexSample* green, ComplexSample* red)
{
    if (!destination || W < 1 || H < 1)
        return;
    const int Wp = PaddedSize(W);
    const int Hp = PaddedSize(H);
    thread.FWidth = 2 * Wp;
    thread.FHeight = Hp;
    thread.SetProgressMax(2 * std::int64_t(Wp) * Hp);
    thread.FRow = Hp / 2;
    thread.FColumn = 0;
    thread.UpdateProgress();

    destination->SetPixelFormat(TPixelFormat::pf24bit);
    destination->SetSize(W, H);
    TwiddleTable table(thread, std::max(Wp, Hp));
    table.Fill(Hp, +1);

    ComplexSample* const planes[3] = {blue, green, red};
    if (!ColumnPass(thread, planes, Wp, Hp, table.Get(), std::int64_t(thread.FRow) * thread.FWidth))
        return;

    table.Fill(Wp, +1);
    thread.FRow = Hp / 2 + Hp / 4;
    thread.FColumn = 0;
    // Row pass over the image rows only; each row is written as soon as it
    // is transformed. Padding rows and columns are never written.
    const std::size_t stride = std::size_t(Wp);
    // Wp * Hp is a power of two: multiplying by its exact inverse gives the
    // same value as dividing by it, at a fraction of the cost.
    const long double scale = 1 / ((long double)Wp * (long double)Hp);
    TAdvancedBitmap& pixels = *destination;
    RunItems(thread, H, 0, std::int64_t(thread.FRow) * thread.FWidth, Wp / 2, 1, [&](int y, ComplexSample*) {
        std::uint8_t* row = pixels.ScanLine(y);
        for (int c = 0; c < 3; ++c) {
            ComplexSample* line = planes[c] + std::size_t(y) * stride;
            TransformLine(line, Wp, table.Get());
            for (int x = 0; x < W; ++x)
                row[3 * x + c] = CeilByte((line[x].re + 0.49L) * scale);
        }
    });
}

void SwapQuadrants(ComplexSample* plane, int Wp, int Hp)
{
    const int halfW = Wp / 2;
    const int halfH = Hp / 2;
    const std::size_t stride = std::size_t(Wp);
    ParallelFor(halfH, [&](int y) {
        ComplexSample* top = plane + std::size_t(y) * stride;
        ComplexSample* bottom = plane + std::size_t(y + halfH) * stride;
        for (int x = 0; x < halfW; ++x) {
            std::swap(top[x], bottom[x + halfW]);
            std::swap(top[x + halfW], bottom[x]);
        }
    });
}

void MulSpectrum(ComplexSample* a, const ComplexSample* b, int Wp, int Hp)
{
    const std::size_t stride = std::size_t(Wp);
    ParallelFor(Hp, [&](int y) {
        ComplexSample* p = a + std::size_t(y) * stride;
        const ComplexSample* q = b + std::size_t(y) * stride;
        for (int x = 0; x < Wp; ++x) {
            const ComplexSample s = p[x];
            p[x].re = s.re * q[x].re - s.im * q[x].im;
            p[x].im = s.re * q[x].im + s.im * q[x].re;
        }
    });
}

}  // namespace kadrimex
