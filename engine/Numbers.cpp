#include "engine/Numbers.h"

#include <cfloat>
#include <charconv>
#include <cmath>

namespace kadrimex {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// True when `text` is [+-]digits[.digits][(e|E)[+-]digits] with at least one
// mantissa digit.
bool IsPlainDecimal(std::string_view text)
{
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        std::size_t exponentDigits = 0;
        while (i < text.size() && IsDigit(text[i]))
            ++i, ++exponentDigits;
        if (exponentDigits == 0)
            return false;
    }
    return i == text.size();
}

}  // namespace

bool ReadPlainReal(std::string_view text, long double& value)
{
    if (!IsPlainDecimal(text))
        return false;
    // from_chars takes no leading plus sign.
    if (text.front() == '+')
        text.remove_prefix(1);
    long double parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size() ||
        !(std::fabs(parsed) <= DBL_MAX))
        return false;
    value = parsed;
    return true;
}

}  // namespace kadrimex
