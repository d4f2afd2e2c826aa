#include "rawimport/RawImport.h"

#include "engine/Codecs.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kadrimex {

namespace {

std::string SystemReason()
{
    return std::strerror(errno);
}

// Ceil(a × k / d) of the exact quotient, saturated to the int64 range.
std::int64_t CeilQuotient(std::int64_t a, std::int64_t k, std::int64_t d)
{
    const unsigned __int128 n = (unsigned __int128)(a) * (unsigned __int128)(k);
    const unsigned __int128 q = (n + (unsigned __int128)(d) - 1) / (unsigned __int128)(d);
    constexpr auto most = std::numeric_limits<std::int64_t>::max();
    return q > (unsigned __int128)(most) ? most : std::int64_t(q);
}

std::int64_t Limited(std::int64_t lines, int lineLimit)
{
    return lineLimit > 0 && lines > lineLimit ? lineLimit : lines;
}

// Entries and grey step of a palette depth; count 0 for the others.
void PaletteShape(TPixelFormat format, int& count, int& step)
{
    switch (format) {
    case TPixelFormat::pf1bit: count = 2, step = 255; return;
    case TPixelFormat::pf4bit: count = 16, step = 16; return;
    case TPixelFormat::pf8bit: count = 256, step = 1; return;
    default: count = 0, step = 0; return;
    }
}

std::uint8_t Multiplied(unsigned value, int multiplier)
{
    return std::uint8_t((value * unsigned(multiplier)) % 256);
}

// Reads the file onwards from one offset in blocks, so a picture of many
// short lines costs few system calls.
class TSequentialReader {
public:
    // `total`: the most bytes the caller will read, which bounds the block.
    TSequentialReader(const TRawSource& source, std::int64_t offset, std::int64_t total)
        : FSource(source), FOffset(offset), FBlock(std::size_t(std::clamp<std::int64_t>(total, 1, kBlock)))
    {
    }

    // Copies up to `count` bytes; fewer only at the end of the file.
    std::size_t Read(std::uint8_t* out, std::size_t count)
    {
        std::size_t done = 0;
        while (done < count) {
            if (FAt == FEnd) {
                if (FAtEnd)
                    break;
                if (count - done >= FBlock) {
                    // A long line goes straight into the row.
                    const std::size_t want = count - done;
                    const std::size_t got = FSource.ReadAt(FOffset, out + done, want);
                    FOffset += std::int64_t(got);
                    done += got;
                    FAtEnd = got < want;
                    continue;
                }
                FBuffer.resize(FBlock);
                FEnd = FSource.ReadAt(FOffset, FBuffer.data(), FBlock);
                FOffset += std::int64_t(FEnd);
                FAt = 0;
                FAtEnd = FEnd < FBlock;
                if (FEnd == 0)
                    break;
            }
            const std::size_t n = std::min(count - done, FEnd - FAt);
            std::memcpy(out + done, FBuffer.data() + FAt, n);
            FAt += n;
            done += n;
        }
        return done;
    }

private:
    static constexpr std::int64_t kBlock = std::int64_t(1) << 20;
    const TRawSource& FSource;
    std::int64_t FOffset;
    std::size_t FBlock;
    std::vector<std::uint8_t> FBuffer;
    std::size_t FAt = 0;
    std::size_t FEnd = 0;
    bool FAtEnd = false;
};

// The new picture of W × n pixels, refused before any memory is taken when
// it is beyond what a bitmap holds.
TBitmap NewPicture(int width, std::int64_t lines, TPixelFormat format)
{
    if (lines > kMaxBitmapSide)
        throw EOutOfResources("A picture of " + std::to_string(width) + " x " + std::to_string(lines) +
                              " pixels is too large");
    TBitmap picture;
    picture.Reset(width, int(lines), format);
    return picture;
}

// Row y of line i in the chosen direction.
int RowOfLine(std::int64_t line, std::int64_t lines, bool bottomUp)
{
    return int(bottomUp ? lines - 1 - line : line);
}


}  // namespace

TRawFile::TRawFile(const std::string& path) : FPath(path)
{
    FHandle = OpenRegularFile(path, "Cannot open the file");
}

TRawFile::~TRawFile()
{
    if (FHandle >= 0)
        ::close(FHandle);
}

std::int64_t TRawFile::Size() const
{
    struct stat info {};
    if (::fstat(FHandle, &info) != 0)
        throw EImageError("Cannot read the file " + FPath + ": " + SystemReason());
    return std::int64_t(info.st_size);
}

std::size_t TRawFile::ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count) const
{
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(FHandle, buffer + done, count - done, off_t(offset) + off_t(done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw EImageError("Cannot read the file " + FPath + ": " + SystemReason());
        }
        if (got == 0)
            break;
        done += std::size_t(got);
    }
    return done;
}

std::size_t TRawMemory::ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count) const
{
    if (offset < 0 || std::uint64_t(offset) >= FSize)
        return 0;
    const std::size_t n = std::min(count, FSize - std::size_t(offset));
    std::memcpy(buffer, FData + offset, n);
    return n;
}

int ParseLineLimit(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return -1;
    return value;
}

TRawLayout TypicalLayout(std::int64_t fileSize, TPixelFormat format, int lineLimit, int width, std::int64_t skip)
{
    TRawLayout layout;
    layout.skip = skip;
    std::int64_t available = fileSize - skip;
    if (available < 1) {
        // Nothing after the skip: the last byte of the file on one line.
        layout.skip = fileSize - 1 < 1 ? 0 : fileSize - 1;
        available = 1;
    }
    // Bytes a line takes and the lines from A bytes: Ceil(A × k / (W × m)).
    std::int64_t k = 1, m = 1;
    switch (format) {
    case TPixelFormat::pf1bit: layout.lineBytes = width / 8, k = 8; break;
    case TPixelFormat::pf4bit: layout.lineBytes = width / 2, k = 2; break;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: layout.lineBytes = 2 * std::int64_t(width), m = 2; break;
    case TPixelFormat::pf24bit: layout.lineBytes = 3 * std::int64_t(width), m = 3; break;
    case TPixelFormat::pf32bit: layout.lineBytes = 4 * std::int64_t(width), m = 4; break;
    default: layout.lineBytes = width; break;
    }
    layout.lines = std::max<std::int64_t>(1, Limited(CeilQuotient(available, k, m * width), lineLimit));
    return layout;
}

TRawLayout MultibyteLayout(std::int64_t fileSize, int bytesPerPixel, int lineLimit, int width, std::int64_t skip)
{
    TRawLayout layout;
    layout.skip = skip;
    layout.lineBytes = std::int64_t(width) * bytesPerPixel;
    const std::int64_t available = fileSize - skip;
    if (available >= 1)
        layout.lines = Limited(CeilQuotient(available, 1, layout.lineBytes), lineLimit);
    return layout;
}

TRawLayout RawLayout(const TRawOptions& options, std::int64_t fileSize)
{
    if (options.mode == TRawMode::Multibyte)
        return MultibyteLayout(fileSize, options.bytesPerPixel, options.lineLimit, options.width, options.skip);
    return TypicalLayout(fileSize, options.format, options.lineLimit, options.width, options.skip);
}

void MakeGreyPalette(TBitmap& bitmap, int multiplier)
{
    int count = 0, step = 0;
    PaletteShape(bitmap.PixelFormat(), count, step);
    if (count == 0)
        return;
    TLogPalette palette;
    palette.palPalEntry.resize(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        const std::uint8_t v = Multiplied(unsigned(i * step), multiplier);
        palette.palPalEntry[std::size_t(i)] = {v, v, v, 0};
    }
    bitmap.SetPalette(palette);
}

void LoadPaletteFile(TBitmap& bitmap, int multiplier, const TRawSource& palette)
{
    int count = 0, step = 0;
    PaletteShape(bitmap.PixelFormat(), count, step);
    if (count == 0)
        return;
    std::vector<std::uint8_t> bytes(std::size_t(count) * 3, 0);
    palette.ReadAt(0, bytes.data(), bytes.size());
    TLogPalette logPalette;
    logPalette.palPalEntry.resize(std::size_t(count));
    for (std::size_t i = 0; i < std::size_t(count); ++i)
        logPalette.palPalEntry[i] = {Multiplied(bytes[3 * i], multiplier), Multiplied(bytes[3 * i + 1], multiplier),
                                     Multiplied(bytes[3 * i + 2], multiplier), 0};
    bitmap.SetPalette(logPalette);
}

void LoadPaletteFile(TBitmap& bitmap, int multiplier, const std::string& path)
{
    int count = 0, step = 0;
    PaletteShape(bitmap.PixelFormat(), count, step);
    if (count == 0)
        return;
    try {
        const TRawFile palette(path);
        if (palette.Size() < 3)
            throw EImageError(path + " holds no complete colour (3 bytes)");
        LoadPaletteFile(bitmap, multiplier, palette);
    } catch (const EImageError& e) {
        throw EImageError(std::string("Cannot read the palette file: ") + e.what());
    }
}

bool DecodeTypical(const TRawSource& stream, TBitmap& bitmap, const std::string& paletteFileName, int multiplier,
                   bool bottomUp, TPixelFormat format, int lineLimit, int width, std::int64_t skip,
                   const TRawCancel& cancelled)
{
    if (width < 1)
        return false;
    const TRawLayout layout = TypicalLayout(stream.Size(), format, lineLimit, width, skip);
    TBitmap picture = NewPicture(width, layout.lines, format);
    // No palette chosen gives the grey ramp; a chosen one must be readable.
    if (paletteFileName.empty())
        MakeGreyPalette(picture, multiplier);
    else
        LoadPaletteFile(picture, multiplier, paletteFileName);

    TSequentialReader reader(stream, layout.skip, layout.lines * layout.lineBytes);
    for (std::int64_t line = 0; line < layout.lines; ++line) {
        if (cancelled && cancelled())
            return false;
        reader.Read(picture.ScanLine(RowOfLine(line, layout.lines, bottomUp)), std::size_t(layout.lineBytes));
    }
    bitmap = std::move(picture);
    return true;
}

bool DecodeMultibyte(const TRawSource& stream, TBitmap& bitmap, bool bottomUp, int bytesPerPixel, int lineLimit,
                     int width, std::int64_t skip, const TRawCancel& cancelled)
{
    if (width < 1 || bytesPerPixel < 1)
        return false;
    const TRawLayout layout = MultibyteLayout(stream.Size(), bytesPerPixel, lineLimit, width, skip);
    if (layout.lines < 1)
        return false;
    TBitmap picture = NewPicture(width, layout.lines, TPixelFormat::pf24bit);
    const std::size_t lineBytes = std::size_t(layout.lineBytes);
    const auto buffer = AllocatePixels(lineBytes);

    const unsigned b = unsigned(bytesPerPixel);
    const unsigned third = b / 3;
    TSequentialReader reader(stream, layout.skip, layout.lines * layout.lineBytes);
    for (std::int64_t line = 0; line < layout.lines; ++line) {
        if (cancelled && cancelled())
            return false;
        const std::size_t got = reader.Read(buffer.get(), lineBytes);
        std::memset(buffer.get() + got, 0, lineBytes - got);
        std::uint8_t* row = picture.ScanLine(RowOfLine(line, layout.lines, bottomUp));
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = buffer.get() + std::size_t(x) * b;
            const auto average = [p](unsigned from, unsigned to) {
                unsigned sum = 0;
                for (unsigned i = from; i < to; ++i)
                    sum += p[i];
                return std::uint8_t(sum / (to - from));
            };
            if (b < 3) {
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = average(0, b);
            } else {
                row[3 * x] = average(0, third);
                row[3 * x + 1] = average(third, 2 * third);
                row[3 * x + 2] = average(2 * third, b);
            }
        }
    }
    bitmap = std::move(picture);
    return true;
}

bool DecodeRaw(const TRawSource& stream, const TRawOptions& options, TBitmap& bitmap, const TRawCancel& cancelled)
{
    if (options.mode == TRawMode::Multibyte)
        return DecodeMultibyte(stream, bitmap, options.bottomUp, options.bytesPerPixel, options.lineLimit,
                               options.width, options.skip, cancelled);
    return DecodeTypical(stream, bitmap, options.paletteFile, options.multiplier, options.bottomUp, options.format,
                         options.lineLimit, options.width, options.skip, cancelled);
}

}  // namespace kadrimex
