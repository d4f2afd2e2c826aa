#include "engine/Quantize.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kadrimex {

namespace {

constexpr int kHistogramCells = 1 << 18;  // 6 bits per channel
constexpr int kNearestCells = 1 << 15;    // 5 bits per channel

// Refinement passes after the split: each moves every entry to the mean of
// the colours nearest to it, which lowers the mean error of a photo by a
// noticeable margin for little time (the passes run over cells, not pixels).
constexpr int kRefinePasses = 3;

struct TItem {
    double Mean[3];
    double Count;
    double Sum[3];
    double Square[3];  // count * mean^2 per channel
};

struct TBox {
    std::size_t Begin = 0;
    std::size_t End = 0;
    double Count = 0;
    double Sum[3] = {0, 0, 0};
    double Square[3] = {0, 0, 0};
    double Error = 0;  // sum of squared distances of the pixels from the box mean
};

double ChannelError(double count, double sum, double square)
{
    return count > 0 ? std::max(0.0, square - sum * sum / count) : 0.0;
}

void Measure(TBox& box, const std::vector<TItem>& items)
{
    box.Count = 0;
    for (int c = 0; c < 3; ++c)
        box.Sum[c] = box.Square[c] = 0;
    for (std::size_t i = box.Begin; i < box.End; ++i) {
        box.Count += items[i].Count;
        for (int c = 0; c < 3; ++c) {
            box.Sum[c] += items[i].Sum[c];
            box.Square[c] += items[i].Square[c];
        }
    }
    box.Error = 0;
    for (int c = 0; c < 3; ++c)
        box.Error += ChannelError(box.Count, box.Sum[c], box.Square[c]);
}

std::uint8_t RoundedMean(double sum, double count)
{
    const double v = std::floor(sum / count + 0.5);
    return std::uint8_t(std::clamp(v, 0.0, 255.0));
}

// Splits the box on the channel of largest spread at the position that
// leaves the smallest total squared error in the two halves.
bool Split(TBox& box, std::vector<TItem>& items, TBox& second)
{
    int axis = 0;
    double spread = -1;
    for (int c = 0; c < 3; ++c) {
        const double e = ChannelError(box.Count, box.Sum[c], box.Square[c]);
        if (e > spread) {
            spread = e;
            axis = c;
        }
    }
    const auto first = items.begin() + std::ptrdiff_t(box.Begin);
    const auto last = items.begin() + std::ptrdiff_t(box.End);
    std::sort(first, last, [axis](const TItem& a, const TItem& b) {
        for (int k = 0; k < 3; ++k) {
            const int c = (axis + k) % 3;
            if (a.Mean[c] != b.Mean[c])
                return a.Mean[c] < b.Mean[c];
        }
        return false;
    });

    double count = 0, sum[3] = {0, 0, 0}, square[3] = {0, 0, 0};
    double best = std::numeric_limits<double>::infinity();
    std::size_t cut = 0;
    for (std::size_t i = box.Begin; i + 1 < box.End; ++i) {
        count += items[i].Count;
        for (int c = 0; c < 3; ++c) {
            sum[c] += items[i].Sum[c];
            square[c] += items[i].Square[c];
        }
        double error = 0;
        for (int c = 0; c < 3; ++c) {
            error += ChannelError(count, sum[c], square[c]);
            error += ChannelError(box.Count - count, box.Sum[c] - sum[c], box.Square[c] - square[c]);
        }
        if (error < best) {
            best = error;
            cut = i + 1;
        }
    }
    if (cut == 0)
        return false;
    second.Begin = cut;
    second.End = box.End;
    box.End = cut;
    Measure(box, items);
    Measure(second, items);
    return true;
}

}  // namespace

TColourHistogram::TColourHistogram() : FCells(kHistogramCells) {}

void TColourHistogram::AddRow(const std::uint8_t* bgr, int width)
{
    for (int x = 0; x < width; ++x, bgr += 3) {
        const unsigned b = bgr[0], g = bgr[1], r = bgr[2];
        TCell& cell = FCells[((r >> 2) << 12) | ((g >> 2) << 6) | (b >> 2)];
        ++cell.Count;
        cell.Sum[0] += r;
        cell.Sum[1] += g;
        cell.Sum[2] += b;
    }
}

// Variance-driven median cut over the histogram cells: the box holding the
// largest squared error is split next, at the cut that minimises the error
// of its halves. Median cut was chosen over an octree because its boxes
// follow where the picture's colours are densest (an octree splits at fixed
// bit boundaries and wastes entries on sparse corners), and working on
// cells with exact sums keeps it fast on a 12-megapixel photo. A few
// nearest-mean passes then polish the entries.
std::vector<TPaletteEntry> TColourHistogram::FitPalette(int maxColours) const
{
    maxColours = std::clamp(maxColours, 1, 256);
    std::vector<TItem> items;
    for (const TCell& cell : FCells) {
        if (cell.Count == 0)
            continue;
        TItem item{};
        item.Count = double(cell.Count);
        for (int c = 0; c < 3; ++c) {
            item.Sum[c] = double(cell.Sum[c]);
            item.Mean[c] = item.Sum[c] / item.Count;
            item.Square[c] = item.Sum[c] * item.Mean[c];
        }
        items.push_back(item);
    }
    if (items.empty())
        return {};

    std::vector<TBox> boxes(1);
    boxes[0].End = items.size();
    Measure(boxes[0], items);
    while (int(boxes.size()) < maxColours) {
        std::size_t pick = boxes.size();
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].End - boxes[i].Begin < 2 || boxes[i].Error <= 0)
                continue;
            if (pick == boxes.size() || boxes[i].Error > boxes[pick].Error)
                pick = i;
        }
        if (pick == boxes.size())
            break;
        TBox second;
        if (!Split(boxes[pick], items, second))
            break;
        boxes.push_back(second);
    }

    std::vector<TPaletteEntry> palette;
    palette.reserve(boxes.size());
    for (const TBox& box : boxes) {
        TPaletteEntry e;
        e.peRed = RoundedMean(box.Sum[0], box.Count);
        e.peGreen = RoundedMean(box.Sum[1], box.Count);
        e.peBlue = RoundedMean(box.Sum[2], box.Count);
        palette.push_back(e);
    }

    for (int pass = 0; pass < kRefinePasses; ++pass) {
        TNearestColour nearest(palette);
        std::vector<double> count(palette.size(), 0.0), sum(palette.size() * 3, 0.0);
        for (const TItem& item : items) {
            const int i = nearest.Nearest(RoundedMean(item.Sum[0], item.Count), RoundedMean(item.Sum[1], item.Count),
                                          RoundedMean(item.Sum[2], item.Count));
            count[std::size_t(i)] += item.Count;
            for (int c = 0; c < 3; ++c)
                sum[std::size_t(i) * 3 + std::size_t(c)] += item.Sum[c];
        }
        for (std::size_t i = 0; i < palette.size(); ++i) {
            if (count[i] == 0)
                continue;
            palette[i].peRed = RoundedMean(sum[i * 3], count[i]);
            palette[i].peGreen = RoundedMean(sum[i * 3 + 1], count[i]);
            palette[i].peBlue = RoundedMean(sum[i * 3 + 2], count[i]);
        }
    }
    return palette;
}

TNearestColour::TNearestColour(const std::vector<TPaletteEntry>& palette)
    : FPalette(palette), FCellStart(kNearestCells, -1), FCellCount(kNearestCells, 0)
{
    if (FPalette.empty() || FPalette.size() > 256)
        throw EImageError("A palette of " + std::to_string(FPalette.size()) + " colours cannot be used");
}

// The candidates of a cell are the entries that can be nearest to some
// colour inside it: an entry whose smallest possible distance to the cell
// exceeds the largest distance of the best-bounded entry can never win.
// Ties survive the test too, so scanning the candidates in index order
// gives the lowest index like the exhaustive search.
void TNearestColour::BuildCell(int cell)
{
    const int lo[3] = {((cell >> 10) & 31) << 3, ((cell >> 5) & 31) << 3, (cell & 31) << 3};
    const std::size_t n = FPalette.size();
    std::vector<int> minDistance(n), maxDistance(n);
    int bound = std::numeric_limits<int>::max();
    for (std::size_t i = 0; i < n; ++i) {
        const int p[3] = {FPalette[i].peRed, FPalette[i].peGreen, FPalette[i].peBlue};
        int dmin = 0, dmax = 0;
        for (int c = 0; c < 3; ++c) {
            const int a = lo[c], b = lo[c] + 7;
            const int nearest = p[c] < a ? a - p[c] : (p[c] > b ? p[c] - b : 0);
            const int farthest = std::max(std::abs(p[c] - a), std::abs(p[c] - b));
            dmin += nearest * nearest;
            dmax += farthest * farthest;
        }
        minDistance[i] = dmin;
        maxDistance[i] = dmax;
        bound = std::min(bound, dmax);
    }
    FCellStart[std::size_t(cell)] = std::int32_t(FCandidates.size());
    std::uint16_t count = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (minDistance[i] <= bound) {
            FCandidates.push_back(std::uint8_t(i));
            ++count;
        }
    }
    FCellCount[std::size_t(cell)] = count;
}

int TNearestColour::Nearest(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    const int cell = ((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3);
    if (FCellStart[std::size_t(cell)] < 0)
        BuildCell(cell);
    const std::uint8_t* candidate = FCandidates.data() + FCellStart[std::size_t(cell)];
    const int count = FCellCount[std::size_t(cell)];
    int best = candidate[0];
    int bestDistance = std::numeric_limits<int>::max();
    for (int k = 0; k < count; ++k) {
        const TPaletteEntry& e = FPalette[candidate[k]];
        const int dr = int(red) - e.peRed, dg = int(green) - e.peGreen, db = int(blue) - e.peBlue;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = candidate[k];
        }
    }
    return best;
}

void TNearestColour::MapRow(const std::uint8_t* bgr, int width, std::uint8_t* indices)
{
    // Neighbouring pixels often share a colour; remember the last answer.
    std::uint32_t lastColour = 0xFFFFFFFFu;
    std::uint8_t lastIndex = 0;
    for (int x = 0; x < width; ++x, bgr += 3) {
        const std::uint32_t colour = std::uint32_t(bgr[0]) | (std::uint32_t(bgr[1]) << 8) | (std::uint32_t(bgr[2]) << 16);
        if (colour != lastColour) {
            lastColour = colour;
            lastIndex = std::uint8_t(Nearest(bgr[2], bgr[1], bgr[0]));
        }
        indices[x] = lastIndex;
    }
}

}  // namespace kadrimex
