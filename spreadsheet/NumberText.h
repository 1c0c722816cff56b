// Text of a number read from a workbook cell, as the grids show it.
#pragma once

#include <QString>

// The shortest decimal text that reads back as value, with at most 15 significant digits (the
// precision spreadsheets show; more digits are rounded away, so 0.1 + 0.2 gives "0.3"). Plain
// notation with '.' for magnitudes from 1e-6 up to 1e21 ("12", "25.0625", "-0.5",
// "0.000001"), otherwise mantissa and an exponent of at least two digits ("1E+21", "1.5E-07").
// Zero, including -0, is "0"; infinities and NaN give "Infinity", "-Infinity" and "NaN".
QString NumberToText(double value);
