// Filter commands: gauss, triangle, sharpen, edges, and resize. The arguments are what
// the user types into the filter level and sharpen dialogs; those accept
// any real number their edit can convert, so only text that is not a real
// number is refused, with the dialog's conversion message.
#include "tools/Batch.h"

#include "filters/Filters.h"
#include "filters/Resample.h"

#include <cmath>
#include <cstdio>
#include <string>

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

// gauss and triangle: a mask of LEVEL + 1 pixels each way that could not be
// held as a picture fails by its own size, before the input is read.
template <class Params>
BatchCommand BlurCommand(std::string name)
{
    return {std::move(name), "LEVEL", 1, 1, true, [](BatchRun& run) {
                const long double level = ParseReal(run.Args()[0]);
                // Compared and spelled as a real: the side may be far beyond
                // any integer type.
                const long double side = std::ceil(level + 1);
                if (side > 0 && side * side > (long double)kMaxBitmapPixels) {
                    char spelled[400];
                    std::snprintf(spelled, sizeof spelled, "%.0Lf", side);
                    throw EImageError(std::string("A filter mask of ") + spelled + " x " + spelled + " pixels (LEVEL " +
                                      run.Args()[0] + ") is too large");
                }
                RunOperation(run, Params{level});
            }};
}

const BatchRegistration gaussCommand(BlurCommand<TGaussBlurParams>("gauss"));
const BatchRegistration triangleCommand(BlurCommand<TTriangleBlurParams>("triangle"));
const BatchRegistration sharpenCommand(AmplificationCommand<TSharpenParams>("sharpen"));
const BatchRegistration edgesCommand(AmplificationCommand<TFindEdgesParams>("edges"));

// The resize dialog accepts sides of 1 to 32760; MODE is its interpolation
// index, the Gaussian by default. P% instead of WIDTH HEIGHT scales both
// sides of each picture by P percent, for folders of pictures of different
// sizes: each side rounded to the nearest pixel, at least 1.
int ResizeMode(const std::vector<std::string>& a, std::size_t at)
{
    const int mode = a.size() > at ? ParseInt(a[at], "MODE") : 2;
    if (mode < 0 || mode > 2)
        throw UsageError("MODE must be 0 (nearest neighbour), 1 (triangle) or 2 (Gauss)");
    return mode;
}

void CheckSides(int width, int height)
{
    if (width < 1 || width > 32760 || height < 1 || height > 32760)
        throw UsageError("Width and height must be whole numbers from 1 to 32760");
}

int ScaledSide(int side, long double percent)
{
    const long double scaled = std::round((long double)side * percent / 100);
    return scaled < 1 ? 1 : scaled > 1e9L ? 1000000000 : int(scaled);
}

const BatchRegistration resizeCommand({"resize", "WIDTH HEIGHT [MODE] | P% [MODE]", 1, 3, true, [](BatchRun& run) {
    const auto& a = run.Args();
    if (!a[0].empty() && a[0].back() == '%') {
        const long double percent = ParseReal(a[0].substr(0, a[0].size() - 1));
        if (!(percent > 0))
            throw UsageError("P% must be a percentage greater than 0");
        if (a.size() > 2)
            throw UsageError("unexpected argument '" + a[2] + "'; usage: resize P% [MODE]");
        const int mode = ResizeMode(a, 1);
        TAdvancedBitmap& input = run.Input();
        const int width = ScaledSide(input.Width(), percent);
        const int height = ScaledSide(input.Height(), percent);
        CheckSides(width, height);
        RunOperation(run, TResizeParams{width, height, mode});
        return;
    }
    if (a.size() < 2)
        throw UsageError("usage: resize WIDTH HEIGHT [MODE] or resize P% [MODE]");
    const int width = ParseInt(a[0], "WIDTH");
    const int height = ParseInt(a[1], "HEIGHT");
    CheckSides(width, height);
    RunOperation(run, TResizeParams{width, height, ResizeMode(a, 2)});
}});

}  // namespace
}  // namespace kadrimex::batch
