// The two network transfers of messages to people, each one blocking call through libcurl (the
// HTTP and SMTP client Debian carries, with TLS through OpenSSL): a POST of a JSON body to a web
// hook, and one e-mail to a list of recipients. Called on worker threads only.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct NotifySettings;

class CurlTransfer {
  public:
    // Prepares libcurl once per process; safe to call from any thread, any number of times.
    static void GlobalInit();

    // POSTs body as application/json. True on a 2xx answer; otherwise error holds why.
    static bool PostJson(const QString& url, const QByteArray& body, QString* error);

    // Sends one plain-text UTF-8 mail from settings.mailFrom to settings.mailTo through
    // settings.smtpUrl: smtp:// uses STARTTLS when the server offers it, smtps:// speaks TLS
    // from the start; either way the server's certificate is checked against smtpCaFile (the
    // system's authorities when empty), and nothing is sent when it fails; smtpUser and
    // smtpPassword log in when set.
    static bool SendMail(const NotifySettings& settings, const QString& subject,
                         const QString& text, QString* error);

    // The message as it goes over the wire (headers and a base64 body), for the mail above.
    static QByteArray MailText(const QString& from, const QStringList& to, const QString& subject,
                               const QString& text);
};
