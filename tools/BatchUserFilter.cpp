// User filter commands: user (a typed matrix) and user-example (one of the
// example filters of the dialog).
#include "tools/Batch.h"

#include "userfilter/ExampleFilters.h"
#include "userfilter/UserFilter.h"

#include <string>

namespace kadrimex::batch {
namespace {

// The dialog's own message for a value it cannot read.
const char* const kBadCoefficients =
    "Program nie zdołał utworzyć tablicy współczynników. "
    "Przynajmiej jeden ze współczynników nie jest poprawną liczbą zmiennoprzecinkową.";

// A coefficient, divider or offset as the dialog reads it; anything it
// cannot read is refused with the dialog's message.
long double DialogReal(const std::string& text)
{
    try {
        return ParseReal(text);
    } catch (const UsageError&) {
        throw UsageError(kBadCoefficients);
    }
}

bool AbsoluteFlag(const std::string& text)
{
    if (text != "0" && text != "1")
        throw UsageError("ABS must be 0 or 1");
    return text == "1";
}

const BatchRegistration userCommand(
    {"user", "SIZE DIVIDER OFFSET ABS C1 ... C(SIZE*SIZE)", 5, -1, true, [](BatchRun& run) {
         const auto& a = run.Args();
         const int size = ParseInt(a[0], "SIZE");
         if (size != 1 && size != 3 && size != 5 && size != 7)
             throw UsageError("SIZE must be 1, 3, 5 or 7");
         const std::size_t count = std::size_t(size) * std::size_t(size);
         if (a.size() != 4 + count)
             throw UsageError("SIZE " + a[0] + " needs " + std::to_string(count) + " coefficients, got " +
                              std::to_string(a.size() - 4));
         TUserFilterParams params;
         params.coefficients.reset(AllocateCoefficients(size));
         for (std::size_t k = 0; k < count; ++k)
             params.coefficients[k] = DialogReal(a[4 + k]);
         params.size = size;
         params.divider = DialogReal(a[1]);
         params.offset = DialogReal(a[2]);
         params.absolute = AbsoluteFlag(a[3]);
         RunOperation(run, std::move(params));
     }});

const BatchRegistration userExampleCommand({"user-example", "TYPE EXAMPLE ABS", 3, 3, true, [](BatchRun& run) {
    const auto& a = run.Args();
    const int type = ParseInt(a[0], "TYPE");
    const int example = ParseInt(a[1], "EXAMPLE");
    const TExampleFilter* filter = FindExampleFilter(type, example);
    if (!filter)
        throw UsageError("There is no example " + a[1] + " of filter type " + a[0] +
                         " (types 1 to 8, examples from 0)");
    TUserFilterParams params;
    params.absolute = AbsoluteFlag(a[2]);
    params.coefficients.reset(AllocateCoefficients(3));
    for (int k = 0; k < 9; ++k)
        params.coefficients[k] = filter->Cells[std::size_t(k)];
    params.size = 3;
    params.divider = filter->Divider;
    params.offset = filter->Offset;
    RunOperation(run, std::move(params));
}});

}  // namespace
}  // namespace kadrimex::batch
