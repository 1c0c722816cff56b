// Sensor bus protocol: commands, ID text, temperature decoding and the dispatcher's rules.
#include <gtest/gtest.h>

#include <QLocale>

#include "BusProtocol.h"

using namespace busprotocol;

TEST(BusProtocol, CommandBytes) {
    EXPECT_EQ(QByteArray(kHandshakeCommand), QByteArray::fromHex("41616141"));
    EXPECT_EQ(QByteArray(kReadCommand), QByteArray::fromHex("4241"));
    EXPECT_EQ(QByteArray(kSearchCommand), QByteArray::fromHex("4141"));
}

TEST(BusProtocol, BytesToHex) {
    EXPECT_EQ(BytesToHex(QByteArray::fromHex("0a1b2c")), QStringLiteral("0A1B2C"));
    EXPECT_EQ(BytesToHex(QByteArray::fromHex("ff00")), QStringLiteral("FF00"));
    EXPECT_EQ(BytesToHex(QByteArray()), QString());
    EXPECT_EQ(BytesToHex(QByteArray::fromHex("416161")), QStringLiteral("416161"));
}

struct TempRow {
    uint8_t high, low;
    double value;
};

TEST(BusProtocol, TemperatureTable) {
    const TempRow rows[] = {{0x00, 0x00, 0},   {0x00, 0x08, 0.5},  {0x01, 0x91, 25.0625},
                            {0x07, 0xD0, 125}, {0xFF, 0xF8, -0.5}, {0xFE, 0x00, -32},
                            {0xFC, 0x90, -55}};
    for (const TempRow& r : rows) {
        EXPECT_EQ(DecodeTemperature(r.high, r.low), r.value) << int(r.high) << " " << int(r.low);
        const auto enc = EncodeTemperature(r.value);
        EXPECT_EQ(enc.first, r.high);
        EXPECT_EQ(enc.second, r.low);
    }
}

TEST(BusProtocol, TemperatureLimits) {
    EXPECT_EQ(DecodeTemperature(0x07, 0xFF), 127.9375);
    EXPECT_EQ(DecodeTemperature(0xF8, 0x01), -127.9375);
    auto hi = EncodeTemperature(127.9375);
    EXPECT_EQ(DecodeTemperature(hi.first, hi.second), 127.9375);
    auto lo = EncodeTemperature(-127.9375);
    EXPECT_EQ(DecodeTemperature(lo.first, lo.second), -127.9375);
    // Clamped beyond the range.
    auto over = EncodeTemperature(500);
    EXPECT_EQ(DecodeTemperature(over.first, over.second), 127.9375);
    auto under = EncodeTemperature(-500);
    EXPECT_EQ(DecodeTemperature(under.first, under.second), -127.9375);
    // The 7-bit integer part: bytes whose high byte has bits 3..7 mixed still follow the decoding
    // rule.
    EXPECT_EQ(DecodeTemperature(0xF8, 0x00), 0.0);  // m = 0x800: integer part masked away
}

TEST(BusProtocol, EncodeRoundTripsEverySixteenth) {
    for (int k = -2047; k <= 2047; ++k) {
        const double t = k / 16.0;
        const auto e = EncodeTemperature(t);
        ASSERT_EQ(DecodeTemperature(e.first, e.second), t) << k;
    }
    // Values between steps round to the nearest sixteenth.
    const auto e = EncodeTemperature(25.03);
    EXPECT_EQ(DecodeTemperature(e.first, e.second), 25.0);
}

TEST(BusProtocol, TemperatureText) {
    EXPECT_EQ(TemperatureText(25.0625, QLatin1Char('.')), QStringLiteral("25.0625"));
    EXPECT_EQ(TemperatureText(26, QLatin1Char('.')), QStringLiteral("26"));
    EXPECT_EQ(TemperatureText(-0.5, QLatin1Char('.')), QStringLiteral("-0.5"));
    EXPECT_EQ(TemperatureText(0, QLatin1Char('.')), QStringLiteral("0"));
    EXPECT_EQ(TemperatureText(-0.0, QLatin1Char('.')), QStringLiteral("0"));
    EXPECT_EQ(TemperatureText(-127.9375, QLatin1Char('.')), QStringLiteral("-127.9375"));
    EXPECT_EQ(TemperatureText(0.1 + 0.2, QLatin1Char('.')), QStringLiteral("0.3"));  // 15 digits
    EXPECT_EQ(TemperatureText(0.1, QLatin1Char('.')), QStringLiteral("0.1"));
    EXPECT_EQ(TemperatureText(1234.5, QLatin1Char('.')), QStringLiteral("1234.5"));  // no grouping
    EXPECT_EQ(TemperatureText(25.0625, QLatin1Char(',')), QStringLiteral("25,0625"));
    // The user's locale.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(TemperatureText(-0.5), QStringLiteral("-0,5"));
    EXPECT_EQ(TemperatureText(26), QStringLiteral("26"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(TemperatureText(25.0625), QStringLiteral("25.0625"));
    QLocale::setDefault(saved);
}

TEST(BusProtocol, DispatcherRules) {
    const auto h = [](const char* hex) { return QByteArray::fromHex(hex); };
    EXPECT_EQ(ClassifyDelivery(h("41616131"), false), DeliveryKind::Handshake);
    EXPECT_EQ(ClassifyDelivery(h("41616131"), true), DeliveryKind::Handshake);
    EXPECT_EQ(h("41616131").at(3), '1');  // version character
    EXPECT_EQ(ClassifyDelivery(h("41616231"), false), DeliveryKind::Dropped);
    EXPECT_EQ(ClassifyDelivery(h("41416131"), false), DeliveryKind::Dropped);  // case counts: "AAa"
    EXPECT_EQ(ClassifyDelivery(h("0A1B2C0191"), false), DeliveryKind::Reading);
    EXPECT_EQ(BytesToHex(h("0A1B2C0191").left(3)), QStringLiteral("0A1B2C"));
    EXPECT_EQ(DecodeTemperature(0x01, 0x91), 25.0625);
    EXPECT_EQ(ClassifyDelivery(h("4161610191"), false), DeliveryKind::Reading);  // sensor 416161
    EXPECT_EQ(BytesToHex(h("4161610191").left(3)), QStringLiteral("416161"));
    EXPECT_EQ(ClassifyDelivery(h("0A1B2C01910A1B2D0192"), false),
              DeliveryKind::Dropped);  // 10 bytes
    EXPECT_EQ(ClassifyDelivery(h("0A1B2C01910A1B2D0192"), true), DeliveryKind::Dropped);
    EXPECT_EQ(ClassifyDelivery(h("0A1B2C"), true), DeliveryKind::SearchReply);
    EXPECT_EQ(ClassifyDelivery(h("0A1B2C"), false), DeliveryKind::Dropped);
    EXPECT_EQ(ClassifyDelivery(h("416161"), true), DeliveryKind::SearchReply);
    EXPECT_EQ(ClassifyDelivery(QByteArray(), true), DeliveryKind::Dropped);
    EXPECT_EQ(ClassifyDelivery(h("01"), true), DeliveryKind::Dropped);
    EXPECT_EQ(ClassifyDelivery(h("0A1B2C01"), true), DeliveryKind::Dropped);  // 4 bytes, not "Aaa"
}
