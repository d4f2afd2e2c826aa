#include "engine/Numbers.h"

#include <gtest/gtest.h>

#include <cmath>

using kadrimex::ReadPlainReal;

TEST(ReadPlainReal, AcceptsPlainDecimalNotationAsExact80BitValues)
{
    const struct {
        const char* text;
        long double value;
    } good[] = {{"0.1", 0.1L}, {".5", 0.5L}, {"5.", 5.0L}, {"-.5", -0.5L}, {"1E+3", 1000.0L}, {"+.25", 0.25L},
                {"00012.5000", 12.5L}, {"2.55", 2.55L}, {"1e308", 1e308L}, {"1e-4000", 1e-4000L}};
    for (const auto& g : good) {
        long double value = -7;
        ASSERT_TRUE(ReadPlainReal(g.text, value)) << g.text;
        EXPECT_EQ(value, g.value) << g.text;  // the nearest 80-bit real, not a double's
    }
    long double zero = 1;
    ASSERT_TRUE(ReadPlainReal("-0.0e0", zero));
    EXPECT_TRUE(zero == 0 && std::signbit(zero));
}

TEST(ReadPlainReal, RefusesEverythingElseAndLeavesTheValue)
{
    for (const char* text : {"", " 2", "2 ", "1e", "1e+", ".", "-", "+", "1.2.3", "1e3.5", "--1", "inf", "nan",
                             "0x10", "1,5", "1e5000", "abc", "1e999", "-1e999", "1e309", "-inf", "NaN"}) {
        long double value = 42;
        EXPECT_FALSE(ReadPlainReal(text, value)) << text;
        EXPECT_EQ(value, 42) << text;
    }
}
