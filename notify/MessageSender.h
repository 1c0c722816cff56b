// Messages to people: every notice goes to each configured web hook (plain JSON or the group
// robots' text format) and by e-mail to the recipients. The transfers run on a thread of the
// sender's own; Send only queues, so the user-interface thread never waits on the network.
#pragma once

#include <QString>
#include <QVector>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "Notice.h"
#include "NotifySettings.h"

// The outcome of one way of sending ("网络回调 <url>", "邮件").
struct WayResult {
    QString way;
    bool ok = false;
    QString error;
};

class MessageSender {
  public:
    // report, when set, is called on the sender's thread after each transfer.
    MessageSender(NotifySettings settings, std::function<void(const WayResult&)> report = {});
    ~MessageSender();  // sends nothing more; waits for a transfer under way to end

    void Send(const Notice& notice);
    // Notices queued and not yet sent.
    int Pending() const;

    // Sends notice through every configured way now, on the calling thread (never the
    // user-interface thread), and tells how each went.
    static QVector<WayResult> Deliver(const NotifySettings& settings, const Notice& notice);
    // The body a web hook receives in the given format ("json" or "robot").
    static QByteArray WebhookBody(const QString& format, const Notice& notice,
                                  const QString& station);

    static constexpr int kCapacity = 10000;

  private:
    void Run();

    const NotifySettings settings_;
    std::function<void(const WayResult&)> report_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Notice> queue_;
    bool stop_ = false;
    std::thread thread_;
};
