// A certificate authority of the test's own and a server certificate for 127.0.0.1 (and
// localhost) signed by it, made with openssl in a folder given by the caller.
#pragma once

#include <QString>

class TestCertificates {
  public:
    // Makes ca.crt, ca.key, server.crt and server.key in folder; Made() tells whether all went.
    explicit TestCertificates(const QString& folder);

    bool Made() const { return made_; }
    QString CaFile() const { return folder_ + QStringLiteral("/ca.crt"); }
    QString CertFile() const { return folder_ + QStringLiteral("/server.crt"); }
    QString KeyFile() const { return folder_ + QStringLiteral("/server.key"); }

  private:
    QString folder_;
    bool made_ = false;
};
