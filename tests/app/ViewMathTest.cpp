#include "app/ViewMath.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <utility>

using namespace kadrimex::view;

TEST(ViewMath, ZoomTextIsAnIntegerOr100)
{
    // Out of the 32-bit range is not an integer.
    const std::pair<const char*, int> cases[] = {
        {"abc", 100},        {"", 100},          {"12.5", 100},        {"75%", 100},
        {" 75 ", 75},        {"+40", 40},        {"-50", -50},         {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},        {"2147483648", 100},  {"99999999999999999999", 100}};
    for (const auto& [text, percent] : cases)
        EXPECT_EQ(ZoomPercent(text), percent) << text;
}

TEST(ViewMath, ZoomedSizeRoundsHalvesToEvenAtLeastOne)
{
    const std::tuple<QSize, const char*, QSize> cases[] = {
        {{640, 427}, "abc", {640, 427}},
        {{640, 427}, "-50", {320, 214}},  // 213.5 -> 214
        {{451, 300}, "50", {226, 150}},   // 225.5 -> 226
        {{5, 3}, "50", {2, 2}},           // 2.5 -> 2, 1.5 -> 2
        {{1, 1}, "10", {1, 1}},
        {{1, 1}, "0", {1, 1}},
        {{0, 0}, "100", {1, 1}},
        {{4000, 3000}, "50000", {2000000, 1500000}},
        // A huge zoom is held at the largest control.
        {{65535, 0}, "2147483647", {kMaxControlSide, 1}},
        {{2, 1}, "1000000", {20000, 10000}},
        {{65535, 65535}, "-2147483648", {kMaxControlSide, kMaxControlSide}}};
    for (const auto& [size, text, zoomed] : cases)
        EXPECT_EQ(ZoomedSize(size, text), zoomed) << size.width() << "x" << size.height() << " at " << text;
}

TEST(ViewMath, ZoomFactorIsAnExtendedReal)
{
    // 0.01 in 80 bits makes 10 % a little below 0.1: 15 px gives 1.4999...
    // and rounds to 1, where a double factor (0.1000...0055) would give 2.
    EXPECT_EQ(ZoomedSide(15, ZoomFactor(10)), 1);
    EXPECT_EQ(ZoomedSide(25, ZoomFactor(10)), 2);
    EXPECT_EQ(ZoomedSide(35, ZoomFactor(10)), 3);
    EXPECT_EQ(ZoomFactor(-50), 0.5L);
}

TEST(ViewMath, ZoomInDoublesFromOneAndStopsAt50000AndZoomOutHalvesAndKeepsOne)
{
    // "abc" zooms in from 50 and out from 50.
    const std::pair<const char*, const char*> in[] = {
        {"0", "1"},         {"1", "2"},         {"100", "200"},     {"-300", "600"},      {"abc", "100"},
        {"25000", "50000"}, {"30000", "50000"}, {"50000", "50000"}, {"2147483647", "50000"},
        {"-2147483648", "50000"}};
    for (const auto& [text, zoomed] : in)
        EXPECT_EQ(ZoomInText(text), zoomed) << text;
    const std::pair<const char*, std::optional<QString>> out[] = {
        {"100", "50"},     {"75", "37"},      {"-9", "4"}, {"abc", "25"}, {"2", "1"},
        {"1", std::nullopt}, {"0", std::nullopt}, {"-1", std::nullopt}, {"-2147483648", "1073741824"}};
    for (const auto& [text, zoomed] : out)
        EXPECT_EQ(ZoomOutText(text), zoomed) << text;
}

TEST(ViewMath, DragKeepsTheWindowCovered)
{
    const QSize client(500, 400);
    const QRect small(0, 0, 100, 80);
    // At the origin: cannot move right or down, can move left/up until the
    // far edges meet the window's edges.
    const QRect atOrigin(0, 0, 1000, 800);
    // Scrolled to the middle: back to the origin at most, on to the far
    // edge at most.
    const QRect scrolled(-200, -100, 1000, 800);
    // Wider than the window but not as tall: horizontal scroll only.
    const QRect wide(-100, 0, 900, 300);
    const std::tuple<QRect, QPoint, QPoint> cases[] = {
        {small, {50, 30}, {0, 0}},            {small, {-50, -30}, {0, 0}},
        {small, {-400, 250}, {0, 0}},         {small, {0, 0}, {0, 0}},
        {atOrigin, {30, 20}, {0, 0}},         {atOrigin, {-30, -20}, {-30, -20}},
        {atOrigin, {-700, -900}, {-500, -400}}, {atOrigin, {-500, -400}, {-500, -400}},
        {scrolled, {300, 300}, {200, 100}},   {scrolled, {150, 60}, {150, 60}},
        {scrolled, {-900, -900}, {-300, -300}}, {wide, {-50, -40}, {-50, 0}},
        {wide, {-500, 40}, {-300, 0}}};
    for (const auto& [picture, delta, clamped] : cases)
        EXPECT_EQ(ClampDrag(delta, picture, client), clamped)
            << "picture at " << picture.x() << "," << picture.y() << " size " << picture.width() << ", delta "
            << delta.x() << "," << delta.y();
}

TEST(ViewMath, DragOfTheLargestControlDoesNotOverflow)
{
    const QRect huge(-(kMaxControlSide - 500), 0, kMaxControlSide, kMaxControlSide);
    EXPECT_EQ(ClampDrag(QPoint(-2000000000, 0), huge, QSize(500, 400)), QPoint(0, 0));
    EXPECT_EQ(ClampDrag(QPoint(2000000000, 0), huge, QSize(500, 400)), QPoint(kMaxControlSide - 500, 0));
}
