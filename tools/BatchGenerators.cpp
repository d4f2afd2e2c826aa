// Generator commands: gen-gauss, gen-triangle, gen-sharpen, gen-edge,
// gen-shape. They take no input: the picture is made from nothing, as the
// editor's generators ignore the displayed picture. Sizes follow the
// generator dialogs' rule (whole numbers from 1 to 32760); the other values
// are any real the dialogs' edits can read.
#include "tools/Batch.h"

#include "filters/Generators.h"

namespace kadrimex::batch {
namespace {

int Side(const std::string& text, const char* what)
{
    const int side = ParseInt(text, what);
    if (side < 1 || side > 32760)
        throw UsageError(std::string(what) + " must be a whole number from 1 to 32760");
    return side;
}

// WIDTH HEIGHT STEEPNESS.
template <class Params>
BatchCommand MaskCommand(std::string name)
{
    return {std::move(name), "WIDTH HEIGHT STEEPNESS", 3, 3, false, [](BatchRun& run) {
                const auto& a = run.Args();
                const int width = Side(a[0], "WIDTH");
                const int height = Side(a[1], "HEIGHT");
                RunOperation(run, Params{ParseReal(a[2]), width, height}, TDestinationPolicy::NewForGenerator);
            }};
}

const BatchRegistration gaussCommand(MaskCommand<TGaussGeneratorParams>("gen-gauss"));
const BatchRegistration sharpenCommand(MaskCommand<TSharpenGeneratorParams>("gen-sharpen"));
const BatchRegistration edgeCommand(MaskCommand<TEdgeGeneratorParams>("gen-edge"));

const BatchRegistration triangleCommand(
    {"gen-triangle", "WIDTH HEIGHT STEEPNESS ANGLE", 4, 4, false, [](BatchRun& run) {
         const auto& a = run.Args();
         const int width = Side(a[0], "WIDTH");
         const int height = Side(a[1], "HEIGHT");
         RunOperation(run, TTriangleGeneratorParams{ParseReal(a[2]), ParseReal(a[3]), width, height},
                      TDestinationPolicy::NewForGenerator);
     }});

const BatchRegistration shapeCommand(
    {"gen-shape", "WIDTH HEIGHT FUNCTION PARAMETER", 4, 4, false, [](BatchRun& run) {
         const auto& a = run.Args();
         const int width = Side(a[0], "WIDTH");
         const int height = Side(a[1], "HEIGHT");
         const int function = ParseInt(a[2], "FUNCTION");
         if (function < 0 || function > 5)
             throw UsageError("FUNCTION must be a whole number from 0 to 5");
         RunOperation(run, TShapeGeneratorParams{function, ParseReal(a[3]), width, height},
                      TDestinationPolicy::NewForGenerator);
     }});

}  // namespace
}  // namespace kadrimex::batch
