// Reads a history file from the outside, through Qt's own SQLite driver, the way a script or a
// spreadsheet user would: the views first, the tables where a test needs them.
#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

class HistoryFile {
  public:
    explicit HistoryFile(const QString& path);
    ~HistoryFile();

    // Rows of a query, each a list of column values.
    QVector<QVariantList> Rows(const QString& sql) const;
    QVariant Value(const QString& sql) const;
    void Exec(const QString& sql) const;

  private:
    QString name_;
};
