// The remote-notification settings of the station, kept in peizhi.ini beside the program:
// section [mqtt] for publishing to a message broker and section [notify] for messages to people
// (web hooks and e-mail). A missing section or key reads as "off" or the default, so a station
// whose file holds neither section makes no connection anywhere.
#pragma once

#include <QString>
#include <QStringList>

struct NotifySettings {
    // [mqtt]
    bool mqttEnabled = false;
    QString host;  // a host name or address, or the path of a broker's Unix socket
    int port = 1883;
    QString username;
    QString password;
    bool tls = false;
    QString cafile;  // certificate authorities for tls; empty = the system's
    QString prefix;  // empty = sensorbus/<host name>

    // [notify]
    QStringList webhooks;                            // URLs separated by blanks in the file
    QString webhookFormat = QStringLiteral("json");  // "json" or "robot"
    QString smtpUrl;                                 // smtp://host:port or smtps://host:port
    QString smtpUser;
    QString smtpPassword;
    QString smtpCaFile;  // certificate authorities for the mail server's TLS; empty = the system's
    QString mailFrom;
    QStringList mailTo;      // addresses separated by commas in the file
    int repeatMinutes = 30;  // 0 = an alarm is announced once
    bool soundRepeat = true;

    // The station's title ([seting] title), named in every message.
    QString title;

    static NotifySettings Load(const QString& iniPath);
    // Writes both sections. When a password is stored the file is made readable and writable by
    // its owner and group only (0660), keeping the owner and group it has.
    // Throws SettingsWriteError when the file cannot be written.
    void Save(const QString& iniPath) const;

    bool MqttOn() const { return mqttEnabled && !host.trimmed().isEmpty(); }
    bool WebhooksOn() const { return !webhooks.isEmpty(); }
    bool MailOn() const { return !smtpUrl.trimmed().isEmpty() && !mailTo.isEmpty(); }
    bool PeopleOn() const { return WebhooksOn() || MailOn(); }
    // True when host names a Unix socket rather than a network host.
    bool HostIsSocket() const { return host.startsWith(QLatin1Char('/')); }
    QString EffectivePrefix() const;
    // The title as messages name the station: the stored title, or the host name without one.
    QString StationName() const;
};
