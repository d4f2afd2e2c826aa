// The operation table: every code the worker knows, what Execute() does to
// the destination first, and the routine with its arguments taken from the
// thread's fields. The engine looks codes up here and knows no family.
//
// Adding an operation: write its routine, parameter record and code in its
// family's header, then add one row below.
#include "engine/ProcessorThread.h"

#include "filters/Filters.h"
#include "filters/Generators.h"
#include "filters/Masks.h"
#include "filters/Resample.h"
#include "tonal/Tone.h"
#include "transforms/Fourier.h"
#include "transforms/FlipRotate.h"
#include "userfilter/UserFilter.h"

#include <array>

namespace kadrimex {
namespace {

using enum TDestinationPreparation;
using T = TBitmapProcesorThread;

constexpr TOperationEntry kOperations[] = {
    {op::Resize, "resize", None, [](T& t) { Resize(t, t.FDestination, t.FSource, t.FResampleMode); }},
    {op::GaussBlur, "Gauss blur", None, [](T& t) { GaussBlur(t, t.FDestination, t.FSource, t.FParam1); }},
    {op::TriangleBlur, "triangle blur", None,
     [](T& t) { TriangleBlur(t, t.FDestination, t.FSource, t.FParam1); }},
    {op::Sharpen, "sharpen", None, [](T& t) { Sharpen(t, t.FDestination, t.FSource, t.FParam1, t.FParam2); }},
    {op::FindEdges, "find edges", None,
     [](T& t) { FindEdges(t, t.FDestination, t.FSource, t.FParam1, t.FParam2); }},
    // The matrix goes to the routine, which releases it on every path.
    {op::UserFilter, "user filter", None,
     [](T& t) {
         UserFilter(t, t.FDestination, t.FSource, t.FMatrix.release(), t.FIntParam, t.FParam1, t.FParam2,
                    t.FFlagParam);
     }},
    // Generators: the destination is made an 8-bit mask picture first.
    {op::GaussGenerator, "Gauss generator", GreyPalette8,
     [](T& t) { PaintGaussMask(t, t.FDestination, t.FParam1, t.FParam3, t.FParam4); }},
    {op::TriangleGenerator, "triangle generator", GreyPalette8,
     [](T& t) { PaintRotatedTriangleMask(t, t.FDestination, t.FParam1, t.FParam2, t.FParam3, t.FParam4); }},
    {op::ShapeGenerator, "shape generator", GreyPalette8,
     [](T& t) { PaintAbstractShape(t, t.FDestination, t.FIntParam, t.FParam1, t.FParam3, t.FParam4); }},
    {op::SharpenGenerator, "sharpen generator", SignedPalette8,
     [](T& t) { PaintSharpenMask(t, t.FDestination, t.FParam1, t.FParam3, t.FParam4); }},
    {op::EdgeGenerator, "edge generator", SignedPalette8,
     [](T& t) { PaintEdgeMask(t, t.FDestination, t.FParam1, t.FParam3, t.FParam4); }},
    {op::FFT, "FFT", None, [](T& t) { MakeFFT(t, t.FDestination, t.FSource); }},
    {op::RevFFT, "reverse FFT", None, [](T& t) { MakeRevFFT(t, t.FDestination, t.FSource); }},
    {op::FFTGauss, "FFT Gauss blur", None, [](T& t) { MakeFFTGauss(t, t.FDestination, t.FSource, t.FParam1); }},
    // Flip and rotate: the mode and the enlarge choice are FIntParam's low byte.
    {op::Flip, "flip", None, [](T& t) { MakeFlip(t, t.FDestination, t.FSource, std::uint8_t(t.FIntParam)); }},
    {op::Rotate, "rotate", None,
     [](T& t) { MakeRotate(t, t.FDestination, t.FSource, t.FParam2, std::uint8_t(t.FIntParam) != 0); }},
    // Tonal: the histogram reads the source into the worker's arrays; the
    // curve and equalisation change the destination in place.
    {op::Histogram, "histogram", None,
     [](T& t) {
         if (t.FHistogram0 && t.FHistogram1 && t.FHistogram2)
             MakeHistograms(histogram_mode::Fractions, *t.FHistogram0, *t.FHistogram1, *t.FHistogram2, t.FSource);
     }},
    {op::Curves, "curves", None,
     [](T& t) { ApplyCurve(t, t.FDestination, t.FCurve.get(), std::uint8_t(t.FIntParam)); }},
    {op::Levels, "levels", None, [](T& t) { EqualizeHistogram(t, t.FDestination, std::uint8_t(t.FIntParam)); }},
};

// The codes are stated in the families' headers, so nothing else keeps two
// operations from sharing one.
constexpr bool CodesAreDistinct()
{
    for (std::size_t i = 0; i < std::size(kOperations); ++i)
        for (std::size_t j = i + 1; j < std::size(kOperations); ++j)
            if (kOperations[i].code == kOperations[j].code)
                return false;
    return true;
}
static_assert(CodesAreDistinct(), "two rows of the operation table share a code");

}  // namespace

const TOperationEntry* FindOperation(std::int8_t code)
{
    for (const TOperationEntry& entry : kOperations)
        if (entry.code == code)
            return &entry;
    return nullptr;
}

}  // namespace kadrimex
