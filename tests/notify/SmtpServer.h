// An SMTP server of the test's own on 127.0.0.1: Debian's aiosmtpd with a handler that keeps
// each mail together with the TLS version its connection had, in plain SMTP, with STARTTLS
// offered, or with TLS from the first byte (SMTPS), on a certificate for 127.0.0.1 made here.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include "TestCertificates.h"

class SmtpServer {
  public:
    enum class Tls { None, StartTls, Implicit };

    // Clients that do not use STARTTLS are served all the same, so that mail sent in clear
    // would be seen.
    explicit SmtpServer(Tls tls);
    ~SmtpServer();

    bool Start();
    int Port() const { return port_; }
    // The CA that signed the server's certificate.
    QString CaFile() const { return certificates_.CaFile(); }
    // The mails received, in no particular order, each headed by X-TLS and X-RcptTo.
    QVector<QByteArray> Mails() const;
    // One line per MAIL command: "MAIL <address> tls=<version or none>".
    QStringList Commands() const;
    QString Output();

  private:
    QTemporaryDir dir_;
    TestCertificates certificates_;
    Tls tls_;
    int port_ = 0;
    QProcess process_;
};
