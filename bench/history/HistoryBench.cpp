// The history file at scale: a generated history of 256 sensors read once a minute, written in
// the recorder's order (time first, all sensors of a minute together), then sealed.
//
//   history_bench [readings] [folder] [sensors]
//     (default 10,000,000 readings of 256 sensors in a temporary folder; a folder given keeps the
//     file, e.g. for history_window_bench)
//
// Prints the file's bytes per reading, the time to write and seal it, the time to read one
// sensor's 30 days and one sensor's year of readings, and the time of a full verify.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <random>
#include <vector>

#include "HistoryStore.h"
#include "HistoryVerifier.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

namespace {

double Seconds(const QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e9;
}

// Reads one sensor's readings between two times, as the chart will.
qint64 ReadRange(const QString& path, qint64 sensor, qint64 from, qint64 to, double* seconds,
                 double* mean) {
    history::SqliteConnection db;
    db.Open(path, history::SqliteConnection::Mode::ReadOnly);
    QElapsedTimer t;
    t.start();
    history::SqliteStatement st(
        db, "SELECT time, temp FROM sample WHERE sensor = ?1 AND time >= ?2 AND time < ?3");
    st.Bind(1, sensor).Bind(2, from).Bind(3, to);
    qint64 n = 0;
    qint64 sum = 0;
    while (st.Step()) {
        ++n;
        sum += st.Int(1);
    }
    *seconds = Seconds(t);
    *mean = n > 0 ? sum / 16.0 / n : 0;
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const qint64 readings = argc > 1 ? QString(argv[1]).toLongLong() : 10'000'000;
    QTemporaryDir tmp;
    const QString folder = argc > 2 ? QString(argv[2]) : tmp.path();
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/history.db");
    QFile::remove(path);

    const int kSensors = argc > 3 ? QString(argv[3]).toInt() : 256;
    if (kSensors < 1) return 2;
    const qint64 minutes = (readings + kSensors - 1) / kSensors;
    const qint64 end = QDate::currentDate().startOfDay().toSecsSinceEpoch();
    const qint64 start = end - minutes * 60;

    QElapsedTimer clock;
    clock.start();
    history::HistoryStore store;
    store.Open(path);
    std::vector<qint64> ids;
    for (int s = 0; s < kSensors; ++s)
        ids.push_back(store.SensorId(s + 1, QStringLiteral("%1").arg(0x0A0000 + s, 6, 16).toUpper(),
                                     QStringLiteral("位置%1").arg(s + 1), 30, -10));
    std::mt19937 random(16);
    std::vector<qint64> temp(kSensors, 320);
    std::vector<history::HistoryStore::Sample> batch;
    qint64 written = 0;
    for (qint64 m = 0; m < minutes && written < readings; ++m) {
        const qint64 t = start + m * 60 + 7;
        for (int s = 0; s < kSensors && written < readings; ++s, ++written) {
            temp[s] += static_cast<int>(random() % 5) - 2;  // slow drift in 1/16 °C steps
            if (temp[s] < -800) temp[s] = -800;
            if (temp[s] > 1600) temp[s] = 1600;
            batch.push_back({ids[s], t, temp[s]});
        }
        // An hour of readings a transaction; the station itself commits every poll cycle.
        if (m % 60 == 59) {
            store.Write(batch, {});
            batch.clear();
        }
    }
    store.Write(batch, {});
    const double writeSeconds = Seconds(clock);
    clock.restart();
    const int days = store.SealClosedDays(end);
    const double sealSeconds = Seconds(clock);
    store.Close();  // the last connection checkpoints the log into the file

    const qint64 bytes = QFileInfo(path).size();
    out << "readings:           " << written << " (" << kSensors << " sensors, one a minute, "
        << days << " days)\n";
    out << "file:               " << bytes << " bytes, "
        << QString::number(double(bytes) / double(written), 'f', 2) << " bytes/reading\n";
    out << "write:              " << QString::number(writeSeconds, 'f', 1) << " s ("
        << QString::number(written / writeSeconds / 1e6, 'f', 2) << " M readings/s)\n";
    out << "seal all days:      " << QString::number(sealSeconds, 'f', 2) << " s\n";

    double seconds = 0;
    double mean = 0;
    qint64 n =
        ReadRange(path, ids[std::min(100, kSensors - 1)], end - 30 * 86400, end, &seconds, &mean);
    out << "one sensor 30 days: " << n << " readings (mean " << QString::number(mean, 'f', 2)
        << " °C) in " << QString::number(seconds * 1000, 'f', 1) << " ms\n";
    n = ReadRange(path, ids[std::min(100, kSensors - 1)], end - 365 * 86400, end, &seconds, &mean);
    out << "one sensor a year:  " << n << " readings (mean " << QString::number(mean, 'f', 2)
        << " °C) in " << QString::number(seconds * 1000, 'f', 1) << " ms\n";

    clock.restart();
    const auto result = history::HistoryVerifier::Verify(path);
    out << "verify:             " << result.daysChecked << " days, " << result.readings
        << " readings, " << result.findings.size() << " findings in "
        << QString::number(Seconds(clock), 'f', 1) << " s\n";
    return result.findings.isEmpty() && result.error.isEmpty() ? 0 : 1;
}
