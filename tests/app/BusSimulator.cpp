#include "BusSimulator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QRegularExpression>

#include "TestSupport.h"

BusSimulator::BusSimulator(const QStringList& args) {
    const QString fifo = dir_.filePath("control");
    mkfifo(fifo.toLocal8Bit().constData(), 0600);
    QStringList all = args;
    all << "--log" << dir_.filePath("sim.log") << "--control" << fifo << "--quiet";
    process_.setProgram(testsupport::BinDir() + "/sensorbus-sim");
    process_.setArguments(all);
    process_.start();
    EXPECT_TRUE(process_.waitForStarted(5000));
    EXPECT_TRUE(testsupport::WaitFor(
        [&] { return process_.canReadLine() || process_.waitForReadyRead(50); }, 5000));
    path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    EXPECT_FALSE(path_.isEmpty());
}

BusSimulator::~BusSimulator() {
    process_.terminate();
    if (!process_.waitForFinished(3000)) process_.kill();
}

QVector<double> BusSimulator::Received(const QString& command) const {
    QVector<double> times;
    QFile log(dir_.filePath("sim.log"));
    if (!log.open(QIODevice::ReadOnly)) return times;
    static const QRegularExpression line(R"(\+([0-9.]+) rx \S+ [0-9A-Fa-f ]+ (\S+)\s*$)");
    for (const QByteArray& raw : log.readAll().split('\n')) {
        const auto m = line.match(QString::fromUtf8(raw));
        if (m.hasMatch() && m.captured(2) == command) times << m.captured(1).toDouble();
    }
    return times;
}

void BusSimulator::Control(const QString& line) const {
    QFile fifo(dir_.filePath("control"));
    ASSERT_TRUE(fifo.open(QIODevice::WriteOnly));
    fifo.write((line + "\n").toUtf8());
}

PortLinks::PortLinks(const QStringList& targets) {
    for (int i = 0; i < targets.size(); ++i) {
        const QString link = dir_.filePath(QString("COM%1").arg(i + 1));
        EXPECT_TRUE(QFile::link(targets[i], link));
        links_ << link;
    }
}
