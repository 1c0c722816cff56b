#include "TestCertificates.h"

#include <QFile>
#include <QProcess>

namespace {

bool Openssl(const QStringList& args, const QString& dir) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace

TestCertificates::TestCertificates(const QString& folder) : folder_(folder) {
    QFile ext(folder + QStringLiteral("/ext.cnf"));
    if (!ext.open(QIODevice::WriteOnly)) return;
    ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    ext.close();
    made_ = Openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                     "/CN=test CA", "-keyout", "ca.key", "-out", "ca.crt"},
                    folder) &&
            Openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
                     "server.key", "-out", "server.csr"},
                    folder) &&
            Openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                     "-CAcreateserial", "-days", "2", "-extfile", "ext.cnf", "-out", "server.crt"},
                    folder);
}
