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

// sharpen and edges: AMPLIFICATION and GENERALISATION as the dialog reads
// them, turned into the routine's level and size parameters.
BatchCommand AmplificationCommand(std::string name, std::int8_t code, long double (*level)(long double),
                                  long double (*size)(long double))
{
    return {std::move(name), "AMPLIFICATION GENERALISATION", 2, 2, true, [code, level, size](BatchRun& run) {
                const long double amplification = DialogReal(run.Args()[0], "AMPLIFICATION");
                const long double generalisation = DialogReal(run.Args()[1], "GENERALISATION");
                RunOperation(run, code, {level(amplification), size(generalisation)});
            }};
}

const BatchRegistration gaussCommand(LevelCommand("gauss", op::GaussBlur, DialogReal));
const BatchRegistration triangleCommand(LevelCommand("triangle", op::TriangleBlur, DialogReal));
const BatchRegistration sharpenCommand(
    AmplificationCommand("sharpen", op::Sharpen, SharpenLevelParam, SharpenSizeParam));
const BatchRegistration edgesCommand(AmplificationCommand("edges", op::FindEdges, EdgesLevelParam, EdgesSizeParam));

}  // namespace
}  // namespace kadrimex::batch
