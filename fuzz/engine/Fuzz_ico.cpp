// Icon files: the directory parser and the DIB decoder of every entry.
#include "engine/Codecs.h"

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
    for (const TIconEntry& entry : entries) {
        if (entry.png)
            continue;
        try {
            const TBitmap b = DecodeIconDib(entry);
            if (b.PixelFormat() != TPixelFormat::pf32bit)
                __builtin_trap();
        } catch (const EImageError&) {
        }
    }
    return 0;
}
