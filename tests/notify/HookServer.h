// A small HTTP server on 127.0.0.1 for web hooks: keeps every POST body it receives, by path,
// and answers with the status the test sets.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTcpServer>
#include <QVector>

class HookServer : public QObject {
    Q_OBJECT
  public:
    HookServer();
    QString Url(const QString& path) const;
    int status = 200;

    struct Request {
        QString path;
        QByteArray contentType;
        QByteArray body;
    };
    QVector<Request> requests;
    QVector<Request> On(const QString& path) const;

  private:
    void Serve(QTcpSocket* socket);
    QTcpServer server_;
};
