// Sensor bus wire format: commands, ID text, temperature decoding, and the
// classification of one delivery by the receive dispatcher's four rules.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <utility>

namespace busprotocol {

// Commands, sent as their ASCII bytes without terminator.
inline constexpr const char kHandshakeCommand[] = "AaaA";  // 41 61 61 41
inline constexpr const char kReadCommand[] = "BA";         // 42 41
inline constexpr const char kSearchCommand[] = "AA";       // 41 41

inline constexpr int kHandshakeReplyLength = 4;
inline constexpr int kSearchReplyLength = 3;
inline constexpr int kReadingLength = 5;

// Upper-case hexadecimal, two digits per byte, in the order given: 0A 1B 2C -> "0A1B2C".
QString BytesToHex(const QByteArray& bytes);

// raw = high*256 + low in 1/16 degC; negative when high AND F8 != 0 (then m = 65536 - raw);
// integer part limited to 7 bits; result between -127.9375 and +127.9375.
double DecodeTemperature(uint8_t high, uint8_t low);

// Inverse used by the simulator: the value is rounded to the nearest 1/16 and clamped to
// +-127.9375; DecodeTemperature of the result gives the rounded value back exactly.
std::pair<uint8_t, uint8_t> EncodeTemperature(double celsius);

// Shortest decimal text with up to 15 significant digits, no trailing zeros, no separator for
// whole numbers, the user's locale's decimal separator (QLocale()). Negative zero gives "0".
QString TemperatureText(double celsius);
// Same with an explicit decimal separator (tests).
QString TemperatureText(double celsius, QChar decimalPoint);

enum class DeliveryKind { Handshake, SearchReply, Reading, Dropped };

// The receive dispatcher's rules in order: 4 bytes starting 41 61 61 -> Handshake;
// register window showing and 3 bytes -> SearchReply; 5 bytes -> Reading; else Dropped.
DeliveryKind ClassifyDelivery(const QByteArray& delivery, bool registerWindowShowing);

}  // namespace busprotocol
