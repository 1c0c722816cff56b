#include "TQuery.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include "StatementCatalogue.h"
#include "StationError.h"

TQuery::TQuery(const QString& connectionName) : connection_(connectionName) {}

void TQuery::Close() {
    values_.clear();
    fieldCount_ = 0;
    recordCount_ = 0;
    columns_.clear();
    pos_ = 0;
    active_ = false;
}

void TQuery::Clear() {
    text_.clear();
    params_.clear();
}

void TQuery::Add(const QString& line) {
    if (!text_.isEmpty()) text_ += QLatin1Char('\n');
    text_ += line;
}

void TQuery::Prepare(int statement) {
    Close();
    Clear();
    Add(catalogue::Sql(statement));
}

void TQuery::SetParam(const QString& name, const QVariant& value) {
    for (auto& p : params_)
        if (p.first == name) {
            p.second = value;
            return;
        }
    params_.append({name, value});
}

QSqlQuery TQuery::Exec() {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.isOpen()) throw DatabaseError(QStringLiteral("the database connection is not open"));
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(text_)) throw DatabaseError(q.lastError().text());
    for (const auto& p : params_) q.bindValue(QLatin1Char(':') + p.first, p.second);
    if (!q.exec()) throw DatabaseError(q.lastError().text());
    return q;
}

void TQuery::Open() {
    Close();
    QSqlQuery q = Exec();
    const QSqlRecord rec = q.record();
    fieldCount_ = rec.count();
    for (int i = 0; i < fieldCount_; ++i) columns_.insert(rec.fieldName(i).toLower(), i);
    while (q.next()) {
        for (int i = 0; i < fieldCount_; ++i) values_.append(q.value(i));
        ++recordCount_;
    }
    if (q.lastError().isValid()) throw DatabaseError(q.lastError().text());
    active_ = true;
}

int TQuery::ExecSQL() {
    Close();
    QSqlQuery q = Exec();
    return q.numRowsAffected();
}

bool TQuery::HasField(const QString& name) const {
    return columns_.contains(name.toLower());
}

int TQuery::Column(const QString& field) const {
    // Callers mostly name fields as the table spells them: look that up before folding case.
    auto it = columns_.constFind(field);
    if (it == columns_.constEnd()) it = columns_.constFind(field.toLower());
    if (it == columns_.constEnd())
        throw DatabaseError(QStringLiteral("Field '%1' not found").arg(field));
    return *it;
}

QVariant TQuery::Value(const QString& field) const {
    const int col = Column(field);
    if (Eof()) throw DatabaseError(QStringLiteral("No current record"));
    return values_[pos_ * fieldCount_ + col];
}

QString TQuery::AsString(const QString& field) const {
    return TextOf(Value(field));
}

QString TQuery::TextOf(const QVariant& v) {
    if (v.isNull()) return QString();
    if (v.typeId() == QMetaType::Double) {
        // Same shortest text the grids use for numbers.
        return QString::number(v.toDouble(), 'g', 15);
    }
    return v.toString();
}

int TQuery::AsInteger(const QString& field) const {
    const QVariant v = Value(field);
    return v.isNull() ? 0 : v.toInt();
}

double TQuery::AsFloat(const QString& field) const {
    const QVariant v = Value(field);
    return v.isNull() ? 0.0 : v.toDouble();
}
