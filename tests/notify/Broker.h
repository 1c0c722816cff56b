// A mosquitto broker of the test's own on 127.0.0.1 (and optionally a Unix socket), started
// from a configuration written into a temporary folder; stopped and started again on the same
// port when a test needs the broker away for a while.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class Broker {
  public:
    struct Options {
        QString user;  // with a password: anonymous clients are refused
        QString password;
        bool tls = false;  // a second listener with TLS, certificate made by openssl here
        bool unixSocket = false;
        bool persistence = false;  // sessions of persistent subscribers survive a restart
    };

    explicit Broker(const Options& options);
    Broker() : Broker(Options{}) {}
    ~Broker();

    bool Start();
    void Stop();  // SIGTERM and wait, as an administrator stops it

    int Port() const { return port_; }
    int TlsPort() const { return tlsPort_; }
    QString SocketPath() const { return dir_.path() + QStringLiteral("/broker.sock"); }
    QString CaFile() const { return dir_.path() + QStringLiteral("/ca.crt"); }
    QString Log() const;

    static int FreePort();

  private:
    Options options_;
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
    int tlsPort_ = 0;
};
