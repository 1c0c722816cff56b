#include "SmtpServer.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>

#include "Broker.h"
#include "TestSupport.h"

SmtpServer::SmtpServer(Tls tls) : certificates_(dir_.path()), tls_(tls) {
    port_ = Broker::FreePort();
    process_.setProcessChannelMode(QProcess::MergedChannels);
}

SmtpServer::~SmtpServer() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

bool SmtpServer::Start() {
    if (!certificates_.Made()) return false;
    QStringList args = {"-m", "aiosmtpd", "-n", "-l", QStringLiteral("127.0.0.1:%1").arg(port_)};
    if (tls_ == Tls::StartTls)
        args << "--tlscert" << certificates_.CertFile() << "--tlskey" << certificates_.KeyFile()
             << "--no-requiretls";
    if (tls_ == Tls::Implicit)
        args << "--smtpscert" << certificates_.CertFile() << "--smtpskey"
             << certificates_.KeyFile();
    args << "-c"
         << "tls_mailbox.TlsMailbox" << dir_.path() + "/box";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PYTHONPATH", testsupport::SourceDir() + "/tests/notify");
    process_.setProcessEnvironment(env);
    process_.start("/usr/bin/python3", args);
    if (!process_.waitForStarted(5000)) return false;
    return testsupport::WaitFor(
               [&] {
                   if (process_.state() != QProcess::Running) return true;
                   QTcpSocket s;
                   s.connectToHost("127.0.0.1", static_cast<quint16>(port_));
                   return s.waitForConnected(200);
               },
               10000) &&
           process_.state() == QProcess::Running;
}

QVector<QByteArray> SmtpServer::Mails() const {
    QVector<QByteArray> mails;
    QDir box(dir_.path() + "/box");
    for (const QString& name : box.entryList({"*.eml"}, QDir::Files)) {
        QFile f(box.filePath(name));
        if (f.open(QIODevice::ReadOnly)) mails << f.readAll();
    }
    return mails;
}

QStringList SmtpServer::Commands() const {
    QFile f(dir_.path() + "/box/commands.log");
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

QString SmtpServer::Output() {
    return QString::fromUtf8(process_.readAll());
}
