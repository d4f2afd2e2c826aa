#include "tools/ToneTableFile.h"

#include <sstream>

namespace kadrimex::batch {

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
            throw EImageError("The tone table file " + path + ": entry " + std::to_string(count) + " ('" + word +
                              "') is not a whole number from 0 to 255");
        table[count] = std::uint8_t(value);
    }
    if (count != table.size())
        throw EImageError("The tone table file " + path + " holds " + std::to_string(count) +
                          " numbers; it needs 256");
    return table;
}

}  // namespace kadrimex::batch
