// A failure of the history file: the SQLite text of the call that failed, with what was being
// done. The recorder catches it and reports it on the message board; monitoring goes on.
#pragma once

#include <QString>
#include <stdexcept>

namespace history {

class HistoryError : public std::runtime_error {
  public:
    explicit HistoryError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& Message() const { return message_; }

  private:
    QString message_;
};

}  // namespace history
