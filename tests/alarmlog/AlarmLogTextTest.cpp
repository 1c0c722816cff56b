#include <gtest/gtest.h>

#include "AlarmLogText.h"
#include "StationError.h"

using namespace alarmlog;

TEST(AlarmLogText, DatesReadAsYearMonthDay) {
    EXPECT_EQ(DateText(20071130), "2007年11月30日");
    EXPECT_EQ(DateText(20240305), "2024年03月05日");
}

TEST(AlarmLogText, TimesGetTheirLeadingZerosBack) {
    EXPECT_EQ(TimeText(93015), "09:30:15");
    EXPECT_EQ(TimeText(510), "00:05:10");
    EXPECT_EQ(TimeText(7), "00:00:07");
    EXPECT_EQ(TimeText(0), "00:00:00");
    EXPECT_EQ(TimeText(235959), "23:59:59");
}

TEST(AlarmLogText, CellDigitsGiveBackTheStoredNumbers) {
    for (int t : {0, 7, 510, 93015, 100000, 235959, 1234567})
        EXPECT_EQ(DigitsOf(TimeText(t)).toInt(), t) << t;
    for (int d : {20071130, 20240305, 19991231}) EXPECT_EQ(DigitsOf(DateText(d)).toInt(), d) << d;
    EXPECT_EQ(DigitsOf(QString()), QString());
    EXPECT_EQ(DigitsOf("  "), QString());
}

TEST(AlarmLogText, DateEditTextTakesTheDigitPositionsOnly) {
    EXPECT_EQ(DateEditNumber("2007-11-30"), 20071130);
    EXPECT_EQ(DateEditNumber("2007/11/01"), 20071101);  // separators are not looked at
    EXPECT_EQ(DateEditNumber("2007-13-45"), 20071345);  // no real date, still a number
}

TEST(AlarmLogText, NonDigitDateEditTextIsAConversionError) {
    try {
        DateEditNumber("2007-1a-30");
        FAIL() << "no error";
    } catch (const ConvertError& e) {
        EXPECT_EQ(e.Message(), "'20071a30' is not a valid integer value");
    }
    EXPECT_THROW(DateEditNumber(""), ConvertError);
    EXPECT_THROW(DateEditNumber("    -  -  "), ConvertError);
}
