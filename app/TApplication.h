// The application object: a failure that escaped an event handler is shown in the error box
// and the program goes on, instead of unwinding through the event loop.
#pragma once

#include <QApplication>

class TApplication : public QApplication {
  public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
