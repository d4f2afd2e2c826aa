// The painters against their plain 80-bit formulas, byte for byte, over the
// parameters where the fast paths could differ: flat and whole-number
// values (steepness 0, the caps), a tent foot of 0.5, quarter and odd
// angles, odd and even sizes, and shaping parameters large enough to make
// the cosine arguments long.
#include "filters/Generators.h"
#include "tests/filters/MaskReference.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace kadrimex {
namespace {

using Painter = std::function<void(TBitmapProcesorThread&, TBitmap*)>;

struct Case {
    std::string name;
    Painter fast;
    Painter literal;
};

void ExpectSameBytes(const Case& c)
{
    TBitmapProcesorThread thread;
    TBitmap fast, literal;
    fast.SetPixelFormat(TPixelFormat::pf8bit);
    literal.SetPixelFormat(TPixelFormat::pf8bit);
    c.fast(thread, &fast);
    c.literal(thread, &literal);
    ASSERT_EQ(fast.Width(), literal.Width()) << c.name;
    ASSERT_EQ(fast.Height(), literal.Height()) << c.name;
    int differing = 0;
    for (int y = 0; y < fast.Height(); ++y)
        for (int x = 0; x < fast.Width(); ++x)
            differing += fast.ScanLine(y)[x] != literal.ScanLine(y)[x];
    EXPECT_EQ(differing, 0) << c.name << " " << fast.Width() << "x" << fast.Height();
}

template <typename Fast, typename Literal, typename... Args>
Case Make(std::string name, Fast fast, Literal literal, Args... args)
{
    return {std::move(name), [=](TBitmapProcesorThread& t, TBitmap* m) { fast(t, m, args...); },
            [=](TBitmapProcesorThread& t, TBitmap* m) { literal(t, m, args...); }};
}

TEST(MaskFastPath, EveryPainterGivesTheLiteralBytes)
{
    std::vector<Case> cases;
    for (long double level : {GaussBaseLevel, 1.0L, 0.01L, 0.0L, 1e6L})
        cases.push_back(Make("gauss " + std::to_string(double(level)), PaintGaussMask, reference::PaintGaussMask,
                             level, 101.0L, 64.0L));
    for (long double foot : {0.0L, -0.4L, 0.25L, 0.5L, 0.4999L, 0.7L})
        cases.push_back(Make("triangle " + std::to_string(double(foot)), PaintTriangleMask,
                             reference::PaintTriangleMask, foot, 77.0L, 50.0L));
    for (long double foot : {0.0L, -2.0L, 0.25L, 0.5L, 0.4999L, 0.7L})
        for (long double angle : {0.0L, 0.3L, 1.5707963267948966L, -7.0L, 1000.0L})
            cases.push_back(Make("rotated " + std::to_string(double(foot)) + " " + std::to_string(double(angle)),
                                 PaintRotatedTriangleMask, reference::PaintRotatedTriangleMask, foot, angle, 90.0L,
                                 61.0L));
    for (long double level : {GaussBaseLevel, 1.0L, 3000.0L, 0.5L, 1e9L})
        cases.push_back(Make("sharpen " + std::to_string(double(level)), PaintSharpenMask,
                             reference::PaintSharpenMask, level, 96.0L, 71.0L));
    for (long double level : {0.0L, 0.5L, 1.0015L, 2.0L})
        cases.push_back(Make("edge " + std::to_string(double(level)), PaintEdgeMask, reference::PaintEdgeMask, level,
                             120.0L, 81.0L));
    for (int function = 0; function <= 5; ++function)
        for (long double a : {0.0L, 0.2L, 1.0L, -3.0L, 37.5L})
            cases.push_back(Make("shape " + std::to_string(function) + " " + std::to_string(double(a)),
                                 PaintAbstractShape, reference::PaintAbstractShape, function, a, 150.0L, 101.0L));
    for (const Case& c : cases)
        ExpectSameBytes(c);
}

}  // namespace
}  // namespace kadrimex
