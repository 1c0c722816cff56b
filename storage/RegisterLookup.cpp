#include "RegisterLookup.h"

#include <sqlite3.h>

#include <QCoreApplication>
#include <QVariant>
#include <algorithm>
#include <array>
#include <vector>

#include "Conversions.h"
#include "SqliteConnection.h"
#include "StatementCatalogue.h"
#include "StationError.h"
#include "TQuery.h"

namespace {

// A column as the query object would hold it, so that fields read the same either way.
QVariant ColumnValue(sqlite3_stmt* s, int i) {
    switch (sqlite3_column_type(s, i)) {
        case SQLITE_INTEGER:
            return QVariant(static_cast<qlonglong>(sqlite3_column_int64(s, i)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(s, i));
        case SQLITE_BLOB:
            return QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(s, i)),
                                       sqlite3_column_bytes(s, i)));
        case SQLITE_NULL:
            return QVariant();
        default:
            return QVariant(
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, i)),
                                  sqlite3_column_bytes(s, i)));
    }
}

// A text column's bytes without blanks and control characters at either end; these are single
// bytes in UTF-8, so this trims exactly what TrimControl trims.
QByteArrayView TrimmedBytes(sqlite3_stmt* s, int i) {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(s, i));
    qsizetype n = sqlite3_column_bytes(s, i);
    if (!p) return {};
    while (n > 0 && static_cast<unsigned char>(*p) <= 32) ++p, --n;
    while (n > 0 && static_cast<unsigned char>(p[n - 1]) <= 32) --n;
    return QByteArrayView(p, n);
}

DatabaseError EngineError(sqlite3* db, const char* what) {
    return DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)) + QLatin1Char(' ') +
                         QCoreApplication::translate("QSQLiteResult", what));
}

std::vector<RegisterLookup*>& LiveLookups() {
    static std::vector<RegisterLookup*> live;
    return live;
}

enum Field { kCode, kCodeId, kFix, kHigh, kLow, kNear, kFieldCount };
static_assert(kFieldCount == 6, "RegisterLookup keeps six columns");
constexpr std::array<const char*, kFieldCount> kFieldNames = {"code",    "codeid", "fix",
                                                              "almhigh", "almlow", "almnear"};

}  // namespace

RegisterLookup::RegisterLookup(const QString& connectionName) : connection_(connectionName) {
    LiveLookups().push_back(this);
}

RegisterLookup::~RegisterLookup() {
    Release();
    auto& live = LiveLookups();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

void RegisterLookup::Release() {
    if (statement_) sqlite3_finalize(statement_);
    statement_ = nullptr;
    db_ = nullptr;
    columnsCompiled_ = -1;
}

void RegisterLookup::FindColumns() {
    sqlite3_stmt* s = statement_;
    columnsCompiled_ = -1;
    std::fill(std::begin(columns_), std::end(columns_), -1);
    for (int i = 0, n = sqlite3_column_count(s); i < n; ++i)
        for (int f = 0; f < kFieldCount; ++f)
            if (columns_[f] < 0 && sqlite3_stricmp(sqlite3_column_name(s, i), kFieldNames[f]) == 0)
                columns_[f] = i;
    for (int f = 0; f < kFieldCount; ++f)
        if (columns_[f] < 0)
            throw DatabaseError(
                QStringLiteral("Field '%1' not found").arg(QLatin1String(kFieldNames[f])));
    columnsCompiled_ = sqlite3_stmt_status(s, SQLITE_STMTSTATUS_REPREPARE, 0);
}

void RegisterLookup::ReleaseConnection(const QString& connectionName) {
    for (RegisterLookup* lookup : LiveLookups())
        if (lookup->connection_ == connectionName) lookup->Release();
}

MonitoredSensor RegisterLookup::Find(const QString& id) {
    sqlite3* db = SqliteConnection::Handle(connection_);
    if (!db) throw DatabaseError(QStringLiteral("the database connection is not open"));
    if (db != db_) {
        // A connection opened since the statement was compiled.
        Release();
        const QByteArray sql = catalogue::Sql(catalogue::MonitoredSensors).toUtf8();
        if (sqlite3_prepare_v3(db, sql.constData(), static_cast<int>(sql.size()),
                               SQLITE_PREPARE_PERSISTENT, &statement_, nullptr) != SQLITE_OK) {
            sqlite3_finalize(statement_);
            statement_ = nullptr;
            throw EngineError(db, "Unable to execute statement");
        }
        db_ = db;
    }
    sqlite3_stmt* s = statement_;
    // The statement is put back to its start however the walk ends, which also ends its read.
    struct Rewind {
        sqlite3_stmt* s;
        ~Rewind() { sqlite3_reset(s); }
    } rewind{s};
    auto step = [&] {
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw EngineError(db, "Unable to fetch row");
    };

    // Fields are found by name, as the statement selects every column of the table; the columns
    // found are kept until the statement is compiled anew, which a step may do.
    const auto compiled = [s] { return sqlite3_stmt_status(s, SQLITE_STMTSTATUS_REPREPARE, 0); };
    if (columnsCompiled_ != compiled()) FindColumns();
    const int* col = columns_;

    const QString wantedText = TrimControl(id);
    const QByteArray wanted = wantedText.toUtf8();
    MonitoredSensor found;
    int row = 0;
    while (step()) {
        if (columnsCompiled_ != compiled()) FindColumns();
        ++row;
        const int type = sqlite3_column_type(s, col[kCodeId]);
        const bool match =
            (type == SQLITE_TEXT || type == SQLITE_BLOB)
                ? TrimmedBytes(s, col[kCodeId]) == QByteArrayView(wanted)
                : TrimControl(TQuery::TextOf(ColumnValue(s, col[kCodeId]))) == wantedText;
        if (!match) continue;
        found.result = MonitoredSensor::Found;
        found.row = row;
        found.code = ColumnValue(s, col[kCode]).toInt();
        found.fix = TQuery::TextOf(ColumnValue(s, col[kFix]));
        found.high = ColumnValue(s, col[kHigh]).toDouble();
        found.low = ColumnValue(s, col[kLow]).toDouble();
        found.almnear = TQuery::TextOf(ColumnValue(s, col[kNear]));
        return found;
    }
    found.result = row == 0 ? MonitoredSensor::RegisterEmpty : MonitoredSensor::NotRegistered;
    return found;
}

MonitoredSensor RegisterLookup::Find(TQuery& rows, const QString& id) {
    MonitoredSensor found;
    if (rows.RecordCount() == 0) {
        found.result = MonitoredSensor::RegisterEmpty;
        return found;
    }
    const QString wanted = TrimControl(id);
    int row = 1;
    for (rows.First(); !rows.Eof(); rows.Next(), ++row) {
        if (TrimControl(rows.AsString(QStringLiteral("codeid"))) != wanted) continue;
        found.result = MonitoredSensor::Found;
        found.row = row;
        found.code = rows.AsInteger(QStringLiteral("code"));
        found.fix = rows.AsString(QStringLiteral("fix"));
        found.high = rows.AsFloat(QStringLiteral("almhigh"));
        found.low = rows.AsFloat(QStringLiteral("almlow"));
        found.almnear = rows.AsString(QStringLiteral("almnear"));
        return found;
    }
    return found;
}
