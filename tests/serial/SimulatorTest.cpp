// The real sensorbus-sim program, driven through a TComm configured as the station's port.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <memory>
#include <thread>

#include "BusProtocol.h"
#include "TComm.h"
#include "TestSupport.h"

using testsupport::WaitFor;

namespace {

// Runs the simulator as a child process (fork and exec, which the thread sanitizer follows)
// and reads the port paths it prints.
class Sim {
  public:
    explicit Sim(QStringList args) {
        logPath = dir.filePath(QStringLiteral("sim.log"));
        args << QStringLiteral("--log") << logPath << QStringLiteral("--quiet");
        const QByteArray program =
            (testsupport::BinDir() + QStringLiteral("/sensorbus-sim")).toLocal8Bit();
        std::vector<QByteArray> store{program};
        for (const QString& a : args) store.push_back(a.toLocal8Bit());
        std::vector<char*> argv;
        for (QByteArray& a : store) argv.push_back(a.data());
        argv.push_back(nullptr);
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], 1);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        out = fds[0];
        path = ReadLine(5000);
    }
    ~Sim() {
        if (pid > 0 && Running()) {
            ::kill(pid, SIGTERM);
            WaitExit(5000);
        }
        if (pid > 0 && Running()) {
            ::kill(pid, SIGKILL);
            WaitExit(5000);
        }
        if (out >= 0) ::close(out);
    }
    QString ReadLine(int timeoutMs) {
        QElapsedTimer t;
        t.start();
        while (!buffer.contains('\n') && t.elapsed() < timeoutMs) {
            pollfd p{out, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char b[256];
                const ssize_t n = ::read(out, b, sizeof b);
                if (n <= 0) break;
                buffer.append(b, int(n));
            }
        }
        const int nl = buffer.indexOf('\n');
        if (nl < 0) return QString();
        const QString line = QString::fromLocal8Bit(buffer.left(nl)).trimmed();
        buffer.remove(0, nl + 1);
        return line;
    }
    bool Running() { return pid > 0 && !exited && ::waitpid(pid, &status, WNOHANG) == 0; }
    bool WaitExit(int timeoutMs) {
        const bool done = WaitFor(
            [&] {
                if (exited) return true;
                if (::waitpid(pid, &status, WNOHANG) == pid) exited = true;
                return exited;
            },
            timeoutMs);
        return done;
    }
    bool ExitedCleanly() const { return exited && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
    QStringList LogLines(const QString& kind) const {
        QFile f(logPath);
        QStringList lines;
        if (!f.open(QIODevice::ReadOnly)) return lines;
        for (const QString& l : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n')))
            if (l.contains(QLatin1Char(' ') + kind + QLatin1Char(' '))) lines << l;
        return lines;
    }
    // Milliseconds since the simulator's start, from a log line.
    static double Ms(const QString& line) {
        static const QRegularExpression re(QStringLiteral(" \\+([0-9.]+) "));
        return re.match(line).captured(1).toDouble();
    }

    QTemporaryDir dir;
    QString logPath;
    QString path;
    pid_t pid = -1;
    int out = -1;
    int status = 0;
    bool exited = false;
    QByteArray buffer;
};

struct Deliveries {
    QList<QByteArray> data;
    int hangups = 0;
    void Attach(TComm& c) {
        c.OnReceiveData = [this](TComm*, const uint8_t* b, uint16_t n) {
            data.append(QByteArray(reinterpret_cast<const char*>(b), n));
        };
        c.OnRequestHangup = [this](TComm*) { ++hangups; };
    }
};

// The station's port: 2400 8N1, DTR and RTS on, whole replies by the 100 ms silence.
void Configure(TComm& c, const QString& path) {
    c.SetCommName(path);
    c.SetBaudRate(2400);
    c.SetDtrControl(TDtrControl::DtrEnable);
    c.SetRtsControl(TRtsControl::RtsEnable);
    c.SetTxContinueOnXoff(true);
    c.SetReadIntervalTimeout(100);
    c.SetInputLen(0);
}

}  // namespace

TEST(SensorBusSim, AnswersTheThreeCommandsWithSpacedReplies) {
    Sim sim({"--sensor", "0A1B2C=25.0625", "--sensor", "FFEE01=-0.5", "--version-char", "7"});
    ASSERT_TRUE(sim.path.startsWith(QStringLiteral("/dev/pts/"))) << sim.path.toStdString();
    TComm c;
    Deliveries d;
    d.Attach(c);
    Configure(c, sim.path);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen()) << c.PortOpenError().toStdString();

    ASSERT_TRUE(c.SendBytes(busprotocol::kHandshakeCommand, 4));
    ASSERT_TRUE(WaitFor([&] { return d.data.size() >= 1; }));
    EXPECT_EQ(d.data[0], QByteArray("Aaa7"));
    EXPECT_EQ(busprotocol::ClassifyDelivery(d.data[0], false),
              busprotocol::DeliveryKind::Handshake);

    d.data.clear();
    ASSERT_TRUE(c.SendBytes(busprotocol::kReadCommand, 2));
    ASSERT_TRUE(WaitFor([&] { return d.data.size() >= 2; }));
    WaitFor([] { return false; }, 300);
    ASSERT_EQ(d.data.size(), 2);
    EXPECT_EQ(d.data[0], QByteArray::fromHex("0A1B2C0191"));
    EXPECT_EQ(d.data[1], QByteArray::fromHex("FFEE01FFF8"));
    EXPECT_EQ(busprotocol::DecodeTemperature(uint8_t(d.data[1][3]), uint8_t(d.data[1][4])), -0.5);

    d.data.clear();
    ASSERT_TRUE(c.SendBytes(busprotocol::kSearchCommand, 2));
    ASSERT_TRUE(WaitFor([&] { return d.data.size() >= 2; }));
    WaitFor([] { return false; }, 300);
    ASSERT_EQ(d.data.size(), 2);
    EXPECT_EQ(d.data[0], QByteArray::fromHex("0A1B2C"));
    EXPECT_EQ(d.data[1], QByteArray::fromHex("FFEE01"));

    // The log records each command received and the replies, with their times.
    const QStringList rx = sim.LogLines(QStringLiteral("rx"));
    ASSERT_EQ(rx.size(), 3);
    EXPECT_TRUE(rx[0].endsWith(QStringLiteral("41616141 AaaA")));
    EXPECT_TRUE(rx[1].endsWith(QStringLiteral("4241 BA")));
    EXPECT_TRUE(rx[2].endsWith(QStringLiteral("4141 AA")));
    const QStringList tx = sim.LogLines(QStringLiteral("tx"));
    ASSERT_EQ(tx.size(), 5);
    // Replies of one command are more than 100 ms apart (default spacing 150 ms).
    EXPECT_GT(Sim::Ms(tx[2]) - Sim::Ms(tx[1]), 100.0);
    EXPECT_GT(Sim::Ms(tx[4]) - Sim::Ms(tx[3]), 100.0);
    EXPECT_GE(Sim::Ms(tx[1]), Sim::Ms(rx[1]));
}

TEST(SensorBusSim, MergedRepliesAndGarbageAreDropped) {
    Sim sim({"--sensor", "0A1B2C=20", "--sensor", "0A1B2D=21", "--merge"});
    TComm c;
    Deliveries d;
    d.Attach(c);
    Configure(c, sim.path);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    c.SendBytes("BA", 2);
    ASSERT_TRUE(WaitFor([&] { return d.data.size() >= 1; }));
    EXPECT_EQ(d.data[0].size(), 10);
    EXPECT_EQ(busprotocol::ClassifyDelivery(d.data[0], false), busprotocol::DeliveryKind::Dropped);
}

TEST(SensorBusSim, ControlFifoFaultsAndDrop) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("ctl"));
    Sim sim({"--sensor", "0A1B2C=ramp:20:0", "--control", fifo});
    TComm c;
    Deliveries d;
    d.Attach(c);
    Configure(c, sim.path);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen());
    auto ctl = [&](const char* line) {
        QFile f(fifo);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(line);
        f.close();
        WaitFor([] { return false; }, 100);
    };
    ctl("silent on\n");
    c.SendBytes("AaaA", 4);
    WaitFor([] { return false; }, 400);
    EXPECT_TRUE(d.data.isEmpty());  // silent: the probe is logged but not answered
    EXPECT_EQ(sim.LogLines(QStringLiteral("rx")).size(), 1);

    ctl("silent off\n");
    ctl("set 0A1B2C -55\n");
    c.SendBytes("BA", 2);
    ASSERT_TRUE(WaitFor([&] { return d.data.size() >= 1; }));
    EXPECT_EQ(d.data[0], QByteArray::fromHex("0A1B2CFC90"));

    ctl("garbage 0102\n");
    ASSERT_TRUE(WaitFor([&] { return d.data.size() >= 2; }));
    EXPECT_EQ(d.data[1], QByteArray::fromHex("0102"));

    ctl("drop\n");
    ASSERT_TRUE(WaitFor([&] { return d.hangups == 1; }));
    EXPECT_TRUE(sim.WaitExit(5000));
    EXPECT_TRUE(sim.ExitedCleanly());
    c.CloseComm();
}

// One sensor falls silent while the others go on answering: from the start (--mute) and on
// command (mute ID on|off), for read and search requests alike.
TEST(SensorBusSim, MutedSensorsDoNotAnswer) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("ctl"));
    Sim sim({"--sensor", "0A1B2C=20", "--sensor", "0A1B2D=21", "--sensor", "0A1B2E=22", "--mute",
             "0a1b2c", "--control", fifo});
    ASSERT_FALSE(sim.path.isEmpty());
    TComm c;
    Deliveries d;
    d.Attach(c);
    Configure(c, sim.path);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen()) << c.PortOpenError().toStdString();
    auto ctl = [&](const char* line) {
        QFile f(fifo);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(line);
        f.close();
        WaitFor([] { return false; }, 100);
    };
    // Sends one command and collects its replies until the line stays quiet.
    auto ask = [&](const char* command) {
        d.data.clear();
        c.SendBytes(command, uint16_t(qstrlen(command)));
        WaitFor([&] { return false; }, 700);
        return d.data;
    };
    const QByteArray t20 = QByteArray::fromHex("0140"), t21 = QByteArray::fromHex("0150"),
                     t22 = QByteArray::fromHex("0160");
    const QByteArray b = QByteArray::fromHex("0A1B2C"), bd = QByteArray::fromHex("0A1B2D"),
                     be = QByteArray::fromHex("0A1B2E");

    EXPECT_EQ(ask("BA"), (QList<QByteArray>{bd + t21, be + t22}));
    EXPECT_EQ(ask("AA"), (QList<QByteArray>{bd, be}));
    EXPECT_EQ(ask("AaaA"), (QList<QByteArray>{"Aaa1"}));  // the bus itself still answers

    ctl("mute 0A1B2C off\n");
    ctl("mute 0A1B2E on\n");
    EXPECT_EQ(ask("BA"), (QList<QByteArray>{b + t20, bd + t21}));
    EXPECT_EQ(ask("AA"), (QList<QByteArray>{b, bd}));

    ctl("mute 0A1B2E off\n");
    ctl("mute XYZ on\n");  // refused, nothing changes
    EXPECT_EQ(ask("AA"), (QList<QByteArray>{b, bd, be}));

    QStringList mute;  // the simulator's own mute lines, not the echo of the control lines
    for (const QString& l : sim.LogLines(QStringLiteral("mute")))
        if (!l.contains(QStringLiteral(" control "))) mute << l;
    ASSERT_EQ(mute.size(), 4) << mute.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(mute[0].endsWith(QStringLiteral("mute 0A1B2C on")));
    EXPECT_TRUE(mute[1].endsWith(QStringLiteral("mute 0A1B2C off")));
    EXPECT_TRUE(mute[2].endsWith(QStringLiteral("mute 0A1B2E on")));
    EXPECT_TRUE(mute[3].endsWith(QStringLiteral("mute 0A1B2E off")));
    EXPECT_EQ(sim.LogLines(QStringLiteral("error:")).size(), 1);
}

TEST(SensorBusSim, MuteOptionNeedsASensorId) {
    Sim sim({"--mute", "12345"});
    EXPECT_TRUE(sim.path.isEmpty());
    ASSERT_TRUE(sim.WaitExit(5000));
    EXPECT_FALSE(sim.ExitedCleanly());
}

TEST(SensorBusSim, LateHandshakeAndSilentPorts) {
    Sim sim({"--handshake-delay", "300", "--silent-port", "1"});
    const QString silentPath = sim.ReadLine(5000);
    ASSERT_TRUE(silentPath.startsWith(QStringLiteral("/dev/pts/")));
    TComm silent;
    Deliveries ds;
    ds.Attach(silent);
    Configure(silent, silentPath);
    silent.OpenComm();
    ASSERT_TRUE(silent.PortOpen());
    silent.SendBytes("AaaA", 4);

    TComm c;
    Deliveries d;
    d.Attach(c);
    Configure(c, sim.path);
    c.OpenComm();
    c.SendBytes("AaaA", 4);
    WaitFor([] { return false; }, 200);
    EXPECT_TRUE(d.data.isEmpty());  // not within 200 ms
    ASSERT_TRUE(WaitFor([&] { return d.data.size() == 1; }));
    EXPECT_EQ(d.data[0], QByteArray("Aaa1"));
    EXPECT_TRUE(ds.data.isEmpty());
    EXPECT_EQ(sim.LogLines(QStringLiteral("rx")).size(), 2);  // both probes logged
}

// Descriptors of this process that refer to the device path.
int DescriptorsTo(const QString& path) {
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& name : fds.entryList(QDir::Files | QDir::System)) {
        const QString target = QFile::symLinkTarget(fds.filePath(name));
        if (target == path || target.startsWith(path + QLatin1Char(' '))) ++count;
    }
    return count;
}

int ThreadCount() {
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

// The bus vanishes under an open port: one hangup, then CloseComm lets go of everything (the
// descriptor, the threads, the lock), and the same component opens the next port and reads.
TEST(SensorBusSim, AfterTheBusVanishesTheComponentOpensTheNextPort) {
    auto first = std::make_unique<Sim>(QStringList{"--sensor", "0A1B2C=20"});
    ASSERT_FALSE(first->path.isEmpty());
    const QString oldPath = first->path;
    const int threadsBefore = ThreadCount();
    TComm c;
    Deliveries d;
    d.Attach(c);
    Configure(c, oldPath);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen()) << c.PortOpenError().toStdString();
    ASSERT_TRUE(c.SendBytes("BA", 2));
    ASSERT_TRUE(WaitFor([&] { return d.data.size() == 1; }));

    ::kill(first->pid, SIGUSR2);  // the port is dropped
    ASSERT_TRUE(WaitFor([&] { return d.hangups >= 1; }));
    ASSERT_TRUE(first->WaitExit(5000));
    WaitFor([] { return false; }, 300);
    EXPECT_EQ(d.hangups, 1);
    EXPECT_TRUE(c.PortOpen());
    EXPECT_GE(DescriptorsTo(oldPath), 1);  // held until the port is closed

    c.CloseComm();
    EXPECT_FALSE(c.PortOpen());
    EXPECT_EQ(c.PortOpenError(), QString());
    EXPECT_EQ(DescriptorsTo(oldPath), 0);
    EXPECT_EQ(ThreadCount(), threadsBefore);
    first.reset();

    Sim second({"--sensor", "0A1B2D=21"});
    ASSERT_FALSE(second.path.isEmpty());
    c.SetCommName(second.path);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen()) << c.PortOpenError().toStdString();
    d.data.clear();
    ASSERT_TRUE(c.SendBytes("BA", 2));
    ASSERT_TRUE(WaitFor([&] { return d.data.size() == 1; }));
    EXPECT_EQ(d.data[0], QByteArray::fromHex("0A1B2D0150"));
    ASSERT_TRUE(c.SendBytes("BA", 2));
    ASSERT_TRUE(WaitFor([&] { return d.data.size() == 2; }));
    EXPECT_EQ(d.hangups, 1);
    c.CloseComm();
}

// A station that dies with its port open never gives the exclusive flag back. The next station,
// run by an ordinary user, must still be able to open the simulator's port.
TEST(SensorBusSim, PortOfACrashedStationOpensForAnotherUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to start a process as another user";
    const passwd* nobody = ::getpwnam("nobody");
    const uid_t uid = nobody != nullptr ? nobody->pw_uid : 65534;
    const gid_t gid = nobody != nullptr ? nobody->pw_gid : 65534;
    Sim sim({"--sensor", "0A1B2C=20"});
    ASSERT_FALSE(sim.path.isEmpty());
    const QByteArray path = sim.path.toLocal8Bit();
    ASSERT_EQ(::chmod(path.constData(), 0666), 0);  // the other user may use the device

    // Runs body in a child process and returns the byte it reports (-1: none).
    auto inChild = [](const std::function<char()>& body) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            const char result = body();
            [[maybe_unused]] ssize_t w = ::write(fds[1], &result, 1);
            ::_exit(0);  // no clean-up: descriptors are closed by the kernel, as in a crash
        }
        ::close(fds[1]);
        char result = -1;
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 15000) > 0 && ::read(fds[0], &result, 1) != 1) result = -1;
        ::close(fds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return int(result);
    };

    // The first station opens the port exclusively and dies without closing it.
    EXPECT_EQ(inChild([&] {
                  auto* c = new TComm;  // never destroyed: the process just ends
                  c->SetCommName(sim.path);
                  c->OpenComm();
                  return char(c->PortOpen() ? 1 : 0);
              }),
              1);
    // The next one runs as an ordinary user (it may have to wait for the simulator to notice).
    EXPECT_EQ(inChild([&] {
                  if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                      return char(2);
                  for (int attempt = 0; attempt < 60; ++attempt) {
                      TComm c;
                      c.SetCommName(sim.path);
                      c.OpenComm();
                      if (c.PortOpen()) return char(1);
                      std::this_thread::sleep_for(std::chrono::milliseconds(50));
                  }
                  return char(0);
              }),
              1);
    // Released after each station; the simulator notes it once it has seen the station go.
    EXPECT_TRUE(WaitFor([&] { return sim.LogLines(QStringLiteral("port")).size() == 2; }))
        << sim.LogLines(QStringLiteral("port")).size();
    // The running station keeps its port to itself.
    TComm c;
    c.SetCommName(sim.path);
    c.OpenComm();
    ASSERT_TRUE(c.PortOpen()) << c.PortOpenError().toStdString();
    EXPECT_EQ(inChild([&] {
                  if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                      return char(2);
                  return char(::open(path.constData(), O_RDWR | O_NOCTTY) < 0 && errno == EBUSY);
              }),
              1);
}

TEST(SensorBusSim, ExitsCleanlyOnSigterm) {
    Sim sim({});
    ASSERT_FALSE(sim.path.isEmpty());
    ::kill(sim.pid, SIGTERM);
    ASSERT_TRUE(sim.WaitExit(5000));
    EXPECT_TRUE(sim.ExitedCleanly());
}
