// The settings window: window title, grid row height, tray or normal mode, acquisition interval
// and alarm sound, kept in the settings file and applied to the main window when saved; also the
// state of the bus connection and the button that restarts the search for the bus port.
//
// Its port list and connection status label are the station's own: the main window fills and
// probes the one and writes the other, also while this window is hidden.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "TFileNameField.h"
#include "TSpinField.h"

class StationLink;

class TFset2 : public QDialog {
    Q_OBJECT
  public:
    explicit TFset2(StationLink& main, QWidget* parent = nullptr);

    QLabel* heading;
    QCheckBox* CheckBoxAutostart;  // start at login (the current user's autostart entry)
    QPushButton* ButtonNotify;     // opens the remote-notification window
    // Communication.
    QGroupBox* GroupBox1;
    QLabel* RzLabel3;
    QLabel* sLabelFX3;  // connection status
    QLabel* RzLabel4;
    QComboBox* ComboBox1;       // the station's serial ports, filled and probed by the main window
    QPushButton* SpeedButton3;  // reconnect
    // Window.
    QGroupBox* GroupBox2;
    QLabel* RzLabel1;
    QLineEdit* RzEdit1;  // title
    QLabel* RzLabel2;
    TSpinField* RzSpinEdit1;  // grid row height
    // Status icon.
    QGroupBox* GroupBox3;
    QRadioButton* RzRadioButton1;  // tray
    QRadioButton* RzRadioButton2;  // normal
    // Acquisition.
    QGroupBox* GroupBox4;
    QLabel* RzLabel5;
    TSpinField* RzSpinEdit3;  // interval in seconds
    // Playback.
    QGroupBox* GroupBox5;
    QLabel* RzLabel6;
    TFileNameField* sFilenameEdit1;  // alarm sound file
    // Buttons below the groups.
    QPushButton* SpeedButton6;  // defaults
    QPushButton* SpeedButton1;  // save; enabled = the fields hold unsaved changes
    QPushButton* SpeedButton7;  // exit

    // Event handlers.
    void FormShow();
    void RzSpinEdit1Change();
    void sFilenameEdit1Change();
    void RzSpinEdit1Exit();
    void RzSpinEdit3Exit();
    void SpeedButton1Click();
    void SpeedButton6Click();
    void SpeedButton3Click();
    void SpeedButton7Click();
    void ButtonNotifyClick();
    // True when the window may close; asks first when there are unsaved changes.
    bool FormCloseQuery();

  public slots:
    // Escape, the exit button and the close box all come here, and through the question.
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // FormClose: timed acquisition resumes with a full interval however the window closes.
    void done(int result) override;

  private:
    void BuildLayout();
    void CentreOnMainWindow();

    StationLink& main_;
};
