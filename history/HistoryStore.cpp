#include "HistoryStore.h"

#include <QDateTime>
#include <cmath>

#include "HistoryError.h"

namespace history {

namespace {

// 1: one reading per sensor and second. 2: a further reading of a sensor within the same second
// is kept too, numbered from 1 in the order it came.
constexpr int kSchemaVersion = 2;

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS sensor(
  id INTEGER PRIMARY KEY,
  code INTEGER NOT NULL,
  codeid TEXT NOT NULL,
  fix TEXT NOT NULL,
  high REAL NOT NULL DEFAULT 0,
  low REAL NOT NULL DEFAULT 0,
  UNIQUE(code, codeid, fix));
CREATE TABLE IF NOT EXISTS sample(
  sensor INTEGER NOT NULL,
  time INTEGER NOT NULL,
  temp INTEGER NOT NULL,
  n INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(sensor, time, n)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS episode(
  id INTEGER PRIMARY KEY,
  kind INTEGER NOT NULL,
  sensor INTEGER,
  started INTEGER NOT NULL,
  ended INTEGER,
  extreme INTEGER);
CREATE INDEX IF NOT EXISTS episode_started ON episode(started);
CREATE TABLE IF NOT EXISTS seal(
  day INTEGER PRIMARY KEY,
  start INTEGER NOT NULL,
  end INTEGER NOT NULL,
  count INTEGER NOT NULL,
  digest BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS anchor(
  id INTEGER PRIMARY KEY CHECK(id = 1),
  until INTEGER NOT NULL,
  digest BLOB NOT NULL);
CREATE VIEW IF NOT EXISTS readings(time, code, codeid, fix, celsius) AS
  SELECT datetime(s.time, 'unixepoch', 'localtime'), n.code, n.codeid, n.fix, s.temp / 16.0
  FROM sample s JOIN sensor n ON n.id = s.sensor;
CREATE VIEW IF NOT EXISTS episodes(code, fix, kind, started, ended, extreme) AS
  SELECT n.code, n.fix,
         CASE e.kind WHEN 1 THEN '总线中断' WHEN 2 THEN '传感器无响应'
                     WHEN 3 THEN '超上限' WHEN 4 THEN '超下限' END,
         datetime(e.started, 'unixepoch', 'localtime'),
         datetime(e.ended, 'unixepoch', 'localtime'),
         e.extreme / 16.0
  FROM episode e LEFT JOIN sensor n ON n.id = e.sensor;
)sql";

class Transaction {
  public:
    explicit Transaction(SqliteConnection& db) : db_(db) { db_.Exec("BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (!done_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void Commit() {
        db_.Exec("COMMIT");
        done_ = true;
    }

  private:
    SqliteConnection& db_;
    bool done_ = false;
};

int DayKey(qint64 start) {
    const QDate d = QDateTime::fromSecsSinceEpoch(start).date();
    return d.year() * 10000 + d.month() * 100 + d.day();
}

qint64 NextDayStart(qint64 start) {
    return QDateTime::fromSecsSinceEpoch(start).date().addDays(1).startOfDay().toSecsSinceEpoch();
}

}  // namespace

void HistoryStore::Open(const QString& path) {
    Close();
    try {
        db_.Open(path, SqliteConnection::Mode::ReadWriteCreate);
        // The first read of the file tells a damaged or foreign file from a database.
        const qint64 version = db_.QueryInt("PRAGMA user_version");
        if (version > kSchemaVersion)
            throw HistoryError(QStringLiteral("unknown history version %1").arg(version));
        const QString mode = db_.QueryText("PRAGMA journal_mode=WAL");
        if (mode.compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0)
            throw HistoryError(QStringLiteral("cannot use a write-ahead log (%1)").arg(mode));
        db_.Exec("PRAGMA synchronous=FULL");
        CreateSchema();
        insertSample_ = std::make_unique<SqliteStatement>(
            db_, "INSERT OR IGNORE INTO sample(sensor, time, temp) VALUES(?1, ?2, ?3)");
        insertLaterSample_ = std::make_unique<SqliteStatement>(
            db_,
            "INSERT INTO sample(sensor, time, temp, n) VALUES(?1, ?2, ?3, (SELECT max(n) + 1 "
            "FROM sample WHERE sensor = ?1 AND time = ?2))");
        insertEpisode_ =
            std::make_unique<SqliteStatement>(db_,
                                              "INSERT INTO episode(kind, sensor, started, ended, "
                                              "extreme) VALUES(?1, ?2, ?3, ?4, ?5)");
        updateEpisode_ = std::make_unique<SqliteStatement>(
            db_, "UPDATE episode SET ended = ?2, extreme = ?3 WHERE id = ?1");
        sealedUntil_ = 0;
        lastSeal_ = QByteArray(32, '\0');
        SqliteStatement last(db_, "SELECT end, digest FROM seal ORDER BY start DESC LIMIT 1");
        if (last.Step()) {
            sealedUntil_ = last.Int(0);
            lastSeal_ = last.Blob(1);
        } else {
            SqliteStatement anchor(db_, "SELECT until, digest FROM anchor WHERE id = 1");
            if (anchor.Step()) {
                sealedUntil_ = anchor.Int(0);
                lastSeal_ = anchor.Blob(1);
            }
        }
        CloseLeftOpenEpisodes();
    } catch (...) {
        Close();
        throw;
    }
}

void HistoryStore::Close() {
    insertSample_.reset();
    insertLaterSample_.reset();
    insertEpisode_.reset();
    updateEpisode_.reset();
    db_.Close();
}

void HistoryStore::CreateSchema() {
    const qint64 version = db_.QueryInt("PRAGMA user_version");
    if (version == kSchemaVersion) return;
    Transaction tx(db_);
    if (version == 1) {
        // The readings move to the table that numbers readings within a second; each keeps
        // number 0, so the seals of the days already closed stay as they were.
        db_.Exec(
            "DROP VIEW IF EXISTS readings;"
            "CREATE TABLE sample_v2(sensor INTEGER NOT NULL, time INTEGER NOT NULL, temp INTEGER "
            "NOT NULL, n INTEGER NOT NULL DEFAULT 0, PRIMARY KEY(sensor, time, n)) WITHOUT ROWID;"
            "INSERT INTO sample_v2(sensor, time, temp) SELECT sensor, time, temp FROM sample;"
            "DROP TABLE sample;"
            "ALTER TABLE sample_v2 RENAME TO sample;");
    }
    db_.Exec(kSchema);
    db_.Exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion).toUtf8().constData());
    tx.Commit();
}

void HistoryStore::CloseLeftOpenEpisodes() {
    if (db_.QueryInt("SELECT count(*) FROM episode WHERE ended IS NULL") == 0) return;
    Transaction tx(db_);
    // The station stopped while these lasted; the last reading is the last evidence of them.
    db_.Exec(
        "UPDATE episode SET ended = max(started, coalesce((SELECT max(time) FROM sample "
        "WHERE sample.sensor = episode.sensor), started)) WHERE ended IS NULL AND sensor IS NOT "
        "NULL");
    db_.Exec("UPDATE episode SET ended = started WHERE ended IS NULL");
    tx.Commit();
}

qint64 HistoryStore::SensorId(qint64 code, const QString& codeid, const QString& fix, double high,
                              double low) {
    SqliteStatement find(db_,
                         "SELECT id, high, low FROM sensor WHERE code = ?1 AND codeid = ?2 AND "
                         "fix = ?3");
    find.Bind(1, code).Bind(2, codeid).Bind(3, fix);
    if (find.Step()) {
        const qint64 id = find.Int(0);
        if (find.Real(1) != high || find.Real(2) != low) {
            SqliteStatement update(db_, "UPDATE sensor SET high = ?2, low = ?3 WHERE id = ?1");
            update.Bind(1, id).Bind(2, high).Bind(3, low).Run();
        }
        return id;
    }
    SqliteStatement insert(
        db_, "INSERT INTO sensor(code, codeid, fix, high, low) VALUES(?1, ?2, ?3, ?4, ?5)");
    insert.Bind(1, code).Bind(2, codeid).Bind(3, fix).Bind(4, high).Bind(5, low).Run();
    return sqlite3_last_insert_rowid(db_.Handle());
}

int HistoryStore::Write(const std::vector<Sample>& samples, const std::vector<Episode*>& episodes) {
    int refused = 0;
    Transaction tx(db_);
    for (const Sample& s : samples) {
        if (s.time < sealedUntil_) {
            ++refused;
            continue;
        }
        insertSample_->Bind(1, s.sensor).Bind(2, s.time).Bind(3, s.temp).Run();
        // The sensor was read already within this second: this reading is kept after it.
        if (sqlite3_changes(db_.Handle()) == 0)
            insertLaterSample_->Bind(1, s.sensor).Bind(2, s.time).Bind(3, s.temp).Run();
    }
    for (Episode* e : episodes) {
        SqliteStatement& st = e->id == 0 ? *insertEpisode_ : *updateEpisode_;
        if (e->id == 0) {
            st.Bind(1, static_cast<qint64>(e->kind));
            if (e->sensor != 0)
                st.Bind(2, e->sensor);
            else
                st.BindNull(2);
            st.Bind(3, e->started);
            if (e->ended != 0)
                st.Bind(4, e->ended);
            else
                st.BindNull(4);
            if (e->hasExtreme)
                st.Bind(5, e->extreme);
            else
                st.BindNull(5);
            st.Run();
            e->id = sqlite3_last_insert_rowid(db_.Handle());
        } else {
            st.Bind(1, e->id);
            if (e->ended != 0)
                st.Bind(2, e->ended);
            else
                st.BindNull(2);
            if (e->hasExtreme)
                st.Bind(3, e->extreme);
            else
                st.BindNull(3);
            st.Run();
        }
    }
    tx.Commit();
    return refused;
}

std::vector<SensorIdentity> HistoryStore::Sensors() {
    std::vector<SensorIdentity> out;
    SqliteStatement st(db_, "SELECT id, code, codeid, fix FROM sensor ORDER BY id");
    while (st.Step()) out.push_back({st.Int(0), st.Int(1), st.Text(2), st.Text(3)});
    return out;
}

qint64 HistoryStore::EarliestReading(const std::vector<SensorIdentity>& sensors) {
    SqliteStatement st(db_, "SELECT min(time) FROM sample WHERE sensor = ?1");
    qint64 earliest = 0;
    for (const SensorIdentity& s : sensors) {
        st.Bind(1, s.id);
        if (st.Step() && !st.IsNull(0) && (earliest == 0 || st.Int(0) < earliest))
            earliest = st.Int(0);
        st.Reset();
    }
    return earliest;
}

int HistoryStore::SealClosedDays(qint64 now) {
    const qint64 today = DayStart(now);
    const std::vector<SensorIdentity> sensors = Sensors();
    qint64 start = sealedUntil_;
    if (start == 0) {
        const qint64 earliest = EarliestReading(sensors);
        if (earliest == 0) return 0;
        start = DayStart(earliest);
    }
    if (start >= today) return 0;
    // Days missed while the station was off are sealed together, in one transaction.
    QByteArray seal = lastSeal_;
    int sealed = 0;
    Transaction tx(db_);
    SqliteStatement rows(db_,
                         "SELECT time, temp FROM sample WHERE sensor = ?1 AND time >= ?2 AND "
                         "time < ?3 ORDER BY time, n");
    SqliteStatement insert(
        db_, "INSERT INTO seal(day, start, end, count, digest) VALUES(?1, ?2, ?3, ?4, ?5)");
    while (start < today) {
        const qint64 end = NextDayStart(start);
        DayDigest digest;
        for (const SensorIdentity& s : sensors) {
            rows.Bind(1, s.id).Bind(2, start).Bind(3, end);
            bool first = true;
            while (rows.Step()) {
                if (first) digest.AddSensor(s);
                first = false;
                digest.AddReading(rows.Int(0), rows.Int(1));
            }
            rows.Reset();
        }
        const qint64 count = digest.Count();
        seal = DayDigest::Link(seal, start, end, count, digest.Result());
        insert.Bind(1, static_cast<qint64>(DayKey(start)))
            .Bind(2, start)
            .Bind(3, end)
            .Bind(4, count)
            .Bind(5, seal)
            .Run();
        start = end;
        ++sealed;
    }
    tx.Commit();
    sealedUntil_ = start;
    lastSeal_ = seal;
    return sealed;
}

bool HistoryStore::RemoveOlderThan(qint64 cutoff, int maxRows) {
    // First the seals of the days before cutoff give way to the anchor, the seal of the last of
    // them, from which the chain of the days kept starts; readings before the anchor are past
    // keeping and no longer checked. Then the readings go, a few thousand at a time.
    SqliteStatement lastGone(db_,
                             "SELECT end, digest FROM seal WHERE end <= ?1 ORDER BY start DESC "
                             "LIMIT 1");
    lastGone.Bind(1, cutoff);
    if (lastGone.Step()) {
        const qint64 until = lastGone.Int(0);
        const QByteArray digest = lastGone.Blob(1);
        lastGone.Reset();
        Transaction tx(db_);
        SqliteStatement anchor(
            db_, "INSERT OR REPLACE INTO anchor(id, until, digest) VALUES(1, ?1, ?2)");
        anchor.Bind(1, until).Bind(2, digest).Run();
        SqliteStatement drop(db_, "DELETE FROM seal WHERE end <= ?1");
        drop.Bind(1, cutoff).Run();
        SqliteStatement episodes(db_, "DELETE FROM episode WHERE ended IS NOT NULL AND ended < ?1");
        episodes.Bind(1, cutoff).Run();
        tx.Commit();
    }

    const std::vector<SensorIdentity> sensors = Sensors();
    SqliteStatement any(db_, "SELECT 1 FROM sample WHERE sensor = ?1 AND time < ?2 LIMIT 1");
    for (const SensorIdentity& s : sensors) {
        any.Bind(1, s.id).Bind(2, cutoff);
        const bool old = any.Step();
        any.Reset();
        if (!old) continue;
        // The time of the maxRows-th oldest reading bounds this step.
        SqliteStatement nth(db_,
                            "SELECT time FROM sample WHERE sensor = ?1 AND time < ?2 "
                            "ORDER BY time LIMIT 1 OFFSET ?3");
        nth.Bind(1, s.id).Bind(2, cutoff).Bind(3, static_cast<qint64>(maxRows - 1));
        const qint64 bound = nth.Step() ? nth.Int(0) + 1 : cutoff;
        Transaction tx(db_);
        SqliteStatement del(db_, "DELETE FROM sample WHERE sensor = ?1 AND time < ?2");
        del.Bind(1, s.id).Bind(2, bound).Run();
        tx.Commit();
        return true;
    }
    return false;
}

qint64 HistoryStore::ToSixteenths(double celsius) {
    return std::llround(celsius * 16.0);
}

qint64 HistoryStore::DayStart(qint64 time) {
    return QDateTime::fromSecsSinceEpoch(time).date().startOfDay().toSecsSinceEpoch();
}

qint64 HistoryStore::RetentionCutoff(const QDate& today, int years) {
    return today.addYears(-years).startOfDay().toSecsSinceEpoch();
}

}  // namespace history
