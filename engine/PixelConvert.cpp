// Pixel-format conversion of TBitmap, in place and a whole row at a time.
//
// Every conversion goes through rows of bytes blue, green, red:
//   - to 15, 16, 24 and 32 bits it is exact: 5-bit channels widen by bit
//     replication (v << 3 | v >> 2), the 6-bit green by (v << 2 | v >> 4);
//     narrowing to 15 or 16 bits truncates (v >> 3, v >> 2); the fourth byte
//     of a 32-bit pixel is dropped on the way down and written as 0 on the
//     way up (the reserved byte of an uncompressed 32-bit BMP pixel);
//   - to 1, 4 and 8 bits a picture with at most 2, 16 or 256 colours keeps
//     exactly those colours; a richer one gets a palette fitted to it
//     (Quantize.cpp) and every pixel takes the nearest entry. No dithering
//     here: flat areas stay flat and a round trip through the palette
//     changes each colour by its own nearest-entry error only;
//   - a palette picture widened to a larger palette format keeps its palette
//     and indices unchanged.
// The device format is held as 24-bit pixels, so device <-> 24 bits only
// changes the tag. The custom format has no layout to convert to and is
// refused. The new pixels are built in a separate bitmap that replaces the
// old one only when complete: a failure leaves the picture unchanged.
#include "engine/Bitmap.h"
#include "engine/Quantize.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

namespace kadrimex {

namespace {

bool IsPaletteFormat(TPixelFormat format)
{
    return format == TPixelFormat::pf1bit || format == TPixelFormat::pf4bit || format == TPixelFormat::pf8bit;
}

// Bits per pixel as stored: the device and custom formats are 24-bit.
int StoredBits(TPixelFormat format)
{
    const int bits = BitsPerPixel(format);
    return bits == 0 ? 24 : bits;
}

std::uint8_t Widen5(unsigned v)
{
    return std::uint8_t((v << 3) | (v >> 2));
}

std::uint8_t Widen6(unsigned v)
{
    return std::uint8_t((v << 2) | (v >> 4));
}

// 15 and 16-bit words: blue in bits 0-4, green in the next GreenBits bits
// (5 or 6), red in the five above it; little-endian in the row.
template <int GreenBits>
void ReadPackedRow(const std::uint8_t* row, int width, std::uint8_t* bgr)
{
    constexpr unsigned greenMask = (1u << GreenBits) - 1;
    for (int x = 0; x < width; ++x) {
        const unsigned w = unsigned(row[2 * x]) | (unsigned(row[2 * x + 1]) << 8);
        bgr[3 * x] = Widen5(w & 31);
        bgr[3 * x + 1] = GreenBits == 5 ? Widen5((w >> 5) & greenMask) : Widen6((w >> 5) & greenMask);
        bgr[3 * x + 2] = Widen5((w >> (5 + GreenBits)) & 31);
    }
}

template <int GreenBits>
void WritePackedRow(const std::uint8_t* bgr, int width, std::uint8_t* row)
{
    for (int x = 0; x < width; ++x) {
        const unsigned w = (unsigned(bgr[3 * x + 2] >> 3) << (5 + GreenBits)) |
                           (unsigned(bgr[3 * x + 1] >> (8 - GreenBits)) << 5) | unsigned(bgr[3 * x] >> 3);
        row[2 * x] = std::uint8_t(w);
        row[2 * x + 1] = std::uint8_t(w >> 8);
    }
}

// Palette colours as blue, green, red for all 256 indices; indices beyond
// the palette read as black.
using TColourTable = std::array<std::array<std::uint8_t, 3>, 256>;

TColourTable MakeColourTable(const std::vector<TPaletteEntry>& palette)
{
    TColourTable table{};
    const std::size_t n = std::min<std::size_t>(palette.size(), 256);
    for (std::size_t i = 0; i < n; ++i)
        table[i] = {palette[i].peBlue, palette[i].peGreen, palette[i].peRed};
    return table;
}

void ReadIndices(const std::uint8_t* row, int bits, int width, std::uint8_t* indices)
{
    switch (bits) {
    case 1:
        for (int x = 0; x < width; ++x)
            indices[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        break;
    case 4:
        for (int x = 0; x < width; ++x)
            indices[x] = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
        break;
    default:
        if (width > 0)
            std::memcpy(indices, row, std::size_t(width));
        break;
    }
}

// The row is zeroed beforehand, so the padding bits stay 0.
void WriteIndices(const std::uint8_t* indices, int bits, int width, std::uint8_t* row)
{
    switch (bits) {
    case 1:
        for (int x = 0; x < width; ++x)
            row[x >> 3] |= std::uint8_t((indices[x] & 1) << (7 - (x & 7)));
        break;
    case 4:
        for (int x = 0; x < width; ++x)
            row[x >> 1] |= std::uint8_t((x & 1) ? (indices[x] & 0x0F) : ((indices[x] & 0x0F) << 4));
        break;
    default:
        if (width > 0)
            std::memcpy(row, indices, std::size_t(width));
        break;
    }
}

// Reads the rows of any format as blue, green, red.
class TRowReader {
public:
    explicit TRowReader(const TBitmap& source)
        : FSource(source), FBits(StoredBits(source.PixelFormat())), FWidth(source.Width()),
          FColours(MakeColourTable(source.Palette())), FIndices(IsPaletteFormat(source.PixelFormat()) ? FWidth : 0)
    {
    }

    // Row y as blue, green, red: a pointer into the picture for 24-bit
    // storage, otherwise into `buffer` (3 * width bytes).
    const std::uint8_t* Row(int y, std::uint8_t* buffer)
    {
        const std::uint8_t* row = FSource.ScanLine(y);
        switch (FBits) {
        case 24:
            return row;
        case 32:
            for (int x = 0; x < FWidth; ++x) {
                buffer[3 * x] = row[4 * x];
                buffer[3 * x + 1] = row[4 * x + 1];
                buffer[3 * x + 2] = row[4 * x + 2];
            }
            return buffer;
        case 15:
            ReadPackedRow<5>(row, FWidth, buffer);
            return buffer;
        case 16:
            ReadPackedRow<6>(row, FWidth, buffer);
            return buffer;
        default:
            ReadIndices(row, FBits, FWidth, FIndices.data());
            for (int x = 0; x < FWidth; ++x)
                std::memcpy(buffer + 3 * x, FColours[FIndices[std::size_t(x)]].data(), 3);
            return buffer;
        }
    }

private:
    const TBitmap& FSource;
    int FBits;
    int FWidth;
    TColourTable FColours;
    std::vector<std::uint8_t> FIndices;
};

// Writes blue, green, red pixels into a row of 15, 16, 24 or 32 bits.
void WriteDirectRow(const std::uint8_t* bgr, int bits, int width, std::uint8_t* row)
{
    switch (bits) {
    case 15:
        WritePackedRow<5>(bgr, width, row);
        break;
    case 16:
        WritePackedRow<6>(bgr, width, row);
        break;
    case 32:
        for (int x = 0; x < width; ++x) {
            row[4 * x] = bgr[3 * x];
            row[4 * x + 1] = bgr[3 * x + 1];
            row[4 * x + 2] = bgr[3 * x + 2];
            row[4 * x + 3] = 0;
        }
        break;
    default:
        if (row != bgr && width > 0)
            std::memcpy(row, bgr, std::size_t(width) * 3);
        break;
    }
}

std::uint32_t PackRgb(const std::uint8_t* bgr)
{
    return (std::uint32_t(bgr[2]) << 16) | (std::uint32_t(bgr[1]) << 8) | std::uint32_t(bgr[0]);
}

TPaletteEntry EntryFromRgb(std::uint32_t rgb)
{
    TPaletteEntry e;
    e.peRed = std::uint8_t(rgb >> 16);
    e.peGreen = std::uint8_t(rgb >> 8);
    e.peBlue = std::uint8_t(rgb);
    return e;
}

// Distinct colours of a direct-colour picture in ascending RGB order, or
// false as soon as there are more than `limit`.
bool CollectColours(const TBitmap& source, int limit, std::vector<std::uint32_t>& colours)
{
    std::vector<std::uint64_t> seen(std::size_t(1) << 18, 0);  // one bit per 24-bit colour
    std::vector<std::uint8_t> buffer(std::size_t(source.Width()) * 3);
    TRowReader reader(source);
    colours.clear();
    for (int y = 0; y < source.Height(); ++y) {
        const std::uint8_t* bgr = reader.Row(y, buffer.data());
        for (int x = 0; x < source.Width(); ++x) {
            const std::uint32_t c = PackRgb(bgr + 3 * x);
            std::uint64_t& word = seen[c >> 6];
            const std::uint64_t bit = std::uint64_t(1) << (c & 63);
            if (word & bit)
                continue;
            word |= bit;
            if (int(colours.size()) == limit)
                return false;
            colours.push_back(c);
        }
    }
    std::sort(colours.begin(), colours.end());
    return true;
}

// Re-encodes a palette picture at a palette depth at least as large:
// palette and indices stay as they are.
void WidenPalette(const TBitmap& source, TBitmap& result, TPixelFormat format)
{
    const int width = source.Width();
    const int fromBits = BitsPerPixel(source.PixelFormat()), toBits = BitsPerPixel(format);
    result.Reset(width, source.Height(), format);
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width));
    for (int y = 0; y < source.Height(); ++y) {
        ReadIndices(source.ScanLine(y), fromBits, width, indices.data());
        WriteIndices(indices.data(), toBits, width, result.ScanLine(y));
    }
    result.SetPaletteEntries(source.Palette());
}

// Palette picture to a palette format: when the colours in use fit, the
// new palette holds exactly them (in the order of their first index) and
// each index is translated; returns false when they do not fit.
bool TranslatePalette(const TBitmap& source, TBitmap& result, TPixelFormat format)
{
    const int width = source.Width();
    const int fromBits = BitsPerPixel(source.PixelFormat()), toBits = BitsPerPixel(format);
    const int capacity = 1 << toBits;
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width));
    std::array<bool, 256> used{};
    for (int y = 0; y < source.Height(); ++y) {
        ReadIndices(source.ScanLine(y), fromBits, width, indices.data());
        for (std::uint8_t i : indices)
            used[i] = true;
    }
    const TColourTable colours = MakeColourTable(source.Palette());
    std::vector<std::uint32_t> palette;
    std::array<std::uint8_t, 256> translate{};
    for (int i = 0; i < 256; ++i) {
        if (!used[std::size_t(i)])
            continue;
        const std::uint32_t c = PackRgb(colours[std::size_t(i)].data());
        auto found = std::find(palette.begin(), palette.end(), c);
        if (found == palette.end()) {
            if (int(palette.size()) == capacity)
                return false;
            found = palette.insert(palette.end(), c);
        }
        translate[std::size_t(i)] = std::uint8_t(found - palette.begin());
    }
    result.Reset(width, source.Height(), format);
    for (int y = 0; y < source.Height(); ++y) {
        ReadIndices(source.ScanLine(y), fromBits, width, indices.data());
        for (std::uint8_t& i : indices)
            i = translate[i];
        WriteIndices(indices.data(), toBits, width, result.ScanLine(y));
    }
    std::vector<TPaletteEntry> entries;
    for (std::uint32_t c : palette)
        entries.push_back(EntryFromRgb(c));
    result.SetPaletteEntries(std::move(entries));
    return true;
}

// Any picture to a palette format through its colours.
void ReduceToPalette(const TBitmap& source, TBitmap& result, TPixelFormat format)
{
    const int width = source.Width(), height = source.Height();
    const int toBits = BitsPerPixel(format);
    const int capacity = 1 << toBits;
    std::vector<std::uint8_t> buffer(std::size_t(width) * 3);
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width));

    std::vector<std::uint32_t> exact;
    if (CollectColours(source, capacity, exact)) {
        TRowReader reader(source);
        result.Reset(width, height, format);
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* bgr = reader.Row(y, buffer.data());
            std::uint32_t lastColour = 0xFFFFFFFFu;
            std::uint8_t lastIndex = 0;
            for (int x = 0; x < width; ++x) {
                const std::uint32_t c = PackRgb(bgr + 3 * x);
                if (c != lastColour) {
                    lastColour = c;
                    lastIndex = std::uint8_t(std::lower_bound(exact.begin(), exact.end(), c) - exact.begin());
                }
                indices[std::size_t(x)] = lastIndex;
            }
            WriteIndices(indices.data(), toBits, width, result.ScanLine(y));
        }
        std::vector<TPaletteEntry> entries;
        for (std::uint32_t c : exact)
            entries.push_back(EntryFromRgb(c));
        result.SetPaletteEntries(std::move(entries));
        return;
    }

    TColourHistogram histogram;
    {
        TRowReader reader(source);
        for (int y = 0; y < height; ++y)
            histogram.AddRow(reader.Row(y, buffer.data()), width);
    }
    std::vector<TPaletteEntry> palette = histogram.FitPalette(capacity);
    TNearestColour nearest(palette);
    TRowReader reader(source);
    result.Reset(width, height, format);
    for (int y = 0; y < height; ++y) {
        nearest.MapRow(reader.Row(y, buffer.data()), width, indices.data());
        WriteIndices(indices.data(), toBits, width, result.ScanLine(y));
    }
    result.SetPaletteEntries(std::move(palette));
}

void ConvertDirect(const TBitmap& source, TBitmap& result, TPixelFormat format)
{
    const int width = source.Width(), height = source.Height();
    const int toBits = StoredBits(format);
    result.Reset(width, height, format);
    TRowReader reader(source);
    if (toBits == 24) {
        // Decode straight into the new rows.
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = result.ScanLine(y);
            const std::uint8_t* bgr = reader.Row(y, row);
            if (bgr != row)
                std::memcpy(row, bgr, std::size_t(width) * 3);
        }
        return;
    }
    std::vector<std::uint8_t> buffer(std::size_t(width) * 3);
    for (int y = 0; y < height; ++y)
        WriteDirectRow(reader.Row(y, buffer.data()), toBits, width, result.ScanLine(y));
}

constexpr TPaletteEntry kBlack{0, 0, 0, 0};
constexpr TPaletteEntry kWhite{255, 255, 255, 0};

bool SameColour(const TPaletteEntry& a, const TPaletteEntry& b)
{
    return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
}

// Two colours by luminance with Floyd-Steinberg error diffusion (see
// SetMonochrome); `result` receives the indices, 0 black and 1 white.
void Dither(const TBitmap& source, TBitmap& result)
{
    const int width = source.Width(), height = source.Height();
    result.Reset(width, height, TPixelFormat::pf1bit);

    constexpr int kFullWhite = 255000;
    constexpr int kThreshold = 128000;
    std::vector<int> current(std::size_t(width) + 2, 0), next(std::size_t(width) + 2, 0);
    std::vector<std::uint8_t> buffer(std::size_t(width) * 3), indices(static_cast<std::size_t>(width));
    TRowReader reader(source);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* bgr = reader.Row(y, buffer.data());
        std::fill(next.begin(), next.end(), 0);
        for (int x = 0; x < width; ++x) {
            const int luminance = 299 * bgr[3 * x + 2] + 587 * bgr[3 * x + 1] + 114 * bgr[3 * x];
            const int level = luminance + current[std::size_t(x) + 1];
            const bool white = level >= kThreshold;
            indices[std::size_t(x)] = white ? 1 : 0;
            const int error = level - (white ? kFullWhite : 0);
            const int right = error * 7 / 16, downLeft = error * 3 / 16, down = error * 5 / 16;
            current[std::size_t(x) + 2] += right;
            next[std::size_t(x)] += downLeft;
            next[std::size_t(x) + 1] += down;
            next[std::size_t(x) + 2] += error - right - downLeft - down;
        }
        WriteIndices(indices.data(), 1, width, result.ScanLine(y));
        std::swap(current, next);
    }
}

// Work buffers (colour bitmap, histogram, row buffers) come from the heap;
// running out of memory for them reports like the pixel allocation does.
template <typename Body>
void ReportingMemory(Body body)
{
    try {
        body();
    } catch (const std::bad_alloc&) {
        throw EOutOfResources("Not enough memory to convert the picture");
    }
}

}  // namespace

class TBgrRowReader::TImpl : public TRowReader {
public:
    using TRowReader::TRowReader;
};

TBgrRowReader::TBgrRowReader(const TBitmap& source) : FImpl(std::make_unique<TImpl>(source)) {}

TBgrRowReader::~TBgrRowReader() = default;

const std::uint8_t* TBgrRowReader::Row(int y, std::uint8_t* buffer)
{
    return FImpl->Row(y, buffer);
}

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    if (format == FPixelFormat)
        return;
    if (format == TPixelFormat::pfCustom)
        throw EImageError("A picture cannot be converted to a custom pixel format");
    if (StoredBits(format) == 24 && StoredBits(FPixelFormat) == 24) {
        FPixelFormat = format;
        FPalette.clear();
        return;
    }
    if (Empty()) {
        // No pixels to carry over; a palette stays between palette formats.
        const bool keepPalette = IsPaletteFormat(format) && IsPaletteFormat(FPixelFormat);
        std::vector<TPaletteEntry> palette = keepPalette ? FPalette : std::vector<TPaletteEntry>{};
        Reset(FWidth, FHeight, format);
        FPalette = std::move(palette);
        return;
    }
    TBitmap result;
    ReportingMemory([&] {
        if (IsPaletteFormat(format)) {
            if (IsPaletteFormat(FPixelFormat) && BitsPerPixel(format) > BitsPerPixel(FPixelFormat))
                WidenPalette(*this, result, format);
            else if (!IsPaletteFormat(FPixelFormat) || !TranslatePalette(*this, result, format))
                ReduceToPalette(*this, result, format);
        } else {
            ConvertDirect(*this, result, format);
        }
    });
    *this = std::move(result);
}

bool TBitmap::Monochrome() const
{
    if (FPixelFormat != TPixelFormat::pf1bit || FPalette.size() != 2)
        return false;
    return (SameColour(FPalette[0], kBlack) && SameColour(FPalette[1], kWhite)) ||
           (SameColour(FPalette[0], kWhite) && SameColour(FPalette[1], kBlack));
}

// Two colours by luminance, (299 R + 587 G + 114 B) / 1000 against 128,
// with Floyd-Steinberg error diffusion: the picture is asked for as a
// greyscale rendering, and spreading the error turns its tones into the
// density of white dots instead of cutting them into two flat regions.
// Pure black and pure white leave no error, so a picture made of those two
// colours keeps every pixel.
void TBitmap::SetMonochrome(bool value)
{
    if (!value) {
        if (Monochrome())
            SetPixelFormat(TPixelFormat::pfDevice);
        return;
    }
    if (Monochrome())
        return;

    TBitmap result;
    ReportingMemory([&] { Dither(*this, result); });
    result.FPalette = {kBlack, kWhite};
    *this = std::move(result);
}

}  // namespace kadrimex
