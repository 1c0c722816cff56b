// The settings window; its port list and connection status label are the station's own.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>

class StationLink;

class TFset2 : public QDialog {
    Q_OBJECT
  public:
    explicit TFset2(StationLink& main, QWidget* parent = nullptr);

    QComboBox* ComboBox1;  // the station's serial ports, filled and probed by the main window
    QLabel* sLabelFX3;     // connection status

  protected:
    // FormClose: timed acquisition resumes with a full interval however the window closes.
    void done(int result) override;

  private:
    StationLink& main_;
};
