// A program folder for the notifications: peizhi.ini with the sections a test writes, and
// newdb.mdb made from the repository's schema with the sensors the test registers.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class NotifyFolder {
  public:
    NotifyFolder();
    QString Path() const { return dir_.path() + QLatin1Char('/'); }
    QString Ini() const { return Path() + QStringLiteral("peizhi.ini"); }
    QString Db() const { return Path() + QStringLiteral("newdb.mdb"); }
    void WriteIni(const QByteArray& text) const;
    // Runs sql on newdb.mdb through the sqlite3 shell.
    void Sql(const QString& sql) const;

  private:
    QTemporaryDir dir_;
};
