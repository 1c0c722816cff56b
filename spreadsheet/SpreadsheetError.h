// Failure to write or read a workbook file. The message names the file and says what went wrong,
// ready to be shown to the operator as it stands.
#pragma once

#include <QString>
#include <stdexcept>

class SpreadsheetError : public std::runtime_error {
  public:
    SpreadsheetError(const QString& filePath, const QString& message);

    // The file the operation was about.
    const QString& FilePath() const { return filePath_; }
    // The full message (what() holds the same text in UTF-8).
    const QString& Message() const { return message_; }

  private:
    QString filePath_;
    QString message_;
};
