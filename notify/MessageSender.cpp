#include "MessageSender.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "CurlTransfer.h"

MessageSender::MessageSender(NotifySettings settings, std::function<void(const WayResult&)> report)
    : settings_(std::move(settings)), report_(std::move(report)) {
    CurlTransfer::GlobalInit();
    thread_ = std::thread([this] { Run(); });
}

MessageSender::~MessageSender() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void MessageSender::Send(const Notice& notice) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Past the bound the oldest notice gives way: the newest state of things matters most.
        if (static_cast<int>(queue_.size()) >= kCapacity) queue_.pop_front();
        queue_.push_back(notice);
    }
    wake_.notify_one();
}

int MessageSender::Pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(queue_.size());
}

void MessageSender::Run() {
    for (;;) {
        Notice notice;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_) return;
            notice = queue_.front();
        }
        const QVector<WayResult> results = Deliver(settings_, notice);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!queue_.empty()) queue_.pop_front();
        }
        if (report_)
            for (const WayResult& r : results) report_(r);
    }
}

QByteArray MessageSender::WebhookBody(const QString& format, const Notice& notice,
                                      const QString& station) {
    QJsonObject o;
    if (format == QStringLiteral("robot")) {
        o[QStringLiteral("msgtype")] = QStringLiteral("text");
        QJsonObject text;
        text[QStringLiteral("content")] = notice.Sentence(station);
        o[QStringLiteral("text")] = text;
    } else {
        o = notice.Json(station);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QVector<WayResult> MessageSender::Deliver(const NotifySettings& settings, const Notice& notice) {
    QVector<WayResult> results;
    const QString station = settings.StationName();
    if (settings.WebhooksOn()) {
        const QByteArray body = WebhookBody(settings.webhookFormat, notice, station);
        for (const QString& url : settings.webhooks) {
            WayResult r;
            r.way = QStringLiteral("网络回调 ") + url;
            r.ok = CurlTransfer::PostJson(url, body, &r.error);
            results << r;
        }
    }
    if (settings.MailOn()) {
        WayResult r;
        r.way = QStringLiteral("邮件");
        r.ok = CurlTransfer::SendMail(settings, notice.Subject(station), notice.Sentence(station),
                                      &r.error);
        results << r;
    }
    return results;
}
