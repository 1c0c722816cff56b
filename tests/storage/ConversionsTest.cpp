#include <gtest/gtest.h>

#include "Conversions.h"
#include "StationError.h"

TEST(Conversions, StrToIntAcceptsSignedDecimalsOnly) {
    EXPECT_EQ(StrToInt("25"), 25);
    EXPECT_EQ(StrToInt("-3"), -3);
    EXPECT_EQ(StrToInt("  60"), 60);
    EXPECT_EQ(StrToInt("0012"), 12);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    for (const char* bad : {"", " ", "12a", "1.5", "-", "60 ", "2147483648", "0x10"}) {
        try {
            StrToInt(QString::fromLatin1(bad));
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const ConvertError& e) {
            EXPECT_EQ(e.Message(),
                      QStringLiteral("'%1' is not a valid integer value").arg(QLatin1String(bad)));
        }
    }
}

TEST(Conversions, StrToFloatReadsDecimalsAndRefusesTheRest) {
    EXPECT_DOUBLE_EQ(StrToFloat("-10"), -10.0);
    EXPECT_DOUBLE_EQ(StrToFloat("0.0625"), 0.0625);
    EXPECT_THROW(StrToFloat("1..2"), ConvertError);
    EXPECT_THROW(StrToFloat("-"), ConvertError);
}

// A thousands separator is no part of a number here: "1,000" must not quietly become 1000.
TEST(Conversions, StrToFloatRefusesGroupedDigits) {
    for (const char* bad : {"1,000", "1,000.5", "-2,500", "12,5", ",5"}) {
        try {
            StrToFloat(QString::fromLatin1(bad));
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const ConvertError& e) {
            EXPECT_EQ(
                e.Message(),
                QStringLiteral("'%1' is not a valid floating point value").arg(QLatin1String(bad)));
        }
    }
    EXPECT_DOUBLE_EQ(StrToFloat("1000"), 1000.0);
    EXPECT_DOUBLE_EQ(StrToFloat(" 1000.5 "), 1000.5);
}
