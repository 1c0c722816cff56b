// The remote-notification window ("远程通知"): the [mqtt] and [notify] settings of peizhi.ini,
// saved there, and a test message sent through every configured way with the outcome of each.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVector>

#include "MessageSender.h"
#include "NotifySettings.h"

class QThread;

class TFnotify : public QDialog {
    Q_OBJECT
  public:
    // settingsPath: the station's peizhi.ini.
    explicit TFnotify(const QString& settingsPath, QWidget* parent = nullptr);
    ~TFnotify() override;

    // Broker.
    QGroupBox* GroupMqtt;
    QCheckBox* CheckMqtt;  // enabled
    QLineEdit* EditHost;   // host name, address or the path of the broker's Unix socket
    QSpinBox* SpinPort;
    QLineEdit* EditUser;
    QLineEdit* EditPassword;
    QCheckBox* CheckTls;
    QLineEdit* EditCaFile;
    QLineEdit* EditPrefix;
    // People.
    QGroupBox* GroupNotify;
    QLineEdit* EditWebhook;  // URLs separated by blanks
    QComboBox* ComboFormat;  // json / robot
    QLineEdit* EditSmtpUrl;
    QLineEdit* EditSmtpUser;
    QLineEdit* EditSmtpPassword;
    QLineEdit* EditSmtpCaFile;  // CA file for the mail server's certificate; empty = the system's
    QLineEdit* EditMailFrom;
    QLineEdit* EditMailTo;
    QSpinBox* SpinRepeat;  // minutes, 0 = no repetition
    QCheckBox* CheckSoundRepeat;
    // Outcome of the test message, one line per way.
    QPlainTextEdit* ResultView;
    QPushButton* ButtonTest;  // "发送测试消息"
    QPushButton* ButtonSave;
    QPushButton* ButtonExit;

    // The fields as settings, and the settings into the fields.
    NotifySettings FieldSettings() const;
    void ShowSettings(const NotifySettings& s);

    void FormShow();
    void ButtonSaveClick();
    void ButtonTestClick();
    // True while a test message is under way.
    bool Testing() const { return tester_ != nullptr; }
    // The outcome of the last test message (empty before one).
    const QVector<WayResult>& TestResults() const { return results_; }

    // Sends the test message through every configured way of s, on the calling thread.
    static QVector<WayResult> SendTest(const NotifySettings& s);

  signals:
    void TestFinished();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void ShowResults();

    const QString settingsPath_;
    QThread* tester_ = nullptr;
    QVector<WayResult> results_;
};
