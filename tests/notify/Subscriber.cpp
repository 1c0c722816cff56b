#include "Subscriber.h"

#include <QThread>

#include "TestSupport.h"

QStringList At(int port) {
    return {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
            QString::number(port)};
}

Subscriber::Subscriber(const QStringList& connection, const QStringList& topics,
                       const QStringList& extra) {
    QStringList args = connection;
    args << extra;
    // Retained flag, topic and payload; one message a line.
    args << QStringLiteral("-F") << QStringLiteral("%r %t %p");
    for (const QString& t : topics) args << QStringLiteral("-t") << t;
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, &process_, [this] { Read(); });
    process_.start(QStringLiteral("mosquitto_sub"), args);
    process_.waitForStarted(5000);
    // mosquitto_sub says nothing once subscribed; a short pause lets the subscription reach the
    // broker before the test publishes.
    testsupport::WaitFor([] { return false; }, 500);
}

Subscriber::~Subscriber() {
    Stop();
}

void Subscriber::Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) process_.kill();
    process_.waitForFinished(2000);
}

void Subscriber::Read() {
    buffer_ += process_.readAllStandardOutput();
    for (;;) {
        const qsizetype nl = buffer_.indexOf('\n');
        if (nl < 0) break;
        const QByteArray line = buffer_.left(nl);
        buffer_.remove(0, nl + 1);
        Message m;
        m.retained = line.startsWith('1');
        const QByteArray rest = line.mid(2);
        const qsizetype sp = rest.indexOf(' ');
        m.topic = QString::fromUtf8(sp < 0 ? rest : rest.left(sp));
        m.payload = sp < 0 ? QByteArray() : rest.mid(sp + 1);
        messages_.push_back(m);
    }
}

QVector<Message> Subscriber::Messages() {
    Read();
    return messages_;
}

QVector<Message> Subscriber::On(const QString& topic) {
    QVector<Message> out;
    for (const Message& m : Messages())
        if (m.topic == topic) out.push_back(m);
    return out;
}

bool Subscriber::WaitFor(const std::function<bool(const QVector<Message>&)>& pred, int timeoutMs) {
    return testsupport::WaitFor([&] { return pred(Messages()); }, timeoutMs);
}
