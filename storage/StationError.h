// Typed failures that end the handler that met them. They are not handled where they occur:
// the application object catches them at the event loop and shows their message in the
// framework's error box, and the program goes on.
#pragma once

#include <QString>
#include <stdexcept>

class StationError : public std::runtime_error {
  public:
    explicit StationError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& Message() const { return message_; }

  private:
    QString message_;
};

// A statement the database refused, with the provider's own text.
class DatabaseError : public StationError {
  public:
    using StationError::StationError;
};

// A text that does not convert to a number: "'%s' is not a valid integer value" and the like.
class ConvertError : public StationError {
  public:
    using StationError::StationError;
};

// A settings-file write the system refused: "Unable to write to %s".
class SettingsWriteError : public StationError {
  public:
    using StationError::StationError;
};
