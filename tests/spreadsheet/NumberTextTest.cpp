// Numbers read from cells turned into the texts the grids show.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "NumberText.h"
#include "QtPrinters.h"

TEST(NumberText, TemperaturesAndLimitsReadAsTyped) {
    EXPECT_EQ(NumberToText(12.0), "12");
    EXPECT_EQ(NumberToText(25.0625), "25.0625");
    EXPECT_EQ(NumberToText(-10.5), "-10.5");
    EXPECT_EQ(NumberToText(0.0625), "0.0625");
    EXPECT_EQ(NumberToText(-55.0), "-55");
    EXPECT_EQ(NumberToText(125.0), "125");
    EXPECT_EQ(NumberToText(123456.0), "123456");
    EXPECT_EQ(NumberToText(20071130.0), "20071130");
    EXPECT_EQ(NumberToText(0.0), "0");
    EXPECT_EQ(NumberToText(-0.0), "0");
}

TEST(NumberText, FifteenSignificantDigitsAtMost) {
    EXPECT_EQ(NumberToText(0.1 + 0.2), "0.3");
    EXPECT_EQ(NumberToText(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(NumberToText(123456789012345.0), "123456789012345");
    EXPECT_EQ(NumberToText(1234567890123456.0), "1234567890123460");
    EXPECT_EQ(NumberToText(99.99999999999999), "100");  // rounding carries into a new digit
}

TEST(NumberText, VeryLargeAndSmallUseAnExponent) {
    EXPECT_EQ(NumberToText(1e21), "1E+21");
    EXPECT_EQ(NumberToText(1e20), "100000000000000000000");
    EXPECT_EQ(NumberToText(0.000001), "0.000001");
    EXPECT_EQ(NumberToText(1.5e-7), "1.5E-07");
    EXPECT_EQ(NumberToText(-2.5e300), "-2.5E+300");
    EXPECT_EQ(NumberToText(std::numeric_limits<double>::denorm_min()), "5E-324");
}

TEST(NumberText, NonFiniteValuesHaveAText) {
    EXPECT_EQ(NumberToText(std::nan("")), "NaN");
    EXPECT_EQ(NumberToText(INFINITY), "Infinity");
    EXPECT_EQ(NumberToText(-INFINITY), "-Infinity");
}
