// The bus simulator program run beside a test: started with its options, its port path read
// from its first output line, its command log read back to see what the station sent and when.
#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

class BusSimulator {
  public:
    // Starts build/bin/sensorbus-sim with args; Path() is the port it offers.
    explicit BusSimulator(const QStringList& args);
    ~BusSimulator();

    QString Path() const { return path_; }
    bool Running() const { return process_.state() == QProcess::Running; }

    // Times (ms since the simulator started) at which it received the command, in order.
    QVector<double> Received(const QString& command) const;
    // Sends a line to the simulator's control FIFO ("set ID SPEC", "silent on", ...).
    void Control(const QString& line) const;

  private:
    QTemporaryDir dir_;
    QProcess process_;
    QString path_;
};

// A folder of links COM1, COM2, ... to the given ports, so that the station's sorted port
// list takes them in this order.
class PortLinks {
  public:
    explicit PortLinks(const QStringList& targets);
    QString List() const { return links_.join(':'); }
    QString Link(int i) const { return links_[i]; }

  private:
    QTemporaryDir dir_;
    QStringList links_;
};
