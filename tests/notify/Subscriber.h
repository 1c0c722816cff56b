// mosquitto_sub in a child process: every message it receives, as (retained, topic, payload),
// in the order it printed them.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVector>

struct Message {
    bool retained = false;
    QString topic;
    QByteArray payload;
};

class Subscriber {
  public:
    // connection: mosquitto_sub's options that reach the broker ("-p", "1883", ...);
    // topics: the filters. Waits until the client is subscribed (its first retained message or a
    // short settling time).
    Subscriber(const QStringList& connection, const QStringList& topics,
               const QStringList& extra = {});
    ~Subscriber();

    bool Running() const { return process_.state() == QProcess::Running; }
    QVector<Message> Messages();
    QVector<Message> On(const QString& topic);
    // Runs the event loop until pred holds on the messages so far.
    bool WaitFor(const std::function<bool(const QVector<Message>&)>& pred, int timeoutMs = 10000);
    void Stop();

  private:
    void Read();
    QProcess process_;
    QByteArray buffer_;
    QVector<Message> messages_;
};

// Connection options of mosquitto_sub for a TCP port on 127.0.0.1.
QStringList At(int port);
