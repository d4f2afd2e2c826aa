#include "transforms/FastFourier.h"

#include "engine/Fftw.h"
#include "engine/Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace kadrimex::fastfourier {

long double GaussKernel::At(int xs, int ys) const
{
    if (narrowest) {
        const bool nearX = xs == int(gx->size()) / 2 || xs == int(gx->size()) / 2 - 1;
        const bool nearY = ys == int(gy->size()) / 2 || ys == int(gy->size()) / 2 - 1;
        return nearX && nearY ? 1 : 0;
    }
    const long double v = (*gx)[std::size_t(xs)] * (*gy)[std::size_t(ys)];
    return (scaled ? v * scale : v) / peak;
}

namespace {

// Columns of one FFTW column transform: adjacent complex columns, so each
// row of a block is 128 contiguous bytes.
constexpr int kBlock = 8;
// Undecided bytes listed at most; past this the operation runs the 80-bit
// engine.
constexpr std::size_t kMaxUndecided = 1 << 14;

const char kNoSpectrumMemory[] = "Not enough memory for the spectrum of the picture";

// The sizes of one transform: the padded plane and its half spectrum
// (columns 0 .. Wp/2). Rows of a half plane are padded to a multiple of 4
// complex values so that every row has the alignment of the first.
struct Geometry {
    int W, H, Wp, Hp, Wc, stride;
    Geometry(int w, int h)
        : W(w), H(h), Wp(PaddedSize(w)), Hp(PaddedSize(h)), Wc(Wp / 2 + 1), stride((Wp / 2 + 1 + 3) / 4 * 4)
    {
    }
};

// Rows 0 .. H-1 of one channel's half spectrum. The channels are
// transformed one after the other through the same rows, and the padding
// rows H .. Hp-1 live only in the column blocks, so the spectrum costs
// H / (3 Hp) of three whole planes.
struct HalfPlane {
    const Geometry& g;
    fftw::TAligned<fftw_complex> data;

    explicit HalfPlane(const Geometry& geometry)
        : g(geometry),
          data(fftw::AllocateAligned<fftw_complex>(std::size_t(g.stride) * std::size_t(g.H), kNoSpectrumMemory))
    {
    }
    fftw_complex* Row(int y) const { return data.get() + std::size_t(y) * std::size_t(g.stride); }
};

// Each worker's real line of Wp values and block of kBlock columns of Hp
// samples (sample ky of column j at ky * kBlock + j).
struct Scratch {
    std::vector<fftw::TAligned<double>> lines;
    std::vector<fftw::TAligned<fftw_complex>> blocks;
    explicit Scratch(const Geometry& g)
    {
        for (int i = 0; i < WorkerCount(); ++i) {
            lines.push_back(fftw::AllocateAligned<double>(std::size_t(g.Wp), kNoSpectrumMemory));
            blocks.push_back(fftw::AllocateAligned<fftw_complex>(std::size_t(kBlock) * std::size_t(g.Hp),
                                                                 kNoSpectrumMemory));
        }
    }
    double* Line(int worker) const { return lines[std::size_t(worker)].get(); }
    fftw_complex* Block(int worker) const { return blocks[std::size_t(worker)].get(); }
};

// The plans of one operation: the row plan between a real line and a half
// spectrum row, and column plans over a whole block and over the last,
// narrower one, in the directions the operation takes.
struct Plans {
    fftw::TPlan row;
    fftw::TPlan columns[2], lastColumns[2];  // [0] forward, [1] backward

    Plans(const Geometry& g, const HalfPlane& plane, const Scratch& scratch, bool forwardRows, bool forwardColumns,
          bool backwardColumns)
    {
        const std::string failure = "Cannot prepare the Fourier transform";
        row = fftw::TPlan::RealLine(g.Wp, scratch.Line(0), plane.Row(0), forwardRows, failure);
        const int rest = g.Wc % kBlock;
        for (int direction = 0; direction < 2; ++direction) {
            if (!(direction == 0 ? forwardColumns : backwardColumns))
                continue;
            if (g.Wc >= kBlock)
                columns[direction] =
                    fftw::TPlan::ComplexColumns(g.Hp, kBlock, scratch.Block(0), kBlock, direction == 0, failure);
            if (rest != 0)
                lastColumns[direction] =
                    fftw::TPlan::ComplexColumns(g.Hp, rest, scratch.Block(0), kBlock, direction == 0, failure);
        }
    }
    void Columns(fftw_complex* block, int count, bool forward) const
    {
        const int direction = forward ? 0 : 1;
        const fftw::TPlan& plan = count == kBlock ? columns[direction] : lastColumns[direction];
        fftw_execute_dft(plan.Get(), block, block);
    }
};

// Progress of an operation made of phases, each one transform of one
// channel. A transform moves its own position r from 0 to R = Wp Hp as the
// 80-bit engine moves through one half of its range (forward: rows to R/2,
// columns to R; inverse: columns to R/2, rows to R), and phase k of the
// operation shows (k R + r) / 3: the three channels of one transform
// together fill the half that transform has in the 80-bit engine's range.
struct Gauge {
    TBitmapProcesorThread& thread;
    std::int64_t R;
    int phase = 0;

    Gauge(TBitmapProcesorThread& t, const Geometry& g) : thread(t), R(std::int64_t(g.Wp) * g.Hp)
    {
        thread.FWidth = 2 * g.Wp;
        thread.FHeight = g.Hp;
        thread.SetProgressMax(2 * R);
        thread.FRow = 0;
        thread.FColumn = 0;
    }
    std::int64_t At(std::int64_t r) const { return (std::int64_t(phase) * R + r) / 3; }
    void Publish(std::int64_t r) const { thread.PublishProgress(At(r)); }
};

// Runs fn(kx0, count, worker) over the half spectrum's columns, kBlock at a
// time, on all cores; the gauge moves from r = from to r = to. False when
// stopped.
template <typename Fn>
bool ColumnBlocks(const Gauge& gauge, const Geometry& g, std::int64_t from, std::int64_t to, Fn fn)
{
    const int blocks = (g.Wc + kBlock - 1) / kBlock;
    return ParallelRows(
        gauge.thread, blocks,
        [&gauge, from, to, blocks](std::int64_t done) { return gauge.At(from + (to - from) * done / blocks); },
        [&](int b, int worker) { fn(b * kBlock, std::min(kBlock, g.Wc - b * kBlock), worker); });
}

// Copies columns kx0 .. kx0 + count - 1 of the plane into a block: rows
// 0 .. H-1, then padding row y mirroring row 2H - 1 - y.
void Gather(const HalfPlane& plane, int kx0, int count, fftw_complex* block)
{
    const Geometry& g = plane.g;
    for (int y = 0; y < g.Hp; ++y) {
        const fftw_complex* row = plane.Row(y < g.H ? y : 2 * g.H - 1 - y) + kx0;
        std::memcpy(block + std::size_t(y) * kBlock, row, sizeof(fftw_complex) * std::size_t(count));
    }
}

// Copies rows 0 .. H-1 of a block back into the plane.
void Scatter(const fftw_complex* block, int kx0, int count, HalfPlane& plane)
{
    for (int y = 0; y < plane.g.H; ++y)
        std::memcpy(plane.Row(y) + kx0, block + std::size_t(y) * kBlock, sizeof(fftw_complex) * std::size_t(count));
}

// Row transforms of channel c of the mirrored, padded picture into the
// plane, with the 1- and 2-norms of the padded channel; the gauge moves to
// R/2. False when stopped.
bool ForwardRows(const Gauge& gauge, const TAdvancedBitmap& source, int c, HalfPlane& plane, const Plans& plans,
                 const Scratch& scratch, double& one, double& two)
{
    const Geometry& g = plane.g;
    const int W = g.W, H = g.H, Wp = g.Wp, Hp = g.Hp;
    const int workers = WorkerCount();
    // Integer sums of the bytes and their squares, per worker.
    std::vector<std::uint64_t> sums(std::size_t(workers) * 2, 0);
    const std::int64_t width = 2 * std::int64_t(Wp);
    const bool complete = ParallelRows(
        gauge.thread, H, [&gauge, width](std::int64_t done) { return gauge.At(done / 4 * width); },
        [&](int y, int worker) {
            const std::uint8_t* row = source.ScanLine(y);
            double* line = scratch.Line(worker);
            // Row y also stands for padding row 2H - 1 - y when that exists.
            const std::uint64_t times = y >= 2 * H - Hp ? 2 : 1;
            std::uint64_t s1 = 0, s2 = 0;
            for (int x = 0; x < Wp; ++x) {
                const int sx = x < W ? x : 2 * W - 1 - x;
                const std::uint64_t b = row[3 * sx + c];
                line[x] = double(b);
                s1 += b;
                s2 += b * b;
            }
            sums[std::size_t(worker) * 2] += times * s1;
            sums[std::size_t(worker) * 2 + 1] += times * s2;
            fftw_execute_dft_r2c(plans.row.Get(), line, plane.Row(y));
        });
    if (!complete)
        return false;
    std::uint64_t s1 = 0, s2 = 0;
    for (int w = 0; w < workers; ++w) {
        s1 += sums[std::size_t(w) * 2];
        s2 += sums[std::size_t(w) * 2 + 1];
    }
    one = double(s1) * (1 + 1e-15);
    two = std::sqrt(double(s2)) * (1 + 1e-15);
    gauge.Publish(std::int64_t(Hp / 4) * width);
    return true;
}

// Collects undecided bytes from several workers; gives up past
// kMaxUndecided.
class UndecidedList {
public:
    void Add(const Undecided& u)
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (FBytes.size() < kMaxUndecided)
            FBytes.push_back(u);
        else
            FOverflow = true;
    }
    // The outcome, too many when the bytes fall into more than `groups`
    // distinct lines, each of which costs about N operations to recompute.
    Outcome Finish(bool byColumn, std::size_t groups)
    {
        Outcome o;
        std::set<std::pair<int, int>> lines;
        for (const Undecided& u : FBytes)
            lines.insert({u.c, byColumn ? u.x : u.y});
        o.tooMany = FOverflow || lines.size() > groups;
        if (!o.tooMany)
            o.bytes = std::move(FBytes);
        return o;
    }

private:
    std::mutex FLock;
    std::vector<Undecided> FBytes;
    bool FOverflow = false;
};

// Lines of N operations that are cheaper to recompute than a whole 80-bit
// transform of about N log2 N butterflies per channel.
std::size_t GroupLimit(int Wp, int Hp)
{
    return std::size_t(std::max(2, (Log2Of(Wp) + Log2Of(Hp)) / 2));
}

// Writes channel c of the image rows from the plane, whose columns are
// already transformed, by inverse row transforms: byte (x, y) is decided
// from (out + add) * mul, out the real output, with `bound`. The gauge
// moves from R/2 by Wp/2 per row. False when stopped.
bool InverseRows(const Gauge& gauge, TAdvancedBitmap& destination, int c, HalfPlane& plane, const Plans& plans,
                 const Scratch& scratch, double add, double mul, double bound, UndecidedList& undecided)
{
    const Geometry& g = plane.g;
    const int W = g.W, Wp = g.Wp;
    const std::int64_t base = std::int64_t(g.Hp / 4) * 2 * std::int64_t(Wp);
    gauge.Publish(base);
    return ParallelRows(
        gauge.thread, g.H, [&gauge, base, Wp](std::int64_t done) { return gauge.At(base + done * (Wp / 2)); },
        [&](int y, int worker) {
            std::uint8_t* row = destination.ScanLine(y);
            double* line = scratch.Line(worker);
            fftw_execute_dft_c2r(plans.row.Get(), plane.Row(y), line);
            for (int x = 0; x < W; ++x) {
                const double v = (line[x] + add) * mul;
                const int byte = DecidedByte(v, bound + ConversionSlack(v));
                row[3 * x + c] = std::uint8_t(byte < 0 ? 0 : byte);
                if (byte < 0)
                    undecided.Add({c, x, y});
            }
        });
}

}  // namespace

Outcome SpectrumPicture(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source)
{
    const Geometry g(source.Width(), source.Height());
    const int Wp = g.Wp, Hp = g.Hp;
    HalfPlane plane(g);
    const Scratch scratch(g);
    const Plans plans(g, plane, scratch, true, true, false);
    Gauge gauge(thread, g);
    const std::int64_t R = gauge.R;
    // Wp * Hp is a power of two: its inverse is exact.
    const double scale = 1 / (double(Wp) * double(Hp));
    UndecidedList undecided;
    Outcome o;
    for (int c = 0; c < 3; ++c) {
        gauge.phase = c;
        double one = 0, two = 0;
        if (!ForwardRows(gauge, source, c, plane, plans, scratch, one, two)) {
            o.cancelled = true;
            return o;
        }
        const double bound = SpectrumBound(Wp, Hp, one, two);
        // Full-plane sample (kx, ky) lands on pixel ((kx + Wp/2) mod Wp,
        // (ky + Hp/2) mod Hp), the place the quadrant swap brings it to. A
        // half-spectrum column kx also gives full column Wp - kx, whose
        // sample at row ky is the conjugate of (kx, (Hp - ky) mod Hp).
        const auto put = [&](int kx, int ky, double re) {
            const int x = (kx + Wp / 2) % Wp, y = (ky + Hp / 2) % Hp;
            const double v = re * scale + 128;
            const int byte = DecidedByte(v, bound + ConversionSlack(v));
            destination.ScanLine(y)[3 * x + c] = std::uint8_t(byte < 0 ? 0 : byte);
            if (byte < 0)
                undecided.Add({c, x, y});
        };
        // As the 80-bit column pass: the last block publishes column Wp - 1.
        const bool complete = ColumnBlocks(gauge, g, R / 2, R / 2 + std::int64_t(Wp - 1) * (Hp / 2),
                                           [&](int kx0, int count, int worker) {
            fftw_complex* block = scratch.Block(worker);
            Gather(plane, kx0, count, block);
            plans.Columns(block, count, true);
            for (int ky = 0; ky < Hp; ++ky)
                for (int j = 0; j < count; ++j) {
                    const int kx = kx0 + j;
                    const double re = block[std::size_t(ky) * kBlock + std::size_t(j)][0];
                    put(kx, ky, re);
                    if (kx != 0 && kx != Wp / 2)
                        put(Wp - kx, (Hp - ky) % Hp, re);
                }
        });
        if (!complete) {
            o.cancelled = true;
            return o;
        }
    }
    return undecided.Finish(true, GroupLimit(Wp, Hp));
}

void ExactSpectrumBytes(TAdvancedBitmap& destination, const TAdvancedBitmap& source,
                        const std::vector<Undecided>& bytes)
{
    const int W = source.Width(), H = source.Height();
    const int Wp = PaddedSize(W), Hp = PaddedSize(H);
    std::map<std::pair<int, int>, std::vector<Undecided>> columns;
    for (const Undecided& u : bytes)
        columns[{u.c, u.x}].push_back(u);
    std::vector<const std::vector<Undecided>*> groups;
    for (const auto& entry : columns)
        groups.push_back(&entry.second);
    std::vector<ComplexSample> rowTable(static_cast<std::size_t>(Wp)), columnTable(static_cast<std::size_t>(Hp));
    FillTwiddleTable(rowTable.data(), Wp, -1);
    FillTwiddleTable(columnTable.data(), Hp, -1);
    const long double scale = 1 / ((long double)Wp * (long double)Hp);
    ParallelFor(int(groups.size()), [&](int g) {
        const std::vector<Undecided>& group = *groups[std::size_t(g)];
        const int c = group.front().c;
        const int kx = (group.front().x + Wp / 2) % Wp;
        // Column kx of the row pass: output kx of each image row, then the
        // padding rows mirrored, then the column transform.
        std::vector<ComplexSample> line(static_cast<std::size_t>(Wp)), work(static_cast<std::size_t>(Wp)), column(static_cast<std::size_t>(Hp));
        for (int y = 0; y < H; ++y) {
            const std::uint8_t* row = source.ScanLine(y);
            for (int x = 0; x < Wp; ++x) {
                const int sx = x < W ? x : 2 * W - 1 - x;
                line[std::size_t(x)] = {(long double)row[3 * sx + c], 0.0L};
            }
            column[std::size_t(y)] = LineSample(line.data(), Wp, kx, rowTable.data(), work.data());
        }
        for (int y = H; y < Hp; ++y)
            column[std::size_t(y)] = column[std::size_t(2 * H - 1 - y)];
        TransformLine(column.data(), Hp, columnTable.data());
        for (const Undecided& u : group) {
            const int ky = (u.y + Hp / 2) % Hp;
            destination.ScanLine(u.y)[3 * u.x + c] = CeilByte(column[std::size_t(ky)].re * scale + 128);
        }
    });
}

Outcome ReverseSpectrum(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source)
{
    const Geometry g(source.Width(), source.Height());
    const int W = g.W, H = g.H, Wp = g.Wp, Hp = g.Hp;
    // Double copies of the row and column tables of the phase factor q.
    std::vector<ComplexSample> rowTable(static_cast<std::size_t>(Wp)), columnTable(static_cast<std::size_t>(Hp));
    FillTwiddleTable(rowTable.data(), Wp, +1);
    FillTwiddleTable(columnTable.data(), Hp, +1);
    std::vector<double> rc(static_cast<std::size_t>(Wp)), rs(static_cast<std::size_t>(Wp)), cc(static_cast<std::size_t>(Hp)), cs(static_cast<std::size_t>(Hp));
    for (int i = 0; i < Wp; ++i) {
        rc[std::size_t(i)] = double(rowTable[std::size_t(i)].re);
        rs[std::size_t(i)] = double(rowTable[std::size_t(i)].im);
    }
    for (int i = 0; i < Hp; ++i) {
        cc[std::size_t(i)] = double(columnTable[std::size_t(i)].re);
        cs[std::size_t(i)] = double(columnTable[std::size_t(i)].im);
    }
    // Sample (kx, ky) holds source pixel ((kx + Wp/2) mod Wp, (ky + Hp/2)
    // mod Hp) as (b - 128)(1, q), zero outside the picture; the half
    // spectrum gets its Hermitian part, whose inverse is the real part of
    // the inverse of the whole plane. Pixel columns of half-spectrum column
    // kx and of its mirror (Wp - kx) mod Wp, -1 outside the picture:
    std::vector<int> columnOf(static_cast<std::size_t>(g.Wc)), mirrorOf(static_cast<std::size_t>(g.Wc));
    for (int kx = 0; kx < g.Wc; ++kx) {
        const int x = (kx + Wp / 2) % Wp, m = ((Wp - kx) % Wp + Wp / 2) % Wp;
        columnOf[std::size_t(kx)] = x < W ? x : -1;
        mirrorOf[std::size_t(kx)] = m < W ? m : -1;
    }
    // Channel c's (b - 128)(1, q) at pixel (x, y) of `row`.
    struct Pixel {
        double re, im;
    };
    const auto pixel = [&](const std::uint8_t* row, int x, int y, int c) {
        Pixel p{0, 0};
        if (row && x >= 0) {
            const double q = -(rc[std::size_t(x)] * cs[std::size_t(y)] + cc[std::size_t(y)] * rs[std::size_t(x)]);
            p.re = double(int(row[3 * x + c]) - 128);
            p.im = p.re * q;
        }
        return p;
    };
    double bound[3];
    for (int c = 0; c < 3; ++c) {
        std::uint64_t one = 0, two = 0;
        for (int y = 0; y < H; ++y) {
            const std::uint8_t* row = source.ScanLine(y);
            for (int x = 0; x < W; ++x) {
                const int d = std::abs(int(row[3 * x + c]) - 128);
                one += std::uint64_t(d);
                two += std::uint64_t(d * d);
            }
        }
        bound[c] = ReverseBound(Wp, Hp, double(one) * (1 + 1e-15), std::sqrt(double(two)) * (1 + 1e-15));
    }
    destination.SetSize(W, H);

    HalfPlane plane(g);
    const Scratch scratch(g);
    const Plans plans(g, plane, scratch, false, false, true);
    Gauge gauge(thread, g);
    // The samples lack the factor N of the 80-bit ones, so the offset is
    // divided by it instead.
    const double add = 0.49 / (double(Wp) * double(Hp));
    UndecidedList undecided;
    Outcome o;
    for (int c = 0; c < 3; ++c) {
        gauge.phase = 3 + c;
        gauge.Publish(0);
        const bool columns = ColumnBlocks(gauge, g, 0, std::int64_t(Wp - 1) * (Hp / 2),
                                          [&](int kx0, int count, int worker) {
            fftw_complex* block = scratch.Block(worker);
            for (int ky = 0; ky < Hp; ++ky) {
                const int y = (ky + Hp / 2) % Hp, my = ((Hp - ky) % Hp + Hp / 2) % Hp;
                const std::uint8_t* row = y < H ? source.ScanLine(y) : nullptr;
                const std::uint8_t* mirrorRow = my < H ? source.ScanLine(my) : nullptr;
                fftw_complex* out = block + std::size_t(ky) * kBlock;
                for (int j = 0; j < count; ++j) {
                    const Pixel a = pixel(row, columnOf[std::size_t(kx0 + j)], y, c);
                    const Pixel m = pixel(mirrorRow, mirrorOf[std::size_t(kx0 + j)], my, c);
                    out[j][0] = (a.re + m.re) * 0.5;
                    out[j][1] = (a.im - m.im) * 0.5;
                }
            }
            plans.Columns(block, count, false);
            Scatter(block, kx0, count, plane);
        });
        if (!columns || !InverseRows(gauge, destination, c, plane, plans, scratch, add, 1, bound[c], undecided)) {
            o.cancelled = true;
            return o;
        }
    }
    return undecided.Finish(false, GroupLimit(Wp, Hp));
}

Outcome GaussBlur(TBitmapProcesorThread& thread, TAdvancedBitmap& destination, const TAdvancedBitmap& source,
                  const GaussKernel& kernel)
{
    const Geometry g(source.Width(), source.Height());
    const int Wp = g.Wp, Hp = g.Hp;
    destination.SetSize(g.W, g.H);
    // Double copies of the kernel factors: each kernel value is then within
    // 6 u of the 80-bit one, 7 u with the half sum below.
    std::vector<double> gx(static_cast<std::size_t>(Wp)), gy(static_cast<std::size_t>(Hp));
    double factor = 0;
    if (!kernel.narrowest) {
        for (int i = 0; i < Wp; ++i)
            gx[std::size_t(i)] = double((*kernel.gx)[std::size_t(i)]);
        for (int i = 0; i < Hp; ++i)
            gy[std::size_t(i)] = double((*kernel.gy)[std::size_t(i)]);
        factor = double((kernel.scaled ? kernel.scale : 1.0L) / kernel.peak);
    }
    const auto value = [&](int kx, int ky) -> double {
        const int xs = (kx + Wp / 2) % Wp, ys = (ky + Hp / 2) % Hp;
        if (kernel.narrowest)
            return double(kernel.At(xs, ys));
        return gx[std::size_t(xs)] * gy[std::size_t(ys)] * factor;
    };
    // The spectrum of a real picture is Hermitian, so the real part of the
    // inverse of X K is the inverse of X times the symmetric half sum of K.
    const auto half = [&](int kx, int ky) { return (value(kx, ky) + value((Wp - kx) % Wp, (Hp - ky) % Hp)) * 0.5; };
    // Kernel norms over the whole plane: columns 1 .. Wp/2 - 1 of the half
    // plane stand for two columns.
    std::vector<double> k1(static_cast<std::size_t>(Hp)), k2(static_cast<std::size_t>(Hp)), kmax(static_cast<std::size_t>(Hp));
    ParallelFor(Hp, [&](int ky) {
        double one = 0, two = 0, most = 0;
        for (int kx = 0; kx < g.Wc; ++kx) {
            const double k = value(kx, ky), m = value((Wp - kx) % Wp, (Hp - ky) % Hp);
            const double times = kx == 0 || kx == Wp / 2 ? 1 : 2;
            one += times * ((k + m) * 0.5);
            two += times * (k * k + m * m) * 0.5;
            most = std::max(most, std::max(k, m));
        }
        k1[std::size_t(ky)] = one;
        k2[std::size_t(ky)] = two;
        kmax[std::size_t(ky)] = most;
    });
    double one = 0, two = 0, most = 0;
    for (int ky = 0; ky < Hp; ++ky) {
        one += k1[std::size_t(ky)];
        two += k2[std::size_t(ky)];
        most = std::max(most, kmax[std::size_t(ky)]);
    }
    // 8 u covers the double kernel against the 80-bit one and the rounding
    // of the sums (at most log2 N u relative each, far below).
    const double kUnit = fftw::Unit();
    const double slack = 1 + 8 * kUnit + double(Log2Of(Wp) + Log2Of(Hp) + 2) * kUnit;

    HalfPlane plane(g);
    const Scratch scratch(g);
    const Plans plans(g, plane, scratch, true, true, true);
    // Forward and inverse rows share the row plan's layout, not its
    // direction.
    const Plans inverseRows(g, plane, scratch, false, false, false);
    Gauge gauge(thread, g);
    const std::int64_t R = gauge.R;
    UndecidedList undecided;
    Outcome o;
    // One channel at a time, forward then inverse; the phases fill the
    // range in that order.
    for (int c = 0; c < 3; ++c) {
        gauge.phase = 2 * c;
        double z1 = 0, z2 = 0;
        bool complete = ForwardRows(gauge, source, c, plane, plans, scratch, z1, z2);
        // The forward column transforms, the kernel and the inverse column
        // transforms of a block in one go; only the image rows go back.
        // The gauge runs on into the inverse phase, to where its row pass
        // starts.
        complete = complete && ColumnBlocks(gauge, g, R / 2, R + std::int64_t(Wp - 1) * (Hp / 2),
                                            [&](int kx0, int count, int worker) {
            fftw_complex* block = scratch.Block(worker);
            Gather(plane, kx0, count, block);
            plans.Columns(block, count, true);
            for (int ky = 0; ky < Hp; ++ky)
                for (int j = 0; j < count; ++j) {
                    const double k = half(kx0 + j, ky);
                    fftw_complex& v = block[std::size_t(ky) * kBlock + std::size_t(j)];
                    v[0] *= k;
                    v[1] *= k;
                }
            plans.Columns(block, count, false);
            Scatter(block, kx0, count, plane);
        });
        if (complete) {
            gauge.phase = 2 * c + 1;
            const double bound = GaussBound(Wp, Hp, z1, z2, one * slack, std::sqrt(two * slack) * slack, most * slack);
            complete = InverseRows(gauge, destination, c, plane, inverseRows, scratch, 0.49,
                                   1 / (double(Wp) * double(Hp)), bound, undecided);
        }
        if (!complete) {
            // As the 80-bit engine, where a stop in the forward transform
            // (the first half of the range) lets the reverse transform start
            // and stop at its first column: a stop before half way shows
            // half way.
            if (gauge.thread.Progress() < R) {
                thread.FRow = Hp / 2;
                thread.FColumn = 0;
                thread.UpdateProgress();
            }
            o.cancelled = true;
            return o;
        }
    }
    return undecided.Finish(false, GroupLimit(Wp, Hp));
}

void ExactInverseBytes(TAdvancedBitmap& destination, const PlaneColumns& columns, int Wp, int Hp,
                       const std::vector<Undecided>& bytes)
{
    // The rows to recompute per channel, and for each its bytes.
    std::map<std::pair<int, int>, std::vector<Undecided>> rows;
    for (const Undecided& u : bytes)
        rows[{u.c, u.y}].push_back(u);
    std::vector<int> rowsOf[3];
    for (const auto& entry : rows)
        rowsOf[entry.first.first].push_back(entry.first.second);
    // Row i of channel c after the column pass, filled column by column.
    std::vector<std::vector<ComplexSample>> passed[3];
    for (int c = 0; c < 3; ++c)
        passed[c].assign(rowsOf[c].size(), std::vector<ComplexSample>(std::size_t(Wp)));
    std::vector<ComplexSample> rowTable(static_cast<std::size_t>(Wp)), columnTable(static_cast<std::size_t>(Hp));
    FillTwiddleTable(rowTable.data(), Wp, +1);
    FillTwiddleTable(columnTable.data(), Hp, +1);
    // Each column is read once and gives output y of its transform for
    // every listed row y. Columns come kColumns at a time, so the planes or
    // pictures behind them are read along their rows.
    const int blocks = (Wp + kColumns - 1) / kColumns;
    const int chunks = std::min(blocks, 4 * WorkerCount());
    ParallelFor(chunks, [&](int chunk) {
        std::vector<ComplexSample> samples[3], work(static_cast<std::size_t>(Hp));
        ComplexSample* wanted[3] = {nullptr, nullptr, nullptr};
        for (int c = 0; c < 3; ++c)
            if (!rowsOf[c].empty()) {
                samples[c].resize(std::size_t(kColumns) * std::size_t(Hp));
                wanted[c] = samples[c].data();
            }
        for (int b = chunk * blocks / chunks; b < (chunk + 1) * blocks / chunks; ++b) {
            const int kx0 = b * kColumns, count = std::min(kColumns, Wp - kx0);
            columns(kx0, count, wanted);
            for (int c = 0; c < 3; ++c)
                for (int j = 0; wanted[c] && j < count; ++j)
                    for (std::size_t i = 0; i < rowsOf[c].size(); ++i)
                        passed[c][i][std::size_t(kx0 + j)] =
                            LineSample(wanted[c] + std::size_t(j) * std::size_t(Hp), Hp, rowsOf[c][i],
                                       columnTable.data(), work.data());
        }
    });
    std::vector<std::pair<int, std::size_t>> lines;
    for (int c = 0; c < 3; ++c)
        for (std::size_t i = 0; i < rowsOf[c].size(); ++i)
            lines.push_back({c, i});
    const long double scale = 1 / ((long double)Wp * (long double)Hp);
    ParallelFor(int(lines.size()), [&](int l) {
        const auto [c, i] = lines[std::size_t(l)];
        const int y = rowsOf[c][i];
        std::vector<ComplexSample>& row = passed[c][i];
        TransformLine(row.data(), Wp, rowTable.data());
        for (const Undecided& u : rows.at({c, y}))
            destination.ScanLine(y)[3 * u.x + c] = CeilByte((row[std::size_t(u.x)].re + 0.49L) * scale);
    });
}

ReverseSamples::ReverseSamples(const TAdvancedBitmap& source)
    : FSource(source), FRowTable(std::size_t(PaddedSize(source.Width()))),
      FColumnTable(std::size_t(PaddedSize(source.Height()))),
      FCount((long double)FRowTable.size() * (long double)FColumnTable.size())
{
    FillTwiddleTable(FRowTable.data(), int(FRowTable.size()), +1);
    FillTwiddleTable(FColumnTable.data(), int(FColumnTable.size()), +1);
}

void ReverseSamples::At(int x, int y, ComplexSample* const out[3], std::size_t at) const
{
    const ComplexSample r0 = FRowTable[std::size_t(x)], column = FColumnTable[std::size_t(y)];
    const long double q = -(r0.re * column.im + column.re * r0.im);
    const std::uint8_t* pixel = FSource.ScanLine(y) + 3 * x;
    for (int c = 0; c < 3; ++c)
        if (out[c]) {
            const long double r = FCount * (long double)(int(pixel[c]) - 128);
            out[c][at] = {r, r * q};
        }
}

void ExactReverseBytes(TAdvancedBitmap& destination, const TAdvancedBitmap& source,
                       const std::vector<Undecided>& bytes)
{
    const int W = source.Width(), H = source.Height(), Wp = PaddedSize(W), Hp = PaddedSize(H);
    const ReverseSamples samples(source);
    // Plane sample (kx, ky) is pixel ((kx + Wp/2) mod Wp, (ky + Hp/2) mod
    // Hp), zero outside the picture. Column by column, so the rows' bytes
    // stay in the cache from one column to the next.
    const auto columns = [&](int kx0, int width, ComplexSample* const out[3]) {
        for (int c = 0; c < 3; ++c)
            if (out[c])
                std::memset(static_cast<void*>(out[c]), 0, sizeof(ComplexSample) * std::size_t(width) * std::size_t(Hp));
        for (int j = 0; j < width; ++j) {
            const int x = (kx0 + j + Wp / 2) % Wp;
            for (int ky = 0; x < W && ky < Hp; ++ky) {
                const int y = (ky + Hp / 2) % Hp;
                if (y < H)
                    samples.At(x, y, out, std::size_t(j) * std::size_t(Hp) + std::size_t(ky));
            }
        }
    };
    ExactInverseBytes(destination, columns, Wp, Hp, bytes);
}

}  // namespace kadrimex::fastfourier
