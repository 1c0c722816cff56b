// The alarm log window.
#pragma once

#include <QDialog>

class StationLink;

class TFalm : public QDialog {
    Q_OBJECT
  public:
    explicit TFalm(StationLink& main, QWidget* parent = nullptr);

  protected:
    // FormClose: timed acquisition resumes with a full interval however the window closes.
    void done(int result) override;

  private:
    StationLink& main_;
};
