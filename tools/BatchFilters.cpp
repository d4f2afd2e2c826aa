// Filter commands: gauss, triangle, sharpen, edges. The arguments are what
// the user types into the filter level and sharpen dialogs; those accept
// any real number their edit can convert, so only text that is not a real
// number is refused, with the dialog's conversion message.
#include "tools/Batch.h"

#include "filters/Filters.h"

#include <cmath>

namespace kadrimex::batch {
namespace {

long double DialogReal(const std::string& text, const char* what)
{
    // The dialog converts plain decimal notation only (no hexadecimal, no
    // infinity or not-a-number spellings).
    const bool plain = !text.empty() && text.find_first_not_of("0123456789.eE+-") == std::string::npos;
    long double value = 0;
    if (plain) {
        try {
            value = ParseReal(text, what);
        } catch (const UsageError&) {
            value = NAN;
        }
    }
    if (!plain || !std::isfinite(value))
        throw UsageError("'" + text + "' is not a valid floating point value");
    return value;
}

const BatchRegistration gaussCommand({"gauss", "LEVEL", 1, 1, true, [](BatchRun& run) {
    const long double level = DialogReal(run.Args()[0], "LEVEL");
    auto operation = MakeOperation(run, op::GaussBlur);
    operation->thread.FParam1 = level;
    Finish(run, *operation);
}});

const BatchRegistration triangleCommand({"triangle", "LEVEL", 1, 1, true, [](BatchRun& run) {
    const long double level = DialogReal(run.Args()[0], "LEVEL");
    auto operation = MakeOperation(run, op::TriangleBlur);
    operation->thread.FParam1 = level;
    Finish(run, *operation);
}});

const BatchRegistration sharpenCommand({"sharpen", "AMPLIFICATION GENERALISATION", 2, 2, true, [](BatchRun& run) {
    const long double amplification = DialogReal(run.Args()[0], "AMPLIFICATION");
    const long double generalisation = DialogReal(run.Args()[1], "GENERALISATION");
    auto operation = MakeOperation(run, op::Sharpen);
    operation->thread.FParam1 = SharpenLevelParam(amplification);
    operation->thread.FParam2 = SharpenSizeParam(generalisation);
    Finish(run, *operation);
}});

const BatchRegistration edgesCommand({"edges", "AMPLIFICATION GENERALISATION", 2, 2, true, [](BatchRun& run) {
    const long double amplification = DialogReal(run.Args()[0], "AMPLIFICATION");
    const long double generalisation = DialogReal(run.Args()[1], "GENERALISATION");
    auto operation = MakeOperation(run, op::FindEdges);
    operation->thread.FParam1 = EdgesLevelParam(amplification);
    operation->thread.FParam2 = EdgesSizeParam(generalisation);
    Finish(run, *operation);
}});

}  // namespace
}  // namespace kadrimex::batch
