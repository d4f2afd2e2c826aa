// Icon files: the directory parser, the DIB decoder of every entry, the
// check of PNG entries and the choice of the entry shown.
#include "engine/Codecs.h"
#include "engine/Graphic.h"

using namespace kadrimex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<TIconEntry> entries;
    try {
        entries = ParseIco(data, size);
    } catch (const EImageError&) {
        return 0;
    }
    if (entries.empty() || BestIconEntry(entries) >= entries.size())
        __builtin_trap();
    bool anyIntact = false;
    for (const TIconEntry& entry : entries) {
        anyIntact = IconEntryIntact(entry) || anyIntact;
        if (entry.png)
            continue;
        try {
            const TBitmap b = DecodeIconDib(entry);
            if (b.PixelFormat() != TPixelFormat::pf32bit)
                __builtin_trap();
        } catch (const EImageError&) {
        }
    }
    try {
        const TIcon icon(std::vector<std::uint8_t>(data, data + size));
        if (!anyIntact || !IconEntryIntact(icon.Best()))
            __builtin_trap();
    } catch (const EImageError&) {
        if (anyIntact)
            __builtin_trap();
    }
    return 0;
}
