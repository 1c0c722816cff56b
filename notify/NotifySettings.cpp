#include "NotifySettings.h"

#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>

#include "IniFile.h"

namespace {

const QString kMqtt = QStringLiteral("mqtt");
const QString kNotify = QStringLiteral("notify");

bool Flag(const QString& text, bool fallback) {
    const QString t = text.trimmed().toLower();
    if (t.isEmpty()) return fallback;
    return t == QStringLiteral("1") || t == QStringLiteral("true") || t == QStringLiteral("yes") ||
           t == QStringLiteral("on");
}

int Number(const QString& text, int fallback) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok && v >= 0 ? v : fallback;
}

QString FlagText(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

}  // namespace

NotifySettings NotifySettings::Load(const QString& iniPath) {
    auto read = [&](const QString& section, const char* key) {
        return ini::Read(iniPath, section, QString::fromLatin1(key)).trimmed();
    };
    NotifySettings s;
    s.mqttEnabled = Flag(read(kMqtt, "enabled"), false);
    s.host = read(kMqtt, "host");
    s.username = read(kMqtt, "username");
    s.password = ini::Read(iniPath, kMqtt, QStringLiteral("password"));
    s.tls = Flag(read(kMqtt, "tls"), false);
    s.port = Number(read(kMqtt, "port"), s.tls ? 8883 : 1883);
    s.cafile = read(kMqtt, "cafile");
    s.prefix = read(kMqtt, "prefix");
    while (s.prefix.endsWith(QLatin1Char('/'))) s.prefix.chop(1);

    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    s.webhooks = read(kNotify, "webhook").split(blanks, Qt::SkipEmptyParts);
    const QString format = read(kNotify, "webhook_format").toLower();
    s.webhookFormat = format == QStringLiteral("robot") ? format : QStringLiteral("json");
    s.smtpUrl = read(kNotify, "smtp_url");
    s.smtpUser = read(kNotify, "smtp_user");
    s.smtpPassword = ini::Read(iniPath, kNotify, QStringLiteral("smtp_password"));
    s.smtpCaFile = read(kNotify, "smtp_cafile");
    s.mailFrom = read(kNotify, "mail_from");
    for (const QString& a : read(kNotify, "mail_to").split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!a.trimmed().isEmpty()) s.mailTo << a.trimmed();
    s.repeatMinutes = Number(read(kNotify, "repeat"), 30);
    s.soundRepeat = Flag(read(kNotify, "sound_repeat"), true);
    s.title = ini::Read(iniPath, QStringLiteral("seting"), QStringLiteral("title")).trimmed();
    return s;
}

void NotifySettings::Save(const QString& iniPath) const {
    auto write = [&](const QString& section, const char* key, const QString& value) {
        ini::Write(iniPath, section, QString::fromLatin1(key), value);
    };
    const bool secret = !password.isEmpty() || !smtpPassword.isEmpty();
    // The file is closed to other users before a password goes into it.
    if (secret && QFile::exists(iniPath))
        QFile::setPermissions(iniPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                           QFile::WriteGroup | QFile::ReadUser | QFile::WriteUser);
    write(kMqtt, "enabled", FlagText(mqttEnabled));
    write(kMqtt, "host", host);
    write(kMqtt, "port", QString::number(port));
    write(kMqtt, "username", username);
    write(kMqtt, "password", password);
    write(kMqtt, "tls", FlagText(tls));
    write(kMqtt, "cafile", cafile);
    write(kMqtt, "prefix", prefix);
    write(kNotify, "webhook", webhooks.join(QLatin1Char(' ')));
    write(kNotify, "webhook_format", webhookFormat);
    write(kNotify, "smtp_url", smtpUrl);
    write(kNotify, "smtp_user", smtpUser);
    write(kNotify, "smtp_password", smtpPassword);
    write(kNotify, "smtp_cafile", smtpCaFile);
    write(kNotify, "mail_from", mailFrom);
    write(kNotify, "mail_to", mailTo.join(QLatin1Char(',')));
    write(kNotify, "repeat", QString::number(repeatMinutes));
    write(kNotify, "sound_repeat", FlagText(soundRepeat));
    // A file that did not exist before the first write is closed now.
    if (secret)
        QFile::setPermissions(iniPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                           QFile::WriteGroup | QFile::ReadUser | QFile::WriteUser);
}

QString NotifySettings::EffectivePrefix() const {
    if (!prefix.isEmpty()) return prefix;
    return QStringLiteral("sensorbus/") + QSysInfo::machineHostName();
}

QString NotifySettings::StationName() const {
    return title.isEmpty() ? QSysInfo::machineHostName() : title;
}
