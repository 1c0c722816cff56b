#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

// Splits a to_chars scientific result "-d.ddde+XX" into sign, digits and exponent.
void SplitScientific(const std::string& text, bool& negative, std::string& digits, int& exponent) {
    std::size_t i = 0;
    negative = text[0] == '-';
    if (negative) i = 1;
    const std::size_t e = text.find('e');
    digits.clear();
    for (std::size_t k = i; k < e; ++k) {
        if (text[k] != '.') digits += text[k];
    }
    exponent = std::atoi(text.c_str() + e + 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
}

std::string Scientific(double value, int precision) {
    char buf[64];
    const auto result =
        precision < 0
            ? std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific)
            : std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, precision);
    return std::string(buf, result.ptr);
}

}  // namespace

QString NumberToText(double value) {
    if (std::isnan(value)) return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    if (value == 0) return QStringLiteral("0");

    bool negative = false;
    std::string digits;
    int exponent = 0;
    SplitScientific(Scientific(value, -1), negative, digits, exponent);
    if (digits.size() > 15) SplitScientific(Scientific(value, 14), negative, digits, exponent);

    const int count = static_cast<int>(digits.size());
    const int point = exponent + 1;  // digits before the decimal point
    std::string out = negative ? "-" : "";
    if (point > 21 || point < -5) {
        out += digits[0];
        if (count > 1) out += "." + digits.substr(1);
        out += exponent < 0 ? "E-" : "E+";
        const std::string power = std::to_string(std::abs(exponent));
        out += (power.size() < 2 ? "0" : "") + power;
    } else if (point >= count) {
        out += digits + std::string(point - count, '0');
    } else if (point > 0) {
        out += digits.substr(0, point) + "." + digits.substr(point);
    } else {
        out += "0." + std::string(-point, '0') + digits;
    }
    return QString::fromStdString(out);
}
