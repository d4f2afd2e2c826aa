// Colour reduction for the palette formats: a palette fitted to a picture
// and the exact nearest-entry search that maps pixels onto it.
#pragma once

#include "engine/Bitmap.h"

#include <cstdint>
#include <vector>

namespace kadrimex {

// Colour counts of a picture over cells of 6 bits per channel. Each cell
// keeps its pixel count and channel sums, so a palette entry made from
// several cells is the true mean of its pixels, not a cell centre.
class TColourHistogram {
public:
    TColourHistogram();

    // Adds `width` pixels of bytes blue, green, red.
    void AddRow(const std::uint8_t* bgr, int width);

    // A palette of at most maxColours entries (1..256) fitted to the counted
    // colours; empty when nothing was counted.
    std::vector<TPaletteEntry> FitPalette(int maxColours) const;

private:
    struct TCell {
        std::uint64_t Count = 0;
        std::uint64_t Sum[3] = {0, 0, 0};  // red, green, blue
    };
    std::vector<TCell> FCells;
};

// Index of the palette entry nearest to a colour by squared RGB distance,
// the lowest index on ties. Candidate lists per 5-bit cell are built on
// first use, so a lookup tests a handful of entries instead of the whole
// palette; the answer is the same as the exhaustive search.
class TNearestColour {
public:
    // The palette must hold 1..256 entries.
    explicit TNearestColour(const std::vector<TPaletteEntry>& palette);

    int Nearest(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

    // Maps `width` pixels of bytes blue, green, red to palette indices.
    void MapRow(const std::uint8_t* bgr, int width, std::uint8_t* indices);

private:
    void BuildCell(int cell);

    std::vector<TPaletteEntry> FPalette;
    std::vector<std::int32_t> FCellStart;  // -1: not built yet
    std::vector<std::uint16_t> FCellCount;
    std::vector<std::uint8_t> FCandidates;
};

}  // namespace kadrimex
