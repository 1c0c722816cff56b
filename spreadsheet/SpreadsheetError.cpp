#include "SpreadsheetError.h"

SpreadsheetError::SpreadsheetError(const QString& filePath, const QString& message)
    : std::runtime_error(message.toStdString()), filePath_(filePath), message_(message) {}
