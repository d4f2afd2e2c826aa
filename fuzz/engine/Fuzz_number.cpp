// The typed-number reader: any text is read or refused without a crash, and
// a value it reads is finite and reads back from its own decimal spelling.
#include "engine/Numbers.h"

#include <cmath>
#include <cstdio>
#include <string_view>

using namespace kadrimex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    long double value = 12345;
    if (!ReadPlainReal(text, value)) {
        if (value != 12345)
            __builtin_trap();  // a refusal leaves the value untouched
        return 0;
    }
    if (!std::isfinite(value))
        __builtin_trap();
    char spelled[64];
    const int length = std::snprintf(spelled, sizeof spelled, "%.21Le", value);
    long double again = 0;
    if (length <= 0 || !ReadPlainReal(std::string_view(spelled, std::size_t(length)), again) || again != value)
        __builtin_trap();
    return 0;
}
