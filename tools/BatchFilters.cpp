// Filter commands: gauss, triangle, sharpen, edges. The arguments are what
// the user types into the filter level and sharpen dialogs; those accept
// any real number their edit can convert, so only text that is not a real
// number is refused, with the dialog's conversion message.
#include "tools/Batch.h"

#include "filters/Filters.h"

namespace kadrimex::batch {
namespace {

// sharpen and edges: AMPLIFICATION and GENERALISATION as the dialog reads
// them.
template <class Params>
BatchCommand AmplificationCommand(std::string name)
{
    return {std::move(name), "AMPLIFICATION GENERALISATION", 2, 2, true, [](BatchRun& run) {
                const long double amplification = ParseReal(run.Args()[0]);
                const long double generalisation = ParseReal(run.Args()[1]);
                RunOperation(run, Params{amplification, generalisation});
            }};
}

const BatchRegistration gaussCommand(LevelCommand<TGaussBlurParams>("gauss"));
const BatchRegistration triangleCommand(LevelCommand<TTriangleBlurParams>("triangle"));
const BatchRegistration sharpenCommand(AmplificationCommand<TSharpenParams>("sharpen"));
const BatchRegistration edgesCommand(AmplificationCommand<TFindEdgesParams>("edges"));

}  // namespace
}  // namespace kadrimex::batch
