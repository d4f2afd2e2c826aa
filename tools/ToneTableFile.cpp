#include "tools/ToneTableFile.h"

#include <sstream>

namespace kadrimex::batch {
namespace {

// A word of the file as it may be shown on a terminal: printable ASCII as
// it is, every other byte (NUL, escapes, binary) as \xNN, at most 32 bytes.
std::string Shown(const std::string& word)
{
    static const char* const hex = "0123456789abcdef";
    std::string shown;
    for (std::size_t i = 0; i < word.size() && i < 32; ++i) {
        const auto c = static_cast<unsigned char>(word[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\')
            shown += char(c);
        else
            shown += std::string("\\x") + hex[c >> 4] + hex[c & 15];
    }
    return word.size() > 32 ? shown + "..." : shown;
}

}  // namespace

TToneTable ParseToneTable(std::string_view text, const std::string& path)
{
    std::istringstream words{std::string(text)};
    TToneTable table{};
    std::size_t count = 0;
    for (std::string word; words >> word; ++count) {
        if (count == table.size())
            throw EImageError("The tone table file " + path + " holds more than 256 numbers");
        const bool digits = word.size() <= 3 && word.find_first_not_of("0123456789") == std::string::npos;
        const int value = digits ? std::stoi(word) : -1;
        if (value < 0 || value > 255)
            throw EImageError("The tone table file " + path + ": entry " + std::to_string(count) + " ('" + Shown(word) +
                              "') is not a whole number from 0 to 255");
        table[count] = std::uint8_t(value);
    }
    if (count != table.size())
        throw EImageError("The tone table file " + path + " holds " + std::to_string(count) +
                          " numbers; it needs 256");
    return table;
}

}  // namespace kadrimex::batch
