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

TEST(ViewMath, ZoomAboutThePointKeepsItUnderTheCursor)
{
    // scroll, cursor, size before, size after -> new scroll. The picture
    // point at scroll + cursor moves to (scroll + cursor) * after / before.
    const std::tuple<QPoint, QPointF, QSize, QSize, QPoint> cases[] = {
        {{0, 0}, {0, 0}, {400, 300}, {800, 600}, {0, 0}},          // the origin stays
        {{0, 0}, {100, 50}, {400, 300}, {800, 600}, {100, 50}},    // in: the point doubles
        {{100, 50}, {100, 50}, {800, 600}, {400, 300}, {0, 0}},    // out: back again
        {{300, 0}, {250.5, 10}, {1000, 1000}, {2000, 2000}, {850, 10}},  // 850.5 rounds to even
        {{0, 0}, {300, 200}, {400, 300}, {200, 150}, {0, 0}},      // cannot scroll before the origin
        {{10, 10}, {5, 5}, {3, 3}, {1, 1}, {0, 0}},
        {{0, 0}, {10, 10}, {0, 0}, {100, 100}, {0, 0}},            // nothing shown before: kept
    };
    for (const auto& [scroll, cursor, before, after, expected] : cases)
        EXPECT_EQ(ZoomScroll(scroll, cursor, before, after), expected)
            << scroll.x() << "," << scroll.y() << " at " << cursor.x() << "," << cursor.y();
}

TEST(ViewMath, FitIsTheLargestWholePercentThatFits)
{
    const std::tuple<QSize, QSize, int> cases[] = {
        {{1000, 500}, {500, 500}, 50},    {{500, 1000}, {500, 500}, 50},
        {{100, 100}, {250, 400}, 250},    // small pictures are enlarged
        {{3, 3}, {10, 10}, 350},          // 350 % is 10.5 px, to even 10; 351 % is 11
        {{200, 100}, {199, 100}, 99},     {{100000, 10}, {300, 300}, 1},  // never below 1 %
        {{1, 1}, {1000, 1000}, 50000},    // never past the zoom-in cap
        {{0, 0}, {100, 100}, 100}};
    for (const auto& [picture, client, percent] : cases) {
        const int fit = FitPercent(picture, client);
        EXPECT_EQ(fit, percent) << picture.width() << "x" << picture.height();
        if (!picture.isEmpty()) {
            const QSize shown = ZoomedSize(picture, QString::number(fit));
            EXPECT_TRUE(shown.width() <= client.width() || fit == 1);
            EXPECT_TRUE(shown.height() <= client.height() || fit == 1);
        }
    }
}

TEST(ViewMath, ReadoutNamesThePixelUnderTheMouse)
{
    // PixelAt matches the painting: column X shows floor(X * w / W).
    const std::tuple<QPointF, QSize, QSize, std::optional<QPoint>> cells[] = {
        {{0, 0}, {30, 20}, {3, 2}, QPoint(0, 0)},   {{9.9, 9.9}, {30, 20}, {3, 2}, QPoint(0, 0)},
        {{10, 10}, {30, 20}, {3, 2}, QPoint(1, 1)}, {{29.5, 19.5}, {30, 20}, {3, 2}, QPoint(2, 1)},
        {{30, 0}, {30, 20}, {3, 2}, std::nullopt},  {{-0.5, 0}, {30, 20}, {3, 2}, std::nullopt},
        {{4, 1}, {5, 2}, {10, 4}, QPoint(8, 2)},     // shrunk: every other pixel
        {{0, 0}, {0, 0}, {3, 2}, std::nullopt}};
    for (const auto& [position, shown, picture, pixel] : cells)
        EXPECT_EQ(PixelAt(position, shown, picture), pixel) << position.x() << "," << position.y();

    QImage rgb(2, 1, QImage::Format_RGB32);
    rgb.setPixel(1, 0, qRgb(255, 128, 7));
    QImage palette(2, 2, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(0, 0, 0), qRgb(10, 20, 30)});
    palette.fill(0);
    palette.setPixel(0, 1, 1);
    const std::tuple<const QImage*, QPoint, const char*> texts[] = {
        {&rgb, {1, 0}, "1, 0: R 255 G 128 B 7"},
        {&palette, {0, 1}, "0, 1: R 10 G 20 B 30, index 1"},
        {&palette, {1, 1}, "1, 1: R 0 G 0 B 0, index 0"},
        {&rgb, {2, 0}, ""}};
    for (const auto& [image, pixel, text] : texts)
        EXPECT_EQ(ReadoutText(*image, pixel), QString::fromUtf8(text));
}
