#include "userfilter/ExampleFilters.h"

namespace kadrimex {
namespace {

constexpr TExampleFilter kLowPass[] = {
    {"Filtr 1", {1, 1, 1, 1, 1, 1, 1, 1, 1}, 9, 0},
    {"Filtr 2", {1, 1, 1, 1, 2, 1, 1, 1, 1}, 10, 0},
    {"Filtr 3", {1, 1, 1, 1, 4, 1, 1, 1, 1}, 12, 0},
    {"Filtr 4", {1, 2, 1, 2, 4, 2, 1, 2, 1}, 16, 0},
};

constexpr TExampleFilter kHighPass[] = {
    {"Filtr 1", {-1, -1, -1, -1, 14, -1, -1, -1, -1}, 6, 0},
    {"Filtr 2", {0, -1, 0, -1, 5, -1, 0, -1, 0}, 1, 0},
    {"Filtr 3", {1, -2, 1, -2, 5, -2, 1, -2, 1}, 1, 0},
    {"Filtr 4", {-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1, 0},
};

constexpr TExampleFilter kEdgeStandard[] = {
    {"poziomy", {0, -1, 0, 0, 1, 0, 0, 0, 0}, 1, 0},
    {"pionowy", {0, 0, 0, -1, 1, 0, 0, 0, 0}, 1, 0},
    {"ukośny", {-1, 0, 0, 0, 1, 0, 0, 0, 0}, 1, 0},
};

constexpr TExampleFilter kEdgeGradient[] = {
    {"północ", {1, 1, 1, 1, -2, 1, -1, -1, -1}, 1, 0},
    {"południe", {-1, -1, -1, 1, -2, 1, 1, 1, 1}, 1, 0},
    {"wschód", {-1, 1, 1, -1, -2, 1, -1, 1, 1}, 1, 0},
    {"zachód", {1, 1, -1, 1, -2, -1, 1, 1, -1}, 1, 0},
    {"pn-wsch", {1, 1, 1, -1, -2, 1, -1, -1, 1}, 1, 0},
    {"pn-zach", {1, 1, 1, 1, -2, -1, 1, -1, -1}, 1, 0},
    {"pd-wsch", {-1, -1, 1, -1, -2, 1, 1, 1, 1}, 1, 0},
    {"pd-zach", {1, -1, -1, 1, -2, -1, 1, 1, 1}, 1, 0},
};

constexpr TExampleFilter kEmboss[] = {
    {"północ", {1, 1, 1, 0, 1, 0, -1, -1, -1}, 1, 0},
    {"południe", {-1, -1, -1, 0, 1, 0, 1, 1, 1}, 1, 0},
    {"wschód", {-1, 0, 1, -1, 1, 1, -1, 0, 1}, 1, 0},
    {"zachód", {1, 0, -1, 1, 1, -1, 1, 0, -1}, 1, 0},
    {"pn-wsch", {0, 1, 1, -1, 1, 1, -1, -1, 0}, 1, 0},
    {"pn-zach", {1, 1, 0, 1, 1, -1, 0, -1, -1}, 1, 0},
    {"pd-wsch", {-1, -1, 0, -1, 1, 1, 0, 1, 1}, 1, 0},
    {"pd-zach", {0, -1, -1, 1, 1, -1, 1, 1, 0}, 1, 0},
};

constexpr TExampleFilter kLaplace[] = {
    {"Filtr 1", {0, 1, 0, 1, -4, 1, 0, 1, 0}, 1, 0},
    {"Filtr 2", {-1, -1, -1, -1, 8, -1, -1, -1, -1}, 1, 0},
    {"Filtr 3", {1, -2, 1, -2, 4, -2, 1, -2, 1}, 1, 0},
};

constexpr TExampleFilter kPrewitt[] = {
    {"poziomy", {-1, -1, -1, 0, 0, 0, 1, 1, 1}, 1, 0},
    {"pionowy", {1, 0, -1, 1, 0, -1, 1, 0, -1}, 1, 0},
};

constexpr TExampleFilter kSobel[] = {
    {"poziomy", {-1, -2, -1, 0, 0, 0, 1, 2, 1}, 1, 0},
    {"pionowy", {1, 0, -1, 2, 0, -2, 1, 0, -1}, 1, 0},
};

const TFilterType kTypes[kFilterTypeCount] = {
    {"dowolny", {}},
    {"dolnoprzepustowy", kLowPass},
    {"górnoprzepustowy", kHighPass},
    {"krawędziowy - standardowy", kEdgeStandard},
    {"krawędziowy - gradientowy", kEdgeGradient},
    {"krawędziowy - płaskorzeźba", kEmboss},
    {"krawędziowy - Laplace'a", kLaplace},
    {"konturowy - Prewitta", kPrewitt},
    {"konturowy - Sobela", kSobel},
};

}  // namespace

const TFilterType& FilterType(int index)
{
    return kTypes[index < 0 || index >= kFilterTypeCount ? 0 : index];
}

const TExampleFilter* FindExampleFilter(int type, int example)
{
    if (type < 1 || type >= kFilterTypeCount)
        return nullptr;
    const auto examples = kTypes[type].Examples;
    if (example < 0 || std::size_t(example) >= examples.size())
        return nullptr;
    return &examples[std::size_t(example)];
}

}  // namespace kadrimex
