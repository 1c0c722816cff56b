#include "HookServer.h"

#include <QTcpSocket>

HookServer::HookServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = server_.nextPendingConnection()) {
            s->setParent(this);
            connect(s, &QTcpSocket::readyRead, this, [this, s] { Serve(s); });
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    });
}

QString HookServer::Url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
}

QVector<HookServer::Request> HookServer::On(const QString& path) const {
    QVector<Request> out;
    for (const Request& r : requests)
        if (r.path == path) out.push_back(r);
    return out;
}

void HookServer::Serve(QTcpSocket* s) {
    QByteArray data = s->property("data").toByteArray() + s->readAll();
    s->setProperty("data", data);
    const qsizetype end = data.indexOf("\r\n\r\n");
    if (end < 0) return;
    const QList<QByteArray> head = data.left(end).split('\n');
    qsizetype length = 0;
    Request r;
    const QList<QByteArray> first = head.value(0).trimmed().split(' ');
    r.path = QString::fromUtf8(first.value(1));
    for (const QByteArray& h : head) {
        const QByteArray lower = h.trimmed().toLower();
        if (lower.startsWith("content-length:")) length = lower.mid(15).trimmed().toLongLong();
        if (lower.startsWith("content-type:")) r.contentType = h.trimmed().mid(13).trimmed();
    }
    if (data.size() < end + 4 + length) return;
    r.body = data.mid(end + 4, length);
    requests.push_back(r);
    const QByteArray reply = "HTTP/1.1 " + QByteArray::number(status) +
                             " X\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
    s->write(reply);
    s->disconnectFromHost();
}
