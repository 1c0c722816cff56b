#include "HistoryFile.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

HistoryFile::HistoryFile(const QString& path)
    : name_(QStringLiteral("history-reader-") + QUuid::createUuid().toString()) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
}

HistoryFile::~HistoryFile() {
    QSqlDatabase::database(name_, false).close();
    QSqlDatabase::removeDatabase(name_);
}

QVector<QVariantList> HistoryFile::Rows(const QString& sql) const {
    QSqlQuery q(QSqlDatabase::database(name_));
    QVector<QVariantList> rows;
    if (!q.exec(sql)) {
        ADD_FAILURE() << sql.toStdString() << ": " << q.lastError().text().toStdString();
        return rows;
    }
    while (q.next()) {
        QVariantList row;
        for (int i = 0; i < q.record().count(); ++i) row << q.value(i);
        rows << row;
    }
    return rows;
}

QVariant HistoryFile::Value(const QString& sql) const {
    const QVector<QVariantList> rows = Rows(sql);
    return rows.isEmpty() || rows[0].isEmpty() ? QVariant() : rows[0][0];
}

void HistoryFile::Exec(const QString& sql) const {
    QSqlQuery q(QSqlDatabase::database(name_));
    EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}
