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

std::uint8_t AbsoluteFlag(const std::string& text)
{
    if (text != "0" && text != "1")
        throw UsageError("ABS must be 0 or 1");
    return std::uint8_t(text == "1");
}

// Runs operation 0x24; the matrix goes to the thread, whose routine
// releases it.
void RunUserFilter(BatchRun& run, long double* matrix, int size, long double divider, long double offset,
                   std::uint8_t absolute)
{
    std::unique_ptr<Operation> operation;
    try {
        operation = MakeOperation(run, op::UserFilter);
    } catch (...) {
        ReleaseCoefficients(matrix);
        throw;
    }
    operation->thread.FMatrix = matrix;
    operation->thread.FIntParam = size;
    operation->thread.FParam1 = divider;
    operation->thread.FParam2 = offset;
    operation->thread.FFlagParam = absolute;
    Finish(run, *operation);
}

const BatchRegistration userCommand(
    {"user", "SIZE DIVIDER OFFSET ABS C1 ... C(SIZE*SIZE)", 5, -1, true, [](BatchRun& run) {
         const auto& a = run.Args();
         const int size = ParseInt(a[0], "SIZE");
         if (size != 1 && size != 3 && size != 5 && size != 7)
             throw UsageError(kBadCoefficients);
         const std::size_t count = std::size_t(size) * std::size_t(size);
         if (a.size() != 4 + count)
             throw UsageError("SIZE " + a[0] + " needs " + std::to_string(count) + " coefficients, got " +
                              std::to_string(a.size() - 4));
         std::unique_ptr<long double[]> matrix(AllocateCoefficients(size));
         for (std::size_t k = 0; k < count; ++k)
             matrix[k] = DialogReal(a[4 + k]);
         const long double divider = DialogReal(a[1]);
         const long double offset = DialogReal(a[2]);
         const std::uint8_t absolute = AbsoluteFlag(a[3]);
         RunUserFilter(run, matrix.release(), size, divider, offset, absolute);
     }});

const BatchRegistration userExampleCommand({"user-example", "TYPE EXAMPLE ABS", 3, 3, true, [](BatchRun& run) {
    const auto& a = run.Args();
    const int type = ParseInt(a[0], "TYPE");
    const int example = ParseInt(a[1], "EXAMPLE");
    const TExampleFilter* filter = FindExampleFilter(type, example);
    if (!filter)
        throw UsageError("There is no example " + a[1] + " of filter type " + a[0] +
                         " (types 1 to 8, examples from 0)");
    const std::uint8_t absolute = AbsoluteFlag(a[2]);
    long double* matrix = AllocateCoefficients(3);
    for (int k = 0; k < 9; ++k)
        matrix[k] = filter->Cells[std::size_t(k)];
    RunUserFilter(run, matrix, 3, filter->Divider, filter->Offset, absolute);
}});

}  // namespace
}  // namespace kadrimex::batch
