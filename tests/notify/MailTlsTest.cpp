// E-mail over TLS against aiosmtpd on 127.0.0.1 with a certificate made by the test: STARTTLS
// when the server offers it, TLS from the first byte with smtps://, the server's certificate
// checked against the CA file the settings name, and nothing sent when it does not vouch for it.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "MessageSender.h"
#include "Notice.h"
#include "NotifyFolder.h"
#include "NotifySettings.h"
#include "SmtpServer.h"
#include "TestCertificates.h"

namespace {

// The [notify] section an operator writes for mail through url, the server checked against
// cafile.
NotifySettings MailSettings(const NotifyFolder& folder, const QString& url, const QString& cafile) {
    folder.WriteIni("[seting]\ntitle=三号库房\n[notify]\nsmtp_url=" + url.toUtf8() +
                    "\nsmtp_cafile=" + cafile.toUtf8() +
                    "\nmail_from=station@example.org\nmail_to=duty@example.org\n");
    return NotifySettings::Load(folder.Ini());
}

WayResult SendTestMail(const NotifySettings& s) {
    const QVector<WayResult> r =
        MessageSender::Deliver(s, Notice::Plain(Notice::Kind::Test, QDateTime::currentDateTime()));
    return r.size() == 1 ? r[0] : WayResult{QStringLiteral("(%1 ways)").arg(r.size()), false, {}};
}

QString Url(const char* scheme, const SmtpServer& server) {
    return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(server.Port());
}

const QRegularExpression kTls(QStringLiteral("^X-TLS: TLSv1\\.[23]\\r?$"),
                              QRegularExpression::MultilineOption);

}  // namespace

// smtp:// to a server that offers STARTTLS: the mail goes over TLS, the server's certificate
// vouched for by the CA file of the settings.
TEST(MailTls, StartTlsWhenOfferedCheckedAgainstTheCaFile) {
    SmtpServer server(SmtpServer::Tls::StartTls);
    ASSERT_TRUE(server.Start()) << server.Output().toStdString();
    NotifyFolder folder;
    const WayResult r = SendTestMail(MailSettings(folder, Url("smtp", server), server.CaFile()));
    EXPECT_EQ(r.way, "邮件");
    EXPECT_TRUE(r.ok) << r.error.toStdString();
    const QVector<QByteArray> mails = server.Mails();
    ASSERT_EQ(mails.size(), 1) << server.Output().toStdString();
    EXPECT_TRUE(QString::fromLatin1(mails[0]).contains(kTls)) << mails[0].left(200).toStdString();
    EXPECT_TRUE(mails[0].contains("X-RcptTo: duty@example.org"));
    ASSERT_EQ(server.Commands().size(), 1);
    EXPECT_TRUE(server.Commands()[0].contains("tls=TLSv1.")) << server.Commands()[0].toStdString();

    // A server that offers no STARTTLS gets the mail in clear, and says so.
    SmtpServer plain(SmtpServer::Tls::None);
    ASSERT_TRUE(plain.Start()) << plain.Output().toStdString();
    EXPECT_TRUE(SendTestMail(MailSettings(folder, Url("smtp", plain), server.CaFile())).ok);
    ASSERT_EQ(plain.Mails().size(), 1);
    EXPECT_TRUE(plain.Mails()[0].startsWith("X-TLS: none\r\n"));
}

// smtps:// speaks TLS from the first byte, checked against the same CA file.
TEST(MailTls, ImplicitTlsCheckedAgainstTheCaFile) {
    SmtpServer server(SmtpServer::Tls::Implicit);
    ASSERT_TRUE(server.Start()) << server.Output().toStdString();
    NotifyFolder folder;
    const WayResult r = SendTestMail(MailSettings(folder, Url("smtps", server), server.CaFile()));
    EXPECT_TRUE(r.ok) << r.error.toStdString();
    const QVector<QByteArray> mails = server.Mails();
    ASSERT_EQ(mails.size(), 1) << server.Output().toStdString();
    EXPECT_TRUE(QString::fromLatin1(mails[0]).contains(kTls)) << mails[0].left(200).toStdString();
}

// A server whose certificate the CA file does not vouch for, or a CA file that is not there:
// each way fails with the transfer's own reason, and the server receives nothing, in clear or
// otherwise (it would take mail in clear: STARTTLS is offered, not required).
TEST(MailTls, UnvouchedCertificateSendsNothing) {
    QTemporaryDir otherDir;
    const TestCertificates other(otherDir.path());
    ASSERT_TRUE(other.Made());
    for (const auto& [tls, scheme] : {std::pair{SmtpServer::Tls::StartTls, "smtp"},
                                      std::pair{SmtpServer::Tls::Implicit, "smtps"}}) {
        SmtpServer server(tls);
        ASSERT_TRUE(server.Start()) << server.Output().toStdString();
        NotifyFolder folder;
        WayResult r = SendTestMail(MailSettings(folder, Url(scheme, server), other.CaFile()));
        EXPECT_FALSE(r.ok) << scheme;
        EXPECT_TRUE(r.error.contains("certificate", Qt::CaseInsensitive))
            << scheme << ": " << r.error.toStdString();

        r = SendTestMail(
            MailSettings(folder, Url(scheme, server), otherDir.path() + "/missing-ca.crt"));
        EXPECT_FALSE(r.ok) << scheme;
        EXPECT_TRUE(r.error.startsWith("CA 文件无法读取"))
            << scheme << ": " << r.error.toStdString();

        EXPECT_TRUE(server.Mails().isEmpty()) << scheme;
        EXPECT_TRUE(server.Commands().isEmpty())
            << scheme << ": " << server.Commands().join('|').toStdString();
    }
}
