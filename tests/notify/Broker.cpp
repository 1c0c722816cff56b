#include "Broker.h"

#include <unistd.h>

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include "TestCertificates.h"

namespace {

bool Run(const QString& program, const QStringList& args, const QString& dir) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool Listening(int port) {
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    return s.waitForConnected(200);
}

}  // namespace

int Broker::FreePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

Broker::Broker(const Options& options) : options_(options) {
    port_ = FreePort();
    const QString d = dir_.path();
    QByteArray conf;
    // The broker stays root when the tests run as root, so that it may use the test's folder.
    if (geteuid() == 0) conf += "user root\n";
    conf += "per_listener_settings false\n";
    conf += "log_dest stderr\n";
    if (options_.persistence) {
        conf += "persistence true\n";
        conf += "persistence_location " + d.toUtf8() + "/\n";
    }
    if (!options_.user.isEmpty()) {
        Run(QStringLiteral("mosquitto_passwd"),
            {QStringLiteral("-b"), QStringLiteral("-c"), d + QStringLiteral("/passwd"),
             options_.user, options_.password},
            d);
        conf += "allow_anonymous false\n";
        conf += "password_file " + d.toUtf8() + "/passwd\n";
    } else {
        conf += "allow_anonymous true\n";
    }
    conf += "listener " + QByteArray::number(port_) + " 127.0.0.1\n";
    if (options_.unixSocket) conf += "listener 0 " + SocketPath().toUtf8() + "\n";
    if (options_.tls) {
        tlsPort_ = FreePort();
        // A CA and a server certificate for 127.0.0.1 signed by it.
        const TestCertificates certificates(d);
        conf += "listener " + QByteArray::number(tlsPort_) + " 127.0.0.1\n";
        conf += "cafile " + certificates.CaFile().toUtf8() + "\n";
        conf += "certfile " + certificates.CertFile().toUtf8() + "\n";
        conf += "keyfile " + certificates.KeyFile().toUtf8() + "\n";
    }
    QFile f(d + QStringLiteral("/mosquitto.conf"));
    f.open(QIODevice::WriteOnly);
    f.write(conf);
    f.close();
    process_.setProcessChannelMode(QProcess::MergedChannels);
}

Broker::~Broker() {
    Stop();
}

bool Broker::Start() {
    process_.start(QStringLiteral("mosquitto"),
                   {QStringLiteral("-c"), dir_.path() + QStringLiteral("/mosquitto.conf")});
    if (!process_.waitForStarted(5000)) return false;
    for (int i = 0; i < 100; ++i) {
        if (process_.state() != QProcess::Running) return false;
        if (Listening(port_) && (!options_.unixSocket || QFile::exists(SocketPath()))) return true;
        QThread::msleep(50);
    }
    return false;
}

void Broker::Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QString Broker::Log() const {
    return QString::fromUtf8(const_cast<QProcess&>(process_).readAll());
}
