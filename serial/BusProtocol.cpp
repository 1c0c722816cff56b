#include "BusProtocol.h"

#include <QLocale>
#include <cmath>

namespace busprotocol {

QString BytesToHex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex().toUpper());
}

double DecodeTemperature(uint8_t high, uint8_t low) {
    const unsigned raw = unsigned(high) * 256u + unsigned(low);
    if ((high & 0xF8) != 0) {
        const unsigned m = 65536u - raw;
        return -(double((m >> 4) & 0x7F) + double(m & 0x0F) * 0.0625);
    }
    return double((raw >> 4) & 0x7F) + double(raw & 0x0F) * 0.0625;
}

std::pair<uint8_t, uint8_t> EncodeTemperature(double celsius) {
    if (std::isnan(celsius)) celsius = 0;
    long sixteenths = std::lround(celsius * 16.0);
    if (sixteenths > 2047) sixteenths = 2047;
    if (sixteenths < -2047) sixteenths = -2047;
    const unsigned raw = sixteenths >= 0 ? unsigned(sixteenths) : 65536u - unsigned(-sixteenths);
    return {uint8_t(raw >> 8), uint8_t(raw & 0xFF)};
}

QString TemperatureText(double celsius, QChar decimalPoint) {
    if (celsius == 0) celsius = 0;  // -0 -> 0
    QString text = QString::number(celsius, 'g', 15);
    if (decimalPoint != QLatin1Char('.')) text.replace(QLatin1Char('.'), decimalPoint);
    return text;
}

QString TemperatureText(double celsius) {
    const QString dp = QLocale().decimalPoint();
    return TemperatureText(celsius, dp.isEmpty() ? QLatin1Char('.') : dp.at(0));
}

DeliveryKind ClassifyDelivery(const QByteArray& s, bool registerWindowShowing) {
    if (s.size() == kHandshakeReplyLength && s.startsWith("Aaa")) return DeliveryKind::Handshake;
    if (registerWindowShowing && s.size() == kSearchReplyLength) return DeliveryKind::SearchReply;
    if (s.size() == kReadingLength) return DeliveryKind::Reading;
    return DeliveryKind::Dropped;
}

}  // namespace busprotocol
