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
