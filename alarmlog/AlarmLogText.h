// Texts of the alarm log grid and the numbers read back from them: a stored date 20071130 is
// shown as 2007年11月30日, a stored time 93005 as 09:30:05; deleting a listed record takes the
// digits of those cells again, so each text gives back exactly the number it was made from.
#pragma once

#include <QString>

namespace alarmlog {

// Date cell of a stored YYYYMMDD: year, "年", month, "月", day, "日".
QString DateText(int dates);

// Time cell of a stored HHMMSS (leading zeros lost in storage): "HH:MM:SS".
QString TimeText(int times);

// The digits of text in their order, everything else dropped ("2007年11月30日" -> "20071130").
QString DigitsOf(const QString& text);

// The day a date edit's "YYYY-MM-DD" text names, as YYYYMMDD: characters 1-4, 6-7 and 9-10,
// whatever characters 5 and 8 are. Throws ConvertError when the characters taken are not a
// number; digits that form no real date are returned as they are.
int DateEditNumber(const QString& editText);

}  // namespace alarmlog
