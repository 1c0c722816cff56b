// The station's operator-facing boxes: plain messages with an OK button, confirmations with
// Yes and No, and the error box in which failures a handler does not handle itself appear.
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <utility>

class QWidget;

// Caption of the station's message boxes.
QString StationTitle();

// A plain message box with an OK button.
void ShowMessage(QWidget* parent, const QString& text);

// A confirmation with Yes and No; true only when the operator answers Yes.
bool ConfirmYesNo(QWidget* parent, const QString& text);

// The close question: only an answer of No refuses; a box dismissed any other way (Escape,
// its close button) lets the close go ahead.
bool ConfirmUnlessNo(QWidget* parent, const QString& text);

// The error box for a failure that ended a handler; the program goes on. At most one is open
// at any time: a failure while it is open goes to the overflow (see below), never into a box
// inside the box.
void ShowErrorBox(const QString& text);
// The same box, opened from the event loop once the caller has returned: for failures the
// caller handles itself and must not wait on the operator for.
void PostErrorBox(const QString& text);
// Where failures go while an error box is open (overflow), and who learns that it closed.
void SetErrorOverflow(std::function<void(const QString&)> overflow,
                      std::function<void()> boxClosed);
bool ErrorBoxOpen();

// Shows the message of the exception in flight in the error box. Call from a catch block.
void ShowCurrentException();

// Runs one event handler's body; a failure it does not handle itself ends it and is shown in
// the error box, as a failing statement or a bad number must never take the station down.
template <class F>
void RunHandler(F&& body) {
    try {
        std::forward<F>(body)();
    } catch (...) {
        ShowCurrentException();
    }
}
