// The device register window: the operator's working copy of the sensor register.
#pragma once

#include <QDialog>

class StationLink;

class TFset : public QDialog {
    Q_OBJECT
  public:
    explicit TFset(StationLink& main, QWidget* parent = nullptr);

    // A search reply (3 bytes) that arrived while the window is showing.
    void HandleSearchReply(const QByteArray& reply);

  protected:
    // FormClose: timed acquisition resumes with a full interval however the window closes.
    void done(int result) override;

  private:
    StationLink& main_;
};
