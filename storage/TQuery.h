// The query object every window uses on the shared connection, in one fixed pattern:
//
//   q.Close(); q.Clear(); q.Add(catalogue::Sql(n)); q.SetParam("code", 7); q.Open();
//
// An opened select delivers its whole result at once, with an exact record count; the caller
// walks it with First/Next/Eof and reads fields by name as text, integer or float, a null
// reading as "" or 0. Failures throw DatabaseError with the provider's text.
#pragma once

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>

class TQuery {
  public:
    explicit TQuery(const QString& connectionName = QStringLiteral("link_db"));

    void Close();
    void Clear();
    void Add(const QString& line);
    // Close, Clear and Add statement n of the catalogue.
    void Prepare(int statement);
    void SetParam(const QString& name, const QVariant& value);

    void Open();    // runs a select and keeps its rows
    int ExecSQL();  // runs any other statement; returns the rows it affected

    bool Active() const { return active_; }
    int RecordCount() const { return recordCount_; }
    void First() { pos_ = 0; }
    void Next() { ++pos_; }
    bool Eof() const { return pos_ >= recordCount_; }
    int RecNo() const { return pos_; }

    bool HasField(const QString& name) const;
    QString AsString(const QString& field) const;
    int AsInteger(const QString& field) const;
    double AsFloat(const QString& field) const;
    QVariant Value(const QString& field) const;
    // A field's value as AsString gives it: "" for null, numbers in their shortest text.
    static QString TextOf(const QVariant& value);

    QString Text() const { return text_; }

  private:
    class QSqlQuery Exec();

    QString connection_;
    QString text_;
    QVector<QPair<QString, QVariant>> params_;
    int Column(const QString& field) const;

    QHash<QString, int> columns_;  // lower-case field name -> column
    // The result row after row in one block: a listing of a hundred thousand records costs one
    // allocation here rather than one a row.
    QVector<QVariant> values_;
    int fieldCount_ = 0;
    int recordCount_ = 0;
    int pos_ = 0;
    bool active_ = false;
};
