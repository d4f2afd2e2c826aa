#include "app/ViewMath.h"

#include <gtest/gtest.h>

using namespace kadrimex::view;

TEST(ViewMath, ZoomTextIsAnIntegerOr100)
{
    EXPECT_EQ(ZoomPercent("abc"), 100);
    EXPECT_EQ(ZoomPercent(""), 100);
    EXPECT_EQ(ZoomPercent("12.5"), 100);
    EXPECT_EQ(ZoomPercent("75%"), 100);
    EXPECT_EQ(ZoomPercent(" 75 "), 75);
    EXPECT_EQ(ZoomPercent("+40"), 40);
    EXPECT_EQ(ZoomPercent("-50"), -50);
    EXPECT_EQ(ZoomPercent("2147483647"), 2147483647);
    EXPECT_EQ(ZoomPercent("-2147483648"), -2147483647 - 1);
    // Out of the 32-bit range is not an integer.
    EXPECT_EQ(ZoomPercent("2147483648"), 100);
    EXPECT_EQ(ZoomPercent("99999999999999999999"), 100);
}

TEST(ViewMath, ZoomedSizeRoundsHalvesToEvenAtLeastOne)
{
    EXPECT_EQ(ZoomedSize(QSize(640, 427), "abc"), QSize(640, 427));
    EXPECT_EQ(ZoomedSize(QSize(640, 427), "-50"), QSize(320, 214));  // 213.5 -> 214
    EXPECT_EQ(ZoomedSize(QSize(451, 300), "50"), QSize(226, 150));   // 225.5 -> 226
    EXPECT_EQ(ZoomedSize(QSize(5, 3), "50"), QSize(2, 2));           // 2.5 -> 2, 1.5 -> 2
    EXPECT_EQ(ZoomedSize(QSize(1, 1), "10"), QSize(1, 1));
    EXPECT_EQ(ZoomedSize(QSize(1, 1), "0"), QSize(1, 1));
    EXPECT_EQ(ZoomedSize(QSize(0, 0), "100"), QSize(1, 1));
    EXPECT_EQ(ZoomedSize(QSize(4000, 3000), "50000"), QSize(2000000, 1500000));
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

TEST(ViewMath, HugeZoomIsHeldAtTheLargestControl)
{
    EXPECT_EQ(ZoomedSize(QSize(65535, 0), "2147483647"), QSize(kMaxControlSide, 1));
    EXPECT_EQ(ZoomedSize(QSize(2, 1), "1000000"), QSize(20000, 10000));
    EXPECT_EQ(ZoomedSize(QSize(65535, 65535), "-2147483648"), QSize(kMaxControlSide, kMaxControlSide));
}

TEST(ViewMath, ZoomInDoublesFromOneAndStopsAt50000)
{
    EXPECT_EQ(ZoomInText("0"), "1");
    EXPECT_EQ(ZoomInText("1"), "2");
    EXPECT_EQ(ZoomInText("100"), "200");
    EXPECT_EQ(ZoomInText("-300"), "600");
    EXPECT_EQ(ZoomInText("abc"), "100");  // 50 doubled
    EXPECT_EQ(ZoomInText("25000"), "50000");
    EXPECT_EQ(ZoomInText("30000"), "50000");
    EXPECT_EQ(ZoomInText("50000"), "50000");
    EXPECT_EQ(ZoomInText("2147483647"), "50000");
    EXPECT_EQ(ZoomInText("-2147483648"), "50000");
}

TEST(ViewMath, ZoomOutHalvesAndKeepsOne)
{
    EXPECT_EQ(ZoomOutText("100"), QString("50"));
    EXPECT_EQ(ZoomOutText("75"), QString("37"));
    EXPECT_EQ(ZoomOutText("-9"), QString("4"));
    EXPECT_EQ(ZoomOutText("abc"), QString("25"));
    EXPECT_EQ(ZoomOutText("2"), QString("1"));
    EXPECT_EQ(ZoomOutText("1"), std::nullopt);
    EXPECT_EQ(ZoomOutText("0"), std::nullopt);
    EXPECT_EQ(ZoomOutText("-1"), std::nullopt);
    EXPECT_EQ(ZoomOutText("-2147483648"), QString("1073741824"));
}

TEST(ViewMath, DragOfAPictureSmallerThanTheWindowStaysAtTheOrigin)
{
    const QSize client(500, 400);
    const QRect picture(0, 0, 100, 80);
    for (const QPoint delta : {QPoint(50, 30), QPoint(-50, -30), QPoint(-400, 250), QPoint(0, 0)})
        EXPECT_EQ(ClampDrag(delta, picture, client), QPoint(0, 0)) << delta.x() << "," << delta.y();
}

TEST(ViewMath, DragKeepsTheWindowCovered)
{
    const QSize client(500, 400);
    // At the origin: cannot move right or down, can move left/up until the
    // far edges meet the window's edges.
    const QRect atOrigin(0, 0, 1000, 800);
    EXPECT_EQ(ClampDrag(QPoint(30, 20), atOrigin, client), QPoint(0, 0));
    EXPECT_EQ(ClampDrag(QPoint(-30, -20), atOrigin, client), QPoint(-30, -20));
    EXPECT_EQ(ClampDrag(QPoint(-700, -900), atOrigin, client), QPoint(-500, -400));
    EXPECT_EQ(ClampDrag(QPoint(-500, -400), atOrigin, client), QPoint(-500, -400));

    // Scrolled to the middle: back to the origin at most, on to the far
    // edge at most.
    const QRect scrolled(-200, -100, 1000, 800);
    EXPECT_EQ(ClampDrag(QPoint(300, 300), scrolled, client), QPoint(200, 100));
    EXPECT_EQ(ClampDrag(QPoint(150, 60), scrolled, client), QPoint(150, 60));
    EXPECT_EQ(ClampDrag(QPoint(-900, -900), scrolled, client), QPoint(-300, -300));

    // Wider than the window but not as tall: horizontal scroll only.
    const QRect wide(-100, 0, 900, 300);
    EXPECT_EQ(ClampDrag(QPoint(-50, -40), wide, client), QPoint(-50, 0));
    EXPECT_EQ(ClampDrag(QPoint(-500, 40), wide, client), QPoint(-300, 0));
}

TEST(ViewMath, DragOfTheLargestControlDoesNotOverflow)
{
    const QRect huge(-(kMaxControlSide - 500), 0, kMaxControlSide, kMaxControlSide);
    EXPECT_EQ(ClampDrag(QPoint(-2000000000, 0), huge, QSize(500, 400)), QPoint(0, 0));
    EXPECT_EQ(ClampDrag(QPoint(2000000000, 0), huge, QSize(500, 400)), QPoint(kMaxControlSide - 500, 0));
}
