// Filter commands: gauss, triangle, sharpen, edges. The arguments are what
// the user types into the filter level and sharpen dialogs; those accept
// any real number their edit can convert, so only text that is not a real
// number is refused, with the dialog's conversion message.
#include "tools/Batch.h"

#include "filters/Filters.h"

namespace kadrimex::batch {
namespace {

// sharpen and edges: AMPLIFICATION and GENERALISATION as the dialog reads
// them, turned into the routine's level and size parameters.
BatchCommand AmplificationCommand(std::string name, std::int8_t code, long double (*level)(long double),
                                  long double (*size)(long double))
{
    return {std::move(name), "AMPLIFICATION GENERALISATION", 2, 2, true, [code, level, size](BatchRun& run) {
                const long double amplification = ParseReal(run.Args()[0]);
                const long double generalisation = ParseReal(run.Args()[1]);
                RunOperation(run, code, {level(amplification), size(generalisation)});
            }};
}

const BatchRegistration gaussCommand(LevelCommand("gauss", op::GaussBlur));
const BatchRegistration triangleCommand(LevelCommand("triangle", op::TriangleBlur));
const BatchRegistration sharpenCommand(
    AmplificationCommand("sharpen", op::Sharpen, SharpenLevelParam, SharpenSizeParam));
const BatchRegistration edgesCommand(AmplificationCommand("edges", op::FindEdges, EdgesLevelParam, EdgesSizeParam));

}  // namespace
}  // namespace kadrimex::batch
