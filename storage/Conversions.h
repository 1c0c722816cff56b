// Number conversions with the station's error texts. They throw ConvertError when the text is
// not a number, so that a bad value ends the handler with a visible message.
#pragma once

#include <QString>
#include <cstdint>

// Decimal integer, optional blanks before it and an optional sign; must fit 32 bits.
// Throws ConvertError("'<text>' is not a valid integer value").
int32_t StrToInt(const QString& text);

// Floating-point number with '.' or the locale's decimal separator, without digit grouping.
// Throws ConvertError("'<text>' is not a valid floating point value").
double StrToFloat(const QString& text);

// The text without blanks and control characters (code points up to 32) at either end, as the
// station compares stored IDs and stamps.
QString TrimControl(const QString& text);
