#include "RegisteredSensors.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "StatementCatalogue.h"

bool RegisteredSensors::Load(const QString& path, QVector<SensorInfo>* sensors, QString* error) {
    static QAtomicInt serial;
    const QString name = QStringLiteral("notify_register_%1").arg(serial.fetchAndAddRelaxed(1));
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        if (!db.open()) {
            if (error) *error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            if (!q.exec(catalogue::Sql(catalogue::MonitoredSensors))) {
                if (error) *error = q.lastError().text();
            } else {
                sensors->clear();
                while (q.next()) {
                    SensorInfo s;
                    s.code = q.value(QStringLiteral("code")).toInt();
                    s.codeid = q.value(QStringLiteral("codeid")).toString().trimmed();
                    s.fix = q.value(QStringLiteral("fix")).toString().trimmed();
                    s.high = q.value(QStringLiteral("almhigh")).toDouble();
                    s.low = q.value(QStringLiteral("almlow")).toDouble();
                    sensors->push_back(s);
                }
                ok = true;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}
