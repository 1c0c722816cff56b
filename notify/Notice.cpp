#include "Notice.h"

#include <QJsonValue>

namespace {

QString Number(double v) {
    return QString::number(v, 'g', 10);
}

}  // namespace

QString IsoTime(const QDateTime& time) {
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

QString StateName(ReadingState state) {
    switch (state) {
        case ReadingState::High:
            return QStringLiteral("high");
        case ReadingState::Low:
            return QStringLiteral("low");
        case ReadingState::Recorded:
            return QStringLiteral("recorded");
        case ReadingState::Normal:
            break;
    }
    return QStringLiteral("normal");
}

QJsonValue LimitValue(double limit) {
    return limit == 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(limit);
}

Notice Notice::FromReading(Kind kind, const ReadingEvent& reading) {
    Notice n;
    n.kind = kind;
    n.time = reading.time;
    n.hasSensor = true;
    n.sensor = reading.sensor;
    n.hasReading = true;
    n.celsius = reading.celsius;
    n.text = reading.text.isEmpty() ? Number(reading.celsius) : reading.text;
    n.state = reading.state;
    return n;
}

Notice Notice::FromSensor(Kind kind, const SensorInfo& sensor, const QDateTime& time) {
    Notice n;
    n.kind = kind;
    n.time = time;
    n.hasSensor = true;
    n.sensor = sensor;
    return n;
}

Notice Notice::Plain(Kind kind, const QDateTime& time) {
    Notice n;
    n.kind = kind;
    n.time = time;
    return n;
}

QString Notice::KindName(Kind kind) {
    switch (kind) {
        case Kind::AlarmStarted:
            return QStringLiteral("alarm");
        case Kind::AlarmRepeated:
            return QStringLiteral("alarm_repeat");
        case Kind::AlarmEnded:
            return QStringLiteral("alarm_end");
        case Kind::SensorSilent:
            return QStringLiteral("sensor_silent");
        case Kind::SensorBack:
            return QStringLiteral("sensor_back");
        case Kind::BusLost:
            return QStringLiteral("bus_lost");
        case Kind::BusRestored:
            return QStringLiteral("bus_restored");
        case Kind::ScreenRefreshed:
            return QStringLiteral("screen_refresh");
        case Kind::Test:
            break;
    }
    return QStringLiteral("test");
}

QJsonObject Notice::Json(const QString& station) const {
    QJsonObject o;
    o[QStringLiteral("event")] = KindName(kind);
    o[QStringLiteral("time")] = IsoTime(time);
    o[QStringLiteral("station")] = station;
    if (hasSensor) {
        o[QStringLiteral("number")] = sensor.code;
        o[QStringLiteral("id")] = sensor.codeid;
        o[QStringLiteral("location")] = sensor.fix.trimmed();
        o[QStringLiteral("high")] = LimitValue(sensor.high);
        o[QStringLiteral("low")] = LimitValue(sensor.low);
    }
    if (hasReading) {
        o[QStringLiteral("celsius")] = celsius;
        o[QStringLiteral("state")] = StateName(state);
    }
    o[QStringLiteral("text")] = Sentence(station);
    return o;
}

QString Notice::Sentence(const QString& station) const {
    const QString head = QStringLiteral("【%1】").arg(station);
    const QString who =
        hasSensor ? QStringLiteral("%1号传感器（%2）").arg(sensor.code).arg(sensor.fix.trimmed())
                  : QString();
    const QString at =
        QStringLiteral("，时间 ") + time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QString crossing;
    if (hasReading) {
        if (state == ReadingState::High)
            crossing = QStringLiteral("，超过上限 %1℃").arg(Number(sensor.high));
        else if (state == ReadingState::Low)
            crossing = QStringLiteral("，低于下限 %1℃").arg(Number(sensor.low));
    }
    switch (kind) {
        case Kind::AlarmStarted:
            return head + QStringLiteral("温度报警：") + who +
                   QStringLiteral("温度 %1℃").arg(text) + crossing + at;
        case Kind::AlarmRepeated:
            return head + QStringLiteral("报警仍未处理：") + who +
                   QStringLiteral("温度 %1℃").arg(text) + crossing + at;
        case Kind::AlarmEnded:
            return head + QStringLiteral("报警解除：") + who +
                   QStringLiteral("温度 %1℃，已回到限值内").arg(text) + at;
        case Kind::SensorSilent:
            return head + who + QStringLiteral("无响应") + at;
        case Kind::SensorBack:
            return head + who + QStringLiteral("恢复响应") + at;
        case Kind::BusLost:
            return head + QStringLiteral("传感器总线中断") + at;
        case Kind::BusRestored:
            return head + QStringLiteral("传感器总线恢复") + at;
        case Kind::ScreenRefreshed:
            return head + QStringLiteral("报警已在屏幕上清除") + at;
        case Kind::Test:
            break;
    }
    return head + QStringLiteral("测试消息：远程通知工作正常") + at;
}

QString Notice::Subject(const QString& station) const {
    switch (kind) {
        case Kind::AlarmStarted:
        case Kind::AlarmRepeated:
            return QStringLiteral("【%1】温度报警 %2号传感器").arg(station).arg(sensor.code);
        case Kind::AlarmEnded:
            return QStringLiteral("【%1】报警解除 %2号传感器").arg(station).arg(sensor.code);
        case Kind::SensorSilent:
        case Kind::SensorBack:
            return QStringLiteral("【%1】%2号传感器状态").arg(station).arg(sensor.code);
        case Kind::BusLost:
        case Kind::BusRestored:
            return QStringLiteral("【%1】传感器总线状态").arg(station);
        case Kind::ScreenRefreshed:
            return QStringLiteral("【%1】屏幕刷新").arg(station);
        case Kind::Test:
            break;
    }
    return QStringLiteral("【%1】测试消息").arg(station);
}
