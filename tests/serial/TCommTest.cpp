// TComm against real pseudo-terminals. No test opens a real device.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <csignal>
#include <thread>

#include "PtyPair.h"
#include "SerialPortList.h"
#include "TComm.h"
#include "TestSupport.h"

using testsupport::WaitFor;

namespace {

void Pump(int ms) {
    WaitFor([] { return false; }, ms);
}

struct Recorder {
    QList<QByteArray> data;
    QList<bool> zeroTerminated;
    int hangups = 0;
    int sendEmpty = 0;
    int errors = 0;
    int modem = 0;
    bool wrongThread = false;
    void Attach(TComm& c) {
        c.OnReceiveData = [this](TComm* sender, const uint8_t* buf, uint16_t len) {
            (void)sender;
            data.append(QByteArray(reinterpret_cast<const char*>(buf), len));
            zeroTerminated.append(buf[len] == 0);
            if (QThread::currentThread() != QCoreApplication::instance()->thread())
                wrongThread = true;
        };
        c.OnRequestHangup = [this](TComm*) { ++hangups; };
        c.OnSendDataEmpty = [this](TComm*) {
            ++sendEmpty;
            if (QThread::currentThread() != QCoreApplication::instance()->thread())
                wrongThread = true;
        };
        c.OnReceiveError = [this](TComm*, uint32_t) { ++errors; };
        c.OnModemStateChange = [this](TComm*, uint32_t) { ++modem; };
    }
    QByteArray All() const {
        QByteArray a;
        for (const auto& d : data) a += d;
        return a;
    }
};

// The station's Comm1 as its form stores it.
void ConfigureLikeComm1(TComm& c) {
    c.SetCommName(QStringLiteral("COM1"));
    c.SetBaudRate(2400);
    c.SetDtrControl(TDtrControl::DtrEnable);
    c.SetTxContinueOnXoff(true);
    c.SetRtsControl(TRtsControl::RtsEnable);
    c.SetXonLimit(500);
    c.SetXoffLimit(500);
    c.SetByteSize(TByteSize::_8);
    c.SetParity(TParity::None);
    c.SetStopBits(TStopBits::_1);
    c.SetXonChar(17);
    c.SetXoffChar(19);
    c.SetReplacedChar(0);
    c.SetReadIntervalTimeout(100);
}

}  // namespace

TEST(TComm, DefaultsAndDeclarationOrder) {
    TComm c;
    EXPECT_EQ(c.CommPortIndex(), 0u);
    EXPECT_EQ(c.CommPortName(), QString());
    EXPECT_FALSE(c.PortOpen());
    EXPECT_EQ(c.CommPort(), 1);
    EXPECT_EQ(c.PortOpenError(), QString());
    EXPECT_EQ(c.Output(), QString());
    EXPECT_EQ(c.InputLen(), 1);
    EXPECT_EQ(c.InBufferSize(), 2048);
    EXPECT_EQ(c.CommName(), QStringLiteral("COM1"));
    EXPECT_EQ(c.BaudRate(), 9600u);
    EXPECT_FALSE(c.ParityCheck() || c.Outx_CtsFlow() || c.Outx_DsrFlow() || c.DsrSensitivity() ||
                 c.TxContinueOnXoff() || c.Outx_XonXoffFlow() || c.Inx_XonXoffFlow() ||
                 c.ReplaceWhenParityError() || c.IgnoreNullChar());
    EXPECT_EQ(c.DtrControl(), TDtrControl::DtrDisable);
    EXPECT_EQ(c.RtsControl(), TRtsControl::RtsDisable);
    EXPECT_EQ(c.XonLimit(), 500);
    EXPECT_EQ(c.XoffLimit(), 500);
    EXPECT_EQ(c.ByteSize(), TByteSize::_8);
    EXPECT_EQ(c.Parity(), TParity::None);
    EXPECT_EQ(c.StopBits(), TStopBits::_1);
    EXPECT_EQ(c.XonChar(), 17);
    EXPECT_EQ(c.XoffChar(), 19);
    EXPECT_EQ(c.ReplacedChar(), 0);
    EXPECT_EQ(c.ReadIntervalTimeout(), 100u);
    EXPECT_EQ(c.ReadTotalTimeoutMultiplier(), 0u);
    EXPECT_EQ(c.ReadTotalTimeoutConstant(), 0u);
    EXPECT_EQ(c.WriteTotalTimeoutMultiplier(), 0u);
    EXPECT_EQ(c.WriteTotalTimeoutConstant(), 0u);
    EXPECT_TRUE(c.SendDataEmpty());
    EXPECT_EQ(c.ControlFlags(), 0x0001u);

    const QStringList props = TComm::PublishedProperties();
    ASSERT_EQ(props.size(), 40);
    EXPECT_EQ(props.first(), QStringLiteral("CommPortIndex"));
    EXPECT_EQ(props.indexOf(QStringLiteral("InputLen")) + 1,
              props.indexOf(QStringLiteral("InBufferSize")));
    EXPECT_EQ(props.at(34), QStringLiteral("WriteTotalTimeoutConstant"));
    EXPECT_EQ(props.last(), QStringLiteral("OnSendDataEmpty"));

    // Enumeration ordinals.
    EXPECT_EQ(int(TDtrControl::DtrHandshake), 2);
    EXPECT_EQ(int(TRtsControl::RtsTransmissionAvailable), 3);
    EXPECT_EQ(int(TByteSize::_8), 3);
    EXPECT_EQ(int(TParity::Space), 4);
    EXPECT_EQ(int(TStopBits::_2), 2);
}

TEST(TComm, StoredDefaultRules) {
    TComm c;
    std::vector<std::pair<QString, QString>> expectedDefault = {
        {"CommName", "COM1"},
        {"XonLimit", "500"},
        {"XoffLimit", "500"},
        {"ByteSize", "_8"},
        {"Parity", "None"},
        {"StopBits", "_1"},
        {"XonChar", "17"},
        {"XoffChar", "19"},
        {"ReplacedChar", "0"},
        {"ReadIntervalTimeout", "100"},
        {"ReadTotalTimeoutMultiplier", "0"},
        {"ReadTotalTimeoutConstant", "0"},
        {"WriteTotalTimeoutMultiplier", "0"},
        {"WriteTotalTimeoutConstant", "0"}};
    EXPECT_EQ(c.StoredProperties(), expectedDefault);

    ConfigureLikeComm1(c);
    c.OnReceiveData = [](TComm*, const uint8_t*, uint16_t) {};
    std::vector<std::pair<QString, QString>> comm1 = {{"CommName", "COM1"},
                                                      {"BaudRate", "2400"},
                                                      {"DtrControl", "DtrEnable"},
                                                      {"TxContinueOnXoff", "True"},
                                                      {"RtsControl", "RtsEnable"},
                                                      {"XonLimit", "500"},
                                                      {"XoffLimit", "500"},
                                                      {"ByteSize", "_8"},
                                                      {"Parity", "None"},
                                                      {"StopBits", "_1"},
                                                      {"XonChar", "17"},
                                                      {"XoffChar", "19"},
                                                      {"ReplacedChar", "0"},
                                                      {"ReadIntervalTimeout", "100"},
                                                      {"ReadTotalTimeoutMultiplier", "0"},
                                                      {"ReadTotalTimeoutConstant", "0"},
                                                      {"WriteTotalTimeoutMultiplier", "0"},
                                                      {"WriteTotalTimeoutConstant", "0"},
                                                      {"OnReceiveData", "(assigned)"}};
    EXPECT_EQ(c.StoredProperties(), comm1);
}

TEST(TComm, ControlFlagsWordOfComm1Is0x1091) {
    TComm c;
    ConfigureLikeComm1(c);
    EXPECT_EQ(c.ControlFlags(), 0x1091u);
    c.SetParityCheck(true);
    c.SetOutx_CtsFlow(true);
    c.SetOutx_DsrFlow(true);
    c.SetDtrControl(TDtrControl::DtrHandshake);
    c.SetDsrSensitivity(true);
    c.SetOutx_XonXoffFlow(true);
    c.SetInx_XonXoffFlow(true);
    c.SetReplaceWhenParityError(true);
    c.SetIgnoreNullChar(true);
    c.SetRtsControl(TRtsControl::RtsTransmissionAvailable);
    EXPECT_EQ(c.ControlFlags(), 0x3FEFu);  // never fAbortOnError
    c.SetRtsControl(TRtsControl::RtsHandshake);
    c.SetDtrControl(TDtrControl::DtrDisable);
    EXPECT_EQ(c.ControlFlags(), 0x2FCFu);
}

TEST(TComm, CommNameMapping) {
    EXPECT_EQ(TComm::DevicePath(QStringLiteral("/dev/ttyUSB0")), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(TComm::DevicePath(QStringLiteral("COM1")), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(TComm::DevicePath(QStringLiteral("COM7")), QStringLiteral("/dev/ttyS6"));
    EXPECT_EQ(TComm::DevicePath(QStringLiteral("ttyACM0")), QStringLiteral("/dev/ttyACM0"));
}

TEST(TComm, CommPortSevenAndZero) {
    TComm c;
    c.SetCommPort(7);
    EXPECT_EQ(c.CommPort(), 7);
    EXPECT_EQ(c.CommName(), QStringLiteral("COM7"));
    c.SetCommPort(0);
    EXPECT_EQ(c.CommPort(), 7);
    EXPECT_EQ(c.CommName(), QStringLiteral("COM7"));
    c.SetCommName(QStringLiteral("/dev/ttyUSB3"));
    c.SetCommPort(7);  // current value: CommName is not rebuilt
    EXPECT_EQ(c.CommName(), QStringLiteral("/dev/ttyUSB3"));
}

TEST(TComm, InputLenAndInBufferSizeRules) {
    TComm c;
    c.SetInputLen(0);
    EXPECT_EQ(c.InputLen(), 2048);
    c.SetInputLen(5);
    c.SetInputLen(3000);
    EXPECT_EQ(c.InputLen(), 5);
    c.SetInBufferSize(0);
    EXPECT_EQ(c.InBufferSize(), 1);
    EXPECT_EQ(c.InputLen(), 5);  // not touched
    c.SetInputLen(0);
    EXPECT_EQ(c.InputLen(), 1);
}

TEST(TComm, MissingDevice) {
    TComm c;
    c.SetCommName(QStringLiteral("/dev/no-such-serial-port-xyz"));
    EXPECT_NO_THROW(c.OpenComm());
    EXPECT_FALSE(c.PortOpen());
    EXPECT_EQ(c.PortOpenError(), QStringLiteral("Error opening serial port"));
}

TEST(TComm, NotACommHandle) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("plain"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    TComm c;
    c.SetCommName(file);
    c.OpenComm();
    EXPECT_FALSE(c.PortOpen());
    EXPECT_EQ(c.PortOpenError(), QStringLiteral("File handle is not a comm handle "));
}

TEST(TComm, CloseOnClosedOnlyClearsError) {
    TComm c;
    c.SetCommName(QStringLiteral("/dev/no-such-serial-port-xyz"));
    c.OpenComm();
    ASSERT_FALSE(c.PortOpenError().isEmpty());
    c.CloseComm();
    EXPECT_EQ(c.PortOpenError(), QString());
    EXPECT_FALSE(c.PortOpen());
    c.CloseComm();
    EXPECT_FALSE(c.PortOpen());
}

TEST(TComm, SendBytesZeroLengthAndClosed) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    TComm c;
    EXPECT_FALSE(c.SendBytes("AaaA", 4));  // closed
    c.SetCommName(pty.path);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen()) << c.PortOpenError().toStdString();
    EXPECT_FALSE(c.SendBytes("AaaA", 0));
    EXPECT_TRUE(c.SendBytes("AaaA", 4));
    EXPECT_EQ(pty.Read(4), QByteArray("AaaA"));
    c.CloseComm();
    EXPECT_FALSE(c.SendBytes("AaaA", 4));
}

TEST(TComm, OpenTwiceKeepsPortRunning) {
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    EXPECT_TRUE(c.PortOpenError().isEmpty());
    const int handle = c.PortHandle();
    c.OpenComm();
    EXPECT_EQ(c.PortOpenError(), QStringLiteral("This serial port already opened"));
    EXPECT_TRUE(c.PortOpen());
    EXPECT_EQ(c.PortHandle(), handle);
    pty.Write("x");
    EXPECT_TRUE(WaitFor([&] { return rec.data.size() == 1; }));
    EXPECT_FALSE(c.HasLineEvents());  // a pty has no line or modem events
}

TEST(TComm, SecondOpenerOfSameDeviceRefused) {
    PtyPair pty;
    TComm a, b;
    a.SetCommName(pty.path);
    b.SetCommName(pty.path);
    a.OpenComm();
    ASSERT_TRUE(a.PortOpen());
    b.OpenComm();
    EXPECT_FALSE(b.PortOpen());
    EXPECT_EQ(b.PortOpenError(), QStringLiteral("Error opening serial port"));
    a.CloseComm();
    b.OpenComm();
    EXPECT_TRUE(b.PortOpen()) << b.PortOpenError().toStdString();
    b.CloseComm();

    // Another program holding the device (an flock on its own descriptor).
    const int other = ::open(pty.path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    a.OpenComm();
    EXPECT_FALSE(a.PortOpen());
    EXPECT_EQ(a.PortOpenError(), QStringLiteral("Error opening serial port"));
    ::close(other);
    a.OpenComm();
    EXPECT_TRUE(a.PortOpen());
}

TEST(TComm, BaudRateReappliedOnlyOnChange) {
    PtyPair pty;
    TComm c;
    c.SetBaudRate(2400);
    EXPECT_EQ(c.CommStateApplyCount(), 0);  // closed: stored only
    c.SetCommName(pty.path);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    const int applied = c.CommStateApplyCount();
    termios t{};
    ASSERT_EQ(::tcgetattr(c.PortHandle(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B2400));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_lflag & ICANON);

    c.SetBaudRate(2400);
    EXPECT_EQ(c.CommStateApplyCount(), applied);
    c.SetBaudRate(9600);
    EXPECT_EQ(c.CommStateApplyCount(), applied + 1);
    ASSERT_EQ(::tcgetattr(c.PortHandle(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B9600));

    c.SetStopBits(TStopBits::_2);  // whole block rebuilt (a pty keeps CS8 and no parity)
    ASSERT_EQ(::tcgetattr(c.PortHandle(), &t), 0);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B9600));

    const int timeouts = c.CommTimeoutsApplyCount();
    c.SetReadIntervalTimeout(100);
    EXPECT_EQ(c.CommTimeoutsApplyCount(), timeouts);
    c.SetReadIntervalTimeout(50);
    EXPECT_EQ(c.CommTimeoutsApplyCount(), timeouts + 1);
}

TEST(TComm, FiveBytesWithInputLenOneAreFiveNotices) {
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    pty.Write(QByteArray::fromHex("0A1B2C0191"));
    ASSERT_TRUE(WaitFor([&] { return rec.data.size() >= 5; }));
    Pump(200);
    ASSERT_EQ(rec.data.size(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(rec.data[i], QByteArray::fromHex("0A1B2C0191").mid(i, 1));
    EXPECT_FALSE(rec.wrongThread);
}

TEST(TComm, FiveBytesWithInputLenZeroAreOneNotice) {
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.SetInputLen(0);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    QElapsedTimer timer;
    timer.start();
    pty.Write(QByteArray::fromHex("0A1B2C0191"));
    ASSERT_TRUE(WaitFor([&] { return rec.data.size() >= 1; }));
    const qint64 latency = timer.elapsed();
    EXPECT_GE(latency, 95);  // delivered only after the line was silent for the interval
    Pump(250);
    ASSERT_EQ(rec.data.size(), 1);
    EXPECT_EQ(rec.data[0], QByteArray::fromHex("0A1B2C0191"));
    EXPECT_TRUE(rec.zeroTerminated[0]);  // the block is followed by a zero byte
}

TEST(TComm, PauseOf150msSplitsDeliveries) {
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.SetInputLen(0);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    pty.Write(QByteArray::fromHex("414141"));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    pty.Write(QByteArray::fromHex("0191"));
    ASSERT_TRUE(WaitFor([&] { return rec.data.size() >= 2; }));
    Pump(250);
    ASSERT_EQ(rec.data.size(), 2);
    EXPECT_EQ(rec.data[0], QByteArray::fromHex("414141"));
    EXPECT_EQ(rec.data[1], QByteArray::fromHex("0191"));
}

TEST(TComm, SmallGapsStayOneDelivery) {
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.SetInputLen(0);
    c.OpenComm();
    for (char ch : QByteArray("ABCDE")) {
        pty.Write(QByteArray(1, ch));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    ASSERT_TRUE(WaitFor([&] { return rec.data.size() >= 1; }));
    Pump(200);
    ASSERT_EQ(rec.data.size(), 1);
    EXPECT_EQ(rec.data[0], QByteArray("ABCDE"));
}

TEST(TComm, ABurstLongerThanOneKernelReadIsOneDelivery) {
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.SetInputLen(0);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    QByteArray burst;
    for (int i = 0; i < 600; ++i) burst += char('A' + i % 26);
    pty.Write(burst);
    ASSERT_TRUE(WaitFor([&] { return rec.All().size() >= burst.size(); }));
    Pump(250);
    ASSERT_EQ(rec.data.size(), 1);
    EXPECT_EQ(rec.data[0], burst);
}

// Tenths of a second the line discipline can time, other intervals the thread times; a change
// made while the port is open rules from the next read on.
TEST(TComm, IntervalChangedWhileOpenDecidesWhereRepliesSplit) {
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.SetInputLen(0);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    auto sendWithGaps = [&](int gapMs) {
        for (char ch : QByteArray("ABC")) {
            pty.Write(QByteArray(1, ch));
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        }
    };
    auto endCurrentRead = [&] {
        const int before = int(rec.data.size());
        pty.Write("x");
        ASSERT_TRUE(WaitFor([&] { return rec.data.size() > before; }));
        Pump(50);
        rec.data.clear();
    };
    c.SetReadIntervalTimeout(50);
    endCurrentRead();
    sendWithGaps(75);
    ASSERT_TRUE(WaitFor([&] { return rec.All().size() >= 3; }));
    Pump(200);
    EXPECT_EQ(rec.data.size(), 3);  // 75 ms of silence ends a 50 ms read

    c.SetReadIntervalTimeout(200);
    endCurrentRead();
    sendWithGaps(130);
    ASSERT_TRUE(WaitFor([&] { return rec.All().size() >= 3; }));
    Pump(300);
    ASSERT_EQ(rec.data.size(), 1);  // 130 ms gaps stay within a 200 ms read
    EXPECT_EQ(rec.data[0], QByteArray("ABC"));
    EXPECT_EQ(rec.hangups, 0);
}

// The station's child programs and the desktop send signals to the process; one that lands on
// the receive thread must not cut a reply that is still arriving.
TEST(TComm, ASignalToTheReceiveThreadDoesNotCutAReply) {
    struct sigaction sa {};
    sa.sa_handler = [](int) {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no restart: an interrupted read returns what it has
    struct sigaction old {};
    ASSERT_EQ(::sigaction(SIGUSR1, &sa, &old), 0);
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.SetInputLen(0);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    Pump(50);
    pid_t reader = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "comm-read")
            reader = tid.toInt();
    }
    ASSERT_GT(reader, 0);
    for (char ch : QByteArray("ABCDE")) {
        pty.Write(QByteArray(1, ch));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ::syscall(SYS_tgkill, ::getpid(), reader, SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(WaitFor([&] { return rec.All().size() >= 5; }));
    Pump(200);
    c.CloseComm();
    ::sigaction(SIGUSR1, &old, nullptr);
    ASSERT_EQ(rec.data.size(), 1);
    EXPECT_EQ(rec.data[0], QByteArray("ABCDE"));
}

TEST(TComm, InputLenCapsEachRead) {
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.SetInputLen(4);
    c.OpenComm();
    pty.Write("0123456789");
    ASSERT_TRUE(WaitFor([&] { return rec.All().size() == 10; }));
    Pump(200);
    ASSERT_EQ(rec.data.size(), 3);
    EXPECT_EQ(rec.data[0], QByteArray("0123"));
    EXPECT_EQ(rec.data[1], QByteArray("4567"));
    EXPECT_EQ(rec.data[2], QByteArray("89"));
}

TEST(TComm, TotalTimeoutEndsReadsAndReceptionGoesOn) {
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.SetInputLen(0);
    c.SetReadIntervalTimeout(0);
    c.SetReadTotalTimeoutConstant(80);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    Pump(300);  // several reads end empty: no notice, and the port keeps receiving
    EXPECT_TRUE(rec.data.isEmpty());
    pty.Write("abc");
    ASSERT_TRUE(WaitFor([&] { return rec.data.size() >= 1; }));
    EXPECT_EQ(rec.data[0], QByteArray("abc"));
    EXPECT_EQ(rec.hangups, 0);
}

TEST(TComm, ImmediateReadsWaitForTheFirstByte) {
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.SetInputLen(0);
    c.SetReadIntervalTimeout(TComm::MAXDWORD);  // return at once what is there
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    Pump(100);
    pty.Write("xyz");
    ASSERT_TRUE(WaitFor([&] { return rec.All() == "xyz"; }));
    pty.Write("q");
    ASSERT_TRUE(WaitFor([&] { return rec.All() == "xyzq"; }));
}

TEST(TComm, IgnoreNullCharDropsZeroBytes) {
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.SetInputLen(0);
    c.OpenComm();
    c.SetIgnoreNullChar(true);
    pty.Write(QByteArray("a\0b\0c", 5));
    ASSERT_TRUE(WaitFor([&] { return rec.data.size() >= 1; }));
    EXPECT_EQ(rec.data[0], QByteArray("abc"));
}

// Parity checking switched on while the port is open: bytes that the line discipline took in
// before the switch are not marked, so a plain 0xFF can be followed by an ordinary byte. That
// pair is passed on as received, and no delivery may grow past InputLen (nor the read buffer,
// which here holds exactly one read).
TEST(TComm, ParityCheckSwitchedOnKeepsDeliveriesWithinInputLen) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.SetInBufferSize(1);
    c.SetInputLen(1);
    QByteArray expected;
    for (int attempt = 0; attempt < 3; ++attempt) {
        c.OpenComm();
        ASSERT_TRUE(c.PortOpen()) << c.PortOpenError().toStdString();
        // Enough bytes to keep the receive thread busy one byte at a time, ending in 0xFF.
        const QByteArray filler = QByteArray(4000, 'a') + char(0xFF);
        pty.Write(filler);
        int queued = 0;
        for (int i = 0; i < 2000 && queued == 0; ++i) {
            ::ioctl(pty.slaveKeep, FIONREAD, &queued);  // the line discipline has the bytes
            if (queued == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        c.SetParityCheck(true);
        pty.Write("x");
        expected += filler + "x";
        ASSERT_TRUE(WaitFor([&] { return rec.All().size() >= expected.size(); }))
            << rec.All().size() << " of " << expected.size();
        Pump(150);
        c.CloseComm();
        c.SetParityCheck(false);
    }
    int longest = 0;
    for (const QByteArray& d : rec.data) longest = std::max(longest, int(d.size()));
    EXPECT_EQ(longest, 1);  // InputLen
    EXPECT_EQ(rec.All(), expected);
}

TEST(TComm, WritesInOrderWithOneSendEmptyNotice) {
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.SetOutx_XonXoffFlow(true);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    // The queue is empty right after the open: one notice.
    ASSERT_TRUE(WaitFor([&] { return rec.sendEmpty == 1; }));
    Pump(50);
    EXPECT_EQ(rec.sendEmpty, 1);
    // The far end holds the line with XOFF, so every block is queued before the first write
    // completes; XON lets them go.
    pty.Write(QByteArray(1, char(19)));
    Pump(50);
    QByteArray expected;
    for (int i = 0; i < 20; ++i) {
        const QByteArray block =
            QByteArray::number(i).rightJustified(3, '0') + QByteArray(200, char('a' + i));
        expected += block;
        ASSERT_TRUE(c.SendBytes(block.constData(), uint16_t(block.size())));
    }
    EXPECT_FALSE(c.SendDataEmpty());
    Pump(100);
    EXPECT_EQ(rec.sendEmpty, 1);
    EXPECT_TRUE(pty.ReadAvailable().isEmpty());
    pty.Write(QByteArray(1, char(17)));
    EXPECT_EQ(pty.Read(expected.size()), expected);
    ASSERT_TRUE(WaitFor([&] { return rec.sendEmpty >= 2; }));
    Pump(100);
    EXPECT_EQ(rec.sendEmpty, 2);
    EXPECT_TRUE(c.SendDataEmpty());
    // A block queued after the queue ran empty gets its own notice.
    ASSERT_TRUE(c.SendBytes("BA", 2));
    EXPECT_EQ(pty.Read(2), QByteArray("BA"));
    ASSERT_TRUE(WaitFor([&] { return rec.sendEmpty == 3; }));
    EXPECT_FALSE(rec.wrongThread);
}

TEST(TComm, ClosingDuringPendingWriteAbortsIt) {
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    // The far end does not read: the pty fills up and the write stays pending.
    const QByteArray block(60000, 'x');
    int queued = 0;
    for (int i = 0; i < 20; ++i)
        queued += c.SendBytes(block.constData(), uint16_t(block.size())) ? 1 : 0;
    EXPECT_EQ(queued, 20);
    Pump(200);
    EXPECT_FALSE(c.SendDataEmpty());
    c.CloseComm();  // returns although the far end never reads
    EXPECT_FALSE(c.PortOpen());
    EXPECT_TRUE(c.SendDataEmpty());
    const QByteArray got = pty.ReadAvailable();
    EXPECT_LT(got.size(), queued * block.size());  // queued blocks were dropped
    Pump(100);
    EXPECT_EQ(rec.hangups, 0);
    // The device can be opened and used again.
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    pty.ReadAvailable();
    ASSERT_TRUE(c.SendBytes("AA", 2));
    EXPECT_TRUE(pty.Read(2).endsWith("AA"));
}

TEST(TComm, PeerVanishingGivesOneHangup) {
    auto pty = std::make_unique<PtyPair>();
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty->path);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    pty->Write("ab");
    ASSERT_TRUE(WaitFor([&] { return rec.data.size() == 2; }));
    pty->CloseAll();
    ASSERT_TRUE(WaitFor([&] { return rec.hangups >= 1; }));
    Pump(300);
    EXPECT_EQ(rec.hangups, 1);
    EXPECT_TRUE(c.PortOpen());  // open until CloseComm
    // The threads have ended: nothing more is accepted.
    EXPECT_TRUE(WaitFor([&] { return !c.SendBytes("BA", 2); }));
    c.CloseComm();
    EXPECT_FALSE(c.PortOpen());
    Pump(100);
    EXPECT_EQ(rec.hangups, 1);
}

// The far end keeps talking while the station opens, sends and closes again and again. Closing
// purges the input under the receive thread; an empty read after that purge is the close, not a
// vanished device, so no hangup may be reported.
TEST(TComm, CloseWhileBytesArriveRaisesNoHangup) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    std::atomic<bool> stop{false};
    std::thread peer([&] {
        const QByteArray chunk(64, 'r');
        char sink[4096];
        while (!stop.load()) {
            if (::write(pty.master, chunk.constData(), size_t(chunk.size())) < 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            while (::read(pty.master, sink, sizeof sink) > 0) {  // what the station sent
            }
        }
    });
    int cycles = 0;
    for (int inputLen : {1, 0}) {
        TComm c;
        Recorder rec;
        rec.Attach(c);
        c.SetCommName(pty.path);
        c.SetInputLen(uint16_t(inputLen));
        for (int i = 0; i < 200; ++i) {
            c.OpenComm();
            ASSERT_TRUE(c.PortOpen()) << c.PortOpenError().toStdString();
            c.SendBytes("BA", 2);
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            c.CloseComm();
            ++cycles;
            QCoreApplication::processEvents();
        }
        Pump(50);
        EXPECT_FALSE(rec.data.isEmpty());  // input really was arriving
        EXPECT_EQ(rec.hangups, 0) << "InputLen " << inputLen << ", " << cycles << " cycles";
    }
    stop.store(true);
    peer.join();
}

// The user-interface thread falls behind a far end that never stops: what waits for it stays
// bounded. When a notice cannot be posted any more, the receive thread hangs up and stops
// reading. Many one-byte blocks meet the bound on notices, 2048-byte blocks the bound on bytes.
TEST(TComm, SlowHandlerBoundsTheBacklogAndHangsUp) {
    for (int inputLen : {1, 0}) {
        SCOPED_TRACE(inputLen);
        PtyPair pty;
        ASSERT_TRUE(pty.ok());
        TComm c;
        c.SetCommName(pty.path);
        c.SetInputLen(uint16_t(inputLen));
        uint32_t maxNotices = 0;
        uint64_t maxBytes = 0;
        int hangups = 0;
        qint64 delivered = 0;
        bool afterHangup = false;
        std::atomic<bool> stop{false};
        c.OnReceiveData = [&](TComm* sender, const uint8_t*, uint16_t n) {
            maxNotices = std::max(maxNotices, sender->PendingNotices());
            maxBytes = std::max(maxBytes, sender->PendingBytes());
            delivered += n;
            if (hangups > 0) afterHangup = true;
            if (maxNotices > 3 * TComm::kMaxPendingNotices ||
                maxBytes > 3 * TComm::kMaxPendingBytes)
                stop.store(true);  // far past the bound: end the flood and catch up
            else
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        };
        c.OnRequestHangup = [&](TComm*) { ++hangups; };
        c.OpenComm();
        ASSERT_TRUE(c.PortOpen());
        std::thread peer([&] {
            const QByteArray chunk(4096, 'f');
            while (!stop.load())
                if (::write(pty.master, chunk.constData(), size_t(chunk.size())) < 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
        });
        WaitFor([&] { return hangups > 0 || stop.load(); }, 30000);
        Pump(300);
        const qint64 atHangup = delivered;
        Pump(300);  // the far end still writes, nothing is read any more
        stop.store(true);
        peer.join();
        EXPECT_EQ(hangups, 1);
        EXPECT_LE(maxNotices, TComm::kMaxPendingNotices);
        EXPECT_LE(maxBytes, TComm::kMaxPendingBytes);
        if (inputLen == 1)
            EXPECT_GT(maxNotices, TComm::kMaxPendingNotices / 2);  // the bound that was met
        else
            EXPECT_GT(maxBytes, TComm::kMaxPendingBytes / 2);
        EXPECT_FALSE(afterHangup);
        EXPECT_EQ(delivered, atHangup);
        EXPECT_EQ(c.PendingNotices(), 0u);
        EXPECT_EQ(c.PendingBytes(), 0u);
        c.CloseComm();
    }
}

TEST(TComm, PtyHasNoLineEventsAndReceptionIsUnaffected) {
    PtyPair pty;
    TComm c;
    Recorder rec;
    rec.Attach(c);
    c.SetCommName(pty.path);
    c.SetInputLen(0);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    EXPECT_FALSE(c.HasLineEvents());
    pty.Write("hello");
    ASSERT_TRUE(WaitFor([&] { return rec.data.size() == 1; }));
    EXPECT_EQ(rec.data[0], QByteArray("hello"));
    Pump(150);
    EXPECT_EQ(rec.errors, 0);
    EXPECT_EQ(rec.modem, 0);
    EXPECT_EQ(rec.hangups, 0);
}

TEST(TComm, NoHandlerStillFreesAndDestroyClosesPort) {
    PtyPair pty;
    {
        TComm c;
        c.SetCommName(pty.path);
        c.OpenComm();
        ASSERT_TRUE(c.PortOpen());
        pty.Write("12345");
        Pump(100);  // notices without handler
        pty.Write("678");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // Destroyed with the port open and notices pending.
    }
    Pump(50);
    TComm again;
    again.SetCommName(pty.path);
    again.OpenComm();
    EXPECT_TRUE(again.PortOpen()) << again.PortOpenError().toStdString();
}

TEST(TComm, DestroyFromOwnHandler) {
    PtyPair pty;
    auto* c = new TComm;
    bool called = false;
    c->SetCommName(pty.path);
    c->OnReceiveData = [&](TComm* sender, const uint8_t*, uint16_t) {
        called = true;
        delete sender;
    };
    c->OpenComm();
    pty.Write("zz");
    ASSERT_TRUE(WaitFor([&] { return called; }));
    Pump(100);
}

TEST(TComm, PortOpenPropertyOpensAndCloses) {
    PtyPair pty;
    TComm c;
    c.SetCommName(pty.path);
    c.SetPortOpen(true);
    EXPECT_TRUE(c.PortOpen());
    c.SetPortOpen(false);
    EXPECT_FALSE(c.PortOpen());
}

TEST(TComm, OutputPropertySends) {
    PtyPair pty;
    TComm c;
    c.SetCommName(pty.path);
    c.OpenComm();
    c.SetOutput(QStringLiteral("AaaA"));
    EXPECT_EQ(c.Output(), QStringLiteral("AaaA"));
    EXPECT_EQ(pty.Read(4), QByteArray("AaaA"));
}

// ---- port list ---------------------------------------------------------------------------------

class PortListEnv : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("SENSORBUS_PORTS");
        hadOld = old != nullptr;
        if (hadOld) oldValue = old;
    }
    void TearDown() override {
        if (hadOld)
            setenv("SENSORBUS_PORTS", oldValue.c_str(), 1);
        else
            unsetenv("SENSORBUS_PORTS");
    }
    bool hadOld = false;
    std::string oldValue;
};

TEST_F(PortListEnv, EnvironmentPortsSortedIgnoringCase) {
    setenv("SENSORBUS_PORTS", "COM2:com10::COM1", 1);
    const QStringList ports = ListPlatformSerialPorts();
    EXPECT_EQ(ports, (QStringList{"COM1", "com10", "COM2"}));
    setenv("SENSORBUS_PORTS", "/dev/pts/9:/dev/pts/10:/dev/pts/1", 1);
    EXPECT_EQ(ListPlatformSerialPorts(), (QStringList{"/dev/pts/1", "/dev/pts/10", "/dev/pts/9"}));
    setenv("SENSORBUS_PORTS", "", 1);
    EXPECT_TRUE(ListPlatformSerialPorts().isEmpty());  // set but empty: no kernel list
}

TEST_F(PortListEnv, CommPortCountIndexAndName) {
    setenv("SENSORBUS_PORTS", "COM1:COM2:COM10", 1);
    TComm c;
    EXPECT_EQ(c.CommPortName(), QString());
    EXPECT_EQ(c.CommPortCount(), 3u);
    EXPECT_EQ(c.CommPortName(), QStringLiteral("COM1"));
    c.SetCommPortIndex(1);
    EXPECT_EQ(c.CommPortName(), QStringLiteral("COM10"));
    EXPECT_EQ(c.CommPortIndex(), 1u);
    c.SetCommPortIndex(3);
    EXPECT_EQ(c.CommPortIndex(), 1u);
    EXPECT_EQ(c.CommPortName(), QStringLiteral("COM10"));
    EXPECT_EQ(c.CommName(), QStringLiteral("COM1"));  // the list never chooses the port opened
    setenv("SENSORBUS_PORTS", "COM5", 1);
    EXPECT_EQ(c.CommPortCount(), 3u);  // read once
}

TEST_F(PortListEnv, EmptyListIsReadAgain) {
    setenv("SENSORBUS_PORTS", "", 1);
    TComm c;
    EXPECT_EQ(c.CommPortCount(), 0u);
    setenv("SENSORBUS_PORTS", "COM3", 1);
    EXPECT_EQ(c.CommPortCount(), 1u);
    EXPECT_EQ(c.CommPortName(), QStringLiteral("COM3"));
}

namespace {

// PortOpenProblem as an operator without root rights sees it: run in a child that has given
// up root (the tests run as root, for whom every device is open).
QString ProblemAsNobody(const QString& path) {
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const QByteArray text = PortOpenProblem(path).toUtf8();
        const ssize_t ignored = ::write(fds[1], text.constData(), text.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray out;
    char buf[512];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return QString::fromUtf8(out);
}

}  // namespace

TEST(SerialPortList, AMissingPortAndAPortWithoutPermissionAreNamedNotCalledBusy) {
    PtyPair pty;
    EXPECT_EQ(PortOpenProblem("/dev/no-such-serial-port"),
              "通信口 /dev/no-such-serial-port 不存在");
    EXPECT_EQ(PortOpenProblem(pty.path), QString()) << "an open port has no problem";
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to try as another user";
    ASSERT_EQ(::chmod(pty.path.toLocal8Bit().constData(), 0600), 0);
    EXPECT_EQ(ProblemAsNobody(pty.path),
              "无权打开通信口 " + pty.path + "：请将当前用户加入 dialout 组后重新登录");
    ASSERT_EQ(::chmod(pty.path.toLocal8Bit().constData(), 0666), 0);
    EXPECT_EQ(ProblemAsNobody(pty.path), QString());
}
