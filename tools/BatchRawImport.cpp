// raw: a headerless file decoded with the RAW dialog's options.
//   raw WIDTH MODE [skip=N] [lines=N] [bottom-up] [palette=FILE] [mul=M]
// MODE is 1bpp ... 32bpp (Typical) or multi:B (Multibyte). The numbers have
// the ranges of the dialog's spin edits; lines= is the line limit box's
// "no" or a whole number of lines from 1.
#include "tools/Batch.h"

#include "rawimport/RawImport.h"

#include <cstdint>
#include <iterator>

namespace kadrimex::batch {
namespace {

int RangedInt(const std::string& text, const char* what, int minimum, int maximum)
{
    const int value = ParseInt(text, what);
    if (value < minimum || value > maximum)
        throw UsageError(std::string(what) + " must be a whole number from " + std::to_string(minimum) + " to " +
                         std::to_string(maximum));
    return value;
}

TRawOptions ParseRawOptions(const std::vector<std::string>& args)
{
    TRawOptions options;
    options.width = RangedInt(args[0], "WIDTH", 1, kRawMaxWidth);
    const std::string& mode = args[1];
    if (mode.rfind("multi:", 0) == 0) {
        options.mode = TRawMode::Multibyte;
        options.bytesPerPixel = RangedInt(mode.substr(6), "B", 1, kRawMaxBytesPerPixel);
    } else {
        static const char* const names[] = {"1bpp", "4bpp", "8bpp", "15bpp", "16bpp", "24bpp", "32bpp"};
        static const int depths[] = {1, 4, 8, 15, 16, 24, 32};
        options.format = TPixelFormat::pfCustom;
        for (std::size_t i = 0; i < std::size(depths); ++i)
            if (mode == names[i])
                options.format = PixelFormatFromBits(depths[i]);
        if (options.format == TPixelFormat::pfCustom)
            throw UsageError("MODE must be 1bpp, 4bpp, 8bpp, 15bpp, 16bpp, 24bpp, 32bpp or multi:B");
    }
    std::vector<std::string> seen;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& word = args[i];
        const std::string key = word.substr(0, word.find('=') == std::string::npos ? word.size() : word.find('=') + 1);
        for (const auto& s : seen)
            if (s == key)
                throw UsageError("'" + key + "' is given twice");
        seen.push_back(key);
        const std::string value = word.substr(key.size());
        if (key == "skip=")
            options.skip = RangedInt(value, "skip", 0, int(kRawMaxSkip));
        else if (key == "lines=")
            options.lineLimit = value == "no" ? -1 : RangedInt(value, "lines", 1, INT32_MAX);
        else if (key == "bottom-up")
            options.bottomUp = true;
        else if (key == "palette=" && value.empty())
            throw EImageError("Cannot read the palette file: no file name given");
        else if (key == "palette=")
            options.paletteFile = value;
        else if (key == "mul=")
            options.multiplier = RangedInt(value, "mul", 1, kRawMaxMultiplier);
        else
            throw UsageError("unknown raw option '" + word + "'");
    }
    return options;
}

const BatchRegistration rawCommand(
    {"raw", "WIDTH MODE [skip=N] [lines=N] [bottom-up] [palette=FILE] [mul=M]", 2, 7, true, [](BatchRun& run) {
         const TRawOptions options = ParseRawOptions(run.Args());
         const TRawFile file(run.InputPath());
         if (!DecodeRaw(file, options, run.Result, [] { return Interrupted(); })) {
             if (Interrupted())
                 throw Cancelled();
             throw EImageError("No byte of " + run.InputPath() + " remains after the skip");
         }
     },
     true});

}  // namespace
}  // namespace kadrimex::batch
