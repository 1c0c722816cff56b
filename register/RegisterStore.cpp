#include "RegisterStore.h"

#include <QSqlDatabase>
#include <QSqlError>

#include "StatementCatalogue.h"
#include "StationDatabase.h"
#include "StationError.h"
#include "TQuery.h"

namespace registerstore {
namespace {

registerrules::RegisterRecord CurrentRecord(const TQuery& q) {
    registerrules::RegisterRecord r;
    r.code = q.AsInteger(QStringLiteral("code"));
    r.codeid = q.AsString(QStringLiteral("codeid"));
    r.fix = q.AsString(QStringLiteral("fix"));
    r.almhigh = q.AsFloat(QStringLiteral("almhigh"));
    r.almlow = q.AsFloat(QStringLiteral("almlow"));
    r.remark = q.AsString(QStringLiteral("remark"));
    return r;
}

}  // namespace

QVector<registerrules::RegisterRecord> LoadAll(TQuery& query) {
    query.Prepare(catalogue::RegisterRows);
    query.Open();
    QVector<registerrules::RegisterRecord> out;
    out.reserve(query.RecordCount());
    for (query.First(); !query.Eof(); query.Next()) out.append(CurrentRecord(query));
    return out;
}

std::optional<registerrules::RegisterRecord> FindById(TQuery& query, const QString& id) {
    query.Prepare(catalogue::SensorById);
    query.SetParam(QStringLiteral("codeid"), id);
    query.Open();
    if (query.RecordCount() == 0) return std::nullopt;
    query.First();
    return CurrentRecord(query);
}

void ReplaceAll(TQuery& query, const QVector<registerrules::RegisterRecord>& records) {
    QSqlDatabase db = StationDatabase::Connection();
    if (!db.transaction()) throw DatabaseError(db.lastError().text());
    try {
        query.Prepare(catalogue::DeleteRegister);
        query.ExecSQL();
        for (const registerrules::RegisterRecord& r : records) {
            query.Prepare(catalogue::InsertRegisterRow);
            query.SetParam(QStringLiteral("code"), r.code);
            query.SetParam(QStringLiteral("codeid"), r.codeid);
            query.SetParam(QStringLiteral("fix"), r.fix);
            query.SetParam(QStringLiteral("almhigh"), r.almhigh);
            query.SetParam(QStringLiteral("almlow"), r.almlow);
            query.SetParam(QStringLiteral("remark"), r.remark);
            query.ExecSQL();
        }
        if (!db.commit()) throw DatabaseError(db.lastError().text());
    } catch (...) {
        db.rollback();
        throw;
    }
}

}  // namespace registerstore
