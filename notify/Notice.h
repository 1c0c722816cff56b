// One thing that happened at the station, as it is told to the world outside: a JSON object
// for machines (the broker's event topic, web hooks in the plain format) and a Chinese sentence
// for people (messengers' group robots, e-mail).
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include "StationEvents.h"

struct Notice {
    enum class Kind {
        AlarmStarted,
        AlarmRepeated,  // an alarm still active, told again
        AlarmEnded,
        SensorSilent,
        SensorBack,
        BusLost,
        BusRestored,
        ScreenRefreshed,
        Test,
    };

    Kind kind = Kind::Test;
    QDateTime time;
    bool hasSensor = false;
    SensorInfo sensor;
    bool hasReading = false;
    double celsius = 0;
    QString text;  // the temperature as shown
    ReadingState state = ReadingState::Normal;

    static Notice FromReading(Kind kind, const ReadingEvent& reading);
    static Notice FromSensor(Kind kind, const SensorInfo& sensor, const QDateTime& time);
    static Notice Plain(Kind kind, const QDateTime& time);

    // "alarm", "alarm_repeat", "alarm_end", "sensor_silent", "sensor_back", "bus_lost",
    // "bus_restored", "screen_refresh", "test".
    static QString KindName(Kind kind);
    // The event as JSON: event, time, station, the sensor's number, id, location, limits, and the
    // reading where there is one, and the Chinese text.
    QJsonObject Json(const QString& station) const;
    // The Chinese sentence naming the station, the sensor's number and location, the value and
    // the limit it crossed.
    QString Sentence(const QString& station) const;
    // A short subject line for e-mail.
    QString Subject(const QString& station) const;
};

// Time with its offset from UTC, e.g. "2025-03-01T14:05:09+08:00".
QString IsoTime(const QDateTime& time);
// "normal", "high", "low", "recorded".
QString StateName(ReadingState state);
// A limit of 0 means "none" and is null in JSON.
QJsonValue LimitValue(double limit);
