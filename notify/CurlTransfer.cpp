#include "CurlTransfer.h"

#include <curl/curl.h>

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QUuid>
#include <cstring>
#include <mutex>

#include "NotifySettings.h"

namespace {

constexpr long kConnectTimeoutS = 10;
constexpr long kTransferTimeoutS = 30;

struct Upload {
    QByteArray data;
    qsizetype pos = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user) {
    auto* up = static_cast<Upload*>(user);
    const size_t room = size * count;
    const size_t left = static_cast<size_t>(up->data.size() - up->pos);
    const size_t n = left < room ? left : room;
    std::memcpy(buffer, up->data.constData() + up->pos, n);
    up->pos += static_cast<qsizetype>(n);
    return n;
}

size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

// Words outside ASCII in a header, as RFC 2047 encoded words.
QByteArray HeaderWord(const QString& text) {
    return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?=";
}

// What went wrong in words an operator reads, with the library's own account after it for
// whoever looks further.
QString CurlError(CURLcode rc, const char* detail) {
    QString summary;
    switch (rc) {
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
            summary = QStringLiteral("地址格式不对");
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
            summary = QStringLiteral("找不到服务器地址");
            break;
        case CURLE_COULDNT_CONNECT:
            summary = QStringLiteral("无法连接服务器");
            break;
        case CURLE_OPERATION_TIMEDOUT:
            summary = QStringLiteral("连接超时");
            break;
        case CURLE_PEER_FAILED_VERIFICATION:
            summary = QStringLiteral("服务器证书无法验证");
            break;
        case CURLE_SSL_CACERT_BADFILE:
            summary = QStringLiteral("CA 文件无法读取");
            break;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_USE_SSL_FAILED:
            summary = QStringLiteral("加密连接失败");
            break;
        case CURLE_LOGIN_DENIED:
            summary = QStringLiteral("用户名或密码被拒绝");
            break;
        default:
            summary = QStringLiteral("发送失败");
            break;
    }
    QString account = detail && *detail ? QString::fromUtf8(detail).trimmed()
                                        : QString::fromUtf8(curl_easy_strerror(rc));
    return summary + QStringLiteral("（") + account + QStringLiteral("）");
}

}  // namespace

void CurlTransfer::GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool CurlTransfer::PostJson(const QString& url, const QByteArray& body, QString* error) {
    GlobalInit();
    CURL* curl = curl_easy_init();
    if (!curl) {
        if (error) *error = QStringLiteral("libcurl 无法初始化");
        return false;
    }
    char detail[CURL_ERROR_SIZE] = {};
    const QByteArray u = url.toUtf8();
    curl_slist* headers =
        curl_slist_append(nullptr, "Content-Type: application/json; charset=utf-8");
    curl_easy_setopt(curl, CURLOPT_URL, u.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutS);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTransferTimeoutS);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK) {
        if (error) *error = CurlError(rc, detail);
        return false;
    }
    if (status < 200 || status > 299) {
        if (error) *error = QStringLiteral("HTTP %1").arg(status);
        return false;
    }
    return true;
}

QByteArray CurlTransfer::MailText(const QString& from, const QStringList& to,
                                  const QString& subject, const QString& text) {
    const QLocale c = QLocale::c();
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc() / 60;
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(qAbs(offset) / 60, 2, 10, QLatin1Char('0'))
                             .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0'));
    QByteArray m;
    m += "Date: " + c.toString(now, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")).toLatin1() +
         zone.toLatin1() + "\r\n";
    m += "From: " + from.toUtf8() + "\r\n";
    m += "To: " + to.join(QStringLiteral(", ")).toUtf8() + "\r\n";
    m += "Message-ID: <" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() +
         "@sensorbus>\r\n";
    m += "Subject: " + HeaderWord(subject) + "\r\n";
    m += "MIME-Version: 1.0\r\n";
    m += "Content-Type: text/plain; charset=UTF-8\r\n";
    m += "Content-Transfer-Encoding: base64\r\n\r\n";
    const QByteArray body = text.toUtf8().toBase64();
    for (qsizetype i = 0; i < body.size(); i += 76) m += body.mid(i, 76) + "\r\n";
    return m;
}

bool CurlTransfer::SendMail(const NotifySettings& settings, const QString& subject,
                            const QString& text, QString* error) {
    GlobalInit();
    CURL* curl = curl_easy_init();
    if (!curl) {
        if (error) *error = QStringLiteral("libcurl 无法初始化");
        return false;
    }
    char detail[CURL_ERROR_SIZE] = {};
    const QByteArray url = settings.smtpUrl.trimmed().toUtf8();
    const QByteArray from = settings.mailFrom.trimmed().toUtf8();
    const QByteArray user = settings.smtpUser.toUtf8();
    const QByteArray password = settings.smtpPassword.toUtf8();
    const QByteArray cafile = QFile::encodeName(settings.smtpCaFile.trimmed());
    curl_slist* rcpt = nullptr;
    for (const QString& to : settings.mailTo)
        rcpt = curl_slist_append(rcpt, ("<" + to.trimmed().toUtf8() + ">").constData());
    Upload up;
    up.data = MailText(settings.mailFrom, settings.mailTo, subject, text);

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    // STARTTLS whenever the server offers it; smtps:// is TLS from the first byte anyway.
    curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    // The server's certificate is always checked; against the named authorities when the
    // settings name a file (a company's own CA), otherwise against the system's.
    if (!cafile.isEmpty()) curl_easy_setopt(curl, CURLOPT_CAINFO, cafile.constData());
    if (!from.isEmpty()) curl_easy_setopt(curl, CURLOPT_MAIL_FROM, ("<" + from + ">").constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
    if (!user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &up);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutS);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTransferTimeoutS);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    const CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK) {
        if (error) *error = CurlError(rc, detail);
        return false;
    }
    return true;
}
