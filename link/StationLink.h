// What the station's other windows may reach of the main window: its shared operations and the
// state they read and change. The main window implements it; the register, settings and alarm
// log windows are handed it when they are created and know the main window only through it.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

class QLabel;
class StationEvents;
class QTimer;
class QWidget;

// Private state of the main window that other windows read and change directly.
struct StationState {
    int32_t portIndex = 0;        // port being probed or found, index into the port list
    bool handshakeOk = false;     // the bus answered the handshake on the port being probed
    bool silentPortSeen = false;  // some port opened but stayed silent during this discovery
    int32_t pollInterval = 0;     // seconds between timed acquisitions; 0 = none
    int32_t countdown = 0;        // seconds left until the next timed acquisition
    QString alarmSoundFile;       // path of the alarm sound file
};

class StationLink {
  public:
    virtual ~StationLink() = default;

    // Shared operations.
    virtual void LoadMonitorRows(bool clearReadings) = 0;
    virtual void AddBoardLine(const QString& text) = 0;
    // Queues the bytes of text on the bus port; false when no port is open or text is empty.
    virtual bool SendCommand(const QByteArray& text) = 0;
    virtual QString ReadSetting(const QString& section, const QString& key) = 0;
    virtual void WriteSetting(const QString& section, const QString& key, const QString& value) = 0;

    // Shared state and members.
    virtual StationState& State() = 0;
    virtual QTimer* TimerB() = 0;           // the acquisition countdown (1 s)
    virtual QTimer* Timer2() = 0;           // one probe step of port discovery
    virtual QLabel* CountdownLabel() = 0;   // RzLabel1 of the main window
    virtual QLabel* HeaderLabel() = 0;      // sLabelFX23
    virtual void SetTrayMode(bool on) = 0;  // tray icon Visible and MinimizeToTray together
    virtual void SetGridDefaultRowHeight(int height) = 0;
    virtual QWidget* MainWindow() = 0;    // to centre the other windows on it
    virtual QString ProgramFolder() = 0;  // folder of the program file, with a trailing '/'
    virtual StationEvents& Events() = 0;  // announcements of what happens at the station

    // The countdown restarts from a full interval (each modal window does this as it closes).
    void RestartCountdown();
};
