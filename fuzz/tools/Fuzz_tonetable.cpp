// Tone table files of the curve command: any text gives a table or one
// EImageError, and a table written back as text reads as the same table.
#include "tools/ToneTableFile.h"

#include <string>

using namespace kadrimex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TToneTable table;
    try {
        table = batch::ParseToneTable(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz");
    } catch (const EImageError&) {
        return 0;
    }
    std::string text;
    for (const std::uint8_t v : table)
        text += std::to_string(v) + '\n';
    if (batch::ParseToneTable(text, "again") != table)
        __builtin_trap();
    return 0;
}
