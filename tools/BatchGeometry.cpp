// Geometry and format commands: flip, rotate and depth. flip and rotate run
// the worker like the flip/rotate dialog's command; depth, like the editor's
// colour depth command, converts the working copy without one.
#include "tools/Batch.h"

#include "transforms/ColourDepth.h"
#include "transforms/FlipRotate.h"

namespace kadrimex::batch {
namespace {

const BatchRegistration flipCommand({"flip", "h|v", 1, 1, true, [](BatchRun& run) {
    const std::string& direction = run.Args()[0];
    if (direction != "h" && direction != "v")
        throw UsageError("'" + direction + "' is not a direction: h (left to right) or v (top to bottom)");
    TFlipRotateParams params;
    params.choice = direction == "h" ? TFlipRotateChoice::FlipHorizontal : TFlipRotateChoice::FlipVertical;
    RunOperation(run, params);
}});

const BatchRegistration rotateCommand({"rotate", "ANGLE [enlarge]", 1, 2, true, [](BatchRun& run) {
    const auto& a = run.Args();
    TFlipRotateParams params;
    params.choice = TFlipRotateChoice::Rotate;
    params.angle = ParseReal(a[0]);
    if (a.size() > 1 && a[1] != "enlarge")
        throw UsageError("'" + a[1] + "' is not 'enlarge'");
    params.enlarge = a.size() > 1;
    RunOperation(run, params);
}});

// BPP is one of the dialog's items; `gray` ticks "Convert to grayscale".
const BatchRegistration depthCommand({"depth", "BPP [gray]", 1, 2, true, [](BatchRun& run) {
    const auto& a = run.Args();
    const int bits = ParseInt(a[0], "BPP");
    const TPixelFormat format = PixelFormatFromBits(bits);
    if (format == TPixelFormat::pfCustom)
        throw UsageError("BPP must be 1, 4, 8, 15, 16, 24 or 32");
    if (a.size() > 1 && a[1] != "gray")
        throw UsageError("'" + a[1] + "' is not 'gray'");
    TBitmap picture = run.TakeInput();
    ChangeColourDepth(picture, TColourDepthParams{format, a.size() > 1});
    run.Result = std::move(picture);
}});

}  // namespace
}  // namespace kadrimex::batch
