// The filter types of the user filter dialog and their example filters: the
// classic 3 x 3 kernels (low-pass, high-pass, edge, compass gradient,
// emboss, Laplacian, Prewitt, Sobel). Shared by the dialog, which writes an
// example into its cells as text, and by the batch tool.
#pragma once

#include <array>
#include <span>

namespace kadrimex {

struct TExampleFilter {
    const char* Name;            // item text of the example list (UTF-8)
    std::array<int, 9> Cells;    // rows top to bottom, each left to right
    int Divider;
    int Offset;
};

struct TFilterType {
    const char* Name;            // item text of the type list (UTF-8)
    std::span<const TExampleFilter> Examples;
};

// Number of filter types, the free type "dowolny" (index 0) included.
inline constexpr int kFilterTypeCount = 9;

// Type `index` (0 to 8; any other index gives type 0). Type 0 is the free
// matrix and has no examples.
const TFilterType& FilterType(int index);

// Example `example` of type `type`, or null when the pair does not exist.
const TExampleFilter* FindExampleFilter(int type, int example);

}  // namespace kadrimex
