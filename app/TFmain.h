// The station's main window: the monitoring grid, the message board, the right-hand column of
// indicators and buttons, and the start-up work of its creation and first showing.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <QToolButton>
#include <deque>
#include <memory>
#include <vector>

#include "BusWatch.h"
#include "RegisterLookup.h"
#include "StationEvents.h"
#include "StationLink.h"
#include "TBmpClock.h"
#include "TComm.h"
#include "TImageList.h"
#include "TLEDDisplay.h"
#include "TMessageBoard.h"
#include "TQuery.h"
#include "TStringGrid.h"
#include "ThTrayIcon.h"
#include "ThhALed.h"

class QComboBox;
class TFset;
class TFset2;
class TFalm;

class TFmain : public QMainWindow, public StationLink {
    Q_OBJECT
  public:
    // programFolder: where newdb.mdb and peizhi.ini lie (the program's own folder).
    explicit TFmain(const QString& programFolder, QWidget* parent = nullptr);
    ~TFmain() override;

    // The windows the main window works with, created after it.
    void AttachWindows(TFset* fset, TFset2* fset2, TFalm* falm);

    // False when FormCreate could not open the database ("链接数据库出错！！！" was shown).
    bool DatabaseOpen() const { return databaseOpen_; }

    // StationLink
    void LoadMonitorRows(bool clearReadings) override;
    void AddBoardLine(const QString& text) override;
    bool SendCommand(const QByteArray& text) override;
    QString ReadSetting(const QString& section, const QString& key) override;
    void WriteSetting(const QString& section, const QString& key, const QString& value) override;
    StationState& State() override { return state_; }
    QTimer* TimerB() override { return &TimerB_; }
    QTimer* Timer2() override { return &Timer2_; }
    QLabel* CountdownLabel() override { return RzLabel1; }
    QLabel* HeaderLabel() override { return sLabelFX23; }
    void SetTrayMode(bool on) override;
    void SetGridDefaultRowHeight(int height) override;
    QWidget* MainWindow() override { return this; }
    QString ProgramFolder() override { return programFolder_; }
    StationEvents& Events() override { return events_; }

    // Shows the window, or, with the tray mode on and a tray on the desktop, starts in the
    // tray: the first-showing work runs all the same (a start at login after a power cut is
    // watching at once, without anybody opening the window).
    void ShowAtStart();

    // Fills target with the computer's serial ports in sorted order.
    void ListSerialPorts(QComboBox* target);

    // Per-row alarm state of the monitoring grid: 0 normal, 1 in alarm, 2 recorded, back
    // within limits. Index = grid row; it grows with the grid.
    std::vector<uint8_t> rowAlarmState;
    bool startupDone = false;

    // Widgets, named as the station's other code refers to them.
    QLabel* sLabelFX23;          // header
    TBmpClock* BmpClock2;        // analogue clock, 98 x 98
    QLabel* boardCaption;        // "公告栏"
    QToolButton* SpeedButton5;   // clears the board
    TMessageBoard* RzListBox1;   // message board
    TStringGrid* RzStringGrid1;  // monitoring grid
    ThhALed* Led;                // LED lamp, 22 x 22
    TLEDDisplay* RzLEDDisplay1;  // LED digit display
    QLabel* RzLabel1;            // countdown label
    QLabel* busStateLabel;       // the station's view of the bus, under the buttons
    QToolButton* SpeedButton6;   // 屏幕刷新
    QToolButton* SpeedButton1;   // 既时采集
    QToolButton* SpeedButton3;   // 报警记录
    QToolButton* SpeedButton2;   // 设备管理
    QToolButton* SpeedButton7;   // 参数配置
    QToolButton* SpeedButton4;   // 退出
    QToolButton* historyButton;  // 历史曲线, below the six

    TQuery ADOQuery1;
    RegisterLookup registerLookup_;          // the register look-up of the reading path
    TComm Comm1;                             // the bus port
    TImageList ImageList3;                   // the tray icon's alarm frames
    std::unique_ptr<ThTrayIcon> hTrayIcon1;  // destroyed before the frames it shows

    // Receive dispatcher: one delivery of the driver, judged as one reply.
    void Comm1ReceiveData(TComm* sender, const uint8_t* buffer, uint16_t bufferLength);
    // After board lines were added: follows the newest line, or keeps the lines the operator
    // scrolled back to in view.
    // Reading branch: a sensor ID and its temperature.
    void EvaluateReading(const QString& id, double temperature);
    // Writes one alarm of grid row `row` to the log (or keeps it until the database takes it),
    // stamps the sensor's latest alarm and reloads the grid.
    void RecordAlarm(const QDateTime& time, int row, int code, const QString& fix,
                     const QString& temperatureText);
    // Screen refresh: clears every recorded alarm and puts the alarm display at rest.
    void SpeedButton6Click();
    // Paints alarm colours over a cell the grid has drawn.
    void RzStringGrid1DrawCell(int col, int row, const QRect& rect, QPainter& painter);

    // The port reported that its device vanished.
    void Comm1RequestHangup();
    // Rediscovery of a lost bus (every buswatch::kRediscoverySeconds).
    void TimerRTimer();
    QTimer* TimerR() { return &TimerR_; }
    const BusWatch& Watch() const { return busWatch_; }
    // Alarm rows that could not be written yet, oldest first; written as soon as the database
    // takes writes again.
    int PendingAlarmCount() const { return static_cast<int>(pendingAlarms_.size()); }
    void FlushPendingAlarms();
    bool DatabaseReadOnly() const { return databaseReadOnly_; }

    // Connection states shown by busStateLabel.
    static QString BusStateText(int state);
    enum BusState { BusConnecting, BusNotConnected, BusOk, BusLost, BusReconnecting };

    // Port discovery steps and the acquisition cycle (driven by the timers; public so that
    // the settings window's reconnect and the tests can see them work).
    void Timer2Timer();  // ProbeStep
    void Timer3Timer();  // HandshakeWait
    void TimerBTimer();
    void SpeedButton1Click();  // acquire now
    QTimer* Timer3() { return &Timer3_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void RzStringGrid1Resize();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton7Click();
    void BuildLayout();
    void HandshakeReply(char version);
    QComboBox* PortList() const;
    void SetConnectionStatus(const QString& text);
    void SetBusState(BusState state);
    // A read request is about to go out: the previous one's answer is judged.
    void JudgeRequest();
    bool RequestsHeld() const;
    void SendReadRequest();
    void BusLostEpisode();
    void BusRestoredEpisode();
    void SensorSilentEpisode(int code);
    void SensorBackEpisode(int code, int row);
    // Sound, tray, balloon and lamp of an alarm; a station in the tray comes back to the screen.
    void AlarmSignals(const QString& balloon);
    // Plays the alarm sound again while an alarm is active, until the screen refresh.
    void RepeatSound();
    int RowOfCode(int code) const;
    SensorInfo SensorOfRow(int row) const;

    struct PendingAlarm {
        QDateTime time;
        int code = 0;
        QString fix;
        QString temperatureText;
        bool stamp = true;  // also stamp the sensor's latest alarm
    };
    // Writes one alarm row (and its stamp) in one transaction; throws DatabaseError.
    void WriteAlarm(const PendingAlarm& alarm);
    // Writes an alarm now, or keeps it for later when the database refuses it.
    void StoreAlarm(const PendingAlarm& alarm);
    void ReopenReadOnlyDatabase();
    void ErrorOverflow(const QString& text);

    QString programFolder_;
    QString settingsPath_;
    bool databaseOpen_ = false;
    StationState state_;
    StationEvents events_;
    int ledRow_ = 0;  // grid row whose number the LED digit display shows
    QTimer Timer2_;
    QTimer Timer3_;
    QTimer TimerB_;
    QTimer TimerR_;       // rediscovery while the bus is lost
    QTimer flushTimer_;   // retries alarm rows the database refused
    QTimer soundRepeat_;  // plays the alarm sound again while an alarm is active
    bool alarmActive_ = false;
    bool silentOutputReported_ = false;
    BusWatch busWatch_;
    bool rediscovering_ = false;
    bool reconnectAnnounced_ = false;
    TQuery registerSnapshot_;  // the register as last read, for when the database fails
    // Each grid row's sensor as the register was last loaded (index = row), so that what is
    // announced of a row (silent, back) names the sensor as its readings do.
    std::vector<SensorInfo> rowSensors_;
    std::deque<PendingAlarm> pendingAlarms_;
    QHash<int, QString> pendingStamps_;  // sensor number -> stamp not yet written
    bool databaseReadOnly_ = false;
    QHash<QString, int> overflowCounts_;      // failures met while an error box is open
    QHash<QString, uint64_t> overflowLines_;  // a failure's counted line on the board
    TFset* Fset_ = nullptr;
    TFset2* Fset2_ = nullptr;
    TFalm* Falm_ = nullptr;
};
