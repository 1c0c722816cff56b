// The station on the simulated bus: settings saved in the settings window reach the main window,
// the settings file and the bus at once.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "SettingsTestSupport.h"

using testsupport::WaitFor;

namespace {

// The bus simulator on a pseudo-terminal, logging every command it receives with its time.
class BusSimulator {
  public:
    BusSimulator() {
        logPath_ = dir_.filePath(QStringLiteral("sim.log"));
        proc_.setProgram(testsupport::BinDir() + QStringLiteral("/sensorbus-sim"));
        proc_.setArguments({"--sensor", "0A1B2C=25", "--log", logPath_, "--quiet"});
        proc_.start();
        if (!proc_.waitForStarted(5000)) return;
        WaitFor([&] { return proc_.canReadLine() || proc_.state() != QProcess::Running; }, 5000);
        path = QString::fromLocal8Bit(proc_.readLine()).trimmed();
    }
    ~BusSimulator() {
        if (proc_.state() == QProcess::Running) {
            proc_.terminate();
            proc_.waitForFinished(5000);
        }
    }
    // Milliseconds since the simulator's start of each command of the given name received.
    QList<double> Received(const QString& command) const {
        QList<double> out;
        QFile f(logPath_);
        if (!f.open(QIODevice::ReadOnly)) return out;
        static const QRegularExpression re(QStringLiteral(" \\+([0-9.]+) rx \\S+ \\S+ (\\S+)$"));
        for (const QString& l : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch m = re.match(l);
            if (m.hasMatch() && m.captured(2) == command) out << m.captured(1).toDouble();
        }
        return out;
    }

    QString path;

  private:
    QTemporaryDir dir_;
    QString logPath_;
    QProcess proc_;
};

}  // namespace

TEST_F(SettingsTest, SavedSettingsTakeEffectOnTheStationAndTheBus) {
    BusSimulator sim;
    ASSERT_TRUE(sim.path.startsWith(QStringLiteral("/dev/pts/"))) << sim.path.toStdString();
    qputenv("SENSORBUS_PORTS", sim.path.toLocal8Bit());
    StationFolder folder;  // interval 60, row height 25
    Station s(folder);
    TFset2* w = s.Fset2;
    ASSERT_TRUE(WaitFor([&] { return w->sLabelFX3->text() == "对接正常      "; }, 5000));
    EXPECT_EQ(w->ComboBox1->currentText(), sim.path);

    bool saved = false;
    QTimer::singleShot(0, w, [&] {
        ASSERT_TRUE(WaitFor([&] { return w->isVisible(); }, 3000));
        EXPECT_EQ(w->RzSpinEdit3->Text(), "60");
        TypeInto(w->RzSpinEdit3, "2");
        Leave(w->RzSpinEdit3);
        w->RzEdit1->setFocus();
        QTest::keyClick(w->RzEdit1, Qt::Key_A, Qt::ControlModifier);
        TypeText(w->RzEdit1, "一号库房");
        TypeInto(w->RzSpinEdit1, "40");
        QTest::mouseClick(w->SpeedButton1, Qt::LeftButton);
        // Applied at once, while the window is still open.
        EXPECT_EQ(s.Fmain->sLabelFX23->text(), "一号库房");
        EXPECT_EQ(s.Fmain->RzStringGrid1->DefaultRowHeight(), 40);
        EXPECT_EQ(s.Fmain->State().pollInterval, 2);
        saved = !w->SpeedButton1->isEnabled();
        QTest::mouseClick(w->SpeedButton7, Qt::LeftButton);
    });
    QTest::mouseClick(s.Fmain->SpeedButton7, Qt::LeftButton);
    ASSERT_TRUE(saved);
    ASSERT_FALSE(w->isVisible());
    EXPECT_EQ(folder.ReadIni(),
              "[seting]\nstart=1\nicon=0\ntitle=一号库房\naddhigh=40\ninterval=2\nmedia=\n");

    // Timed acquisition now asks the bus every 2 seconds.
    ASSERT_TRUE(WaitFor([&] { return sim.Received("BA").size() >= 3; }, 9000));
    const QList<double> ba = sim.Received("BA");
    for (int i = 1; i < ba.size(); ++i) {
        const double gap = ba[i] - ba[i - 1];
        EXPECT_GT(gap, 1500.0) << i;
        EXPECT_LT(gap, 3000.0) << i;
    }
    EXPECT_TRUE(s.Board().contains("采集数据..."));
    EXPECT_EQ(s.Fmain->RzStringGrid1->Cell(1, 1), QString());  // no sensor registered
    qputenv("SENSORBUS_PORTS", "");
}
