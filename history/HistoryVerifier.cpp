#include "HistoryVerifier.h"

#include <QDateTime>
#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "DayDigest.h"
#include "HistoryError.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

namespace history {

namespace {

struct Seal {
    qint64 day = 0;
    qint64 start = 0;
    qint64 end = 0;
    qint64 count = 0;
    QByteArray digest;
};

QString DayText(qint64 day) {
    return QStringLiteral("%1-%2-%3")
        .arg(day / 10000, 4, 10, QLatin1Char('0'))
        .arg(day / 100 % 100, 2, 10, QLatin1Char('0'))
        .arg(day % 100, 2, 10, QLatin1Char('0'));
}

QString TimeText(qint64 time) {
    return QDateTime::fromSecsSinceEpoch(time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

HistoryVerifier::Result HistoryVerifier::Verify(const QString& path) {
    Result result;
    try {
        SqliteConnection db;
        db.Open(path, SqliteConnection::Mode::ReadOnly);
        db.QueryInt("PRAGMA user_version");
        result.opened = true;

        QByteArray previous(32, '\0');
        qint64 from = 0;  // where the chain of the days kept starts
        {
            SqliteStatement anchor(db, "SELECT until, digest FROM anchor WHERE id = 1");
            if (anchor.Step()) {
                from = anchor.Int(0);
                previous = anchor.Blob(1);
            }
        }
        std::vector<Seal> seals;
        {
            SqliteStatement st(db,
                               "SELECT day, start, end, count, digest FROM seal ORDER BY start");
            while (st.Step())
                seals.push_back({st.Int(0), st.Int(1), st.Int(2), st.Int(3), st.Blob(4)});
        }
        std::map<qint64, SensorIdentity> sensors;
        {
            SqliteStatement st(db, "SELECT id, code, codeid, fix FROM sensor");
            while (st.Step()) sensors[st.Int(0)] = {st.Int(0), st.Int(1), st.Text(2), st.Text(3)};
        }
        result.daysChecked = static_cast<int>(seals.size());
        if (seals.empty()) return result;

        std::vector<std::unique_ptr<DayDigest>> days;
        days.reserve(seals.size());
        for (size_t i = 0; i < seals.size(); ++i) days.push_back(std::make_unique<DayDigest>());
        std::vector<qint64> starts;
        for (const Seal& s : seals) starts.push_back(s.start);

        const qint64 sealedFrom = from != 0 ? from : seals.front().start;
        const qint64 sealedUntil = seals.back().end;
        qint64 before = 0;  // readings older than the first sealed day
        qint64 firstBefore = 0;
        qint64 unknownSensor = 0;  // readings of a sensor the file does not name

        SqliteStatement rows(db, "SELECT sensor, time, temp FROM sample ORDER BY sensor, time, n");
        while (rows.Step()) {
            ++result.readings;
            const qint64 sensor = rows.Int(0);
            const qint64 time = rows.Int(1);
            if (time >= sealedUntil) continue;  // a day still open
            if (time < sealedFrom) {
                if (from != 0) continue;  // past keeping, being removed
                if (before++ == 0 || time < firstBefore) firstBefore = time;
                continue;
            }
            const auto it = std::upper_bound(starts.begin(), starts.end(), time);
            if (it == starts.begin()) continue;
            const size_t index = static_cast<size_t>(it - starts.begin()) - 1;
            if (time >= seals[index].end) continue;  // in a gap between seals, reported below
            DayDigest& day = *days[index];
            if (day.LastSensor() != sensor) {
                const auto found = sensors.find(sensor);
                if (found == sensors.end()) {
                    ++unknownSensor;
                    SensorIdentity unnamed;
                    unnamed.id = sensor;
                    day.AddSensor(unnamed);
                } else {
                    day.AddSensor(found->second);
                }
            }
            day.AddReading(time, rows.Int(2));
        }

        if (before > 0)
            result.findings << QStringLiteral(
                                   "封存的第一天之前有 %1 条读数（最早 %2），是封存后加入的")
                                   .arg(before)
                                   .arg(TimeText(firstBefore));
        qint64 expectedStart = from != 0 ? from : seals.front().start;
        for (size_t i = 0; i < seals.size(); ++i) {
            const Seal& s = seals[i];
            if (s.start != expectedStart)
                result.findings << QStringLiteral("%1 之前的封存记录缺失或被改动（%2 至 %3）")
                                       .arg(DayText(s.day), TimeText(expectedStart),
                                            TimeText(s.start));
            const qint64 count = days[i]->Count();
            const QByteArray link =
                DayDigest::Link(previous, s.start, s.end, count, days[i]->Result());
            if (link != s.digest) {
                if (count != s.count)
                    result.findings
                        << QStringLiteral("%1 的读数在封存后被改动：封存时 %2 条，现有 %3 条")
                               .arg(DayText(s.day))
                               .arg(s.count)
                               .arg(count);
                else
                    result.findings << QStringLiteral("%1 的读数或封存记录在封存后被改动（%2 条）")
                                           .arg(DayText(s.day))
                                           .arg(count);
            }
            previous = s.digest;
            expectedStart = s.end;
        }
        if (unknownSensor > 0)
            result.findings
                << QStringLiteral("有 %1 条封存读数属于不存在的传感器").arg(unknownSensor);
    } catch (const HistoryError& e) {
        result.error = e.Message();
    }
    return result;
}

}  // namespace history
